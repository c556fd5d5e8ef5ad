// The System page's advanced groups: processor and device power settings that only some plans
// expose, the service-host threshold taken from the PC's memory, Defender's scan limits and
// the memory manager agent switches, and the two security trade-offs kept out of bulk runs.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>

#include <nlohmann/json.hpp>

#include "app/core/backup_store.h"
#include "app/tweaks/tweak_sets.h"
#include "headless_app.h"

using namespace vexlo;
using testkit::Headless;

namespace {

constexpr const char* kControl = "HKLM:\\SYSTEM\\CurrentControlSet\\Control";
constexpr const char* kSplit = "SvcHostSplitThresholdInKB";

std::vector<std::string> ids_of(Headless& h, std::string_view group) {
    std::vector<std::string> out;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->page == "System" && t->group == group) out.push_back(t->id);
    return out;
}

bool contains(const std::vector<Tweak*>& set, std::string_view id) {
    for (auto* t : set)
        if (t->id == id) return true;
    return false;
}

}  // namespace

TEST(SystemExtrasCatalog, GroupsInOrderAndTradeOffsKeptOutOfBulkRuns) {
    Headless h;
    using L = std::vector<std::string>;
    EXPECT_EQ(ids_of(h, "CPU power tuning (advanced)"),
              (L{"cpu_incpol", "cpu_decpol", "cpu_incthr", "cpu_decthr", "cpu_maxcores", "cpu_latency", "cpu_throttle",
                 "cpu_hetero", "cpu_hetero2", "cpu_idle", "gfx_intel", "gfx_amd", "disk_link", "nvme_idle", "waketimers"}));
    EXPECT_EQ(ids_of(h, "Memory, disk & kernel"),
              (L{"svchost", "fth", "lastaccess", "short83", "prefetch", "pagecombine", "prelaunch", "def_cpu", "def_lowprio"}));
    EXPECT_EQ(ids_of(h, "Security trade-offs (manual only)"), (L{"spectre", "vbs"}));

    const Catalog& cat = h.app->tweaks().catalog();
    for (const char* id : {"spectre", "vbs", "cpu_idle"}) {
        const Tweak& t = h.tweak(id);
        EXPECT_TRUE(t.manual && t.adv) << id;
        EXPECT_FALSE(contains(recommended_set(cat, "System"), id)) << id;
        EXPECT_FALSE(contains(recommended_set(cat, "System", t.group), id)) << id;
        for (Profile p : {Profile::Competitive, Profile::Max, Profile::Laptop})
            EXPECT_FALSE(contains(profile_set(cat, p), id)) << id << " in " << profile_name(p);
    }
}

// What each PC lacks makes its entries unavailable, with the reason the card shows.
TEST(SystemExtrasCatalog, ReasonsOnOtherPCs) {
    struct Case {
        const char* image;
        const char* id;
        const char* reason;  // empty: available
    };
    const char* no_setting = "Your power plan does not expose this setting.";
    const char* no_defender = "Microsoft Defender is not your active antivirus.";
    const Case cases[] = {
        // The Ryzen desktop has AMD's graphics setting, the Intel laptops Intel's, the Intel
        // desktop with only an NVIDIA card neither.
        {"desktop11", "gfx_amd", ""},           {"desktop11", "gfx_intel", no_setting},
        {"laptop11", "gfx_intel", ""},          {"laptop11", "gfx_amd", no_setting},
        {"thin11", "gfx_intel", ""},            {"thin11", "gfx_amd", no_setting},
        {"desktop10", "gfx_intel", no_setting}, {"desktop10", "gfx_amd", no_setting},
        {"desktop10", "cpu_hetero", no_setting}, {"desktop10", "cpu_hetero2", no_setting},
        {"desktop10", "cpu_incpol", ""},        {"desktop10", "nvme_idle", ""},
        {"desktop11", "cpu_hetero", ""},
        {"desktop11", "def_cpu", ""},           {"desktop11", "def_lowprio", ""},
        {"otherav11", "def_cpu", no_defender},  {"otherav11", "def_lowprio", no_defender},
        {"lowram11", "svchost", ""},            {"desktop11", "svchost", ""},
    };
    std::map<std::string, std::unique_ptr<Headless>> pcs;
    for (auto& c : cases) {
        auto& h = pcs[c.image];
        if (!h) h = std::make_unique<Headless>(c.image);
        Tweak& t = h->tweak(c.id);
        EXPECT_EQ(t.available, std::string(c.reason).empty()) << c.image << " " << c.id;
        EXPECT_EQ(t.reason, c.reason) << c.image << " " << c.id;
    }
}

