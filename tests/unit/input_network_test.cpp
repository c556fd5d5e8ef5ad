// The Input Latency and Network pages: their catalog as the product loads it, the mouse, QoS,
// Nagle and DNS operations, adapter settings in another language, and the reasons an entry is
// not offered on the PCs that lack what it changes.
#include <gtest/gtest.h>

#include <map>

#include "app/core/backup_store.h"
#include "app/tweaks/kinds/pwr_kind.h"
#include "headless_app.h"
#include "platform/sim/sim_faults.h"

using namespace vexlo;
using testkit::Headless;

namespace {

constexpr const char* kMouse = "HKCU:\\Control Panel\\Mouse";
constexpr const char* kInterfaces = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";
constexpr const char* kQosKey = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\QoS";
constexpr const char* kEthernet11 = "{8f3c2a1e-5b7d-4c9a-9e21-3d6f0a8b7c45}";  // desktop11's adapters
constexpr const char* kWifi11 = "{c41e7b90-2d3a-4f6e-8b15-a97d0e2c6f38}";
constexpr const char* kWifiSub = "19cbb8fa-5279-450e-9fac-8a3d5fedd0c1";
constexpr const char* kWifiSet = "12bbebe6-58d6-4636-95bb-3217ef867c1a";

std::vector<std::string> ids_of(Headless& h, std::string_view page, std::string_view group) {
    std::vector<std::string> out;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->page == page && t->group == group) out.push_back(t->id);
    return out;
}

uint32_t index_of(Headless& h, std::string_view adapter) {
    for (auto& a : h.pc->network().physical_adapters())
        if (a.name == adapter) return a.if_index;
    return 0;
}

std::vector<std::string> dns_of(Headless& h, std::string_view adapter) {
    return h.pc->network().dns_servers(index_of(h, adapter));
}

// Every interface key of the PC, and whether it holds the two TCP acknowledgement values.
std::map<std::string, bool> nagle_values(Headless& h) {
    std::map<std::string, bool> out;
    Reg reg = h.reg();
    for (auto& sub : h.pc->registry().subkey_names(platform::Hive::LocalMachine,
                                                   "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces")) {
        std::string key = std::string(kInterfaces) + "\\" + sub;
        out[sub] = reg.get(key, "TcpAckFrequency") == 1 && reg.get(key, "TCPNoDelay") == 1;
        EXPECT_EQ(reg.get(key, "TcpAckFrequency").is_null(), reg.get(key, "TCPNoDelay").is_null()) << sub;
    }
    return out;
}

}  // namespace

// The groups hold their entries in the order the page shows them.
TEST(LatencyNetworkCatalog, GroupsInOrder) {
    Headless h;
    using L = std::vector<std::string>;
    EXPECT_EQ(ids_of(h, "Latency", "Mouse"), (L{"mouse", "mouse_speed", "usbss", "usb_devpwr", "mouse_queue", "usb3lpm"}));
    EXPECT_EQ(ids_of(h, "Latency", "Keyboard"),
              (L{"kb_delay", "kb_rate", "sticky", "filterkeys", "togglekeys", "langkey", "kb_queue"}));
    EXPECT_EQ(ids_of(h, "Latency", "Controller"), (L{"gamebarbtn", "bt_devpwr", "gamebar_tips"}));
    EXPECT_EQ(ids_of(h, "Network", "Windows network"),
              (L{"netthrottle", "do_mode", "do_bw", "qos", "location", "teredo", "nagle", "dns", "net_devpwr"}));
    EXPECT_EQ(ids_of(h, "Network", "Ethernet adapter"),
              (L{"nic_eee", "nic_green", "nic_aeee", "nic_pwrsave", "nic_gl", "nic_adg", "nic_rspd", "nic_sips", "nic_ulp",
                 "nic_ss", "nic_im", "nic_imr", "nic_flow", "nic_lso4", "nic_lso6"}));
    EXPECT_EQ(ids_of(h, "Network", "Wi-Fi adapter"),
              (L{"wifi_pwr", "wifi_roam", "wifi_band", "wifi_mimo", "wifi_pc", "wifi_tx", "wifi_uap", "wifi_rs",
                 "wifi_wow1", "wifi_wow2"}));
    // The pages follow System in the catalog, Latency first.
    auto& all = h.app->tweaks().catalog().tweaks;
    auto pos = [&](std::string_view id) {
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i]->id == id) return i;
        return all.size();
    };
    EXPECT_LT(pos("hags"), pos("mouse"));
    EXPECT_LT(pos("gamebar_tips"), pos("netthrottle"));
    EXPECT_LT(pos("wifi_uap"), pos("fnprio"));
    EXPECT_TRUE(h.tweak("mouse_queue").adv && h.tweak("mouse_queue").restart);
    EXPECT_TRUE(h.tweak("nic_im").adv && !h.tweak("nic_im").restart);
    EXPECT_TRUE(h.tweak("netthrottle").restart && !h.tweak("netthrottle").adv);
}

