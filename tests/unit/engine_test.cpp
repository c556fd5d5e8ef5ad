#include <gtest/gtest.h>

#include "app/core/app.h"
#include "app/core/settings.h"
#include "app/tools/applied_marks.h"
#include "registry_snapshot.h"
#include "test_machine.h"

using namespace vexlo;
using platform::RegKind;

namespace {

// The application without its window: stores, facts, catalog and the first state pass.
struct Headless {
    testkit::TempMachine pc;
    std::unique_ptr<App> app;
    explicit Headless(std::string_view image = "desktop11") : pc(image) { start(); }
    void start() {
        app = std::make_unique<App>(*pc);
        app->start_up();
    }
    // Quit and start again, reloading backup.json as a new run does.
    void restart() {
        app.reset();
        pc.reopen();
        start();
    }
    Tweak& tweak(std::string_view id) {
        Tweak* t = app->catalog.find(id);
        if (!t) throw std::runtime_error("no tweak " + std::string(id));
        return *t;
    }
};

Tweak reg_tweak(std::vector<RegE> entries) {
    Tweak t;
    t.id = "test_tweak";
    t.title = "Test tweak";
    t.reg = std::move(entries);
    return t;
}

constexpr const char* kKey = "HKLM:\\SOFTWARE\\VexloTest";

}  // namespace

TEST(RegKindState, ComparesTextOfValues) {
    testkit::TempMachine pc;
    Reg reg(pc->registry());
    BackupStore store(pc->files(), "C:\\b.json");
    Engine engine(reg, store);
    struct Case {
        platform::RegValue stored;
        Json want;
        RegKind kind;
        bool on;
    };
    const Case cases[] = {
        {platform::RegValue::dword(0xFFFFFFFFu), -1, RegKind::DWord, true},
        {platform::RegValue::dword(10), "10", RegKind::DWord, true},
        {platform::RegValue::dword(10), 11, RegKind::DWord, false},
        {platform::RegValue::string("high"), "High", RegKind::String, true},
        {platform::RegValue::string("High "), "High", RegKind::String, false},
        {platform::RegValue::qword(5), 5, RegKind::QWord, true},
    };
    for (auto& c : cases) {
        pc->registry().set(platform::Hive::LocalMachine, "SOFTWARE\\VexloTest", "v", c.stored);
        Tweak t = reg_tweak({{kKey, "v", c.want, c.kind}});
        EXPECT_EQ(engine.test_kind(t), c.on) << c.want.dump();
    }
    Tweak missing = reg_tweak({{kKey, "absent", 0}});
    EXPECT_FALSE(engine.test_kind(missing));
    Tweak empty_text = reg_tweak({{kKey, "absent", "", RegKind::String}});
    EXPECT_TRUE(engine.test_kind(empty_text));  // a missing value reads as the empty text
}

TEST(RegKindApply, TwiceThenRevertOnceGivesTheOriginalAndNoRecord) {
    Headless h;
    Tweak& t = h.tweak("prisep");
    Json original = h.app->reg.get(t.reg[0].p, t.reg[0].n);
    ASSERT_FALSE(original.is_null());
    h.app->engine.apply_kind(t);
    h.app->engine.apply_kind(t);
    EXPECT_TRUE(h.app->engine.test_kind(t));
    h.app->engine.revert_kind(t);
    EXPECT_EQ(h.app->reg.get(t.reg[0].p, t.reg[0].n), original);
    EXPECT_FALSE(h.app->store.has("prisep"));
}

TEST(RegKindApply, RevertWithoutRecordWritesFallbacks) {
    Headless h;
    Tweak& t = h.tweak("mmgames");
    h.app->engine.apply_kind(t);
    h.app->store.remove("mmgames");  // the backup was lost
    h.app->engine.revert_kind(t);
    const std::string key = t.reg[0].p;
    EXPECT_EQ(h.app->reg.get(key, "Priority"), 2);
    EXPECT_EQ(h.app->reg.get(key, "Scheduling Category"), "Medium");
    EXPECT_EQ(h.app->reg.get(key, "SFIO Priority"), "Normal");
    EXPECT_EQ(h.app->reg.get(key, "GPU Priority"), 8);
    Tweak& mpo = h.tweak("mpo");
    h.app->engine.apply_kind(mpo);
    h.app->store.remove("mpo");
    h.app->engine.revert_kind(mpo);
    EXPECT_TRUE(h.app->reg.get(mpo.reg[0].p, mpo.reg[0].n).is_null());
}

TEST(RegKindApply, FailedWritesRaiseAndKeepTheBackup) {
    Headless h;
    Tweak& t = h.tweak("dvr");  // three values
    auto before = testkit::snapshot(h.pc->registry());
    h.pc->faults().fail_registry_write(2);
    EXPECT_THROW(h.app->engine.apply_kind(t), platform::PlatformError);
    ASSERT_TRUE(h.app->store.has("dvr"));
    // The revert puts back what the partial apply changed.
    h.pc->faults().fail_registry_write(1);
    EXPECT_THROW(h.app->engine.revert_kind(t), platform::PlatformError);
    EXPECT_TRUE(h.app->store.has("dvr")) << "a revert that failed must not drop the originals";
    h.app->engine.revert_kind(t);
    EXPECT_FALSE(h.app->store.has("dvr"));
    auto after = testkit::snapshot(h.pc->registry());
    EXPECT_EQ(before, after);
}

