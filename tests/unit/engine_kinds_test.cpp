// Each kind of tweak against the simulated PC: state, apply with its backup, revert with the
// backup or the fallback. Tweaks here are made up for the case so that the PC can be arranged.
#include <gtest/gtest.h>

#include "app/tweaks/nic_cache.h"
#include "app/tweaks/kinds/devpwr_kind.h"
#include "app/tweaks/kinds/ini_kind.h"
#include "app/tweaks/kinds/nic_kind.h"
#include "app/tweaks/kinds/pwr_kind.h"
#include "app/tweaks/kinds/startup_kind.h"
#include "app/tweaks/kinds/svc_kind.h"
#include "app/tweaks/kinds/task_kind.h"
#include "headless_app.h"

using namespace vexlo;
using testkit::Headless;

namespace {

Tweak made(Kind kind, std::string id = "case_tweak") {
    Tweak t;
    t.id = std::move(id);
    t.title = "Case";
    t.kind = kind;
    return t;
}

constexpr const char* kSysMain = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\SysMain";

// SysMain automatic and running, and a service tweak that sets `start` on it.
Tweak sysmain_running(Headless& h, int start) {
    h.reg().set(kSysMain, "Start", 2);
    h.pc->services().start("SysMain");
    Tweak t = made(Kind::Svc);
    t.data = std::make_unique<SvcData>("SysMain", start);
    return t;
}

// A nic tweak on every property, wanting `target`.
Tweak every_property(std::string target) {
    Tweak t = made(Kind::Nic);
    auto d = std::make_unique<NicKindData>();
    d->rx = ".";
    d->rx_re = make_pattern(d->rx);
    d->target = std::move(target);
    if (d->target != "MAX") d->target_re = make_pattern(d->target);
    t.data = std::move(d);
    return t;
}

}  // namespace

TEST(SvcKind, DisableStopsAtOnceAndRevertStartsAnAutomaticService) {
    Headless h;
    auto& svc = h.pc->services();
    Tweak t = sysmain_running(h, 4);
    h.engine().test_available(t);
    ASSERT_TRUE(t.available);
    h.engine().apply_kind(t);
    EXPECT_EQ(h.reg().get(kSysMain, "Start"), 4);
    EXPECT_FALSE(svc.is_running("SysMain"));
    EXPECT_TRUE(h.engine().test_kind(t));
    h.engine().revert_kind(t);
    EXPECT_EQ(h.reg().get(kSysMain, "Start"), 2);
    EXPECT_TRUE(svc.is_running("SysMain"));
    EXPECT_FALSE(h.store().has(t.id));
}

TEST(SvcKind, OnDemandLeavesItRunningAndFallbackIsOnDemandNotStarted) {
    Headless h;
    auto& svc = h.pc->services();
    Tweak t = sysmain_running(h, 3);
    h.engine().apply_kind(t);
    EXPECT_TRUE(svc.is_running("SysMain"));
    svc.stop("SysMain");
    h.store().remove(t.id);  // backup lost
    h.engine().revert_kind(t);
    EXPECT_EQ(h.reg().get(kSysMain, "Start"), 3);
    EXPECT_FALSE(svc.is_running("SysMain"));

    Tweak missing = made(Kind::Svc);
    missing.data = std::make_unique<SvcData>("NoSuchService", 4);
    h.engine().test_available(missing);
    EXPECT_FALSE(missing.available);
    EXPECT_EQ(missing.reason, "This service is not installed on your PC.");
}

// The start type goes through the service manager, which reads the Start values only when
// Windows starts. Written to the registry alone, a disabled service could still be started
// until the next restart, and after one the revert's Start value would not count: the service
// it starts is refused as disabled and stays off.
TEST(SvcKind, StartTypeReachesTheServiceManagerAcrossARestart) {
    Headless h;
    auto& svc = h.pc->services();
    std::vector<std::string> warned;
    h.engine().set_warn([&](const std::string& line) { warned.push_back(line); });
    Tweak t = sysmain_running(h, 4);
    h.engine().apply_kind(t);
    EXPECT_EQ(svc.start_type("SysMain"), 4u);
    EXPECT_THROW(svc.start("SysMain"), platform::PlatformError);

    h.pc->reboot();
    ASSERT_FALSE(svc.is_running("SysMain"));
    h.engine().revert_kind(t);
    EXPECT_EQ(h.reg().get(kSysMain, "Start"), 2);
    EXPECT_EQ(svc.start_type("SysMain"), 2u);
    EXPECT_TRUE(svc.is_running("SysMain"));
    EXPECT_FALSE(h.store().has(t.id));
    EXPECT_EQ(warned, std::vector<std::string>{});
}

