// Microsoft Defender's preferences through its WMI provider (the one Get-MpPreference and
// Add-MpPreference use).
#include <windows.h>

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

private:
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
