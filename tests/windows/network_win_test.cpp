// Adapter advanced properties read from and written to driver keys laid out as Windows keeps
// them, built for the test under the current user's hive; the adapters' interface data, their DNS
// servers and the QoS policies on the PC itself (changed only under Wine).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/network.h"
#include "platform/win32/adapter_registry.h"
#include "platform/win32/net_routes.h"
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
        // A driver that speaks German: its choices are known only by what it stores.
        choice_param(L"0001", L"*EEE", L"Energieeffizientes Ethernet", L"1", {{L"1", L"Aktiviert"}, {L"0", L"Deaktiviert"}});
        text(L"0001", L"*EEE", L"0");
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
        std::string stored;                 // registry_value
        std::vector<std::string> storable;  // valid_registry_values, paired with `valid`
    };
    const std::vector<Expect> expected = {
        {"Ethernet", "Energy Efficient Ethernet", "On", "*EEE", {"Off", "On"}, 0, "1", {"0", "1"}},
        {"Ethernet", "Interrupt Moderation", "Disabled", "*InterruptModeration", {"Disabled", "Enabled"}, 0, "0", {"0", "1"}},
        {"Ethernet", "Locally Administered Address", "", "NetworkAddress", {}, 0, "", {}},
        {"Ethernet", "Receive Buffers", "256", "*ReceiveBuffers", {}, 4096, "256", {}},
        {"Ethernet", "Speed & Duplex", "Auto Negotiation", "*SpeedDuplex",
         {"Auto Negotiation", "10 Mbps Full Duplex", "1.0 Gbps Full Duplex", "10 Gbps Full Duplex"}, 0, "0", {"0", "2", "6", "10"}},
        {"Wi-Fi", "Energieeffizientes Ethernet", "Deaktiviert", "*EEE", {"Deaktiviert", "Aktiviert"}, 0, "0", {"0", "1"}},
        {"Wi-Fi", "Roaming Aggressiveness", "3. Medium", "RoamAggressiveness", {"1. Lowest", "3. Medium", "5. Highest"}, 0, "2",
         {"0", "2", "4"}},
    };
    ASSERT_EQ(all.size(), expected.size());
    for (auto& e : expected) {
        const AdapterProperty* p = find(all, e.adapter, e.name);
        ASSERT_TRUE(p) << e.adapter << " / " << e.name;
        EXPECT_EQ(p->display_value, e.value) << e.name;
        EXPECT_EQ(p->keyword, e.keyword) << e.name;
        EXPECT_EQ(p->valid_display_values, e.valid) << e.name;
        EXPECT_EQ(p->numeric_max, e.max) << e.name;
        EXPECT_EQ(p->registry_value, e.stored) << e.name;
        EXPECT_EQ(p->valid_registry_values, e.storable) << e.name;
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
    write_adapter_property(class_key_, adapters_, "Wi-Fi", "Energieeffizientes Ethernet", "Aktiviert");
    EXPECT_EQ(current(L"0001", L"*EEE"), "1");

    auto all = read_adapter_properties(class_key_, adapters_);
    EXPECT_EQ(find(all, "Ethernet", "Interrupt Moderation")->display_value, "Enabled");
    EXPECT_EQ(find(all, "Ethernet", "Speed & Duplex")->display_value, "10 Gbps Full Duplex");
    EXPECT_EQ(find(all, "Ethernet", "Speed & Duplex")->registry_value, "10");
    EXPECT_EQ(find(all, "Wi-Fi", "Energieeffizientes Ethernet")->registry_value, "1");
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

// Wine may list no physical adapter at all; then only the agreement of the two lists is shown.
TEST(NetworkWinSystem, EachListedAdapterHasItsInterfaceIndexAndGuid) {
    auto listed = make_network()->physical_adapters();
    auto known = physical_adapters();
    ASSERT_EQ(listed.size(), known.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        const auto& a = listed[i];
        SCOPED_TRACE(a.name);
        EXPECT_EQ(a.name, known[i].name);
        EXPECT_EQ(a.guid, narrow(known[i].guid));
        EXPECT_TRUE(a.status == "Up" || a.status == "Disconnected" || a.status == "Disabled") << a.status;
        ASSERT_TRUE(a.guid.size() == 38 && a.guid.front() == '{' && a.guid.back() == '}') << a.guid;
        if (a.status == "Disabled" && a.if_index == 0) continue;  // Windows may give a disabled one no index
        ASSERT_NE(a.if_index, 0u);
        // The index leads to the very interface the GUID names.
        NET_LUID luid{};
        GUID by_index{};
        ASSERT_EQ(ConvertInterfaceIndexToLuid(a.if_index, &luid), DWORD(NO_ERROR));
        ASSERT_EQ(ConvertInterfaceLuidToGuid(&luid, &by_index), DWORD(NO_ERROR));
        wchar_t text[64] = {};
        StringFromGUID2(by_index, text, 64);
        EXPECT_EQ(narrow(text), a.guid);
    }
    std::cout << "[          ] " << listed.size() << " physical adapter(s) listed\n";
}

// Rows as GetIfTable2 gives them, made by hand: only hardware with a connector that is not an
// NDIS filter stacked on an adapter counts.
TEST(NetworkWinRoutes, PhysicalAdapterRowsLeaveOutFilterInterfaces) {
    struct Case {
        bool hardware, connector, filter, physical;
    } cases[] = {
        {true, true, false, true},    // a network card
        {true, true, true, false},    // a filter driver's interface on top of that card
        {true, false, false, false},  // hardware without a connector (a WAN miniport)
        {false, true, false, false},  // a virtual adapter
        {false, false, true, false},
    };
    for (auto& c : cases) {
        MIB_IF_ROW2 row{};
        row.InterfaceAndOperStatusFlags.HardwareInterface = c.hardware;
        row.InterfaceAndOperStatusFlags.ConnectorPresent = c.connector;
        row.InterfaceAndOperStatusFlags.FilterInterface = c.filter;
        row.OperStatus = IfOperStatusUp;
        EXPECT_EQ(is_physical_adapter_row(row), c.physical) << c.hardware << c.connector << c.filter;
    }
}

TEST(NetworkWinRoutes, NetshCommandsForDnsServers) {
    using Commands = std::vector<std::vector<std::wstring>>;
    EXPECT_EQ(netsh_dns_commands(12, {}), (Commands{{L"interface", L"ipv4", L"set", L"dnsservers", L"name=12", L"source=dhcp"}}));
    EXPECT_EQ(netsh_dns_commands(7, {L"1.1.1.1", L"1.0.0.1"}),
              (Commands{{L"interface", L"ipv4", L"set", L"dnsservers", L"name=7", L"source=static", L"address=1.1.1.1",
                         L"register=primary", L"validate=no"},
                        {L"interface", L"ipv4", L"add", L"dnsservers", L"name=7", L"address=1.0.0.1", L"index=2",
                         L"validate=no"}}));
}

// Which route changes the servers: SetInterfaceDnsSettings where Windows has it; netsh where it
// does not, and for a reset (an empty list, which Microsoft does not document) that it refused.
TEST(NetworkWinRoutes, DnsChangesFallBackToNetshOnlyWhereTheyShould) {
    struct Case {
        const char* name;
        bool has_api;
        DWORD api_answer;
        std::vector<std::wstring> servers;
        std::vector<std::wstring> api_lists;        // what SetInterfaceDnsSettings got
        std::vector<std::wstring> netsh_lines;      // each netsh command, its arguments joined
        bool throws;
    } cases[] = {
        {"set through the API", true, NO_ERROR, {L"1.1.1.1", L"1.0.0.1"}, {L"1.1.1.1,1.0.0.1"}, {}, false},
        {"reset through the API", true, NO_ERROR, {}, {L""}, {}, false},
        {"reset refused by the API", true, ERROR_INVALID_PARAMETER, {}, {L""},
         {L"interface ipv4 set dnsservers name=9 source=dhcp"}, false},
        {"set refused by the API", true, ERROR_ACCESS_DENIED, {L"1.1.1.1"}, {L"1.1.1.1"}, {}, true},
        {"no API: netsh sets", false, NO_ERROR, {L"1.1.1.1", L"1.0.0.1"}, {},
         {L"interface ipv4 set dnsservers name=9 source=static address=1.1.1.1 register=primary validate=no",
          L"interface ipv4 add dnsservers name=9 address=1.0.0.1 index=2 validate=no"},
         false},
        {"no API: netsh resets", false, NO_ERROR, {}, {}, {L"interface ipv4 set dnsservers name=9 source=dhcp"}, false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> api_lists, netsh_lines;
        std::function<DWORD(const std::wstring&)> api;
        if (c.has_api)
            api = [&](const std::wstring& list) {
                api_lists.push_back(list);
                return c.api_answer;
            };
        auto netsh = [&](const std::vector<std::wstring>& args) {
            std::wstring line;
            for (auto& a : args) line += (line.empty() ? L"" : L" ") + a;
            netsh_lines.push_back(line);
        };
        bool threw = false;
        try {
            change_dns_servers(9, c.servers, "Cannot change", api, netsh);
        } catch (const PlatformError& e) {
            threw = true;
            EXPECT_EQ(std::string(e.what()).rfind("Cannot change", 0), 0u) << e.what();
        }
        EXPECT_EQ(threw, c.throws);
        EXPECT_EQ(api_lists, c.api_lists);
        EXPECT_EQ(netsh_lines, c.netsh_lines);
    }
    // A netsh that fails is reported, not passed over.
    EXPECT_THROW(change_dns_servers(9, {}, "Cannot reset", {},
                                    [](const std::vector<std::wstring>&) { throw PlatformError("netsh ended with code 1."); }),
                 PlatformError);
}

bool is_ipv4(const std::string& s) {
    in_addr a{};
    return inet_pton(AF_INET, s.c_str(), &a) == 1;
}

// The interfaces the IP helper knows for IPv4, by index, loopback last.
std::vector<uint32_t> ipv4_interfaces() {
    std::vector<uint32_t> out, loopback;
    ULONG size = 64 * 1024;
    std::vector<ULONGLONG> buf(size / sizeof(ULONGLONG));
    auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data());
    if (GetAdaptersAddresses(AF_INET, 0, nullptr, first, &size) != NO_ERROR) return out;
    for (auto* a = first; a; a = a->Next) (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK ? loopback : out).push_back(a->IfIndex);
    out.insert(out.end(), loopback.begin(), loopback.end());
    return out;
}

constexpr uint32_t kNoSuchInterface = 0x7ffffff0;

TEST(NetworkWinDns, ReadsOnlyIpv4ServersAndNothingForAMissingInterface) {
    auto net = make_network();
    std::vector<uint32_t> indexes = ipv4_interfaces();
    for (auto& a : net->physical_adapters()) indexes.push_back(a.if_index);
    for (uint32_t index : indexes)
        for (auto& server : net->dns_servers(index)) EXPECT_TRUE(is_ipv4(server)) << index << ": " << server;
    EXPECT_TRUE(net->dns_servers(kNoSuchInterface).empty());
    EXPECT_TRUE(net->dns_servers(0).empty());
}

// The list is refused before the interface is even looked up: the missing interface is not
// what the message names.
TEST(NetworkWinDns, RefusesAnythingButIpv4ServersFirst) {
    auto net = make_network();
    struct Case {
        std::vector<std::string> servers;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{}, "no DNS server was given"},
        {{"1.1.1.1", "::1"}, "\"::1\" is not an IPv4 address"},
        {{"dns.google"}, "\"dns.google\" is not an IPv4 address"},
        {{"1.1.1"}, "\"1.1.1\" is not an IPv4 address"},
        {{"256.1.1.1"}, "\"256.1.1.1\" is not an IPv4 address"},
        {{"1.1.1.1 "}, "\"1.1.1.1 \" is not an IPv4 address"},
        {{std::string("1.1.1.1\0x", 9)}, "holds a NUL character"},
    };
    for (const auto& c : cases) {
        try {
            net->set_dns_servers(kNoSuchInterface, c.servers);
            ADD_FAILURE() << "accepted " << c.servers.size() << " server(s)";
        } catch (const PlatformError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(NetworkWinDns, RefusesAMissingInterface) {
    auto net = make_network();
    for (uint32_t index : {uint32_t(0), kNoSuchInterface}) {
        try {
            net->set_dns_servers(index, {"127.0.0.1"});
            ADD_FAILURE() << "set on interface " << index;
        } catch (const PlatformError& e) {
            EXPECT_NE(std::string(e.what()).find("there is no network interface"), std::string::npos) << e.what();
        }
        EXPECT_THROW(net->reset_dns_servers(index), PlatformError) << index;
    }
}

bool has_set_interface_dns_settings() {
    HMODULE iphlpapi = GetModuleHandleW(L"iphlpapi.dll");
    return iphlpapi && GetProcAddress(iphlpapi, "SetInterfaceDnsSettings");
}

TEST(NetworkWinDns, SetsServersInOrderAndResetsThem) {
    if (!running_under_wine()) GTEST_SKIP() << "changes an interface's DNS servers: only under Wine";
    auto net = make_network();
    auto indexes = ipv4_interfaces();
    if (indexes.empty()) GTEST_SKIP() << "Wine lists no IPv4 interface";
    const uint32_t index = indexes.front();
    const auto before = net->dns_servers(index);
    net->set_dns_servers(index, {"127.0.0.1", "127.0.0.2"});
    auto after = net->dns_servers(index);
    if (after != std::vector<std::string>{"127.0.0.1", "127.0.0.2"} && !has_set_interface_dns_settings()) {
        ASSERT_EQ(after, before) << "the servers changed, but not to what was set";
        GTEST_SKIP() << "Wine's iphlpapi has no SetInterfaceDnsSettings, and its netsh answers 0 to "
                        "\"interface ipv4 set dnsservers\" without changing anything";
    }
    EXPECT_EQ(after, (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
    net->reset_dns_servers(index);
    EXPECT_NE(net->dns_servers(index), after);
}

TEST(NetworkWinDns, FlushesTheCache) {
    try {
        make_network()->flush_dns_cache();
    } catch (const PlatformError& e) {
        if (running_under_wine()) GTEST_SKIP() << "Wine: " << e.what();
        FAIL() << e.what();
    }
}

const std::wstring kQosKey = L"SOFTWARE\\Policies\\Microsoft\\Windows\\QoS";

// Machine policy is written only under Wine, under a name of the test's own.
class QosWin : public ::testing::Test {
protected:
    void SetUp() override {
        if (!running_under_wine()) GTEST_SKIP() << "writes machine policy: only under Wine";
        name_ = "VexloTest QoS " + std::to_string(GetCurrentProcessId());
        path_ = kQosKey + L"\\" + widen(name_);
    }
    void TearDown() override {
        if (name_.empty()) return;
        for (const std::wstring& p : {path_, kQosKey + L"\\" + widen(name_) + L"-outer"}) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, p.c_str());
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, p.c_str(), KEY_WOW64_64KEY, 0);
        }
    }

    bool key_exists(const std::wstring& path) {
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &k) != ERROR_SUCCESS) return false;
        RegCloseKey(k);
        return true;
    }
    std::optional<std::string> value(const wchar_t* name) {
        wchar_t buf[512] = {};
        DWORD size = sizeof buf;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, path_.c_str(), name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, buf, &size) !=
            ERROR_SUCCESS)
            return std::nullopt;
        return narrow(buf);
    }
    DWORD value_count() {
        HKEY k = nullptr;
        DWORD n = 0;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &k) != ERROR_SUCCESS) return 0;
        RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(k);
        return n;
    }
    // What a process ended half-way through writing a policy would leave behind.
    void plant_without_version() {
        for (auto [name, v] : {std::pair{L"Application Name", L"old.exe"}, std::pair{L"Stale", L"x"}})
            ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, path_.c_str(), name, REG_SZ, v, DWORD((wcslen(v) + 1) * 2)),
                      ERROR_SUCCESS);
    }
    void expect_policy(const std::string& app, const std::string& dscp) {
        const std::vector<std::pair<const wchar_t*, std::string>> expected = {
            {L"Version", "1.0"},
            {L"Application Name", app},
            {L"Protocol", "*"},
            {L"Local Port", "*"},
            {L"Local IP", "*"},
            {L"Local IP Prefix Length", "*"},
            {L"Remote Port", "*"},
            {L"Remote IP", "*"},
            {L"Remote IP Prefix Length", "*"},
            {L"DSCP Value", dscp},
            {L"Throttle Rate", "-1"},
        };
        for (auto& [name, v] : expected) EXPECT_EQ(value(name).value_or("<none>"), v) << narrow(name);
        EXPECT_EQ(value_count(), DWORD(expected.size())) << "values left from before";
    }

    std::unique_ptr<vexlo::platform::Network> net_ = make_network();
    std::string name_;
    std::wstring path_;
};

