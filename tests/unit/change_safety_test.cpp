// A change never loses the value it replaced: a change cut short is reverted from its record,
// records go only once their values are back, a record that cannot be saved stops the change,
// bulk reverts undo only the product's own changes, and backup.json is checked before use.
#include <gtest/gtest.h>

#include "app/core/paths.h"
#include "app/tweaks/change_marks.h"
#include "app/tweaks/kinds/pwr_kind.h"
#include "app/tweaks/kinds/svc_kind.h"
#include "headless_app.h"
#include "machine_state.h"

using namespace vexlo;
using testkit::Headless;

namespace {

constexpr const char* kGames = "HKLM:\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Multimedia\\SystemProfile\\Tasks\\Games";
constexpr const char* kPowerSaver = "a1841308-3541-4fab-bc81-f71556f20b4a";

struct QuietFront : ChangeFront {
    std::vector<std::string> lines;
    void log(std::string_view m, LogKind) override { lines.emplace_back(m); }
    void toast(std::string_view) override {}
    bool confirm_advanced(const Tweak&) override { return true; }
    void game_running(const Tweak&) override {}
    bool said(std::string_view part) const {
        return std::any_of(lines.begin(), lines.end(), [&](auto& l) { return l.find(part) != std::string::npos; });
    }
};

std::vector<Tweak*> every_tweak(Headless& h) {
    std::vector<Tweak*> out;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->kind != Kind::Startup) out.push_back(t.get());
    return out;
}

std::vector<std::pair<std::string, std::string>> power_settings(Headless& h) {
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->kind == Kind::Pwr) out.emplace_back(t->data_as<PwrData>().sub, t->data_as<PwrData>().set);
    return out;
}

std::vector<std::string> lost(Headless& h, const testkit::MachineState& before,
                              const std::vector<std::pair<std::string, std::string>>& settings) {
    return testkit::differences(before, testkit::machine_state(*h.pc, settings),
                                [&](const std::string& k) { return testkit::intended_difference(k, before); });
}

std::string first(const std::vector<std::string>& v) { return v.empty() ? std::string() : v.front(); }

}  // namespace

// A change that fails at any one of its writes (the registry or a file refusing it) leaves a PC
// from which "revert every change" brings back every original, whatever the kind.
TEST(ChangeSafety, AChangeCutShortAtAnyWriteIsRevertedFromItsRecord) {
    struct Case {
        const char* id;
        bool registry;  // which writes fail: the registry's, or the files'
    };
    const Case cases[] = {{"mmgames", true}, {"svc_trk", true}, {"vrr", true}, {"fngpu", true},
                          {"ini_fs", false}, {"mmgames", false}, {"hiber", true}};
    for (const Case& c : cases) {
        for (int nth = 1; nth <= 12; ++nth) {
            Headless h;
            auto settings = power_settings(h);
            auto before = testkit::machine_state(*h.pc, settings);
            QuietFront front;
            Tweak& t = h.tweak(c.id);
            ASSERT_TRUE(t.available) << c.id;
            if (c.registry) {
                h.pc->faults().fail_registry_write(nth);
                // The registry takes a service's start type only where the manager refuses it.
                if (t.kind == Kind::Svc) h.pc->faults().refuse_service_change(t.data_as<SvcData>().n);
            } else
                h.pc->faults().fail_file_write(nth);
            h.app->tweaks().change(t, true, front);
            h.pc->faults().clear();
            h.restart();  // a new run finds what the cut-short change left
            auto results = h.app->tweaks().revert_changes(every_tweak(h), front);
            for (auto& r : results) EXPECT_NE(r.outcome, ChangeOutcome::Failed) << c.id << " " << r.tweak->id;
            auto diffs = lost(h, before, settings);
            EXPECT_TRUE(diffs.empty()) << c.id << (c.registry ? " registry" : " file") << " write " << nth << ": "
                                       << first(diffs);
            EXPECT_FALSE(h.store().has(c.id)) << c.id << " write " << nth;
        }
    }
}

// Half-applied: the tweak reads as off, yet its revert acts, on the command line's path too.
TEST(ChangeSafety, AHalfAppliedTweakReadsOffAndStillReverts) {
    Headless h;
    Reg reg = h.reg();
    const Json priority = reg.get(kGames, "Priority"), category = reg.get(kGames, "Scheduling Category");
    QuietFront front;
    h.pc->faults().fail_registry_write(3);  // two of its four values written
    EXPECT_EQ(h.app->tweaks().change(h.tweak("mmgames"), true, front), ChangeOutcome::Failed);
    h.restart();
    Tweak& t = h.tweak("mmgames");
    EXPECT_FALSE(t.state);
    EXPECT_TRUE(t.recorded);
    EXPECT_EQ(h.app->tweaks().preview(t, false, false), ChangeOutcome::Changed);
    auto r = h.app->tweaks().change_each({&t}, false, front);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].outcome, ChangeOutcome::Changed);
    Reg after = h.reg();
    EXPECT_EQ(after.get(kGames, "Priority"), priority);
    EXPECT_EQ(after.get(kGames, "Scheduling Category"), category);
    EXPECT_FALSE(h.store().has("mmgames"));
}

