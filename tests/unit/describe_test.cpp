// The change preview (Engine::describe): the lines each kind shows before an apply and a revert,
// and that on the default PC every preview names exactly what the apply or revert then changes.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "app/tweaks/nic_cache.h"
#include "app/tweaks/kinds/devpwr_kind.h"
#include "app/tweaks/kinds/ini_kind.h"
#include "app/tweaks/kinds/nic_kind.h"
#include "app/tweaks/kinds/pwr_kind.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "app/tweaks/kinds/startup_kind.h"
#include "app/tweaks/kinds/svc_kind.h"
#include "app/tweaks/kinds/task_kind.h"
#include "headless_app.h"
#include "machine_state.h"

using namespace vexlo;
using platform::RegKind;
using testkit::Headless;

namespace {

using Lines = std::vector<std::string>;

Lines lines(const std::vector<PlannedChange>& changes) {
    Lines out;
    for (auto& c : changes) out.push_back(change_text(c));
    return out;
}

Tweak made(Kind kind, std::unique_ptr<KindData> data) {
    Tweak t;
    t.id = "case_tweak";
    t.title = "Case";
    t.kind = kind;
    t.data = std::move(data);
    return t;
}

Tweak nic_tweak(std::string rx, std::string target) {
    auto d = std::make_unique<NicKindData>();
    d->rx = std::move(rx);
    d->rx_re = make_pattern(d->rx);
    d->target = std::move(target);
    if (d->target != "MAX") d->target_re = make_pattern(d->target);
    return made(Kind::Nic, std::move(d));
}

constexpr const char* kKey = "HKCU:\\Software\\VexloTest";
constexpr const char* kSec = "/Script/FortniteGame.FortGameUserSettings";
constexpr const char* kStartupRun = "HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr const char* kCpuMin = "893dee8e-2bef-41e0-89c6-b55d0929964c";
constexpr const char* kSubProc = "54533251-82be-4824-96c1-47b60b740d00";

struct Case {
    const char* name;
    // Arranges the PC and returns a tweak that is off on it.
    std::function<Tweak(Headless&)> make;
    Lines apply;
    Lines revert;
    bool drop_record = false;  // the backup is lost between the apply and the revert
};

std::string ini_line(Headless& h, const std::string& key, const std::string& change) {
    return h.ini().path() + " [" + kSec + "] " + key + ": " + change;
}

}  // namespace

