// The catalog's registry tweaks against the real registry: each available one is applied, seen
// as on, then all are reverted last-first, and every value they touch is back as it was, kind
// and data, or gone again when it was missing. It writes HKLM and the user's own settings, so it
// runs only under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "app/app.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "platform/win32/parts.h"
#include "platform/win32/win32_platform.h"

namespace {

using namespace vexlo;

using Snapshot = std::map<std::string, std::optional<platform::RegValue>>;

Snapshot snapshot(platform::Registry& reg, const Catalog& catalog) {
    Snapshot out;
    for (auto& t : catalog.tweaks) {
        if (t->kind != Kind::Reg) continue;
        for (auto& e : t->data_as<RegData>().entries) {
            auto path = parse_reg_path(e.p);
            if (!path) continue;
            out[e.p + " | " + e.n] = reg.get(path->hive, path->subkey, e.n);
        }
    }
    return out;
}

std::string shown(const std::optional<platform::RegValue>& v) {
    if (!v) return "(missing)";
    return reg_kind_name(v->kind) + " " + raw_json(*v).dump();
}

TEST(CatalogRoundTripWin, RegistryTweaksComeBackAsTheyWere) {
    if (!win32::running_under_wine())
        GTEST_SKIP() << "applies and reverts every registry tweak on this PC: run under Wine only";
    auto pf = win32::make_platform();
    const std::string data = pf->files().known_folder(platform::KnownFolder::LocalAppData) + "\\VexloTweaks";
    pf->files().remove(data + "\\backup.json");

    App app(*pf);
    app.window().set_window_visible(false);
    app.start_up();
    const Snapshot before = snapshot(pf->registry(), app.tweaks().catalog());

    std::vector<Tweak*> applied;
    for (auto& t : app.tweaks().catalog().tweaks) {
        if (t->kind != Kind::Reg || !t->available || t->state) continue;
        try {
            app.tweaks().engine().apply_kind(*t);
        } catch (const std::exception& e) {
            ADD_FAILURE() << t->id << ": " << e.what();
            continue;
        }
        app.tweaks().engine().sync_state(*t);
        EXPECT_TRUE(t->state) << t->id << " did not take";
        applied.push_back(t.get());
    }
    ASSERT_GT(applied.size(), 30u);
    for (auto it = applied.rbegin(); it != applied.rend(); ++it) {
        app.tweaks().engine().revert_kind(**it);
        app.tweaks().engine().sync_state(**it);
        EXPECT_FALSE((*it)->state) << (*it)->id << " still on after revert";
    }

    const Snapshot after = snapshot(pf->registry(), app.tweaks().catalog());
    for (auto& [where, was] : before) {
        auto now = after.at(where);
        EXPECT_TRUE(was == now) << where << ": was " << shown(was) << ", now " << shown(now);
    }
    EXPECT_TRUE(app.tweaks().backups().data().empty()) << app.tweaks().backups().data().dump();
    pf->files().remove(data + "\\backup.json");
}

}  // namespace

// The network and mouse operations that go through the registry and SystemParametersInfo, on the
// real back end: the QoS policy key, the TCP values on an interface with an address (one made for
// the test), and the mouse settings live and in the profile. Under Wine only, as above.
TEST(CatalogRoundTripWin, QosNagleAndMouseOperations) {
    if (!win32::running_under_wine()) GTEST_SKIP() << "changes machine policy and TCP/IP keys: run under Wine only";
    auto pf = win32::make_platform();
    const std::string data = pf->files().known_folder(platform::KnownFolder::LocalAppData) + "\\VexloTweaks";
    pf->files().remove(data + "\\backup.json");
    auto& r = pf->registry();
    const auto HKLM = platform::Hive::LocalMachine;
    const std::string base = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{0badc0de-0000-4000-";
    const std::string suffix = "-0000000000" + std::to_string(10 + GetCurrentProcessId() % 90) + "}";
    const std::string iface = base + "8000" + suffix, idle = base + "8001" + suffix;
    r.set(HKLM, iface, "DhcpIPAddress", platform::RegValue::string("192.168.77.5"));
    r.set(HKLM, idle, "DhcpIPAddress", platform::RegValue::string("0.0.0.0"));
    const auto mouse_before = pf->input().mouse_parameters();
    ASSERT_TRUE(mouse_before.has_value());

    App app(*pf);
    app.window().set_window_visible(false);
    app.start_up();
    Engine& engine = app.tweaks().engine();
    auto tweak = [&](const char* id) -> Tweak& { return *app.tweaks().find(id); };
    auto on = [&](const char* id) {
        engine.sync_state(tweak(id));
        return tweak(id).state;
    };

    engine.apply_kind(tweak("qos"));
    EXPECT_TRUE(on("qos"));
    EXPECT_TRUE(r.key_exists(HKLM, "SOFTWARE\\Policies\\Microsoft\\Windows\\QoS\\VexloTweaks Fortnite"));
    auto dscp = r.get(HKLM, "SOFTWARE\\Policies\\Microsoft\\Windows\\QoS\\VexloTweaks Fortnite", "DSCP Value");
    ASSERT_TRUE(dscp.has_value());
    EXPECT_EQ(dscp->text, "46");
    engine.revert_kind(tweak("qos"));
    EXPECT_FALSE(on("qos"));
    EXPECT_TRUE(r.get(HKLM, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\QoS", "Do not use NLA").has_value());

    engine.apply_kind(tweak("nagle"));
    EXPECT_EQ(r.get(HKLM, iface, "TcpAckFrequency"), platform::RegValue::dword(1));
    EXPECT_EQ(r.get(HKLM, iface, "TCPNoDelay"), platform::RegValue::dword(1));
    EXPECT_FALSE(r.get(HKLM, idle, "TcpAckFrequency").has_value()) << "0.0.0.0 is no address";
    engine.revert_kind(tweak("nagle"));
    EXPECT_FALSE(r.get(HKLM, iface, "TcpAckFrequency").has_value());
    EXPECT_FALSE(r.get(HKLM, iface, "TCPNoDelay").has_value());

    engine.apply_kind(tweak("mouse"));
    EXPECT_TRUE(on("mouse"));
    EXPECT_EQ(pf->input().mouse_parameters(), (platform::MouseParameters{0, 0, 0}));
    engine.revert_kind(tweak("mouse"));
    EXPECT_EQ(pf->input().mouse_parameters(), (platform::MouseParameters{6, 10, 1}));
    EXPECT_EQ(r.get(platform::Hive::CurrentUser, "Control Panel\\Mouse", "MouseSpeed"), platform::RegValue::string("1"));

    pf->input().set_mouse_parameters(*mouse_before, platform::kSpiUpdateIniFile);
    for (const std::string& key : {iface, idle}) r.remove(HKLM, key, "DhcpIPAddress");
    pf->files().remove(data + "\\backup.json");
}