// Why an entry is not offered, on the PCs that lack what it changes.
TEST(LatencyNetworkCatalog, ReasonsOnOtherPCs) {
    struct Case {
        const char* image;
        const char* id;
        const char* reason;  // empty: available
    };
    const char* no_setting = "Your power plan does not expose this setting.";
    const char* no_devices = "No matching devices found.";
    const char* no_adapter = "Your network adapter does not have this setting.";
    const Case cases[] = {
        {"desktop11", "usbss", ""},           {"thin11", "usbss", no_setting},
        {"desktop11", "wifi_pwr", ""},        {"thin11", "wifi_pwr", no_setting},
        {"desktop11", "usb_devpwr", ""},      {"thin11", "usb_devpwr", no_devices},
        {"thin11", "bt_devpwr", ""},          {"desktop10", "bt_devpwr", no_devices},
        {"thin11", "net_devpwr", ""},
        // Each driver family has its own power features.
        {"desktop11", "nic_eee", ""},         {"desktop11", "nic_green", no_adapter},
        {"desktop10", "nic_sips", ""},        {"desktop10", "nic_ulp", ""},
        {"desktop10", "nic_rspd", ""},        {"desktop10", "nic_green", no_adapter},
        {"desktop10", "nic_eee", ""},         // by its display name: the I219-V has no *EEE keyword
        {"laptop11", "nic_green", ""},        {"laptop11", "nic_gl", ""},
        {"laptop11", "nic_aeee", ""},         {"laptop11", "nic_adg", ""},
        {"laptop11", "nic_pwrsave", ""},      {"laptop11", "nic_sips", no_adapter},
        {"desktop10", "wifi_roam", no_adapter}, {"laptop11", "wifi_roam", ""},
    };
    std::map<std::string, std::unique_ptr<Headless>> pcs;
    for (auto& c : cases) {
        auto& h = pcs[c.image];
        if (!h) h = std::make_unique<Headless>(c.image);
        Tweak& t = h->tweak(c.id);
        EXPECT_EQ(t.available, std::string(c.reason).empty()) << c.image << " " << c.id;
        EXPECT_EQ(t.reason, c.reason) << c.image << " " << c.id;
    }
    // A laptop with no Ethernet port offers none of the Ethernet group.
    auto& thin = pcs["thin11"];
    for (auto& id : ids_of(*thin, "Network", "Ethernet adapter")) {
        EXPECT_FALSE(thin->tweak(id).available) << id;
        EXPECT_EQ(thin->tweak(id).reason, no_adapter) << id;
    }
}