std::string with_case(std::string s, int (*change)(int)) {
    for (char& c : s) c = char(change((unsigned char)c));
    return s;
}

TEST_F(QosWin, CreatesReplacesAndRemovesAPolicy) {
    EXPECT_FALSE(net_->qos_policy_exists(name_));
    net_->create_qos_policy({name_, "FortniteClient-Win64-Shipping.exe", 46});
    EXPECT_TRUE(net_->qos_policy_exists(name_));
    EXPECT_TRUE(net_->qos_policy_exists(with_case(name_, ::toupper)));
    EXPECT_TRUE(net_->qos_policy_exists(with_case(name_, ::tolower)));
    expect_policy("FortniteClient-Win64-Shipping.exe", "46");

    // Created again: nothing of the old one stays.
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, path_.c_str(), L"Stale", REG_SZ, L"x", 4), ERROR_SUCCESS);
    net_->create_qos_policy({with_case(name_, ::tolower), "C:\\Games\\Other.exe", 0});
    expect_policy("C:\\Games\\Other.exe", "0");

    EXPECT_TRUE(net_->remove_qos_policy(with_case(name_, ::toupper)));
    EXPECT_FALSE(net_->qos_policy_exists(name_));
    EXPECT_FALSE(key_exists(path_));
    EXPECT_FALSE(net_->remove_qos_policy(name_));
}

