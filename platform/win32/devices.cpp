// Plug-and-play devices (SetupAPI) and their "allow the computer to turn off this device to save
// power" switch, which Windows exposes as WMI's MSPower_DeviceEnable.
#include <windows.h>
#include <setupapi.h>

#include "platform/win32/com.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"
#include "platform/win32/wmi.h"

namespace vexlo::win32 {

namespace {

using platform::PlatformError;

const std::wstring kPowerNamespace = L"ROOT\\WMI";

bool same_text(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The class GUIDs registered under a class name ("Net", "USB"); usually one.
std::vector<GUID> class_guids(const std::wstring& name) {
    DWORD required = 0;
    SetupDiClassGuidsFromNameW(name.c_str(), nullptr, 0, &required);
    if (required == 0) return {};
    std::vector<GUID> guids(required);
    if (!SetupDiClassGuidsFromNameW(name.c_str(), guids.data(), DWORD(guids.size()), &required)) return {};
    guids.resize(std::min<size_t>(required, guids.size()));
    return guids;
}

void add_present_devices(const GUID& guid, std::vector<std::string>& out) {
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &size);
        if (size == 0) continue;
        std::wstring id(size, L'\0');
        if (!SetupDiGetDeviceInstanceIdW(set, &device, id.data(), size, &size)) continue;
        id.resize(wcsnlen(id.c_str(), id.size()));
        out.push_back(narrow(id));
    }
    SetupDiDestroyDeviceInfoList(set);
}

class SetupApiDevices final : public platform::Devices {
public:
    std::vector<std::string> present_instance_ids(std::string_view device_class) override {
        std::vector<std::string> out;
        if (device_class.empty()) return out;
        for (const GUID& guid : class_guids(widen(device_class))) add_present_devices(guid, out);
        return out;
    }

    std::vector<platform::DevicePower> power_entries() override {
        std::vector<platform::DevicePower> out;
        try {
            com::Apartment apartment;
            if (!apartment.usable()) return {};
            Wmi wmi(kPowerNamespace, "Device power");
            for (auto& row : wmi.query(L"SELECT InstanceName, Enable FROM MSPower_DeviceEnable", "Device power")) {
                auto name = wmi_string(row.get(), L"InstanceName");
                auto enable = wmi_bool(row.get(), L"Enable");
                if (name && enable) out.push_back({narrow(*name), *enable});
            }
        } catch (const PlatformError&) {
            return {};
        }
        return out;
    }

    void set_power_enable(std::string_view instance_name, bool enable) override {
        const std::string what = "Cannot change power saving of " + std::string(instance_name);
        com::Apartment apartment;
        if (!apartment.usable()) com::fail(what, apartment.result());
        Wmi wmi(kPowerNamespace, what);
        // All of each instance: only a whole one can be written back. Matching here rather than
        // in WQL spares escaping the backslashes and ampersands of instance names.
        const std::wstring wanted = widen(instance_name);
        for (auto& row : wmi.query(L"SELECT * FROM MSPower_DeviceEnable", what)) {
            auto name = wmi_string(row.get(), L"InstanceName");
            if (!name || !same_text(*name, wanted)) continue;
            com::Variant v;
            v.get()->vt = VT_BOOL;
            v.get()->boolVal = enable ? VARIANT_TRUE : VARIANT_FALSE;
            HRESULT hr = row->Put(L"Enable", 0, v.get(), 0);
            if (FAILED(hr)) com::fail(what, hr);
            wmi.update(row.get(), what);
            return;
        }
        throw PlatformError("There is no power management entry for " + std::string(instance_name) + ": Not found.");
    }
};

}  // namespace

std::unique_ptr<platform::Devices> make_devices() { return std::make_unique<SetupApiDevices>(); }

}  // namespace vexlo::win32