// Registry entries whose fallback is the value they set, and the layout hotkeys with none.
TEST(LatencyNetworkCatalog, FallbackRevertsAndRecordedOnes) {
    Headless h;
    Reg reg = h.reg();
    // No record: "10" and "31" are both what the apply sets and what the fallback restores.
    for (auto [id, key, name, value] :
         {std::tuple{"mouse_speed", kMouse, "MouseSensitivity", "10"},
          std::tuple{"kb_rate", "HKCU:\\Control Panel\\Keyboard", "KeyboardSpeed", "31"}}) {
        ASSERT_TRUE(h.state(id)) << id;
        ASSERT_FALSE(h.store().has(id));
        h.engine().revert_kind(h.tweak(id));
        EXPECT_EQ(reg.get(key, name), value) << id;
    }
    // With a record the value the user had comes back.
    reg.set(kMouse, "MouseSensitivity", "14", platform::RegKind::String);
    h.engine().apply_kind(h.tweak("mouse_speed"));
    EXPECT_EQ(reg.get(kMouse, "MouseSensitivity"), "10");
    h.engine().revert_kind(h.tweak("mouse_speed"));
    EXPECT_EQ(reg.get(kMouse, "MouseSensitivity"), "14");

    // The layout hotkeys reverted without a record are deleted, so Windows' own choice returns.
    const char* toggle = "HKCU:\\Keyboard Layout\\Toggle";
    h.engine().apply_kind(h.tweak("langkey"));
    for (const char* n : {"Hotkey", "Language Hotkey", "Layout Hotkey"}) EXPECT_EQ(reg.get(toggle, n), "3") << n;
    h.store().remove("langkey");
    h.engine().revert_kind(h.tweak("langkey"));
    for (const char* n : {"Hotkey", "Language Hotkey", "Layout Hotkey"}) EXPECT_TRUE(reg.get(toggle, n).is_null()) << n;
}

// The Wi-Fi power setting goes back to the index recorded, and to 0 without one.
TEST(LatencyNetworkCatalog, WifiPowerRestoresTheRecordedIndexOrZero) {
    Headless h;
    auto& power = h.pc->power();
    for (int had : {3, 0}) {
        power.set_ac_index(kWifiSub, kWifiSet, had);
        h.engine().apply_kind(h.tweak("wifi_pwr"));
        EXPECT_EQ(power.ac_index(kWifiSub, kWifiSet), 0);
        h.engine().revert_kind(h.tweak("wifi_pwr"));
        EXPECT_EQ(power.ac_index(kWifiSub, kWifiSet), had);
    }
    power.set_ac_index(kWifiSub, kWifiSet, 2);
    ASSERT_FALSE(h.store().has("wifi_pwr"));
    h.engine().revert_kind(h.tweak("wifi_pwr"));
    EXPECT_EQ(power.ac_index(kWifiSub, kWifiSet), 0);
}

// Large Send Offload goes only by its keyword; the Intel rate wants exactly "Off".
TEST(LatencyNetworkCatalog, AdapterMatching) {
    Headless h("desktop10");
    auto targets = [&](const char* id) {
        return h.engine().nic_cache().targets(h.tweak(id).data_as<NicKindData>());
    };
    auto lso = targets("nic_lso4");
    ASSERT_EQ(lso.size(), 1u);
    EXPECT_EQ(lso[0].display_name, "Large Send Offload V2 (IPv4)");
    EXPECT_EQ(lso[0].want, "Disabled");
    auto imr = targets("nic_imr");
    ASSERT_EQ(imr.size(), 1u);
    EXPECT_EQ(imr[0].want, "Off");
    EXPECT_EQ(imr[0].current, "Adaptive");

    // A property named like Large Send Offload but with another keyword is not the tweak's.
    h.pc->network().set_adapter_property("Ethernet", "Large Send Offload V2 (IPv4)", "Disabled");
    h.restart();
    EXPECT_TRUE(h.state("nic_lso4"));
}

