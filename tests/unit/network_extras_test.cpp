// The Input Latency and Network pages' further entries: the accidental pop-ups, the adapters'
// buffer, offload and wake settings on each driver family, the Windows-wide offload settings and
// NetBIOS over TCP/IP.
#include <gtest/gtest.h>

#include <map>

#include "app/tweaks/nic_cache.h"
#include "app/tweaks/kinds/nic_kind.h"
#include "headless_app.h"
#include "machine_state.h"

using namespace vexlo;
using platform::Hive;
using platform::OffloadGlobal;
using testkit::Headless;

namespace {

constexpr const char* kNetbt = "SYSTEM\\CurrentControlSet\\Services\\NetBT\\Parameters\\Interfaces";

std::vector<std::string> ids_of(Headless& h, std::string_view page, std::string_view group) {
    std::vector<std::string> out;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->page == page && t->group == group) out.push_back(t->id);
    return out;
}

std::vector<NicTarget> targets(Headless& h, const char* id) {
    return h.engine().nic_cache().targets(h.tweak(id).data_as<NicKindData>());
}

std::string property(Headless& h, std::string_view adapter, std::string_view name) {
    for (auto& p : h.pc->network().adapter_properties())
        if (p.adapter == adapter && p.display_name == name) return p.display_value;
    return "(missing)";
}

// NetbiosOptions of every NetBT interface key, by key.
std::map<std::string, Json> netbios_options(Headless& h) {
    std::map<std::string, Json> out;
    Reg reg = h.reg();
    for (auto& sub : h.pc->registry().subkey_names(Hive::LocalMachine, kNetbt))
        out[sub] = reg.get(std::string("HKLM:\\") + kNetbt + "\\" + sub, "NetbiosOptions");
    return out;
}

}  // namespace

TEST(NetworkExtrasCatalog, GroupsInOrderWithTheirFlags) {
    Headless h;
    using L = std::vector<std::string>;
    EXPECT_EQ(ids_of(h, "Latency", "Accidental pop-ups"), (L{"narrator", "highcontrast", "inkws", "touchviz", "hover"}));
    EXPECT_EQ(ids_of(h, "Network", "Adapter advanced"),
              (L{"nic_rss", "nic_rssq", "nic_rxbuf", "nic_txbuf", "nic_rsc4", "nic_rsc6", "nic_arp", "nic_ns", "nic_wolm",
                 "nic_wolp", "nic_woll", "nic_sdwol", "nic_pme", "nic_dsod"}));
    EXPECT_EQ(ids_of(h, "Network", "Advanced stack"),
              (L{"rsc_global", "pcf_global", "smartdns", "llmnr", "netbios", "isatap", "wifisense"}));
    for (const char* id : {"nic_rssq", "nic_rxbuf", "nic_txbuf"}) EXPECT_TRUE(h.tweak(id).adv) << id;
    EXPECT_FALSE(h.tweak("nic_rss").adv);
    EXPECT_TRUE(h.tweak("isatap").restart);
    EXPECT_FALSE(h.tweak("llmnr").restart);
}

