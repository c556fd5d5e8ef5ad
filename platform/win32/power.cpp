// Power plans and their settings through the Power API (powrprof), and hibernation through
// powercfg, which also creates or removes the hibernation file.
#include <windows.h>
#include <powrprof.h>

#include <cctype>
#include <chrono>
#include <cstdio>

#include "platform/win32/parts.h"
#include "platform/win32/power_guid.h"
#include "platform/win32/tool_process.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {

namespace {

using platform::PlatformError;
using platform::PowerPlan;

struct Alias {
    const char* name;
    const char* guid;
};

// powercfg's aliases (powercfg /aliases) for the plans and settings the application may name.
constexpr Alias kAliases[] = {
    {"SCHEME_MAX", "a1841308-3541-4fab-bc81-f71556f20b4a"},
    {"SCHEME_MIN", "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c"},
    {"SCHEME_BALANCED", "381b4222-f694-41f0-9685-ff5bb260df2e"},
    {"SUB_NONE", "fea3413e-7e05-4911-9a71-700331f1c294"},
    {"SUB_PROCESSOR", "54533251-82be-4824-96c1-47b60b740d00"},
    {"PROCTHROTTLEMIN", "893dee8e-2bef-41e0-89c6-b55d0929964c"},
    {"PROCTHROTTLEMAX", "bc5038f7-23e0-4960-96da-33abaf5935ec"},
    {"PERFBOOSTMODE", "be337238-0d82-4146-a960-4f3749d470c7"},
    {"PERFBOOSTPOL", "45bcc044-d885-43e2-8605-ee0ec6e96b59"},
    {"PERFEPP", "36687f9e-e3a5-4dbf-b1dc-15eb381c6863"},
    {"CPMINCORES", "0cc5b647-c1df-4637-891a-dec35c318583"},
    {"CPMAXCORES", "ea062031-0e34-4ff1-9b6d-eb1059334028"},
    {"IDLEDISABLE", "5d76a2ca-e8c0-402f-a133-2158492d58ad"},
    {"SUB_DISK", "0012ee47-9041-4b5d-9b77-535fba8b1442"},
    {"DISKIDLE", "6738e2c4-e8a5-4a42-b16a-e040e769756e"},
    {"SUB_PCIEXPRESS", "501a4d13-42af-4429-9fd1-a8218c268e20"},
    {"ASPM", "ee12f906-d277-404b-b6da-e5fa1a576df5"},
    {"SUB_SLEEP", "238c9fa8-0aad-41ed-83f4-97be242c8f20"},
    {"STANDBYIDLE", "29f6c1db-86da-48c5-9fdb-f2b67b1f44da"},
    {"HIBERNATEIDLE", "9d7815a6-7ee4-497e-8888-515a05f02364"},
    {"RTCWAKE", "bd3b718a-0680-4d9d-8ab2-e1d2b4ac806d"},
    {"SUB_VIDEO", "7516b95f-f776-4464-8c53-06167f40cc99"},
    {"VIDEOIDLE", "3c0bc021-c8a8-4e07-a973-6b14cbcb2b7e"},
    {"SUB_BUTTONS", "4f971e89-eebd-4455-a8de-9e59040e7347"},
};

bool iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The Power API crashes the process under Wine (whose powrprof is a partial stand-in), so no
// call reaches it there.
[[noreturn]] void refuse_under_wine(const std::string& what) {
    throw PlatformError(what + ": the power plan API is not available under Wine.");
}

std::string friendly_name(const GUID& scheme) {
    DWORD size = 0;
    if (PowerReadFriendlyName(nullptr, &scheme, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
    std::wstring name(size / sizeof(wchar_t) + 1, L'\0');
    if (PowerReadFriendlyName(nullptr, &scheme, nullptr, nullptr, reinterpret_cast<UCHAR*>(name.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    name.resize(wcsnlen(name.c_str(), name.size()));
    return narrow(name);
}

std::optional<GUID> active_scheme() {
    GUID* active = nullptr;
    if (PowerGetActiveScheme(nullptr, &active) != ERROR_SUCCESS || !active) return std::nullopt;
    GUID g = *active;
    LocalFree(active);
    return g;
}

class PowrProfPower final : public platform::Power {
public:
    std::optional<PowerPlan> active_plan() override {
        if (running_under_wine()) return std::nullopt;
        auto g = active_scheme();
        if (!g) return std::nullopt;
        return PowerPlan{guid_text(*g), friendly_name(*g)};
    }

    std::vector<PowerPlan> plans() override {
        std::vector<PowerPlan> out;
        if (running_under_wine()) return out;
        for (ULONG i = 0;; ++i) {
            GUID g{};
            DWORD size = sizeof g;
            if (PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, i, reinterpret_cast<UCHAR*>(&g), &size) !=
                ERROR_SUCCESS)
                break;
            out.push_back({guid_text(g), friendly_name(g)});
        }
        return out;
    }

    std::optional<std::string> duplicate_plan(std::string_view guid) override {
        if (running_under_wine()) return std::nullopt;
        auto source = parse_guid(guid);
        if (!source) return std::nullopt;
        GUID* copy = nullptr;
        if (PowerDuplicateScheme(nullptr, &*source, &copy) != ERROR_SUCCESS || !copy) return std::nullopt;
        std::string text = guid_text(*copy);
        LocalFree(copy);
        return text;
    }

    bool rename_plan(std::string_view guid, std::string_view name, std::string_view description) override {
        if (running_under_wine() || name.empty()) return false;
        auto g = listed(guid);
        if (!g) return false;
        std::wstring n = widen(name), d = widen(description);
        auto bytes = [](const std::wstring& s) { return DWORD((s.size() + 1) * sizeof(wchar_t)); };
        return PowerWriteFriendlyName(nullptr, &*g, nullptr, nullptr, reinterpret_cast<UCHAR*>(n.data()), bytes(n)) ==
                   ERROR_SUCCESS &&
               PowerWriteDescription(nullptr, &*g, nullptr, nullptr, reinterpret_cast<UCHAR*>(d.data()), bytes(d)) ==
                   ERROR_SUCCESS;
    }

    bool set_active(std::string_view guid) override {
        if (running_under_wine()) return false;
        auto g = listed(guid);
        return g && PowerSetActiveScheme(nullptr, &*g) == ERROR_SUCCESS;
    }

    std::optional<int32_t> ac_index(std::string_view subgroup, std::string_view setting) override {
        if (running_under_wine()) return std::nullopt;
        auto sub = power_guid(subgroup), set = power_guid(setting);
        auto active = active_scheme();
        if (!sub || !set || !active) return std::nullopt;
        DWORD value = 0;
        if (PowerReadACValueIndex(nullptr, &*active, &*sub, &*set, &value) != ERROR_SUCCESS) return std::nullopt;
        return int32_t(value);
    }

    void set_ac_index(std::string_view subgroup, std::string_view setting, int32_t value) override {
        const std::string what = "Cannot change the power setting " + std::string(setting);
        if (running_under_wine()) refuse_under_wine(what);
        auto sub = power_guid(subgroup), set = power_guid(setting);
        if (!sub) throw PlatformError(what + ": \"" + std::string(subgroup) + "\" is not a power setting subgroup.");
        if (!set) throw PlatformError(what + ": it is not a power setting.");
        auto active = active_scheme();
        if (!active) throw PlatformError(what + ": there is no active power plan.");
        DWORD r = PowerWriteACValueIndex(nullptr, &*active, &*sub, &*set, DWORD(value));
        if (r != ERROR_SUCCESS) fail(what, r);
        // Windows applies a plan's values when the plan is activated; writing alone changes
        // only what is stored.
        r = PowerSetActiveScheme(nullptr, &*active);
        if (r != ERROR_SUCCESS) fail(what + " (activating the plan again)", r);
    }

    std::optional<int32_t> plan_ac_index(std::string_view plan, std::string_view subgroup,
                                         std::string_view setting) override {
        if (running_under_wine()) return std::nullopt;
        auto sub = power_guid(subgroup), set = power_guid(setting);
        auto g = listed(plan);
        if (!sub || !set || !g) return std::nullopt;
        DWORD value = 0;
        if (PowerReadACValueIndex(nullptr, &*g, &*sub, &*set, &value) != ERROR_SUCCESS) return std::nullopt;
        return int32_t(value);
    }

    void set_plan_ac_index(std::string_view plan, std::string_view subgroup, std::string_view setting,
                           int32_t value) override {
        const std::string what = "Cannot change the power setting " + std::string(setting);
        if (running_under_wine()) refuse_under_wine(what);
        auto sub = power_guid(subgroup), set = power_guid(setting);
        if (!sub) throw PlatformError(what + ": \"" + std::string(subgroup) + "\" is not a power setting subgroup.");
        if (!set) throw PlatformError(what + ": it is not a power setting.");
        auto g = listed(plan);
        if (!g) throw PlatformError(what + ": the power plan " + std::string(plan) + " does not exist.");
        DWORD r = PowerWriteACValueIndex(nullptr, &*g, &*sub, &*set, DWORD(value));
        if (r != ERROR_SUCCESS) fail(what, r);
        // Only the active plan's values are in force; it takes them when activated again.
        auto active = active_scheme();
        if (active && IsEqualGUID(*active, *g)) {
            r = PowerSetActiveScheme(nullptr, &*g);
            if (r != ERROR_SUCCESS) fail(what + " (activating the plan again)", r);
        }
    }

    void set_hibernation(bool on) override {
        const std::string what = std::string("Cannot turn hibernation ") + (on ? "on" : "off");
        ToolRun run;
        try {
            run = run_tool(system_tool(L"powercfg.exe"), {L"/hibernate", on ? L"on" : L"off"}, std::chrono::seconds(60));
        } catch (const PlatformError& e) {
            throw PlatformError(what + ": " + e.what());
        }
        if (run.exit_code != 0) {
            std::string message = tool_message(run);
            throw PlatformError(what + ": " +
                                (message.empty() ? "powercfg failed with code " + std::to_string(run.exit_code) : message));
        }
    }

private:
    // The plan when it is one of the listed (not a hidden template); nullopt otherwise.
    std::optional<GUID> listed(std::string_view guid) {
        auto g = parse_guid(guid);
        if (!g) return std::nullopt;
        for (auto& p : plans())
            if (iequal(p.guid, guid_text(*g))) return g;
        return std::nullopt;
    }
};

}  // namespace

std::optional<GUID> parse_guid(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36) return std::nullopt;
    unsigned char bytes[16];
    size_t b = 0;
    for (size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        int hi = hex_digit(text[i]), lo = hex_digit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[b++] = static_cast<unsigned char>(hi * 16 + lo);
        i += 2;
    }
    GUID g{};
    g.Data1 = (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
    g.Data2 = WORD((bytes[4] << 8) | bytes[5]);
    g.Data3 = WORD((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
    return g;
}

std::string guid_text(const GUID& g) {
    char text[37];
    std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", static_cast<unsigned long>(g.Data1),
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return text;
}

std::optional<GUID> power_guid(std::string_view guid_or_alias) {
    for (auto& a : kAliases)
        if (iequal(a.name, guid_or_alias)) return parse_guid(a.guid);
    return parse_guid(guid_or_alias);
}

std::unique_ptr<platform::Power> make_power() { return std::make_unique<PowrProfPower>(); }

}  // namespace vexlo::win32