// On German Windows the drivers offer "Aus" and "Deaktiviert": a standardized keyword's choice
// stored as "0" is Off, for the state test and the apply alike, and the revert brings back what
// was there. Entries matched by an English display name only are not offered.
TEST(LatencyNetworkCatalog, AdapterSettingsInGerman) {
    Headless h("german11");
    struct Case {
        const char* id;
        const char* adapter;
        const char* display_name;
        const char* before;
        const char* off;
    };
    const Case cases[] = {
        {"nic_eee", "Ethernet", "Energieeffizientes Ethernet", "Ein", "Aus"},
        {"nic_flow", "Ethernet", "Flusssteuerung", "Rx & Tx aktiviert", "Deaktiviert"},
        {"nic_im", "Ethernet", "Interruptmoderation", "Aktiviert", "Deaktiviert"},
        {"nic_lso4", "Ethernet", "Large Send Offload V2 (IPv4)", "Aktiviert", "Deaktiviert"},
        {"wifi_pc", "Wi-Fi", "Paketzusammenführung", "Aktiviert", "Deaktiviert"},
    };
    auto value = [&](const Case& c) {
        for (auto& p : h.pc->network().adapter_properties())
            if (p.adapter == c.adapter && p.display_name == c.display_name) return p.display_value;
        return std::string("(missing)");
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.id);
        Tweak& t = h.tweak(c.id);
        ASSERT_TRUE(t.available) << t.reason;
        EXPECT_FALSE(h.state(c.id));
        EXPECT_EQ(value(c), c.before);
        h.engine().apply_kind(t);
        EXPECT_EQ(value(c), c.off);
        EXPECT_TRUE(h.state(c.id));
        h.engine().revert_kind(t);
        EXPECT_EQ(value(c), c.before);
    }
    for (const char* id : {"nic_imr", "nic_rspd", "wifi_mimo", "wifi_uap", "wifi_roam"}) {
        EXPECT_FALSE(h.tweak(id).available) << id;
    }
}

// Mouse acceleration: "0" as text or number is off; the apply and revert write the profile and
// tell Windows at once, and a refused live change still leaves the profile written.
TEST(MouseTweak, ProfileValuesAndTheLiveSettings) {
    Headless h;
    Reg reg = h.reg();
    for (Json speed : {Json("0"), Json(0)}) {
        reg.set(kMouse, "MouseSpeed", speed, speed.is_string() ? platform::RegKind::String : platform::RegKind::DWord);
        EXPECT_TRUE(h.state("mouse")) << speed.dump();
    }
    reg.set(kMouse, "MouseSpeed", "1", platform::RegKind::String);
    EXPECT_FALSE(h.state("mouse"));

    h.engine().apply_kind(h.tweak("mouse"));
    for (auto [name, v] : {std::pair{"MouseSpeed", "0"}, {"MouseThreshold1", "0"}, {"MouseThreshold2", "0"}})
        EXPECT_EQ(reg.get_raw(kMouse, name)->text, v) << name;
    auto live = h.pc->mouse_state();
    EXPECT_EQ(live.mouse, (platform::MouseParameters{0, 0, 0}));
    EXPECT_EQ(live.last_flags, 3u);
    EXPECT_TRUE(h.state("mouse"));

    h.engine().revert_kind(h.tweak("mouse"));
    for (auto [name, v] : {std::pair{"MouseSpeed", "1"}, {"MouseThreshold1", "6"}, {"MouseThreshold2", "10"}})
        EXPECT_EQ(reg.get_raw(kMouse, name)->text, v) << name;
    EXPECT_EQ(h.pc->mouse_state().mouse, (platform::MouseParameters{6, 10, 1}));
    EXPECT_EQ(h.pc->mouse_state().sets, live.sets + 1);

    h.pc->faults().fail_mouse_set(true);
    EXPECT_NO_THROW(h.engine().apply_kind(h.tweak("mouse")));
    EXPECT_TRUE(h.state("mouse"));
    EXPECT_EQ(h.pc->mouse_state().mouse, (platform::MouseParameters{6, 10, 1})) << "Windows refused the live change";
}