// Where the service manager refuses, the Start value is written alone, to count from the next
// restart, and the activity log says so.
TEST(SvcKind, ARefusedStartTypeIsWrittenToTheRegistry) {
    Headless h;
    auto& svc = h.pc->services();
    std::vector<std::string> warned;
    h.engine().set_warn([&](const std::string& line) { warned.push_back(line); });
    Tweak t = sysmain_running(h, 4);
    h.pc->faults().refuse_service_change("SysMain");
    h.engine().apply_kind(t);
    EXPECT_EQ(h.reg().get(kSysMain, "Start"), 4);
    EXPECT_EQ(svc.start_type("SysMain"), 2u);
    EXPECT_FALSE(svc.is_running("SysMain"));  // stopped all the same
    ASSERT_EQ(warned.size(), 1u);
    EXPECT_NE(warned[0].find("did not take the start type of SysMain"), std::string::npos) << warned[0];
    EXPECT_NE(warned[0].find("Access is denied"), std::string::npos) << warned[0];

    h.engine().revert_kind(t);
    EXPECT_EQ(h.reg().get(kSysMain, "Start"), 2);
    EXPECT_TRUE(svc.is_running("SysMain"));
    EXPECT_EQ(warned.size(), 2u);
    EXPECT_FALSE(h.store().has(t.id));
}

TEST(TaskKind, RevertEnablesOnlyWhatWasEnabledBefore) {
    Headless h;
    auto& tasks = h.pc->tasks();
    auto all = tasks.list();
    ASSERT_GE(all.size(), 2u);
    for (bool disabled_before : {false, true}) {
        auto& task = all[disabled_before ? 1 : 0];
        tasks.set_enabled(task.folder, task.name, !disabled_before);
        Tweak t = made(Kind::Task, disabled_before ? "t_dis" : "t_ready");
        t.data = std::make_unique<TaskData>(task.folder + task.name);
        h.engine().apply_kind(t);
        EXPECT_EQ(tasks.find(task.folder, task.name)->state, "Disabled");
        EXPECT_TRUE(h.engine().test_kind(t));
        h.engine().revert_kind(t);
        EXPECT_EQ(tasks.find(task.folder, task.name)->state, disabled_before ? "Disabled" : "Ready") << task.name;
        EXPECT_FALSE(h.store().has(t.id));
    }
    Tweak gone = made(Kind::Task);
    gone.data = std::make_unique<TaskData>("\\Microsoft\\Windows\\Nowhere\\Nothing");
    h.engine().test_available(gone);
    EXPECT_EQ(gone.reason, "This task does not exist on your PC.");
    EXPECT_THROW(h.engine().apply_kind(gone), std::exception);
}

TEST(PwrKind, RevertUsesTheRecordUnlessItEqualsTheOnValue) {
    Headless h;
    auto& power = h.pc->power();
    Tweak t = made(Kind::Pwr);
    t.data = std::make_unique<PwrData>("54533251-82be-4824-96c1-47b60b740d00", "893dee8e-2bef-41e0-89c6-b55d0929964c", 100, 5);
    const auto& pwr = t.data_as<PwrData>();
    ASSERT_TRUE(power.ac_index(pwr.sub, pwr.set));
    struct Case {
        int32_t before;
        bool keep_record;
        int32_t after;
    };
    const Case cases[] = {{37, true, 37}, {100, true, 5}, {37, false, 5}};
    for (auto& c : cases) {
        power.set_ac_index(pwr.sub, pwr.set, c.before);
        h.engine().apply_kind(t);
        EXPECT_EQ(power.ac_index(pwr.sub, pwr.set), 100);
        if (!c.keep_record) h.store().remove(t.id);
        h.engine().revert_kind(t);
        EXPECT_EQ(power.ac_index(pwr.sub, pwr.set), c.after) << c.before << " " << c.keep_record;
        EXPECT_FALSE(h.store().has(t.id));
    }
}

TEST(NicKind, AlreadyWantedStoresAnEmptyListAndRevertMovesToAnotherValue) {
    Headless h;
    auto& net = h.pc->network();
    Tweak t = every_property("^(Disabled|Off|Disable)$");  // every property with a valid value "Disabled"
    const NicData& nic = t.data_as<NicKindData>();
    auto targets = h.engine().nic_cache().targets(nic);
    ASSERT_FALSE(targets.empty());
    for (auto& x : targets) net.set_adapter_property(x.adapter, x.display_name, x.want);
    h.engine().refresh_caches();
    EXPECT_TRUE(h.engine().test_kind(t));
    h.engine().nic_dirty = false;
    h.engine().apply_kind(t);
    ASSERT_TRUE(h.store().has(t.id));
    EXPECT_EQ(*h.store().get(t.id), Json::array());
    EXPECT_TRUE(h.engine().nic_dirty);
    h.engine().revert_kind(t);
    for (auto& x : h.engine().nic_cache().targets(nic)) EXPECT_NE(x.current, x.want) << x.display_name;
    EXPECT_FALSE(h.engine().test_kind(t));
}

