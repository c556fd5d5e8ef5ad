// Microsoft Defender's preferences through its WMI provider (the one Get-MpPreference,
// Add-MpPreference and Set-MpPreference use).
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/win32/com.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"
#include "platform/win32/wmi.h"

namespace vexlo::win32 {

namespace {

using platform::PlatformError;

const std::wstring kNamespace = L"ROOT\\Microsoft\\Windows\\Defender";

// Without elevation Defender lists this in place of the exclusions instead of refusing.
bool is_placeholder(std::wstring_view s) { return s.rfind(L"N/A", 0) == 0; }

class WmiDefender final : public platform::Defender {
public:
    bool available() override {
        try {
            com::Apartment apartment;
            if (!apartment.usable()) return false;
            Wmi wmi(kNamespace, "Defender");
            return !wmi.query(L"SELECT ExclusionPath FROM MSFT_MpPreference", "Defender").empty();
        } catch (const PlatformError&) {
            return false;
        }
    }

    bool realtime_protection_enabled() override {
        try {
            com::Apartment apartment;
            if (!apartment.usable()) return false;
            Wmi wmi(kNamespace, "Defender");
            auto rows = wmi.query(L"SELECT RealTimeProtectionEnabled FROM MSFT_MpComputerStatus", "Defender");
            return !rows.empty() && wmi_bool(rows.front().get(), L"RealTimeProtectionEnabled").value_or(false);
        } catch (const PlatformError&) {
            return false;
        }
    }

    std::vector<std::string> exclusion_paths() override {
        std::vector<std::string> out;
        try {
            com::Apartment apartment;
            if (!apartment.usable()) return {};
            Wmi wmi(kNamespace, "Defender");
            for (auto& row : wmi.query(L"SELECT ExclusionPath FROM MSFT_MpPreference", "Defender"))
                for (auto& path : wmi_strings(row.get(), L"ExclusionPath"))
                    if (!path.empty() && !is_placeholder(path)) out.push_back(narrow(path));
        } catch (const PlatformError&) {
            return {};
        }
        return out;
    }

    void add_exclusion_path(std::string_view path) override {
        if (path.empty()) throw PlatformError("Cannot add an empty exclusion path.");
        change(L"Add", path, "Cannot add the Defender exclusion " + std::string(path));
    }

    void remove_exclusion_path(std::string_view path) override {
        if (path.empty()) return;
        change(L"Remove", path, "Cannot remove the Defender exclusion " + std::string(path));
    }

    bool antimalware_service_enabled() override {
        try {
            com::Apartment apartment;
            if (!apartment.usable()) return false;
            Wmi wmi(kNamespace, "Defender");
            auto rows = wmi.query(L"SELECT AMServiceEnabled FROM MSFT_MpComputerStatus", "Defender");
            return !rows.empty() && wmi_bool(rows.front().get(), L"AMServiceEnabled").value_or(false);
        } catch (const PlatformError&) {
            return false;
        }
    }

    std::optional<int> scan_cpu_load_factor() override {
        auto v = preference([](IWbemClassObject* row) { return wmi_int(row, L"ScanAvgCPULoadFactor"); },
                            L"ScanAvgCPULoadFactor");
        if (!v) return std::nullopt;
        return int(*v);
    }

    std::optional<bool> low_cpu_priority() override {
        return preference([](IWbemClassObject* row) { return wmi_bool(row, L"EnableLowCpuPriority"); },
                          L"EnableLowCpuPriority");
    }

    void set_scan_cpu_load_factor(int percent) override {
        const std::string what = "Cannot set Defender's scan CPU load factor to " + std::to_string(percent);
        if (percent < 5 || percent > 100) throw PlatformError(what + ": it must be from 5 to 100.");
        set(what, [&](IWbemClassObject* in) {
            com::Variant v;
            v.get()->vt = VT_UI1;  // the parameter is a uint8
            v.get()->bVal = BYTE(percent);
            HRESULT hr = in->Put(L"ScanAvgCPULoadFactor", 0, v.get(), 0);
            if (FAILED(hr)) com::fail(what, hr);
        });
    }

    void set_low_cpu_priority(bool on) override {
        const std::string what = std::string("Cannot turn ") + (on ? "on" : "off") + " Defender's low-priority scans";
        set(what, [&](IWbemClassObject* in) {
            com::Variant v;
            v.get()->vt = VT_BOOL;
            v.get()->boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
            HRESULT hr = in->Put(L"EnableLowCpuPriority", 0, v.get(), 0);
            if (FAILED(hr)) com::fail(what, hr);
        });
    }

private:
    // One property of Defender's preferences, nullopt when they cannot be read.
    template <class Read>
    static auto preference(Read read, const std::wstring& property) -> decltype(read(nullptr)) {
        try {
            com::Apartment apartment;
            if (!apartment.usable()) return std::nullopt;
            Wmi wmi(kNamespace, "Defender");
            auto rows = wmi.query(L"SELECT " + property + L" FROM MSFT_MpPreference", "Defender");
            if (rows.empty()) return std::nullopt;
            return read(rows.front().get());
        } catch (const PlatformError&) {
            return std::nullopt;
        }
    }

    // Set-MpPreference: the static Set method changes only the parameters given.
    static void set(const std::string& what, const std::function<void(IWbemClassObject*)>& fill) {
        com::Apartment apartment;
        if (!apartment.usable()) com::fail(what, apartment.result());
        Wmi wmi(kNamespace, what);
        wmi.call(L"MSFT_MpPreference", L"", L"Set", fill, what);
    }

    // Defender's Add and Remove take lists and ignore paths already (or not) listed.
    static void change(const wchar_t* method, std::string_view path, const std::string& what) {
        com::Apartment apartment;
        if (!apartment.usable()) com::fail(what, apartment.result());
        Wmi wmi(kNamespace, what);
        wmi.call_static(L"MSFT_MpPreference", method, L"ExclusionPath", {widen(path)}, what);
    }
};

}  // namespace

std::unique_ptr<platform::Defender> make_defender() { return std::make_unique<WmiDefender>(); }

}  // namespace vexlo::win32