// The game's QoS policy: created with DSCP 46, the NLA value written only once the policy
// exists and before Windows is asked to apply them, and left in place by the revert.
TEST(QosTweak, PolicyThenNlaValueAndTheRevertLeavesIt) {
    Headless h;
    Reg reg = h.reg();
    h.pc->faults().fail_qos_policy(true);
    EXPECT_THROW(h.engine().apply_kind(h.tweak("qos")), std::exception);
    EXPECT_TRUE(reg.get(kQosKey, "Do not use NLA").is_null());
    EXPECT_FALSE(h.state("qos"));
    h.pc->faults().fail_qos_policy(false);

    h.engine().apply_kind(h.tweak("qos"));
    auto policies = h.pc->qos_policies();
    ASSERT_EQ(policies.size(), 1u);
    EXPECT_EQ(policies[0].name, "VexloTweaks Fortnite");
    EXPECT_EQ(policies[0].app_path, "FortniteClient-Win64-Shipping.exe");
    EXPECT_EQ(policies[0].dscp, 46);
    EXPECT_EQ(reg.get_raw(kQosKey, "Do not use NLA")->text, "1");
    EXPECT_TRUE(h.state("qos"));
    // Windows reads the NLA value when it applies the policies: it is there by then.
    auto refreshes = h.pc->qos_refreshes();
    ASSERT_EQ(refreshes.size(), 1u) << "no refresh for the failed attempt, one for the policy";
    EXPECT_EQ(refreshes[0].policies, (std::vector<std::string>{"VexloTweaks Fortnite"}));
    EXPECT_EQ(refreshes[0].no_nla, "1");

    h.engine().revert_kind(h.tweak("qos"));
    EXPECT_TRUE(h.pc->qos_policies().empty());
    EXPECT_EQ(reg.get(kQosKey, "Do not use NLA"), "1");
    EXPECT_FALSE(h.state("qos"));
    refreshes = h.pc->qos_refreshes();
    ASSERT_EQ(refreshes.size(), 2u);
    EXPECT_TRUE(refreshes[1].policies.empty()) << "the policy's removal is applied at once";
    EXPECT_NO_THROW(h.engine().revert_kind(h.tweak("qos"))) << "no policy to remove is no error";
}

// TCP acknowledgements go on every interface key with an address and nowhere else.
TEST(NagleTweak, OnlyInterfacesWithAnAddress) {
    Headless h("laptop11");
    const std::string wifi = "{e27a4c81-9f0b-4d36-a5c2-61b8d7e03f94}";
    EXPECT_FALSE(h.state("nagle"));
    h.engine().apply_kind(h.tweak("nagle"));
    auto set = nagle_values(h);
    for (auto& [key, on] : set) EXPECT_EQ(on, key == wifi) << key << ": only the Wi-Fi has an address, not 0.0.0.0";
    EXPECT_TRUE(h.state("nagle"));
    h.engine().revert_kind(h.tweak("nagle"));
    for (auto& [key, on] : nagle_values(h)) EXPECT_FALSE(on) << key;
    EXPECT_TRUE(h.reg().get(std::string(kInterfaces) + "\\" + wifi, "TcpAckFrequency").is_null());

    // A PC whose only address is 0.0.0.0 (the Wi-Fi lost its lease) has nothing to change.
    Reg reg = h.reg();
    reg.set(std::string(kInterfaces) + "\\" + wifi, "DhcpIPAddress", "0.0.0.0", platform::RegKind::String);
    reg.set(std::string(kInterfaces) + "\\" + wifi, "IPAddress", Json::array({"", "0.0.0.0"}), platform::RegKind::MultiString);
    EXPECT_FALSE(h.state("nagle"));
    h.engine().apply_kind(h.tweak("nagle"));
    for (auto& [key, on] : nagle_values(h)) EXPECT_FALSE(on) << key;
    EXPECT_FALSE(h.state("nagle"));

    // A static address in the list counts.
    reg.set(std::string(kInterfaces) + "\\" + wifi, "IPAddress", Json::array({"0.0.0.0", "10.0.0.23"}),
            platform::RegKind::MultiString);
    h.engine().apply_kind(h.tweak("nagle"));
    EXPECT_TRUE(h.state("nagle"));
}