// A revert that cannot put a value back keeps its record, so a later revert still can.
TEST(ChangeSafety, TheRecordStaysUntilItsValuesAreBack) {
    for (const char* id : {"vrr", "mmgames", "svc_trk", "fngpu"}) {
        Headless h;
        QuietFront front;
        Tweak& t = h.tweak(id);
        Reg reg = h.reg();
        ASSERT_EQ(h.app->tweaks().change(t, true, front), ChangeOutcome::Changed) << id;
        h.pc->faults().fail_registry_write(1);
        // A service's start type reaches the registry alone only where the manager refuses it.
        if (t.kind == Kind::Svc) h.pc->faults().refuse_service_change(t.data_as<SvcData>().n);
        EXPECT_EQ(h.app->tweaks().change(t, false, front), ChangeOutcome::Failed) << id;
        EXPECT_TRUE(h.store().has(id)) << id;
        h.restart();
        EXPECT_TRUE(h.store().has(id)) << id << " on disk";
        EXPECT_EQ(h.app->tweaks().change(h.tweak(id), false, front), ChangeOutcome::Changed) << id;
        EXPECT_FALSE(h.store().has(id)) << id;
    }
}

// A disable stops a running service; its revert starts exactly the services that ran before.
TEST(ChangeSafety, ServicesRunAfterTheRevertAsTheyRanBefore) {
    struct Case {
        const char* id;
        const char* service;
    };
    for (const Case& c : {Case{"svc_trk", "TrkWks"}, Case{"svc_maps", "MapsBroker"}, Case{"svc_edge1", "edgeupdate"}}) {
        Headless h;
        QuietFront front;
        const bool ran = h.pc->services().is_running(c.service);
        Tweak& t = h.tweak(c.id);
        ASSERT_EQ(h.app->tweaks().change(t, true, front), ChangeOutcome::Changed) << c.id;
        h.restart();
        ASSERT_EQ(h.app->tweaks().change(h.tweak(c.id), false, front), ChangeOutcome::Changed) << c.id;
        EXPECT_EQ(h.pc->services().is_running(c.service), ran) << c.service;
    }
}

// On a PC that was on Power saver, the power plan tweak and every power-setting tweak, applied
// and reverted in any order, leave Power saver active with every one of its values.
TEST(ChangeSafety, PowerSettingsGoBackIntoThePlanTheyWereReadFrom) {
    enum Order { PlanFirstRevertPlanFirst, PlanFirstRevertPlanLast, SettingsFirstRevertPlanFirst };
    for (Order order : {PlanFirstRevertPlanFirst, PlanFirstRevertPlanLast, SettingsFirstRevertPlanFirst}) {
        Headless h;
        ASSERT_TRUE(h.pc->power().set_active(kPowerSaver));
        h.restart();
        auto settings = power_settings(h);
        std::map<std::string, std::optional<int32_t>> saver;
        for (auto& [sub, set] : settings) saver[set] = h.pc->power().plan_ac_index(kPowerSaver, sub, set);
        QuietFront front;
        std::vector<Tweak*> pwr;
        for (auto& t : h.app->tweaks().catalog().tweaks)
            if (t->kind == Kind::Pwr) pwr.push_back(t.get());
        Tweak& plan = h.tweak("power");
        if (order == SettingsFirstRevertPlanFirst) h.app->tweaks().change_each(pwr, true, front);
        ASSERT_EQ(h.app->tweaks().change(plan, true, front), ChangeOutcome::Changed);
        h.app->tweaks().change_each(pwr, true, front);
        if (order != PlanFirstRevertPlanLast) h.app->tweaks().change(plan, false, front);
        h.app->tweaks().revert_changes(pwr, front);
        if (order == PlanFirstRevertPlanLast) h.app->tweaks().change(plan, false, front);
        EXPECT_EQ(h.pc->power().active_plan()->guid, kPowerSaver) << order;
        for (auto& [sub, set] : settings)
            EXPECT_EQ(h.pc->power().plan_ac_index(kPowerSaver, sub, set), saver[set]) << "order " << order << " " << set;
        EXPECT_TRUE(h.store().data().empty()) << h.store().data().dump();
    }
}

