#include <gtest/gtest.h>

#include <map>

#include "app/app.h"
#include "app/core/settings.h"
#include "app/tools/applied_marks.h"
#include "app/tweaks/kinds/pwr_kind.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "headless_app.h"
#include "machine_state.h"
#include "registry_snapshot.h"
#include "test_machine.h"

using namespace vexlo;
using platform::RegKind;

namespace {

using testkit::Headless;

Tweak reg_tweak(std::vector<RegE> entries) {
    Tweak t;
    t.id = "test_tweak";
    t.title = "Test tweak";
    t.data = std::make_unique<RegData>(std::move(entries));
    return t;
}

constexpr const char* kKey = "HKLM:\\SOFTWARE\\VexloTest";

const RegE& reg_entry(const Tweak& t) { return t.data_as<RegData>().entries.at(0); }

}  // namespace

TEST(RegKindState, ComparesTextOfValues) {
    testkit::TempMachine pc;
    Reg reg(pc->registry());
    BackupStore store(pc->files(), "C:\\b.json");
    IniFile ini(pc->files(), "C:\\g.ini", "C:\\g.original.ini");
    Engine engine(reg, store, *pc, ini);
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
    Json original = h.reg().get(reg_entry(t).p, reg_entry(t).n);
    ASSERT_FALSE(original.is_null());
    h.engine().apply_kind(t);
    h.engine().apply_kind(t);
    EXPECT_TRUE(h.engine().test_kind(t));
    h.engine().revert_kind(t);
    EXPECT_EQ(h.reg().get(reg_entry(t).p, reg_entry(t).n), original);
    EXPECT_FALSE(h.store().has("prisep"));
}

TEST(RegKindApply, RevertWithoutRecordWritesFallbacks) {
    Headless h;
    Tweak& t = h.tweak("mmgames");
    h.engine().apply_kind(t);
    h.store().remove("mmgames");  // the backup was lost
    h.engine().revert_kind(t);
    const std::string key = reg_entry(t).p;
    EXPECT_EQ(h.reg().get(key, "Priority"), 2);
    EXPECT_EQ(h.reg().get(key, "Scheduling Category"), "Medium");
    EXPECT_EQ(h.reg().get(key, "SFIO Priority"), "Normal");
    EXPECT_EQ(h.reg().get(key, "GPU Priority"), 8);
    Tweak& mpo = h.tweak("mpo");
    h.engine().apply_kind(mpo);
    h.store().remove("mpo");
    h.engine().revert_kind(mpo);
    EXPECT_TRUE(h.reg().get(reg_entry(mpo).p, reg_entry(mpo).n).is_null());
}

TEST(RegKindApply, FailedWritesRaiseAndKeepTheBackup) {
    Headless h;
    Tweak& t = h.tweak("dvr");  // three values
    auto before = testkit::snapshot(h.pc->registry());
    h.pc->faults().fail_registry_write(2);
    EXPECT_THROW(h.engine().apply_kind(t), platform::PlatformError);
    ASSERT_TRUE(h.store().has("dvr"));
    // The revert puts back what the partial apply changed.
    h.pc->faults().fail_registry_write(1);
    EXPECT_THROW(h.engine().revert_kind(t), platform::PlatformError);
    EXPECT_TRUE(h.store().has("dvr")) << "a revert that failed must not drop the originals";
    h.engine().revert_kind(t);
    EXPECT_FALSE(h.store().has("dvr"));
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
    win11.engine().test_available(t);
    EXPECT_FALSE(t.available);
    EXPECT_EQ(t.reason, "Because.");
    t.why.clear();
    win11.engine().test_available(t);
    EXPECT_EQ(t.reason, "Not supported on this PC.");
    t.avail = [] { return true; };
    win11.engine().test_available(t);
    EXPECT_TRUE(t.available);
    EXPECT_EQ(t.reason, "");
}

namespace {

std::vector<std::pair<std::string, std::string>> power_settings(const Catalog& cat) {
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& t : cat.tweaks)
        if (t->kind == Kind::Pwr) out.emplace_back(t->data_as<PwrData>().sub, t->data_as<PwrData>().set);
    return out;
}

std::string listed(const std::vector<std::string>& diffs) {
    std::string out;
    for (size_t i = 0; i < diffs.size() && i < 25; ++i) out += "\n  " + diffs[i];
    return out;
}

}  // namespace

// Every available tweak of the catalog, applied and then reverted (the last applied first),
// leaves the whole PC as it was, apart from the differences listed by name above; on each PC
// whose drivers, addresses and plans differ.
TEST(CatalogRoundTrip, ApplyThenRevertEveryTweakRestoresThePC) {
    for (const char* image : {"desktop11", "desktop10", "laptop11", "german11", "thin11"}) {
        SCOPED_TRACE(image);
        Headless h(image);
        auto settings = power_settings(h.app->tweaks().catalog());
        auto before = testkit::machine_state(*h.pc, settings);
        std::vector<Tweak*> applied;
        std::map<std::string, int> pages;
        for (auto& t : h.app->tweaks().catalog().tweaks) {
            // Startup entries keep no originals: blocking one is not a change to put back.
            if (!t->available || t->state || t->kind == Kind::Startup) continue;
            h.engine().apply_kind(*t);
            h.engine().sync_state(*t);
            EXPECT_TRUE(t->state) << t->id << " did not take";
            applied.push_back(t.get());
            ++pages[t->page];
        }
        ASSERT_GT(applied.size(), 60u);
        for (const char* page : {"System", "Latency", "Network", "Fortnite", "Debloat"}) EXPECT_GT(pages[page], 0) << page;
        for (auto it = applied.rbegin(); it != applied.rend(); ++it) h.engine().revert_kind(**it);
        auto diffs = testkit::differences(before, testkit::machine_state(*h.pc, settings),
                                          [&](const std::string& k) { return testkit::intended_difference(k, before); });
        EXPECT_TRUE(diffs.empty()) << diffs.size() << " differences:" << listed(diffs);
        EXPECT_TRUE(h.store().data().empty()) << h.store().data().dump();
    }
}

// Applied twice with a restart in between (backup.json reloaded), then reverted once: the
// first backup wins and the PC comes back as it was.
TEST(CatalogRoundTrip, TwiceAcrossARestartThenRevertOnce) {
    Headless h;
    auto settings = power_settings(h.app->tweaks().catalog());
    auto before = testkit::machine_state(*h.pc, settings);
    std::vector<std::string> ids;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->available && !t->state && t->kind != Kind::Startup) {
            h.engine().apply_kind(*t);
            ids.push_back(t->id);
        }
    h.restart();
    for (auto& id : ids) h.engine().apply_kind(h.tweak(id));
    h.restart();
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        EXPECT_TRUE(h.tweak(*it).state) << *it;
        h.engine().revert_kind(h.tweak(*it));
    }
    auto diffs = testkit::differences(before, testkit::machine_state(*h.pc, settings),
                                      [&](const std::string& k) { return testkit::intended_difference(k, before); });
    EXPECT_TRUE(diffs.empty()) << diffs.size() << " differences:" << listed(diffs);
}

TEST(AppliedMarks, SeededOnceFromWhatIsOnThenMarked) {
    Headless h;
    Reg reg = h.reg();
    std::vector<std::string> on;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->state && t->kind != Kind::Startup) on.push_back(t->id);
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
    Reg after = h.reg();
    EXPECT_EQ(get_applied_ids(after), on);
}

TEST(Settings, OnlyOneTurnsAutoReapplyOnAndCheckUpdatesDefaultsOn) {
    Headless h;
    Reg reg = h.reg();
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