// DNS servers: the record is on disk before the first server changes; each interface goes back
// to its own list in order, or to automatic; without a record every adapter goes to automatic.
TEST(DnsTweak, RecordFirstThenServersAndTheCacheFlushed) {
    // A static pair set by hand comes back as it was, in its order.
    {
        Headless h("desktop10");
        EXPECT_EQ(dns_of(h, "Ethernet"), (std::vector<std::string>{"8.8.8.8", "8.8.4.4"}));
        int flushes = h.pc->dns_flushes();
        h.engine().apply_kind(h.tweak("dns"));
        EXPECT_EQ(dns_of(h, "Ethernet"), (std::vector<std::string>{"1.1.1.1", "1.0.0.1"}));
        EXPECT_TRUE(h.state("dns"));
        EXPECT_EQ(*h.store().get("dns"), Json::parse(R"([{"I": "{5b9e1d24-7a3c-4e80-b6f2-0c8d3a91e7b5}", "V": "8.8.8.8,8.8.4.4"}])"));
        EXPECT_EQ(h.pc->dns_flushes(), flushes + 1);
        EXPECT_TRUE(h.pc->dns_cache().empty());
        h.restart();
        h.engine().revert_kind(h.tweak("dns"));
        EXPECT_EQ(dns_of(h, "Ethernet"), (std::vector<std::string>{"8.8.8.8", "8.8.4.4"}));
        EXPECT_FALSE(h.store().has("dns"));
        EXPECT_EQ(h.pc->dns_flushes(), flushes + 2);
    }
    // Automatic (what DHCP gave) goes back to automatic; the record of an unfinished apply is
    // the one kept.
    {
        Headless h;
        ASSERT_FALSE(h.pc->dns_cache().empty());
        h.pc->faults().fail_dns_change(true);
        EXPECT_THROW(h.engine().apply_kind(h.tweak("dns")), std::exception);
        ASSERT_TRUE(h.store().has("dns")) << "the servers the interfaces had are kept before any change";
        h.pc->faults().fail_dns_change(false);
        h.engine().apply_kind(h.tweak("dns"));
        EXPECT_EQ(*h.store().get("dns"), (Json::array({{{"I", kEthernet11}, {"V", ""}}, {{"I", kWifi11}, {"V", ""}}})));
        h.engine().revert_kind(h.tweak("dns"));
        for (const char* a : {"Ethernet", "Wi-Fi"}) EXPECT_EQ(dns_of(h, a), (std::vector<std::string>{"192.168.1.1"})) << a;
        EXPECT_EQ(value_text(h.reg().get(std::string(kInterfaces) + "\\{8f3c2a1e-5b7d-4c9a-9e21-3d6f0a8b7c45}", "NameServer")), "");
    }
    // Without a record, every physical adapter goes to automatic, whatever its status.
    {
        Headless h("desktop10");
        h.pc->set_adapter_status("Ethernet", "Disconnected");
        h.engine().revert_kind(h.tweak("dns"));
        EXPECT_TRUE(value_text(h.reg().get(std::string(kInterfaces) + "\\{5b9e1d24-7a3c-4e80-b6f2-0c8d3a91e7b5}",
                                           "NameServer"))
                        .empty());
    }
}