// Each kind, off and then on: the apply lists only what would change, an applied tweak's apply
// lists nothing, and the revert lists what it puts back from the record (or the fallback).
TEST(Describe, LinesOfEachKindBeforeApplyAndRevert) {
    const std::string start = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\";
    const std::string cpu_min = std::string("power setting ") + kCpuMin + " of plan Balanced (plugged in): ";
    const std::string blocked = "03 00 00 00 00 00 00 00 00 00 00 00 (Binary)";
    const std::string allowed = "02 00 00 00 00 00 00 00 00 00 00 00 (Binary)";
    const std::string hid = "device USB\\VID_046D&PID_C547&MI_0";
    const std::string hid2 = "device USB\\VID_1038&PID_161C&MI_01\\6&11F7B3C0&0&0001_0 may turn off to save power: ";
    const std::string mapsTask = "\\Microsoft\\Windows\\Maps\\MapsUpdateTask";
    const Case cases[] = {
        {"reg",
         [](Headless& h) {
             h.reg().set(kKey, "a", 0);
             h.reg().set(kKey, "c", 5);
             return made(Kind::Reg, std::make_unique<RegData>(std::vector<RegE>{
                                        {kKey, "a", 1}, {kKey, "b", "Off", RegKind::String}, {kKey, "c", 5},
                                        {kKey, "", "x", RegKind::String}}));
         },
         {"HKCU:\\Software\\VexloTest\\a: 0 (DWord) -> 1 (DWord)", "HKCU:\\Software\\VexloTest\\b: (not set) -> Off (String)",
          "HKCU:\\Software\\VexloTest\\(default): (not set) -> x (String)"},
         {"HKCU:\\Software\\VexloTest\\a: 1 (DWord) -> 0 (DWord)", "HKCU:\\Software\\VexloTest\\b: Off (String) -> (deleted)",
          "HKCU:\\Software\\VexloTest\\(default): x (String) -> (deleted)"}},
        {"reg without a record",
         [](Headless& h) {
             h.reg().set(kKey, "a", 0);
             return made(Kind::Reg, std::make_unique<RegData>(std::vector<RegE>{
                                        {kKey, "a", 1, RegKind::DWord, 7}, {kKey, "b", "Off", RegKind::String}}));
         },
         {"HKCU:\\Software\\VexloTest\\a: 0 (DWord) -> 1 (DWord)", "HKCU:\\Software\\VexloTest\\b: (not set) -> Off (String)"},
         {"HKCU:\\Software\\VexloTest\\a: 1 (DWord) -> 7 (DWord)", "HKCU:\\Software\\VexloTest\\b: Off (String) -> (deleted)"},
         true},
        {"svc disabled while running",
         [](Headless& h) {
             h.reg().set(kSvcRoot + std::string("\\SysMain"), "Start", 2);
             h.pc->services().start("SysMain");
             return made(Kind::Svc, std::make_unique<SvcData>("SysMain", 4));
         },
         {start + "SysMain\\Start: 2 (DWord) -> 4 (DWord)", "service SysMain: running -> stopped"},
         {start + "SysMain\\Start: 4 (DWord) -> 2 (DWord)", "service SysMain: stopped -> running"}},
        {"svc whose dependent stops with it",
         [](Headless& h) {
             h.pc->services().start("XblGameSave");  // needs XblAuthManager, started with it
             return made(Kind::Svc, std::make_unique<SvcData>("XblAuthManager", 4));
         },
         {start + "XblAuthManager\\Start: 3 (DWord) -> 4 (DWord)", "service XblAuthManager: running -> stopped",
          "service XblGameSave: running -> stopped"},
         // Both ran before, so both run again after the revert.
         {start + "XblAuthManager\\Start: 4 (DWord) -> 3 (DWord)", "service XblAuthManager: stopped -> running",
          "service XblGameSave: stopped -> running"}},
        {"task ready",
         [=](Headless& h) {
             h.pc->set_task_state(mapsTask, "Ready");
             return made(Kind::Task, std::make_unique<TaskData>(mapsTask));
         },
         {"task " + mapsTask + ": Ready -> Disabled"},
         {"task " + mapsTask + ": Disabled -> Ready"}},
        {"task without a record",
         [=](Headless& h) {
             h.pc->set_task_state(mapsTask, "Running");
             return made(Kind::Task, std::make_unique<TaskData>(mapsTask));
         },
         {"task " + mapsTask + ": Running -> Disabled"},
         {"task " + mapsTask + ": Disabled -> enabled"},
         true},
        {"pwr",
         [](Headless& h) {
             h.pc->power().set_ac_index(kSubProc, kCpuMin, 37);
             return made(Kind::Pwr, std::make_unique<PwrData>(kSubProc, kCpuMin, 100, 5));
         },
         {cpu_min + "37 -> 100"},
         {cpu_min + "100 -> 37"}},
        {"pwr without a record",
         [](Headless& h) {
             h.pc->power().set_ac_index(kSubProc, kCpuMin, 37);
             return made(Kind::Pwr, std::make_unique<PwrData>(kSubProc, kCpuMin, 100, 5));
         },
         {cpu_min + "37 -> 100"},
         {cpu_min + "100 -> 5"},
         true},
        {"nic, one of two already as wanted",
         [](Headless&) { return nic_tweak("^(ARP Offload|Adaptive Inter-Frame Spacing)$", "^(Disabled|Off|Disable)$"); },
         {"adapter Ethernet ARP Offload: Enabled -> Disabled"},
         {"adapter Ethernet ARP Offload: Disabled -> Enabled"}},
        {"devpwr, one device already kept on",
         [](Headless&) { return made(Kind::DevPwr, std::make_unique<DevPwrData>(std::vector<std::string>{"HIDClass"})); },
         {hid + "0\\6&3A0C1E9B&0&0000_0 may turn off to save power: yes -> no",
          hid + "1\\6&3A0C1E9B&0&0001_0 may turn off to save power: yes -> no",
          hid + "2\\6&3A0C1E9B&0&0002_0 may turn off to save power: yes -> no", hid2 + "yes -> no"},
         {hid + "0\\6&3A0C1E9B&0&0000_0 may turn off to save power: no -> yes",
          hid + "1\\6&3A0C1E9B&0&0001_0 may turn off to save power: no -> yes",
          hid + "2\\6&3A0C1E9B&0&0002_0 may turn off to save power: no -> yes", hid2 + "no -> yes"}},
        {"startup",
         [](Headless&) { return made(Kind::Startup, std::make_unique<StartupData>(kStartupRun, "Discord", false)); },
         {std::string(kStartupRun) + "\\Discord: (not set) -> " + blocked},
         {std::string(kStartupRun) + "\\Discord: " + blocked + " -> " + allowed}},
    };
    for (auto& c : cases) {
        Headless h;
        Tweak t = c.make(h);
        h.engine().sync_state(t);
        ASSERT_FALSE(t.state) << c.name;
        EXPECT_EQ(lines(h.engine().describe(t, true)), c.apply) << c.name;
        h.engine().apply_kind(t);
        EXPECT_EQ(lines(h.engine().describe(t, true)), Lines{}) << c.name << ": applied, nothing left to change";
        if (c.drop_record) h.store().remove(t.id);
        EXPECT_EQ(lines(h.engine().describe(t, false)), c.revert) << c.name;
    }
}