TEST_F(QosWin, AKeyWithoutVersionIsNoPolicy) {
    plant_without_version();
    EXPECT_FALSE(net_->qos_policy_exists(name_));
    net_->create_qos_policy({name_, "FortniteClient-Win64-Shipping.exe", 46});
    expect_policy("FortniteClient-Win64-Shipping.exe", "46");
    ASSERT_TRUE(net_->remove_qos_policy(name_));

    // Removing such a leftover says there was no policy, and still clears it away.
    plant_without_version();
    EXPECT_FALSE(net_->remove_qos_policy(name_));
    EXPECT_FALSE(key_exists(path_));
}

TEST_F(QosWin, RefusesABadNameOrDscpAndWritesNothing) {
    const std::string nested = name_ + "-outer\\inner";
    struct Case {
        std::string name;
        int dscp;
        const char* message;
    };
    for (const Case& c : {Case{"", 46, "must not be empty or hold a backslash"},
                          Case{nested, 46, "must not be empty or hold a backslash"},
                          Case{name_, -1, "between 0 and 63"}, Case{name_, 64, "between 0 and 63"}}) {
        try {
            net_->create_qos_policy({c.name, "FortniteClient-Win64-Shipping.exe", c.dscp});
            ADD_FAILURE() << "created \"" << c.name << "\" with DSCP " << c.dscp;
        } catch (const PlatformError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(key_exists(path_));
    EXPECT_FALSE(key_exists(kQosKey + L"\\" + widen(name_) + L"-outer"));
    EXPECT_FALSE(net_->qos_policy_exists(""));
    EXPECT_FALSE(net_->qos_policy_exists(nested));
    EXPECT_THROW(net_->remove_qos_policy(""), PlatformError);  // would be every policy at once
    EXPECT_THROW(net_->remove_qos_policy(nested), PlatformError);
}

}  // namespace