// Which driver family offers which setting, and the value the entry picks on it.
TEST(NetworkExtrasCatalog, AdapterTargetsOnEachPC) {
    struct Case {
        const char* image;
        const char* id;
        std::vector<std::pair<std::string, std::string>> want;  // (adapter|property, value); empty: not offered
    };
    const Case cases[] = {
        // The receive buffers: the Intel driver's free number gets its maximum as text, the
        // Realtek driver's list its last value.
        {"desktop11", "nic_rxbuf", {{"Ethernet|Receive Buffers", "4096"}}},
        {"laptop11", "nic_rxbuf", {{"Ethernet|Receive Buffers", "2048"}}},
        {"desktop11", "nic_rssq", {{"Ethernet|Maximum Number of RSS Queues", "4 Queues"}}},
        // The Realtek roaming choice: the first value the pattern takes, Disable before Low.
        {"thin11", "wifi_rs", {{"Wi-Fi|Roaming Sensitivity", "Disable"}}},
        {"desktop11", "wifi_rs", {}},
        // By display name only: Wake on Link Settings, never Wake on Magic Packet.
        {"desktop11", "nic_woll", {{"Ethernet|Wake on Link Settings", "Disabled"}}},
        {"laptop11", "nic_sdwol", {{"Ethernet|Shutdown Wake-On-Lan", "Disabled"}}},
        {"desktop11", "nic_sdwol", {}},
        {"desktop11", "nic_pme", {{"Ethernet|Enable PME", "Disabled"}}},
        {"desktop10", "nic_dsod", {{"Ethernet|Device Sleep on Disconnect", "Disabled"}}},
        {"desktop11", "nic_dsod", {}},
        // The Wi-Fi's ARP offload carries the standard keyword under another name.
        {"desktop11", "nic_arp", {{"Ethernet|ARP Offload", "Disabled"}, {"Wi-Fi|ARP offload for WoWLAN", "Disabled"}}},
        {"desktop11", "wifi_wow1", {{"Wi-Fi|Sleep on WoWLAN Disconnect", "Disabled"}}},
        {"thin11", "wifi_wow1", {}},
        {"thin11", "wifi_wow2", {{"Wi-Fi|GTK rekeying for WoWLAN", "Disabled"}}},
        {"thin11", "nic_rsc4", {}},
        {"laptop11", "nic_rsc6", {{"Ethernet|Recv Segment Coalescing (IPv6)", "Disabled"}}},
    };
    std::map<std::string, std::unique_ptr<Headless>> pcs;
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.image) + " " + c.id);
        auto& h = pcs[c.image];
        if (!h) h = std::make_unique<Headless>(c.image);
        std::vector<std::pair<std::string, std::string>> got;
        for (auto& t : targets(*h, c.id)) got.emplace_back(t.adapter + "|" + t.display_name, t.want);
        EXPECT_EQ(got, c.want);
        Tweak& t = h->tweak(c.id);
        EXPECT_EQ(t.available, !c.want.empty());
        if (c.want.empty()) EXPECT_EQ(t.reason, "Your network adapter does not have this setting.");
    }
}

// The picked values are what an apply writes, and the revert brings back what the driver had.
TEST(NetworkExtrasCatalog, AdapterApplyAndRevert) {
    for (auto [image, id, adapter, name, before, after] :
         {std::tuple{"laptop11", "nic_rxbuf", "Ethernet", "Receive Buffers", "512", "2048"},
          std::tuple{"desktop11", "nic_rxbuf", "Ethernet", "Receive Buffers", "256", "4096"},
          std::tuple{"thin11", "wifi_rs", "Wi-Fi", "Roaming Sensitivity", "Medium", "Disable"}}) {
        SCOPED_TRACE(std::string(image) + " " + id);
        Headless h(image);
        EXPECT_FALSE(h.state(id));
        h.engine().apply_kind(h.tweak(id));
        EXPECT_EQ(property(h, adapter, name), after);
        EXPECT_TRUE(h.state(id));
        h.engine().revert_kind(h.tweak(id));
        EXPECT_EQ(property(h, adapter, name), before);
    }
}

// The shortcut flags are text: the apply writes "122", the revert without a record "126",
// both as strings as Windows keeps them.
TEST(NetworkExtrasCatalog, HighContrastFlagsStayText) {
    Headless h;
    const char* key = "Control Panel\\Accessibility\\HighContrast";
    auto flags = [&] { return h.pc->registry().get(Hive::CurrentUser, key, "Flags"); };
    ASSERT_EQ(flags(), platform::RegValue::string("126"));
    EXPECT_FALSE(h.state("highcontrast"));
    h.engine().apply_kind(h.tweak("highcontrast"));
    EXPECT_EQ(flags(), platform::RegValue::string("122"));
    EXPECT_TRUE(h.state("highcontrast"));
    h.store().remove("highcontrast");
    h.pc->registry().set(Hive::CurrentUser, key, "Flags", platform::RegValue::string("122"));
    h.engine().revert_kind(h.tweak("highcontrast"));
    EXPECT_EQ(flags(), platform::RegValue::string("126"));
}