// The record names each adapter by its interface GUID: Windows gives an adapter a new interface
// index when it is disabled and enabled, which restarting the adapters does. A record of the
// older kind, by index, still reverts while the index is the adapter's.
TEST(DnsTweak, TheRecordFollowsTheAdapterThroughARestart) {
    Headless h;
    Reg reg = h.reg();
    reg.set(std::string(kInterfaces) + "\\" + kWifi11, "NameServer", "9.9.9.9,149.112.112.112", platform::RegKind::String);
    const uint32_t ethernet_before = index_of(h, "Ethernet");
    h.engine().apply_kind(h.tweak("dns"));
    ASSERT_TRUE(h.state("dns"));
    for (const char* a : {"Ethernet", "Wi-Fi"}) h.pc->network().restart_adapter(a);
    ASSERT_NE(index_of(h, "Ethernet"), ethernet_before) << "the simulated PC renumbers a restarted adapter";

    h.engine().revert_kind(h.tweak("dns"));
    EXPECT_EQ(dns_of(h, "Ethernet"), (std::vector<std::string>{"192.168.1.1"}));
    EXPECT_EQ(dns_of(h, "Wi-Fi"), (std::vector<std::string>{"9.9.9.9", "149.112.112.112"}));
    EXPECT_FALSE(h.store().has("dns"));

    // An older record: by index, as long as the index is still the adapter's.
    Headless old("desktop10");
    old.engine().apply_kind(old.tweak("dns"));
    old.store().put("dns", Json::parse(R"([{"I": 7, "V": "8.8.8.8,8.8.4.4"}])"));
    old.restart();
    ASSERT_TRUE(old.store().has("dns")) << "an index record is still one of ours";
    old.engine().revert_kind(old.tweak("dns"));
    EXPECT_EQ(dns_of(old, "Ethernet"), (std::vector<std::string>{"8.8.8.8", "8.8.4.4"}));

    // After a restart that index names no interface: the servers cannot go back, and the record
    // stays rather than being lost.
    old.engine().apply_kind(old.tweak("dns"));
    old.store().put("dns", Json::parse(R"([{"I": 7, "V": "8.8.8.8,8.8.4.4"}])"));
    old.pc->network().restart_adapter("Ethernet");
    EXPECT_THROW(old.engine().revert_kind(old.tweak("dns")), std::exception);
    EXPECT_EQ(dns_of(old, "Ethernet"), (std::vector<std::string>{"1.1.1.1", "1.0.0.1"}));
    EXPECT_TRUE(old.store().has("dns"));
}

// An adapter whose servers cannot go back keeps none of the others from going back; the revert
// then reports it, and the record stays until every adapter is back.
TEST(DnsTweak, AnAdapterThatCannotGoBackStopsNoOther) {
    Headless h;
    Reg reg = h.reg();
    reg.set(std::string(kInterfaces) + "\\" + kWifi11, "NameServer", "9.9.9.9", platform::RegKind::String);
    h.engine().apply_kind(h.tweak("dns"));
    h.pc->set_adapter_status("Ethernet", "Disabled");  // first in the record

    try {
        h.engine().revert_kind(h.tweak("dns"));
        ADD_FAILURE() << "the Ethernet adapter's servers could not go back, and nothing said so";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("Ethernet"), std::string::npos) << e.what();
    }
    EXPECT_EQ(dns_of(h, "Wi-Fi"), (std::vector<std::string>{"9.9.9.9"}));
    ASSERT_TRUE(h.store().has("dns"));

    // Enabled again (with a new index), the next revert finishes the job.
    h.pc->set_adapter_status("Ethernet", "Up");
    h.engine().revert_kind(h.tweak("dns"));
    EXPECT_EQ(dns_of(h, "Ethernet"), (std::vector<std::string>{"192.168.1.1"}));
    EXPECT_FALSE(h.store().has("dns"));

    // An adapter that is no longer on the PC is reported by its GUID, the others go back.
    h.engine().apply_kind(h.tweak("dns"));
    Json rec = *h.store().get("dns");
    rec.push_back({{"I", "{00000000-1111-2222-3333-444444444444}"}, {"V", "8.8.8.8"}});
    h.store().put("dns", rec);
    try {
        h.engine().revert_kind(h.tweak("dns"));
        ADD_FAILURE() << "a missing adapter went unreported";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("{00000000-1111-2222-3333-444444444444}"), std::string::npos) << e.what();
    }
    EXPECT_EQ(dns_of(h, "Ethernet"), (std::vector<std::string>{"192.168.1.1"}));
    EXPECT_EQ(dns_of(h, "Wi-Fi"), (std::vector<std::string>{"9.9.9.9"}));
}

