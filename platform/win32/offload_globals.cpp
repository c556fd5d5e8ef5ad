// The global offload settings live in one instance of MSFT_NetOffloadGlobalSetting (namespace
// root\StandardCimv2), its properties 0 for Disabled and 1 for Enabled. Client editions answer
// a write of that instance with an error; receive segment coalescing can then still be set
// through netsh, whose exit code alone decides (its text is in the display language).
#include "platform/win32/offload_globals.h"

#include <chrono>
#include <string>

#include "platform/error.h"
#include "platform/win32/com.h"
#include "platform/win32/tool_process.h"
#include "platform/win32/wmi.h"

namespace vexlo::win32 {

namespace {

using platform::OffloadGlobal;
using platform::PlatformError;

const std::wstring kNamespace = L"ROOT\\StandardCimv2";
const std::wstring kClass = L"MSFT_NetOffloadGlobalSetting";
constexpr int32_t kDisabled = 0;
constexpr int32_t kEnabled = 1;

const wchar_t* property_of(OffloadGlobal setting) {
    return setting == OffloadGlobal::ReceiveSegmentCoalescing ? L"ReceiveSegmentCoalescing" : L"PacketCoalescingFilter";
}

std::string name_of(OffloadGlobal setting) {
    return setting == OffloadGlobal::ReceiveSegmentCoalescing ? "receive segment coalescing" : "the packet coalescing filter";
}

com::Ptr<IWbemClassObject> the_instance(Wmi& wmi, const std::string& what) {
    auto rows = wmi.query(L"SELECT * FROM " + kClass, what);
    if (rows.empty()) throw PlatformError(what + ": Windows lists no global offload settings.");
    return std::move(rows.front());
}

void netsh_rsc(bool enabled, const std::string& what, const std::string& wmi_said) {
    ToolRun run = run_tool(system_tool(L"netsh.exe"),
                           {L"int", L"tcp", L"set", L"global", enabled ? L"rsc=enabled" : L"rsc=disabled"},
                           std::chrono::seconds(30));
    if (run.exit_code == 0) return;
    std::string said = tool_message(run);
    throw PlatformError(what + ": " + wmi_said + "; netsh ended with code " + std::to_string(run.exit_code) +
                        (said.empty() ? "." : " (" + said + ")."));
}

}  // namespace

std::optional<bool> read_offload_global(OffloadGlobal setting) {
    try {
        const std::string what = "Cannot read " + name_of(setting);
        com::Apartment apartment;
        if (!apartment.usable()) return std::nullopt;
        Wmi wmi(kNamespace, what);
        auto value = wmi_int(the_instance(wmi, what).get(), property_of(setting));
        if (!value || (*value != kDisabled && *value != kEnabled)) return std::nullopt;
        return *value == kEnabled;
    } catch (const PlatformError&) {
        // No WMI class or no answer: the setting shows as unknown, which the caller handles.
        return std::nullopt;
    }
}

void write_offload_global(OffloadGlobal setting, bool enabled) {
    const std::string what = std::string("Cannot ") + (enabled ? "enable " : "disable ") + name_of(setting);
    std::string wmi_said;
    {
        com::Apartment apartment;
        if (!apartment.usable()) com::fail(what, apartment.result());
        try {
            Wmi wmi(kNamespace, what);
            auto instance = the_instance(wmi, what);
            wmi_put(instance.get(), property_of(setting), enabled ? kEnabled : kDisabled, what);
            wmi.update(instance.get(), what);
            return;
        } catch (const PlatformError& e) {
            if (setting != OffloadGlobal::ReceiveSegmentCoalescing) throw;
            wmi_said = e.what();  // read-only on this edition: netsh below does the same job
        }
    }
    netsh_rsc(enabled, what, wmi_said);
}

}  // namespace vexlo::win32