// The user's plan is recorded before anything changes, and an apply repeated after one that
// stopped half-way reuses the one copy instead of making another.
TEST(ChangeSafety, ThePowerPlanTweakKeepsTheUsersPlanAndOneCopy) {
    Headless h;
    ASSERT_TRUE(h.pc->power().set_active(kPowerSaver));
    const size_t plans = h.pc->power().plans().size();
    QuietFront front;
    for (int attempt = 0; attempt < 3; ++attempt) {
        h.pc->faults().fail_power_write(attempt < 2);  // the switch fails twice
        h.app->tweaks().change(h.tweak("power"), true, front);
        h.pc->faults().clear();
        h.restart();
    }
    EXPECT_EQ(h.pc->power().plans().size(), plans + 1);
    EXPECT_TRUE(h.tweak("power").state);
    Reg reg = h.reg();
    EXPECT_EQ(reg.get(kSettingsKey, "PrevPowerPlan"), kPowerSaver);
    ASSERT_EQ(h.app->tweaks().change(h.tweak("power"), false, front), ChangeOutcome::Changed);
    EXPECT_EQ(h.pc->power().active_plan()->guid, kPowerSaver);
}

// Without a saved record no value changes, and the user is told why.
TEST(ChangeSafety, AnOriginalThatCannotBeSavedStopsTheChange) {
    for (const char* id : {"svc_sysmain", "mmgames", "cpu_park", "ini_fs", "vrr", "power", "fngpu", "task_appraiser"}) {
        Headless h;
        auto settings = power_settings(h);
        auto before = testkit::machine_state(*h.pc, settings);
        QuietFront front;
        h.pc->faults().set_disk_full(true);
        EXPECT_EQ(h.app->tweaks().change(h.tweak(id), true, front), ChangeOutcome::Failed) << id;
        h.pc->faults().clear();
        EXPECT_TRUE(front.said("could not be saved")) << id << ": " << (front.lines.empty() ? "" : front.lines.back());
        auto diffs = lost(h, before, settings);
        EXPECT_TRUE(diffs.empty()) << id << ": " << first(diffs);
        EXPECT_FALSE(h.store().has(id)) << id;
    }
}

// "Revert every tweak" undoes only what the product changed; the one switch keeps the fallback.
TEST(ChangeSafety, BulkRevertLeavesSettingsTheUserMadeBefore) {
    Headless h;
    QuietFront front;
    Reg reg = h.reg();
    const std::string remreg = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\RemoteRegistry";
    ASSERT_TRUE(h.tweak("svc_remreg").state);  // Windows ships it disabled
    const auto all = every_tweak(h);
    const size_t on_before = std::count_if(all.begin(), all.end(), [](Tweak* t) { return t->state; });
    ASSERT_GT(on_before, 0u);
    ASSERT_EQ(h.app->tweaks().change(h.tweak("mmgames"), true, front), ChangeOutcome::Changed);
    size_t left = 0, changed = 0;
    for (auto& r : h.app->tweaks().revert_changes(every_tweak(h), front)) {
        if (r.outcome == ChangeOutcome::SetBefore) ++left;
        if (r.outcome == ChangeOutcome::Changed) ++changed;
    }
    EXPECT_EQ(changed, 1u);
    EXPECT_EQ(left, on_before);
    EXPECT_EQ(reg.get(remreg, "Start"), 4);
    EXPECT_TRUE(h.tweak("svc_remreg").state);
    // Asked for by name, the one tweak goes to the catalog's fallback.
    auto one = h.app->tweaks().change_each({&h.tweak("svc_remreg")}, false, front);
    EXPECT_EQ(one[0].outcome, ChangeOutcome::Changed);
    EXPECT_EQ(reg.get(remreg, "Start"), 3);
}

// A record whose entries name places its tweak does not change is used only where it matches.
TEST(ChangeSafety, APlantedRecordWritesNothingOutsideTheTweak) {
    Headless h;
    QuietFront front;
    Reg reg = h.reg();
    ASSERT_EQ(h.app->tweaks().change(h.tweak("mmgames"), true, front), ChangeOutcome::Changed);
    const std::string run = "HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string defender = "HKLM:\\SOFTWARE\\Policies\\Microsoft\\Windows Defender";
    const std::string windefend = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\WinDefend";
    const Json image_path = reg.get(windefend, "ImagePath");
    Json planted = Json::array({
        {{"P", run}, {"N", "Updater"}, {"E", true}, {"V", "C:\\Users\\Public\\evil.exe"}, {"T", "String"}},
        {{"P", defender}, {"N", "DisableAntiSpyware"}, {"E", true}, {"V", 1}, {"T", "DWord"}},
        {{"P", windefend}, {"N", "ImagePath"}, {"E", false}, {"V", nullptr}, {"T", "ExpandString"}},
        {{"P", kGames}, {"N", "Priority"}, {"E", true}, {"V", 2}, {"T", "DWord"}},
    });
    const std::string path = h.paths().backup_file;
    Json file = parse_backup_text(*h.pc->files().read(path));
    file["mmgames"] = planted;
    h.pc->files().write(path, file.dump());
    h.restart();
    EXPECT_EQ(h.app->tweaks().change(h.tweak("mmgames"), false, front), ChangeOutcome::Changed);
    Reg after = h.reg();
    EXPECT_TRUE(after.get(run, "Updater").is_null());
    EXPECT_TRUE(after.get(defender, "DisableAntiSpyware").is_null());
    EXPECT_EQ(after.get(windefend, "ImagePath"), image_path);
    EXPECT_EQ(after.get(kGames, "Priority"), 2);  // the one entry that is the tweak's own
    EXPECT_TRUE(front.said("Ignored 3 entries of the backup record 'mmgames'")) << first(front.lines);
}