// The game's settings file, where the path leads every line.
TEST(Describe, IniLinesFromTheRecordAndFromTheFallback) {
    for (bool drop_record : {false, true}) {
        Headless h;
        h.ini().set(kSec, "bUseVSync", std::string_view("True"));
        h.ini().set(kSec, "VexloSame", std::string_view("2"));
        Tweak t = made(Kind::Ini, std::make_unique<IniData>(std::vector<IniE>{{kSec, "bUseVSync", "False", std::string("True")},
                                                                              {kSec, "VexloNew", "1", std::nullopt},
                                                                              {kSec, "VexloSame", "2", std::nullopt}}));
        EXPECT_EQ(lines(h.engine().describe(t, true)),
                  (Lines{ini_line(h, "bUseVSync", "True -> False"), ini_line(h, "VexloNew", "(not set) -> 1")}));
        h.engine().apply_kind(t);
        EXPECT_EQ(lines(h.engine().describe(t, true)), Lines{});
        if (drop_record) h.store().remove(t.id);
        Lines revert = {ini_line(h, "bUseVSync", "False -> True")};
        if (!drop_record) revert.push_back(ini_line(h, "VexloNew", "1 -> (deleted)"));  // no fallback: left as it is
        EXPECT_EQ(lines(h.engine().describe(t, false)), revert) << drop_record;
    }
}

// The catalog's own operations, off on the default PC, then on.
TEST(Describe, CustomOperationsListWhatTheyWrite) {
    Headless h;
    const std::string exe = *h.facts().fortnite_exe;
    const std::string root = "C:\\Program Files\\Epic Games\\Fortnite";
    const std::string settings = "HKCU:\\Software\\VexloTweaks\\";
    const std::string dx = "HKCU:\\Software\\Microsoft\\DirectX\\UserGpuPreferences\\";
    const std::string layers = "HKCU:\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers\\";
    struct CustomCase {
        const char* id;
        Lines apply, revert;
    };
    const CustomCase cases[] = {
        {"power",
         {settings + "PrevPowerPlan: (not set) -> 381b4222-f694-41f0-9685-ff5bb260df2e (String)",
          "power plan Vexlo Tweaks Ultimate: (none) -> copy of Ultimate Performance",
          settings + "PowerPlan: (not set) -> the copy's GUID (String)", "active power plan: Balanced -> Vexlo Tweaks Ultimate"},
         {"active power plan: Vexlo Tweaks Ultimate -> Balanced"}},
        {"hiber", {"hibernation: on -> off"}, {"hibernation: off -> on"}},
        {"dyntick", {"boot entry disabledynamictick: (not set) -> yes"}, {"boot entry disabledynamictick: Yes -> (deleted)"}},
        {"memcomp", {"memory compression (memory manager agent): on -> off"},
         {"memory compression (memory manager agent): off -> on"}},
        {"vrr",  // the image has the other token already
         {dx + "DirectXUserGlobalSettings: SwapEffectUpgradeEnable=1; (String) -> "
               "SwapEffectUpgradeEnable=1;VRROptimizeEnable=1; (String)"},
         {dx + "DirectXUserGlobalSettings: SwapEffectUpgradeEnable=1;VRROptimizeEnable=1; (String) -> "
               "SwapEffectUpgradeEnable=1; (String)"}},
        {"fngpu", {dx + exe + ": (not set) -> GpuPreference=2; (String)"},
         {dx + exe + ": GpuPreference=2; (String) -> (deleted)"}},
        {"fnfso", {layers + exe + ": (not set) -> ~ DISABLEDXMAXIMIZEDWINDOWEDMODE (String)"},
         {layers + exe + ": ~ DISABLEDXMAXIMIZEDWINDOWEDMODE (String) -> (deleted)"}},
        {"fnav", {"Microsoft Defender exclusion " + root + ": no -> yes"},
         {"Microsoft Defender exclusion " + root + ": yes -> no"}},
        {"ini_lock", {h.ini().path() + " read-only: no -> yes"}, {h.ini().path() + " read-only: yes -> no"}},
    };
    for (auto& c : cases) {
        Tweak& t = h.tweak(c.id);
        ASSERT_TRUE(t.available && !t.state) << c.id;
        EXPECT_EQ(lines(h.engine().describe(t, true)), c.apply) << c.id;
        h.engine().apply_kind(t);
        EXPECT_EQ(lines(h.engine().describe(t, true)), Lines{}) << c.id;
        EXPECT_EQ(lines(h.engine().describe(t, false)), c.revert) << c.id;
        h.engine().revert_kind(t);
    }
}