// No adapter up: not in effect; the apply stores an empty list only when no record exists yet.
TEST(DnsTweak, NoAdapterUp) {
    Headless h("desktop11");
    h.pc->set_adapter_status("Ethernet", "Disconnected");
    h.pc->set_adapter_status("Wi-Fi", "Disabled");
    EXPECT_FALSE(h.state("dns"));
    h.engine().apply_kind(h.tweak("dns"));
    EXPECT_EQ(*h.store().get("dns"), Json::array());
    EXPECT_FALSE(h.state("dns"));

    Json kept = Json::parse(R"([{"I": "{8f3c2a1e-5b7d-4c9a-9e21-3d6f0a8b7c45}", "V": "9.9.9.9"}])");
    h.store().put("dns", kept);
    h.engine().apply_kind(h.tweak("dns"));
    EXPECT_EQ(*h.store().get("dns"), kept);
}

// A record someone else wrote cannot steer a DNS change: one that is not a list of interfaces
// with IPv4 servers is set aside at start and never used.
TEST(DnsTweak, APlantedRecordIsNotUsed) {
    Headless h("desktop10");
    const std::string path = h.paths().backup_file;
    for (Json planted :
         {Json::parse(R"([{"I": 7, "V": "8.8.8.8,evil.example"}])"), Json::parse(R"([{"I": 0, "V": ""}])"),
          Json::parse(R"({"I": 7, "V": "1.2.3.4"})"), Json::parse(R"([{"I": "7", "V": "1.2.3.4"}])"),
          Json::parse(R"([{"I": "Ethernet", "V": "1.2.3.4"}])"),
          Json::parse(R"([{"I": "{5b9e1d24-7a3c-4e80-b6f2-0c8d3a91e7b5}\\..", "V": "1.2.3.4"}])"),
          Json::parse(R"([{"I": "{5b9e1d24-7a3c-4e80-b6f2-0c8d3a91e7bZ}", "V": "1.2.3.4"}])"),
          Json::parse(R"([{"I": 7.5, "V": "1.2.3.4"}])")}) {
        SCOPED_TRACE(planted.dump());
        Json file = parse_backup_text(*h.pc->files().read(path));
        file["dns"] = planted;
        h.pc->files().write(path, file.dump());
        h.restart();
        EXPECT_FALSE(h.store().has("dns"));
        EXPECT_EQ(dns_of(h, "Ethernet"), (std::vector<std::string>{"8.8.8.8", "8.8.4.4"}));
    }
    // Both forms of ours are kept: by GUID (any case) and, from older versions, by index.
    for (Json ours : {Json::parse(R"([{"I": "{5B9E1D24-7A3C-4E80-B6F2-0C8D3A91E7B5}", "V": "1.2.3.4"}])"),
                      Json::parse(R"([{"I": 7, "V": "1.2.3.4"}])")}) {
        SCOPED_TRACE(ours.dump());
        Json file = parse_backup_text(*h.pc->files().read(path));
        file["dns"] = ours;
        h.pc->files().write(path, file.dump());
        h.restart();
        ASSERT_TRUE(h.store().has("dns"));
        h.engine().revert_kind(h.tweak("dns"));
        EXPECT_EQ(dns_of(h, "Ethernet"), (std::vector<std::string>{"1.2.3.4"}));
    }
}