// A damaged file is kept aside once per distinct content, whatever the number of starts; a
// record of the wrong shape counts as damage.
TEST(ChangeSafety, DamagedBackupIsKeptOnceAndReported) {
    Headless h;
    const std::string path = h.paths().backup_file;
    h.pc->files().write(path, "{\"mmgames\": [ {\"P\": \"HKLM:");
    for (int i = 0; i < 5; ++i) h.restart();
    size_t copies = 0;
    for (auto& e : h.pc->files().list(h.paths().log_dir))
        if (e.name.rfind("backup.json.unreadable", 0) == 0) ++copies;
    EXPECT_EQ(copies, 1u);
    EXPECT_TRUE(h.store().damage().whole_file);
    EXPECT_FALSE(h.store().damage().copy_path.empty());

    h.pc->files().write(path, R"({"mmgames": {"V": 1}, "cpu_park": {"V": "high"}, "svc_trk": [{"P": 5}]})");
    h.restart();
    auto ids = h.store().damage().ids;
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"cpu_park", "mmgames", "svc_trk"}));
    EXPECT_FALSE(h.store().has("mmgames"));
    EXPECT_FALSE(h.tweak("mmgames").recorded);
    EXPECT_EQ(h.pc->files().read(h.store().damage().copy_path).value_or("").find("high") != std::string::npos, true);
}

TEST(ChangeSafety, DynamicTickSetToNoIsNotApplied) {
    Headless h;
    h.pc->boot().set_value("disabledynamictick", "No");
    EXPECT_FALSE(h.state("dyntick"));
    h.pc->boot().set_value("disabledynamictick", "Yes");
    EXPECT_TRUE(h.state("dyntick"));
}

// The record-less operations are known by a mark only an apply sets; the applied list, which
// adopts what was on at first start, does not count.
TEST(ChangeSafety, RecordlessOperationsAreMarkedOnlyByTheirApply) {
    Headless h;
    QuietFront front;
    Tweak& t = h.tweak("hiber");
    ASSERT_FALSE(t.state);
    Reg reg = h.reg();
    EXPECT_FALSE(has_change_mark(reg, "hiber"));
    ASSERT_EQ(h.app->tweaks().change(t, true, front), ChangeOutcome::Changed);
    EXPECT_TRUE(has_change_mark(reg, "hiber"));
    h.restart();
    EXPECT_TRUE(h.tweak("hiber").recorded);
    ASSERT_EQ(h.app->tweaks().change(h.tweak("hiber"), false, front), ChangeOutcome::Changed);
    Reg after = h.reg();
    EXPECT_FALSE(has_change_mark(after, "hiber"));
}

// A service uninstalled after its tweak was applied: the revert drops the record and makes no
// key for a service that is not there.
TEST(ChangeSafety, ARecordOfAServiceSinceUninstalledIsDropped) {
    Headless h;
    const std::string key = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\NvTelemetryContainer";
    Json file = Json::object();
    file["svc_nvtel"] = Json::array({{{"P", key}, {"N", "Start"}, {"E", true}, {"V", 2}, {"T", "DWord"}, {"R", Json::array()}}});
    h.pc->files().write(h.paths().backup_file, file.dump());
    h.restart();
    ASSERT_FALSE(h.tweak("svc_nvtel").available);
    ASSERT_TRUE(h.tweak("svc_nvtel").recorded);
    QuietFront front;
    auto r = h.app->tweaks().revert_changes({&h.tweak("svc_nvtel")}, front);
    EXPECT_EQ(r[0].outcome, ChangeOutcome::Changed);
    Reg reg = h.reg();
    EXPECT_FALSE(reg.key_exists(key));
    EXPECT_FALSE(h.store().has("svc_nvtel"));
}