namespace {

bool starts_with_i(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

// Whether the preview place `where` names the machine-state key: each key stands in a preview
// under the name below. Hibernation is one switch of Windows that keeps HibernateEnabled and the
// hibernation file in step, so "hibernation" names both.
bool names_key(const std::string& where, const std::string& key, const testkit::MachineState& after,
               const std::string& ini_path) {
    auto rest = [&](std::string_view prefix) { return key.substr(prefix.size()); };
    if (key.starts_with("reg:")) {
        size_t bar = key.find('|');
        std::string path = key.substr(4, bar - 4);
        std::string name = key.substr(bar + 1);
        if (where == "hibernation") return iequals(path, "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Power") && name == "HibernateEnabled";
        // An interface's DNS servers are its NameServer value.
        if (where.starts_with("DNS servers of ")) {
            auto guid = after.find("adapter-guid:" + where.substr(15));
            return guid != after.end() && name == "NameServer" &&
                   iequals(path, "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" +
                                     guid->second.get<std::string>());
        }
        std::string hive = path.substr(0, 4), sub = path.substr(5);
        return iequals(where, hive + ":\\" + sub + "\\" + (name.empty() ? "(default)" : name));
    }
    if (key.starts_with("service:")) return iequals(where, "service " + rest("service:"));
    // The service manager's own start type moves with the service's Start value, which the
    // preview names.
    if (key.starts_with("service-start:"))
        return iequals(where, "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\" + rest("service-start:") + "\\Start");
    if (key.starts_with("task:")) return iequals(where, "task " + rest("task:"));
    if (key == "power:active") return where == "active power plan";
    if (key.starts_with("power:plan:")) return after.contains(key) && where == "power plan " + after.at(key).get<std::string>();
    if (key.starts_with("power:index:")) {
        std::string setting = rest("power:index:").substr(rest("power:index:").find('/') + 1);
        return starts_with_i(where, "power setting " + setting + " of plan ") && where.ends_with(" (plugged in)");
    }
    if (key.starts_with("nic:")) {
        std::string a = rest("nic:");
        size_t bar = a.find('|');
        return where == "adapter " + a.substr(0, bar) + " " + a.substr(bar + 1);
    }
    if (key.starts_with("dns:")) return where == "DNS servers of " + rest("dns:");
    if (key.starts_with("qos:")) return where == "QoS policy \"" + rest("qos:") + "\"";
    if (key.starts_with("offload-global:")) return where == "global offload setting " + rest("offload-global:");
    if (key == "mouse:live") return where == "mouse settings in use";
    if (key.starts_with("devpower:")) return where == "device " + rest("devpower:") + " may turn off to save power";
    if (key.starts_with("boot:")) return iequals(where, "boot entry " + rest("boot:"));
    if (key == "memory:" + std::to_string(int(platform::MemoryFeature::Compression)))
        return where == "memory compression (memory manager agent)";
    if (key == "memory:" + std::to_string(int(platform::MemoryFeature::PageCombining)))
        return where == "page combining (memory manager agent)";
    if (key == "memory:" + std::to_string(int(platform::MemoryFeature::ApplicationPreLaunch)))
        return where == "application prelaunch (memory manager agent)";
    if (key == "defender:exclusions") return where.starts_with("Microsoft Defender exclusion ");
    if (key == "defender:scan_cpu_load_factor") return where == "Microsoft Defender scan CPU load factor (%)";
    if (key == "defender:low_cpu_priority") return where == "Microsoft Defender low-priority scans";
    if (key == "file:" + ini_path) return where.starts_with(ini_path + " [");
    if (key == "file-readonly:" + ini_path) return where == ini_path + " read-only";
    if (key == "file-exists:C:\\hiberfil.sys") return where == "hibernation";
    return false;
}

std::set<std::string> changed_keys(const testkit::MachineState& a, const testkit::MachineState& b) {
    std::set<std::string> out;
    for (auto& [k, v] : a)
        if (auto it = b.find(k); it == b.end() || it->second != v) out.insert(k);
    for (auto& [k, v] : b)
        if (!a.contains(k)) out.insert(k);
    return out;
}

std::string listed(const std::set<std::string>& keys) {
    std::string out;
    for (auto& k : keys) out += "\n  " + k;
    return out;
}

}  // namespace

// On the default PC, every available tweak that is off, one at a time: its preview changes
// nothing (PC and backups), and the apply then changes exactly the places the preview named; so
// does the revert with the revert's preview. The kinds the catalog does not use here (nic,
// devpwr, startup) run as tweaks made up on what the PC has, so every kind is covered.
TEST(DescribeHonesty, ApplyAndRevertChangeExactlyWhatThePreviewNamed) {
    Headless h;
    std::vector<Tweak> made_up;
    made_up.push_back(nic_tweak(".", "MAX"));
    made_up.push_back(made(Kind::DevPwr, std::make_unique<DevPwrData>(std::vector<std::string>(
                                             std::begin(kDeviceClasses), std::end(kDeviceClasses)))));
    made_up.push_back(made(Kind::Startup, std::make_unique<StartupData>(kStartupRun, "Discord", false)));
    std::vector<Tweak*> tweaks;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->available && !t->state) tweaks.push_back(t.get());
    for (auto& t : made_up) {
        t.id = "made_" + std::string(kind_name(t.kind));
        h.engine().test_available(t);
        h.engine().sync_state(t);
        ASSERT_TRUE(t.available && !t.state) << t.id;
        tweaks.push_back(&t);
    }
    std::vector<std::pair<std::string, std::string>> settings;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->kind == Kind::Pwr) settings.emplace_back(t->data_as<PwrData>().sub, t->data_as<PwrData>().set);
    const std::string ini_path = h.ini().path();
    ASSERT_GT(tweaks.size(), 60u);

