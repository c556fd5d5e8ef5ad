// Adapter advanced properties read from and written to driver keys laid out as Windows keeps
// them, built for the test under the current user's hive.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/win32/adapter_registry.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::AdapterProperty;
using vexlo::platform::PlatformError;

const std::wstring kEthernetGuid = L"{11111111-2222-3333-4444-555555555555}";
const std::wstring kWifiGuid = L"{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";

class NetworkWin : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = L"Software\\VexloTest-" + std::to_wstring(GetCurrentProcessId()) + L"\\Class";
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, root_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &class_key_,
                                  nullptr),
                  ERROR_SUCCESS);
        // 0000: the Ethernet adapter's driver; its GUID in another case than the adapter's.
        text(L"0000", L"NetCfgInstanceId", L"{11111111-2222-3333-4444-555555555555}");
        text(L"0000", L"DriverDesc", L"Test Ethernet Controller");
        choice_param(L"0000", L"*InterruptModeration", L"Interrupt Moderation", L"1", {{L"0", L"Disabled"}, {L"1", L"Enabled"}});
        text(L"0000", L"*InterruptModeration", L"0");  // changed from the default
        // Choices written out of order, with numbers that sort wrongly as text.
        choice_param(L"0000", L"*SpeedDuplex", L"Speed & Duplex", L"0",
                     {{L"10", L"10 Gbps Full Duplex"}, {L"0", L"Auto Negotiation"}, {L"2", L"10 Mbps Full Duplex"},
                      {L"6", L"1.0 Gbps Full Duplex"}});
        param(L"0000", L"*ReceiveBuffers", L"Receive Buffers", L"int", L"256");
        text(L"0000\\Ndi\\Params\\*ReceiveBuffers", L"min", L"80");
        text(L"0000\\Ndi\\Params\\*ReceiveBuffers", L"max", L"4096");
        param(L"0000", L"NetworkAddress", L"Locally Administered Address", L"edit", L"");
        DWORD eee = 1;  // a current value kept as a number
        choice_param(L"0000", L"*EEE", L"Energy Efficient Ethernet", L"0", {{L"0", L"Off"}, {L"1", L"On"}});
        RegSetKeyValueW(class_key_, L"0000", L"*EEE", REG_DWORD, &eee, sizeof eee);
        // 0001: the Wi-Fi adapter's driver. 0002: a driver whose adapter is not physical.
        text(L"0001", L"NetCfgInstanceId", kWifiGuid);
        choice_param(L"0001", L"RoamAggressiveness", L"Roaming Aggressiveness", L"2",
                     {{L"0", L"1. Lowest"}, {L"2", L"3. Medium"}, {L"4", L"5. Highest"}});
        text(L"0002", L"NetCfgInstanceId", L"{99999999-9999-9999-9999-999999999999}");
        choice_param(L"0002", L"VirtualThing", L"Virtual Thing", L"0", {{L"0", L"Off"}});
        adapters_ = {{"Ethernet", L"{11111111-2222-3333-4444-555555555555}"}, {"Wi-Fi", L"{aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee}"}};
    }

    void TearDown() override {
        if (class_key_) RegCloseKey(class_key_);
        std::wstring top = root_.substr(0, root_.rfind(L'\\'));
        RegDeleteTreeW(HKEY_CURRENT_USER, top.c_str());
    }

    void text(const std::wstring& sub, const wchar_t* name, const std::wstring& value) {
        ASSERT_EQ(RegSetKeyValueW(class_key_, sub.c_str(), name, REG_SZ, value.c_str(), DWORD((value.size() + 1) * 2)),
                  ERROR_SUCCESS);
    }
    void param(const std::wstring& driver, const std::wstring& keyword, const std::wstring& desc, const std::wstring& type,
               const std::wstring& def) {
        std::wstring key = driver + L"\\Ndi\\Params\\" + keyword;
        text(key, L"ParamDesc", desc);
        text(key, L"type", type);
        text(key, L"default", def);
    }
    void choice_param(const std::wstring& driver, const std::wstring& keyword, const std::wstring& desc,
                      const std::wstring& def, const std::vector<std::pair<std::wstring, std::wstring>>& choices) {
        param(driver, keyword, desc, L"enum", def);
        for (auto& [value, shown] : choices) text(driver + L"\\Ndi\\Params\\" + keyword + L"\\enum", value.c_str(), shown);
    }

    std::string current(const std::wstring& driver, const wchar_t* keyword) {
        wchar_t buf[256] = {};
        DWORD size = sizeof buf;
        if (RegGetValueW(class_key_, driver.c_str(), keyword, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return "<none>";
        return narrow(buf);
    }

    const AdapterProperty* find(const std::vector<AdapterProperty>& all, const std::string& adapter, const std::string& name) {
        auto it = std::find_if(all.begin(), all.end(), [&](auto& p) { return p.adapter == adapter && p.display_name == name; });
        return it == all.end() ? nullptr : &*it;
    }

    std::wstring root_;
    HKEY class_key_ = nullptr;
    std::vector<NetAdapter> adapters_;
};

TEST_F(NetworkWin, ReadsEachPropertyOfThePhysicalAdaptersDrivers) {
    auto all = read_adapter_properties(class_key_, adapters_);
    struct Expect {
        std::string adapter, name, value, keyword;
        std::vector<std::string> valid;
        int64_t max;
    };
    const std::vector<Expect> expected = {
        {"Ethernet", "Energy Efficient Ethernet", "On", "*EEE", {"Off", "On"}, 0},
        {"Ethernet", "Interrupt Moderation", "Disabled", "*InterruptModeration", {"Disabled", "Enabled"}, 0},
        {"Ethernet", "Locally Administered Address", "", "NetworkAddress", {}, 0},
        {"Ethernet", "Receive Buffers", "256", "*ReceiveBuffers", {}, 4096},
        {"Ethernet", "Speed & Duplex", "Auto Negotiation", "*SpeedDuplex",
         {"Auto Negotiation", "10 Mbps Full Duplex", "1.0 Gbps Full Duplex", "10 Gbps Full Duplex"}, 0},
        {"Wi-Fi", "Roaming Aggressiveness", "3. Medium", "RoamAggressiveness", {"1. Lowest", "3. Medium", "5. Highest"}, 0},
    };
    ASSERT_EQ(all.size(), expected.size());
    for (auto& e : expected) {
        const AdapterProperty* p = find(all, e.adapter, e.name);
        ASSERT_TRUE(p) << e.adapter << " / " << e.name;
        EXPECT_EQ(p->display_value, e.value) << e.name;
        EXPECT_EQ(p->keyword, e.keyword) << e.name;
        EXPECT_EQ(p->valid_display_values, e.valid) << e.name;
        EXPECT_EQ(p->numeric_max, e.max) << e.name;
    }
}

TEST_F(NetworkWin, WritesTheRegistryValueOfTheChosenDisplayValue) {
    write_adapter_property(class_key_, adapters_, "ethernet", "interrupt moderation", "enabled");
    EXPECT_EQ(current(L"0000", L"*InterruptModeration"), "1");
    write_adapter_property(class_key_, adapters_, "Ethernet", "Speed & Duplex", "10 Gbps Full Duplex");
    EXPECT_EQ(current(L"0000", L"*SpeedDuplex"), "10");
    write_adapter_property(class_key_, adapters_, "Ethernet", "Receive Buffers", "4096");
    EXPECT_EQ(current(L"0000", L"*ReceiveBuffers"), "4096");
    write_adapter_property(class_key_, adapters_, "Ethernet", "Locally Administered Address", "02AABBCCDDEE");
    EXPECT_EQ(current(L"0000", L"NetworkAddress"), "02AABBCCDDEE");
    write_adapter_property(class_key_, adapters_, "Wi-Fi", "Roaming Aggressiveness", "5. Highest");
    EXPECT_EQ(current(L"0001", L"RoamAggressiveness"), "4");

    auto all = read_adapter_properties(class_key_, adapters_);
    EXPECT_EQ(find(all, "Ethernet", "Interrupt Moderation")->display_value, "Enabled");
    EXPECT_EQ(find(all, "Ethernet", "Speed & Duplex")->display_value, "10 Gbps Full Duplex");
}

TEST_F(NetworkWin, RefusesWhatTheDriverDoesNotAllowAndChangesNothing) {
    struct Case {
        const char *adapter, *name, *value, *message;
    };
    for (const Case& c : {
             Case{"Ethernet", "Interrupt Moderation", "Sometimes", "the value must be one of Disabled, Enabled."},
             Case{"Ethernet", "Receive Buffers", "79", "the value must be between 80 and 4096."},
             Case{"Ethernet", "Receive Buffers", "4097", "the value must be between 80 and 4096."},
             Case{"Ethernet", "Receive Buffers", "12abc", "the value must be a whole number."},
             Case{"Ethernet", "No Such Property", "On", "has no property \"No Such Property\""},
             Case{"Bluetooth", "Interrupt Moderation", "Enabled", "There is no network adapter named Bluetooth."},
         }) {
        try {
            write_adapter_property(class_key_, adapters_, c.adapter, c.name, c.value);
            ADD_FAILURE() << "accepted " << c.name << " = " << c.value;
        } catch (const PlatformError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(current(L"0000", L"*InterruptModeration"), "0");
    EXPECT_EQ(current(L"0000", L"*ReceiveBuffers"), "<none>");
}

TEST(NetworkWinSystem, PhysicalAdaptersHaveANameAndAnInterfaceGuid) {
    for (auto& a : physical_adapters()) {
        EXPECT_FALSE(a.name.empty());
        GUID g;
        EXPECT_EQ(CLSIDFromString(a.guid.c_str(), &g), NOERROR) << narrow(a.guid);
    }
    // Wine keeps no network class key: nothing to read, and nothing to throw about.
    auto props = make_network()->adapter_properties();
    for (auto& p : props) EXPECT_FALSE(p.adapter.empty());
}

}  // namespace