// No image is that small: the 8 GB PC's memory is set to what a 4 GB one reports with some of it
// reserved for graphics (3.9 GB, under 4000000 KB), to the threshold itself, and to 1 KB above.
TEST(SvchostTweak, OfferedOnlyAboveFourMillionKilobytes) {
    Headless h("lowram11");
    const std::filesystem::path file = h.pc.dir() / "machine.json";
    for (auto [bytes, offered] : {std::pair<uint64_t, bool>{4'090'000'000ull, false}, {4'096'000'000ull, false}, {4'096'001'024ull, true}}) {
        h.app.reset();
        std::ifstream in(file);
        nlohmann::json j = nlohmann::json::parse(in);
        in.close();
        j["facts"]["total_memory_bytes"] = bytes;
        std::ofstream(file, std::ios::trunc) << j.dump(1, '\t') << "\n";
        h.restart();
        ASSERT_EQ(h.facts().ram_kb, (bytes + 512) / 1024) << bytes;
        Tweak& t = h.tweak("svchost");
        EXPECT_EQ(t.available, offered) << bytes;
        EXPECT_EQ(t.reason, offered ? "" : "Needs more than 4 GB of RAM.") << bytes;
    }
}

// 8 GB is 8388608 KB: that is the threshold written; the value the PC had comes back from the
// record, and Windows' 3670016 without one.
TEST(SvchostTweak, WritesTheMemorySizeAndRestoresRecordOrDefault) {
    Headless h("lowram11");
    Reg reg = h.reg();
    ASSERT_EQ(h.facts().ram_kb, 8388608u);
    EXPECT_EQ(reg.get(kControl, kSplit), 3670016);
    EXPECT_FALSE(h.state("svchost"));

    reg.set(kControl, kSplit, 2000000, platform::RegKind::DWord);
    h.engine().apply_kind(h.tweak("svchost"));
    EXPECT_EQ(reg.get(kControl, kSplit), 8388608);
    EXPECT_TRUE(h.state("svchost"));
    ASSERT_TRUE(h.store().has("svchost"));
    h.engine().revert_kind(h.tweak("svchost"));
    EXPECT_EQ(reg.get(kControl, kSplit), 2000000);
    EXPECT_FALSE(h.store().has("svchost"));

    h.engine().apply_kind(h.tweak("svchost"));
    h.store().remove("svchost");
    h.engine().revert_kind(h.tweak("svchost"));
    EXPECT_EQ(reg.get(kControl, kSplit), 3670016);
}

// The factor a scan may use: capped at 20, and back to what it was only when that was above
// the cap, else to Windows' 50.
TEST(DefenderScanLoadTweak, KeepsTheFactorAboveTheCapElseRestoresFifty) {
    struct Case {
        const char* what;
        int factor;            // before anything
        std::optional<int> kept;  // a record already there, as a run cut short leaves it
        bool on_before;
        int after_revert;
    };
    const Case cases[] = {
        {"Windows' default", 50, std::nullopt, false, 50},
        {"a user's higher limit", 80, std::nullopt, false, 80},
        {"already below the cap", 15, std::nullopt, true, 50},
        {"a kept value under the cap", 50, 10, false, 50},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Headless h;
        auto& defender = h.pc->defender();
        defender.set_scan_cpu_load_factor(c.factor);
        if (c.kept) h.store().save_custom("def_cpu", *c.kept);
        EXPECT_EQ(h.state("def_cpu"), c.on_before);
        if (!c.on_before) {
            h.engine().apply_kind(h.tweak("def_cpu"));
            EXPECT_EQ(defender.scan_cpu_load_factor(), 20);
            EXPECT_TRUE(h.state("def_cpu"));
            ASSERT_TRUE(h.store().has("def_cpu"));
            EXPECT_EQ(h.store().peek_custom("def_cpu").v, c.kept.value_or(c.factor)) << "the first kept value stays";
        }
        h.engine().revert_kind(h.tweak("def_cpu"));
        EXPECT_EQ(defender.scan_cpu_load_factor(), c.after_revert);
        EXPECT_FALSE(h.store().has("def_cpu"));
    }
}

// A record the revert would act on must be a factor Defender could have had: anything else is
// set aside at start instead of being written.
TEST(DefenderScanLoadTweak, RecordOfTheWrongShapeIsSetAside) {
    for (Json bad : {Json("fifty"), Json(1000), Json(-1), Json::array({50})}) {
        SCOPED_TRACE(bad.dump());
        Headless h;
        h.store().put("def_cpu", Json{{"V", bad}});
        h.restart();
        EXPECT_FALSE(h.store().has("def_cpu"));
        h.engine().revert_kind(h.tweak("def_cpu"));
        EXPECT_EQ(h.pc->defender().scan_cpu_load_factor(), 50);
    }
    Headless h;
    h.store().put("def_cpu", Json{{"V", 70}});
    h.restart();
    EXPECT_TRUE(h.store().has("def_cpu"));
}

// The switches that apply turns off (or Defender's priority on) and revert back.
TEST(SystemExtrasSwitches, ApplyAndRevert) {
    using platform::MemoryFeature;
    struct Case {
        const char* id;
        std::function<std::optional<bool>(platform::Platform&)> read;
        bool applied;
    };
    const Case cases[] = {
        {"pagecombine", [](platform::Platform& pf) { return pf.memory_agent().enabled(MemoryFeature::PageCombining); }, false},
        {"prelaunch", [](platform::Platform& pf) { return pf.memory_agent().enabled(MemoryFeature::ApplicationPreLaunch); }, false},
        {"def_lowprio", [](platform::Platform& pf) { return pf.defender().low_cpu_priority(); }, true},
    };
    Headless h;
    for (auto& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(c.read(*h.pc), !c.applied);
        EXPECT_FALSE(h.state(c.id));
        h.engine().apply_kind(h.tweak(c.id));
        EXPECT_EQ(c.read(*h.pc), c.applied);
        EXPECT_TRUE(h.state(c.id));
        h.engine().revert_kind(h.tweak(c.id));
        EXPECT_EQ(c.read(*h.pc), !c.applied);
    }
    // Other switches of the agent are left as they were.
    EXPECT_EQ(h.pc->memory_agent().enabled(MemoryFeature::Compression), true);
}

// A DWORD with the top bit set reads back signed: the entry still sees its own value as on.
TEST(SystemExtrasCatalog, LastAccessValueWithTheTopBitSet) {
    Headless h;
    const char* fs = "SYSTEM\\CurrentControlSet\\Control\\FileSystem";
    auto raw = [&] { return h.pc->registry().get(platform::Hive::LocalMachine, fs, "NtfsDisableLastAccessUpdate"); };
    EXPECT_FALSE(h.state("lastaccess"));
    h.engine().apply_kind(h.tweak("lastaccess"));
    ASSERT_TRUE(raw());
    EXPECT_EQ(raw()->kind, platform::RegKind::DWord);
    EXPECT_EQ(uint32_t(raw()->number), 0x80000001u);
    EXPECT_TRUE(h.state("lastaccess"));
    h.store().remove("lastaccess");
    h.engine().revert_kind(h.tweak("lastaccess"));
    EXPECT_EQ(uint32_t(raw()->number), 0x80000002u);
}