TEST(NicKind, RevertPutsBackExactlyWhatTheApplyChanged) {
    Headless h;
    Tweak t = every_property("MAX");
    auto before = h.engine().nic_cache().properties();
    h.engine().apply_kind(t);
    EXPECT_TRUE(h.engine().test_kind(t));
    h.engine().revert_kind(t);
    auto after = h.engine().nic_cache().properties();
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i].display_value, after[i].display_value);
}

TEST(DevPwrKind, RevertWithoutNamesEnablesEveryMatchingDevice) {
    Headless h;
    Tweak t = made(Kind::DevPwr);
    const std::vector<std::string> classes = {"USB", "HIDClass"};
    t.data = std::make_unique<DevPwrData>(classes);
    auto objs = h.engine().device_power().objects(classes);
    ASSERT_FALSE(objs.empty());
    h.engine().apply_kind(t);
    EXPECT_TRUE(h.engine().test_kind(t));
    h.store().remove(t.id);
    h.engine().revert_kind(t);
    for (auto& o : h.engine().device_power().objects(classes)) EXPECT_TRUE(o.enable) << o.instance_name;
}

// Available only where a present device of the classes has a power entry: the Windows 10 desktop
// has no Bluetooth adapter.
TEST(DevPwrKind, UnavailableWithoutDevicesOfTheClasses) {
    struct Case {
        const char* image;
        std::vector<std::string> classes;
        const char* reason;  // empty: available
    };
    const Case cases[] = {
        {"desktop11", {"Bluetooth"}, ""},
        {"desktop10", {"Bluetooth"}, "No matching devices found."},
        {"desktop10", {"Bluetooth", "USB"}, ""},
    };
    for (auto& c : cases) {
        Headless h(c.image);
        Tweak t = made(Kind::DevPwr);
        t.data = std::make_unique<DevPwrData>(c.classes);
        h.engine().test_available(t);
        EXPECT_EQ(t.available, std::string(c.reason).empty()) << c.image << " " << c.classes.size();
        EXPECT_EQ(t.reason, c.reason) << c.image << " " << c.classes.size();
    }
}

TEST(IniKind, RevertDeletesAKeyThatWasAbsentAndFallbackWritesOnlyGivenValues) {
    Headless h;
    ASSERT_TRUE(h.ini().exists());
    Tweak t = made(Kind::Ini);
    const std::string sec = "/Script/FortniteGame.FortGameUserSettings";
    t.data = std::make_unique<IniData>(
        std::vector<IniE>{{sec, "VexloCaseKey", "1", std::nullopt}, {sec, "bUseVSync", "False", std::string("True")}});
    h.engine().apply_kind(t);
    EXPECT_TRUE(h.engine().test_kind(t));
    EXPECT_TRUE(h.pc->files().exists(h.paths().backup_dir + "\\GameUserSettings.original.ini"));
    h.engine().revert_kind(t);
    EXPECT_EQ(h.ini().get(sec, "VexloCaseKey"), std::nullopt);

    h.engine().apply_kind(t);
    h.store().remove(t.id);
    h.engine().revert_kind(t);
    EXPECT_EQ(h.ini().get(sec, "VexloCaseKey"), "1") << "no fallback given: left as it is";
    EXPECT_EQ(h.ini().get(sec, "bUseVSync"), "True");
}

TEST(StartupKind, OddFirstByteIsBlocked) {
    Headless h;
    Tweak t = made(Kind::Startup);
    t.data = std::make_unique<StartupData>("HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run",
                                           "Discord", false);
    const auto& entry = t.data_as<StartupData>();
    EXPECT_FALSE(h.engine().test_kind(t)) << "a missing value is not blocked";
    h.engine().apply_kind(t);
    auto raw = h.reg().get_raw(entry.app, entry.name);
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->bytes, (std::vector<uint8_t>{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(h.engine().test_kind(t));
    h.engine().revert_kind(t);
    EXPECT_EQ(h.reg().get_raw(entry.app, entry.name)->bytes[0], 2);
    EXPECT_FALSE(h.engine().test_kind(t));
}
