#pragma once
// The running programs: listing them, their priority classes, and force-stopping them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

struct ProcessInfo {
    uint32_t pid = 0;
    std::string image;  // file name of the executable, "FortniteClient-Win64-Shipping.exe"
};

// The priority classes of Windows, as Get/SetPriorityClass know them.
enum class PriorityClass { Idle, BelowNormal, Normal, AboveNormal, High, Realtime };

// "Idle", "BelowNormal", "Normal", "AboveNormal", "High", "Realtime".
std::string_view priority_name(PriorityClass cls);
// The class a name (any case) stands for; nullopt for anything else.
std::optional<PriorityClass> parse_priority(std::string_view name);

class Processes {
public:
    virtual ~Processes() = default;
    // Empty on failure.
    virtual std::vector<ProcessInfo> list() = 0;
    // The priority class of a running process; nullopt when it is gone or may not be read.
    virtual std::optional<PriorityClass> priority(uint32_t pid) = 0;
    // Throws PlatformError when the process is gone or refuses the change (a protected
    // process, one an anti-cheat guards, access denied).
    virtual void set_priority(uint32_t pid, PriorityClass cls) = 0;
    // Force-stops the process. Throws PlatformError when it is gone or refuses.
    virtual void terminate(uint32_t pid) = 0;
};

inline std::string_view priority_name(PriorityClass cls) {
    switch (cls) {
        case PriorityClass::Idle: return "Idle";
        case PriorityClass::BelowNormal: return "BelowNormal";
        case PriorityClass::Normal: return "Normal";
        case PriorityClass::AboveNormal: return "AboveNormal";
        case PriorityClass::High: return "High";
        case PriorityClass::Realtime: return "Realtime";
    }
    return "Normal";
}

inline std::optional<PriorityClass> parse_priority(std::string_view name) {
    static constexpr PriorityClass all[] = {PriorityClass::Idle,        PriorityClass::BelowNormal, PriorityClass::Normal,
                                            PriorityClass::AboveNormal, PriorityClass::High,        PriorityClass::Realtime};
    for (PriorityClass c : all) {
        std::string_view n = priority_name(c);
        if (n.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < n.size() && same; ++i) {
            char a = n[i], b = name[i];
            if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
            if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
            same = a == b;
        }
        if (same) return c;
    }
    return std::nullopt;
}

}  // namespace vexlo::platform
