#pragma once
// Read-only facts about the PC. Every query fails quietly into a default.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexlo::platform {

// The account this program runs as and the one signed in to Windows at its desktop, when they
// are not the same (someone elevated with another administrator's password).
struct AccountMismatch {
    std::string process_user;  // whose profile and HKCU this program would change
    std::string desktop_user;  // the person at the desktop
};

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    virtual uint32_t windows_build() = 0;          // 0 when unknown
    virtual uint64_t total_memory_bytes() = 0;     // 0 when unknown
    virtual int refresh_hz() = 0;                  // 60 when unknown
    virtual bool has_battery() = 0;
    virtual std::vector<std::string> cpu_names() = 0;
    virtual std::vector<std::string> gpu_names() = 0;
    virtual std::string os_caption() = 0;          // "Microsoft Windows 11 Pro"
    virtual bool is_elevated() = 0;
    // Set when this program runs as another account than the one signed in at the desktop;
    // nullopt when they are the same or either cannot be told (never a guessed mismatch).
    virtual std::optional<AccountMismatch> desktop_user_mismatch() { return std::nullopt; }
};

}  // namespace vexlo::platform
