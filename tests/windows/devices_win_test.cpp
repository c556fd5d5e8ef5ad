// Devices: present instance ids by class name, checked against SetupAPI's own listing of every
// present device with its class; and the power-saving entries of WMI.
#include <windows.h>
#include <setupapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>

#include "platform/error.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::PlatformError;

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Class name (upper-case) to the present devices' instance ids (upper-case), from a walk of
// every present device reading its Class property.
std::map<std::string, std::set<std::string>> present_by_class() {
    std::map<std::string, std::set<std::string>> out;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return out;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t cls[256] = {}, id[1024] = {};
        if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_CLASS, nullptr, reinterpret_cast<BYTE*>(cls),
                                               sizeof cls, nullptr))
            continue;
        if (!SetupDiGetDeviceInstanceIdW(set, &device, id, 1024, nullptr)) continue;
        out[upper(narrow(cls))].insert(upper(narrow(id)));
    }
    SetupDiDestroyDeviceInfoList(set);
    return out;
}

TEST(DevicesWin, PresentIdsOfAClassMatchSetupApisListing) {
    auto expected = present_by_class();
    if (expected.empty()) GTEST_SKIP() << "this system lists no present devices";
    auto devices = make_devices();
    for (auto& [cls, ids] : expected) {
        std::set<std::string> got;
        for (auto& id : devices->present_instance_ids(cls)) got.insert(upper(id));
        EXPECT_EQ(got, ids) << cls;
        // Class names are not case-sensitive.
        std::string lower = cls;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(devices->present_instance_ids(lower).size(), ids.size()) << lower;
    }
    EXPECT_TRUE(devices->present_instance_ids("VexloNoSuchClass").empty());
    EXPECT_TRUE(devices->present_instance_ids("").empty());
}

TEST(DevicesWin, UnknownPowerEntryCannotBeChanged) {
    try {
        make_devices()->set_power_enable("USB\\VID_0000&PID_0000\\VEXLO_0", false);
        ADD_FAILURE() << "changed an entry that does not exist";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("USB\\VID_0000&PID_0000\\VEXLO_0"), std::string::npos) << e.what();
    }
}

TEST(DevicesWin, PowerEntriesCanBeWrittenBackUnchanged) {
    auto devices = make_devices();
    auto entries = devices->power_entries();
    if (entries.empty()) GTEST_SKIP() << "no device power entries here (Wine's WMI has no MSPower_DeviceEnable)";
    if (!IsUserAnAdmin()) GTEST_SKIP() << "writing device power settings needs an elevated run";
    for (auto& e : entries) EXPECT_FALSE(e.instance_name.empty());
    // Write the first entry's own value back: exercises the update without changing the PC.
    devices->set_power_enable(entries[0].instance_name, entries[0].enable);
    auto again = devices->power_entries();
    auto it = std::find_if(again.begin(), again.end(), [&](auto& x) { return x.instance_name == entries[0].instance_name; });
    ASSERT_NE(it, again.end());
    EXPECT_EQ(it->enable, entries[0].enable);
}

}  // namespace