    // The keys that changed from `before` to `after` are exactly those the preview names.
    auto expect_named_exactly = [&](const std::string& what, const std::vector<PlannedChange>& preview,
                                    const testkit::MachineState& before, const testkit::MachineState& after) {
        std::set<std::string> named;
        std::string shown;
        for (auto& c : preview) {
            shown += "\n  " + change_text(c);
            bool found = false;
            for (auto* state : {&before, &after})
                for (auto& [key, value] : *state)
                    if (names_key(c.where, key, after, ini_path)) {
                        named.insert(key);
                        found = true;
                    }
            EXPECT_TRUE(found) << what << ": '" << change_text(c) << "' names no place on the PC";
        }
        auto changed = changed_keys(before, after);
        // The product's own bookkeeping (like backup.json, which the state does not hold):
        // the mark of operations that keep no record.
        changed.erase("reg:HKCU\\" + parse_reg_path(kSettingsKey)->subkey + "|Changed");
        // The settings read from the active plan follow a switch of the active plan.
        if (named.contains("power:active"))
            std::erase_if(changed, [](const std::string& k) { return k.starts_with("power:index:"); });
        EXPECT_EQ(changed, named) << what << "\nchanged:" << listed(changed) << "\npreview:" << shown;
    };

    std::set<Kind> kinds;
    for (Tweak* t : tweaks) {
        const auto before = testkit::machine_state(*h.pc, settings);
        const Json store_before = h.store().data();
        const auto preview = h.engine().describe(*t, true);
        EXPECT_TRUE(testkit::machine_state(*h.pc, settings) == before) << t->id << ": the preview changed the PC";
        EXPECT_EQ(h.store().data(), store_before) << t->id << ": the preview wrote a backup";
        EXPECT_FALSE(preview.empty()) << t->id << " is off, yet its preview lists nothing";

        h.engine().apply_kind(*t);
        const auto after = testkit::machine_state(*h.pc, settings);
        expect_named_exactly(t->id + " apply", preview, before, after);

        const auto undo = h.engine().describe(*t, false);
        h.engine().revert_kind(*t);
        expect_named_exactly(t->id + " revert", undo, after, testkit::machine_state(*h.pc, settings));
        kinds.insert(t->kind);
    }
    EXPECT_EQ(kinds.size(), kind_handlers().size());
}