TEST(OffloadGlobalTweaks, ApplySwitchesOffAndRevertBackOn) {
    for (auto [id, setting, where] :
         {std::tuple{"rsc_global", OffloadGlobal::ReceiveSegmentCoalescing, "global offload setting ReceiveSegmentCoalescing"},
          std::tuple{"pcf_global", OffloadGlobal::PacketCoalescingFilter, "global offload setting PacketCoalescingFilter"}}) {
        SCOPED_TRACE(id);
        Headless h;
        auto& net = h.pc->network();
        const OffloadGlobal other = setting == OffloadGlobal::ReceiveSegmentCoalescing
                                        ? OffloadGlobal::PacketCoalescingFilter
                                        : OffloadGlobal::ReceiveSegmentCoalescing;
        ASSERT_EQ(net.offload_global(setting), true);
        EXPECT_FALSE(h.state(id));
        auto preview = h.engine().describe(h.tweak(id), true);
        ASSERT_EQ(preview.size(), 1u);
        EXPECT_EQ(change_text(preview[0]), std::string(where) + ": Enabled -> Disabled");
        h.engine().apply_kind(h.tweak(id));
        EXPECT_EQ(net.offload_global(setting), false);
        EXPECT_EQ(net.offload_global(other), true) << "the other setting is left alone";
        EXPECT_TRUE(h.state(id));
        EXPECT_TRUE(h.engine().describe(h.tweak(id), true).empty());
        EXPECT_FALSE(h.store().has(id));
        h.engine().revert_kind(h.tweak(id));
        EXPECT_EQ(net.offload_global(setting), true);
        EXPECT_FALSE(h.state(id));
        // Survives the simulated PC being opened again.
        h.engine().apply_kind(h.tweak(id));
        h.restart();
        EXPECT_TRUE(h.state(id));
    }
}

// Every interface key gets 2 on apply and 0 on revert, whatever each had; one key left at 0
// keeps the entry off.
TEST(NetbiosTweak, EveryInterfaceKey) {
    Headless h;
    auto before = netbios_options(h);
    ASSERT_EQ(before.size(), 4u);  // Ethernet, Wi-Fi, the kernel debugger and the VPN miniport
    for (auto& [key, v] : before) EXPECT_EQ(v, 0) << key;
    EXPECT_FALSE(h.state("netbios"));

    Reg reg = h.reg();
    const std::string first = std::string("HKLM:\\") + kNetbt + "\\" + before.begin()->first;
    reg.set(first, "NetbiosOptions", 1, platform::RegKind::DWord);  // NetBIOS forced on for one
    h.engine().apply_kind(h.tweak("netbios"));
    for (auto& [key, v] : netbios_options(h)) EXPECT_EQ(v, 2) << key;
    EXPECT_TRUE(h.state("netbios"));
    EXPECT_FALSE(h.store().has("netbios"));

    reg.set(first, "NetbiosOptions", 0, platform::RegKind::DWord);
    EXPECT_FALSE(h.state("netbios"));
    h.engine().revert_kind(h.tweak("netbios"));
    for (auto& [key, v] : netbios_options(h)) EXPECT_EQ(v, 0) << key;
    EXPECT_EQ(h.pc->registry().get(Hive::LocalMachine, std::string(kNetbt) + "\\" + before.begin()->first, "NetbiosOptions"),
              platform::RegValue::dword(0));
}

// NetBIOS bound to no interface: the entry shows off, and its apply has nothing to change.
TEST(NetbiosTweak, NoInterfaceKeys) {
    Headless h("lowram11");
    ASSERT_TRUE(netbios_options(h).empty());
    EXPECT_TRUE(h.tweak("netbios").available);
    EXPECT_FALSE(h.state("netbios"));
    EXPECT_TRUE(h.engine().describe(h.tweak("netbios"), true).empty());
    const auto before = testkit::machine_state(*h.pc, {});
    h.engine().apply_kind(h.tweak("netbios"));
    auto changed = testkit::differences(before, testkit::machine_state(*h.pc, {}), [](const std::string& k) {
        return k == "reg:HKCU\\" + parse_reg_path(kSettingsKey)->subkey + "|Changed";  // the product's own mark
    });
    EXPECT_TRUE(changed.empty()) << changed.front();
    EXPECT_FALSE(h.state("netbios"));
}