TEST(Availability, PredicatesAndReasons) {
    Headless win11;
    EXPECT_TRUE(win11.tweak("gtimer").available);
    Headless win10("desktop10");
    Tweak& g = win10.tweak("gtimer");
    EXPECT_FALSE(g.available);
    EXPECT_EQ(g.reason, "Windows 11 only.");
    EXPECT_FALSE(g.state);

    Tweak t = reg_tweak({{kKey, "v", 1}});
    t.avail = [] () -> bool { throw std::runtime_error("query failed"); };
    t.why = "Because.";
    win11.app->engine.test_available(t);
    EXPECT_FALSE(t.available);
    EXPECT_EQ(t.reason, "Because.");
    t.why.clear();
    win11.app->engine.test_available(t);
    EXPECT_EQ(t.reason, "Not supported on this PC.");
    t.avail = [] { return true; };
    win11.app->engine.test_available(t);
    EXPECT_TRUE(t.available);
    EXPECT_EQ(t.reason, "");
}

// Every available tweak of the catalog, applied and reverted, leaves the PC as it was: the only
// differences allowed are keys an apply created (values are removed, keys stay).
TEST(CatalogRoundTrip, ApplyThenRevertEveryTweakRestoresTheRegistry) {
    Headless h;
    auto before = testkit::snapshot(h.pc->registry());
    std::vector<Tweak*> applied;
    for (auto& t : h.app->catalog.tweaks) {
        if (!t->available || t->state) continue;
        h.app->engine.apply_kind(*t);
        h.app->engine.sync_state(*t);
        EXPECT_TRUE(t->state) << t->id << " did not take";
        applied.push_back(t.get());
    }
    ASSERT_GT(applied.size(), 10u);
    for (auto* t : applied) h.app->engine.revert_kind(*t);
    EXPECT_EQ(testkit::snapshot(h.pc->registry()), before);
    EXPECT_TRUE(h.app->store.data().empty());
}

TEST(CatalogRoundTrip, TwiceAcrossARestartThenRevertOnce) {
    Headless h;
    auto before = testkit::snapshot(h.pc->registry());
    std::vector<std::string> ids;
    for (auto& t : h.app->catalog.tweaks)
        if (t->available && !t->state) {
            h.app->engine.apply_kind(*t);
            ids.push_back(t->id);
        }
    h.restart();
    for (auto& id : ids) h.app->engine.apply_kind(h.tweak(id));
    h.restart();
    for (auto& id : ids) {
        EXPECT_TRUE(h.tweak(id).state) << id;
        h.app->engine.revert_kind(h.tweak(id));
    }
    EXPECT_EQ(testkit::snapshot(h.pc->registry()), before);
}

TEST(AppliedMarks, SeededOnceFromWhatIsOnThenMarked) {
    Headless h;
    Reg& reg = h.app->reg;
    std::vector<std::string> on;
    for (auto& t : h.app->catalog.tweaks)
        if (t->state) on.push_back(t->id);
    ASSERT_FALSE(on.empty()) << "the default image has tweaks on already";
    EXPECT_EQ(get_applied_ids(reg), on);
    for (auto& id : on) set_applied_mark(reg, id, false);
    EXPECT_FALSE(reg.get_raw(kSettingsKey, "Applied"));
    set_applied_mark(reg, "a", true);
    set_applied_mark(reg, "b", true);
    set_applied_mark(reg, "a", true);
    EXPECT_EQ(get_applied_ids(reg), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(reg.get_raw(kSettingsKey, "Applied")->kind, RegKind::MultiString);
    set_applied_mark(reg, "a", false);
    set_applied_mark(reg, "b", false);
    EXPECT_FALSE(reg.get_raw(kSettingsKey, "Applied"));
    // An emptied list is seeded again at the next start.
    h.restart();
    EXPECT_EQ(get_applied_ids(h.app->reg), on);
}

TEST(Settings, OnlyOneTurnsAutoReapplyOnAndCheckUpdatesDefaultsOn) {
    Headless h;
    Reg& reg = h.app->reg;
    EXPECT_FALSE(settings::auto_reapply(reg));
    EXPECT_TRUE(settings::check_updates(reg));
    const std::pair<int, bool> reapply[] = {{1, true}, {2, false}, {0, false}, {-1, false}};
    for (auto [v, on] : reapply) {
        reg.set(kSettingsKey, "AutoReapply", v);
        EXPECT_EQ(settings::auto_reapply(reg), on) << v;
    }
    reg.set(kSettingsKey, "CheckUpdates", 0);
    EXPECT_FALSE(settings::check_updates(reg));
    EXPECT_FALSE(settings::last_version(reg));
    settings::set_last_version(reg, "3.1");
    EXPECT_EQ(settings::last_version(reg), "3.1");
    EXPECT_EQ(reg.get_raw(kSettingsKey, "LastVersion")->kind, RegKind::String);
}
