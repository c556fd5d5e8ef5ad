// The catalog's own operations: the power plan, DirectX tokens, the game's process settings,
// the settings file lock, and the availability rules of the System and Fortnite pages.
#include <gtest/gtest.h>

#include "app/core/dx_settings.h"
#include "app/core/game.h"
#include "app/tweaks/kinds/pwr_kind.h"
#include "headless_app.h"

using namespace vexlo;
using testkit::Headless;

namespace {
constexpr const char* kBalanced = "381b4222-f694-41f0-9685-ff5bb260df2e";
constexpr const char* kHigh = "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c";
std::string setting(Headless& h, const char* name) { return value_text(h.reg().get(kSettingsKey, name)); }
std::string active(Headless& h) { return h.pc->power().active_plan()->guid; }
}  // namespace

TEST(PowerPlanTweak, CopiesOnceReusesAndRevertsToThePlanBefore) {
    Headless h;
    Tweak& t = h.tweak("power");
    ASSERT_EQ(active(h), kBalanced);
    h.engine().apply_kind(t);
    std::string ours = setting(h, "PowerPlan");
    EXPECT_EQ(active(h), ours);
    EXPECT_EQ(setting(h, "PrevPowerPlan"), kBalanced);
    bool named = false;
    for (auto& p : h.pc->power().plans()) named = named || (p.guid == ours && p.name == "Vexlo Tweaks Ultimate");
    EXPECT_TRUE(named);
    EXPECT_TRUE(h.state("power"));

    // Applying again while our plan is active keeps the plan before it.
    h.engine().apply_kind(t);
    EXPECT_EQ(setting(h, "PrevPowerPlan"), kBalanced);
    size_t plans = h.pc->power().plans().size();

    h.engine().revert_kind(t);
    EXPECT_EQ(active(h), kBalanced);
    EXPECT_FALSE(h.state("power"));
    EXPECT_EQ(setting(h, "PowerPlan"), ours) << "kept, so the next apply reuses the plan";

    // Another plan active: the next apply reuses our copy and remembers that plan.
    h.pc->power().set_active(kHigh);
    h.engine().apply_kind(t);
    EXPECT_EQ(active(h), ours);
    EXPECT_EQ(h.pc->power().plans().size(), plans);
    EXPECT_EQ(setting(h, "PrevPowerPlan"), kHigh);
    h.engine().revert_kind(t);
    EXPECT_EQ(active(h), kHigh);
}

TEST(PowerPlanTweak, DeletedCopyIsMadeAgain) {
    Headless h;
    Tweak& t = h.tweak("power");
    h.engine().apply_kind(t);
    std::string first = setting(h, "PowerPlan");
    h.engine().revert_kind(t);
    h.pc->delete_plan(first);
    h.engine().apply_kind(t);
    std::string second = setting(h, "PowerPlan");
    EXPECT_NE(second, first);
    EXPECT_EQ(active(h), second);
}

// The simulated PC with a power back end whose template copy fails, as when powercfg prints
// no GUID.
struct NoCopyPlatform : platform::Platform {
    struct NoCopyPower : platform::Power {
        platform::Power& real;
        explicit NoCopyPower(platform::Power& p) : real(p) {}
        std::optional<platform::PowerPlan> active_plan() override { return real.active_plan(); }
        std::vector<platform::PowerPlan> plans() override { return real.plans(); }
        std::optional<std::string> duplicate_plan(std::string_view) override { return std::nullopt; }
        bool rename_plan(std::string_view g, std::string_view n, std::string_view d) override { return real.rename_plan(g, n, d); }
        bool set_active(std::string_view g) override { return real.set_active(g); }
        std::optional<int32_t> ac_index(std::string_view a, std::string_view b) override { return real.ac_index(a, b); }
        void set_ac_index(std::string_view a, std::string_view b, int32_t v) override { real.set_ac_index(a, b, v); }
        std::optional<int32_t> plan_ac_index(std::string_view p, std::string_view a, std::string_view b) override {
            return real.plan_ac_index(p, a, b);
        }
        void set_plan_ac_index(std::string_view p, std::string_view a, std::string_view b, int32_t v) override {
            real.set_plan_ac_index(p, a, b, v);
        }
        void set_hibernation(bool on) override { real.set_hibernation(on); }
    };
    platform::Platform& pc;
    NoCopyPower power_;
    explicit NoCopyPlatform(platform::Platform& p) : pc(p), power_(p.power()) {}
    platform::Registry& registry() override { return pc.registry(); }
    platform::FileSystem& files() override { return pc.files(); }
    platform::NamedObjects& named_objects() override { return pc.named_objects(); }
    platform::Processes& processes() override { return pc.processes(); }
    platform::SystemInfo& system() override { return pc.system(); }
    platform::Shell& shell() override { return pc.shell(); }
    platform::Clock& clock() override { return pc.clock(); }
    platform::Random& random() override { return pc.random(); }
    platform::Services& services() override { return pc.services(); }
    platform::TaskScheduler& tasks() override { return pc.tasks(); }
    platform::Power& power() override { return power_; }
    platform::Network& network() override { return pc.network(); }
    platform::Devices& devices() override { return pc.devices(); }
    platform::BootConfig& boot() override { return pc.boot(); }
    platform::MemoryAgent& memory_agent() override { return pc.memory_agent(); }
    platform::Defender& defender() override { return pc.defender(); }
    platform::SystemRestore& restore() override { return pc.restore(); }
    platform::Input& input() override { return pc.input(); }
    platform::Performance& performance() override { return pc.performance(); }
    platform::Echo& echo() override { return pc.echo(); }
    platform::Tray& tray() override { return pc.tray(); }
    platform::SelfCopy& self_copy() override { return pc.self_copy(); }
};

TEST(PowerPlanTweak, FailedTemplateCopyFallsBackToHighPerformance) {
    testkit::TempMachine pc;
    NoCopyPlatform pf(*pc);
    App app(pf);
    app.start_up();
    app.tweaks().engine().apply_kind(*app.tweaks().find("power"));
    EXPECT_EQ(pf.power().active_plan()->guid, kHigh);
    EXPECT_EQ(value_text(Reg(pc->registry()).get(kSettingsKey, "PowerPlan")), kHigh);
}

TEST(PowerPlanTweak, RevertWithoutAPlanBeforeActivatesBalanced) {
    Headless h;
    h.pc->power().set_active(kHigh);
    h.reg().set(kSettingsKey, "PowerPlan", kHigh, platform::RegKind::String);  // ours, and nothing before it
    h.engine().revert_kind(h.tweak("power"));
    EXPECT_EQ(active(h), kBalanced);
}

TEST(PwrTweaks, CpuMaxRevertsToOneHundredWhatever) {
    Headless h;
    Tweak& t = h.tweak("cpu_max");
    ASSERT_TRUE(t.available);
    const auto& pwr = t.data_as<PwrData>();
    h.pc->power().set_ac_index(pwr.sub, pwr.set, 100);
    h.engine().apply_kind(t);
    h.engine().revert_kind(t);
    EXPECT_EQ(h.pc->power().ac_index(pwr.sub, pwr.set), 100);
}

TEST(DxTokenTweaks, RevertRestoresTheTokenAsItWas) {
    Headless h;
    Reg reg = h.reg();
    struct Case {
        const char* id;
        const char* token;
        std::optional<std::string> before;
    };
    const Case cases[] = {{"winopt", "SwapEffectUpgradeEnable", std::nullopt},
                          {"winopt", "SwapEffectUpgradeEnable", "0"},
                          {"vrr", "VRROptimizeEnable", std::nullopt},
                          {"vrr", "VRROptimizeEnable", "1"}};
    for (auto& c : cases) {
        set_dx_token(reg, c.token, c.before ? std::optional<std::string_view>(*c.before) : std::nullopt);
        Tweak& t = h.tweak(c.id);
        h.engine().apply_kind(t);
        EXPECT_EQ(get_dx_token(reg, c.token), "1");
        h.engine().revert_kind(t);
        // A token that was already "1" goes to "0": the revert must switch the feature off.
        auto want = c.before == std::optional<std::string>("1") ? std::optional<std::string>("0") : c.before;
        EXPECT_EQ(get_dx_token(reg, c.token), want) << c.id << " " << c.before.value_or("<absent>");
        EXPECT_FALSE(h.store().has(c.id));
    }
}

TEST(SystemCustomTweaks, HibernationDynamicTickMemoryCompression) {
    Headless h;
    for (const char* id : {"hiber", "dyntick", "memcomp"}) {
        Tweak& t = h.tweak(id);
        ASSERT_TRUE(t.available) << id;
        bool before = h.state(id);
        h.engine().apply_kind(t);
        EXPECT_TRUE(h.state(id)) << id;
        h.engine().revert_kind(t);
        EXPECT_FALSE(h.state(id)) << id;
        EXPECT_FALSE(before) << id << " was on in the default image";
    }
    EXPECT_FALSE(h.pc->files().exists("C:\\hiberfil.sys") && h.state("hiber"));
}

TEST(Availability, ReasonsOnOtherPCs) {
    struct Case {
        const char* image;
        const char* id;
        const char* reason;  // empty: available
    };
    const Case cases[] = {
        {"lowram11", "memcomp", "Only offered on PCs with 16 GB of RAM or more."},
        {"desktop11", "memcomp", ""},
        {"desktop10", "winopt", "Windows 11 only."},
        {"nogame11", "fngpu", "Fortnite was not found on this PC."},
        {"nogame11", "fnfso", "Fortnite was not found on this PC."},
        {"nogame11", "fnav", "Needs Fortnite installed and Microsoft Defender as your antivirus."},
        {"nogame11", "fnprio", ""},
        {"nogame11", "epicprio", ""},
        {"otherav11", "fnav", "Needs Fortnite installed and Microsoft Defender as your antivirus."},
        {"otherav11", "fngpu", ""},
        {"gamenoini11", "ini_vsync", "Launch Fortnite once so its settings file exists."},
        {"gamenoini11", "ini_lock", "Launch Fortnite once so its settings file exists."},
        {"desktop11", "ini_lock", ""},
    };
    std::map<std::string, std::unique_ptr<Headless>> pcs;
    for (auto& c : cases) {
        auto& h = pcs[c.image];
        if (!h) h = std::make_unique<Headless>(c.image);
        Tweak& t = h->tweak(c.id);
        EXPECT_EQ(t.available, std::string(c.reason).empty()) << c.image << " " << c.id;
        EXPECT_EQ(t.reason, c.reason) << c.image << " " << c.id;
    }
    // Before the game has run, the whole video group is locked.
    size_t video = 0;
    for (auto& t : pcs["gamenoini11"]->app->tweaks().catalog().tweaks) {
        if (t->group == "Fortnite video settings") {
            ++video;
            EXPECT_FALSE(t->available) << t->id;
        }
    }
    EXPECT_GT(video, 1u) << "no tweak of the group";
}

TEST(FortniteTweaks, GpuPreferenceLayersAndDefenderExclusion) {
    Headless h;
    const std::string exe = *h.facts().fortnite_exe;
    Reg reg = h.reg();
    for (const char* id : {"fngpu", "fnfso", "fnav"}) {
        ASSERT_TRUE(h.tweak(id).available) << id;
        h.engine().apply_kind(h.tweak(id));
        EXPECT_TRUE(h.state(id)) << id;
    }
    EXPECT_EQ(reg.get(kDxKey, exe), "GpuPreference=2;");
    EXPECT_EQ(reg.get(kLayersKey, exe), "~ DISABLEDXMAXIMIZEDWINDOWEDMODE");
    auto excl = h.pc->defender().exclusion_paths();
    EXPECT_NE(std::find(excl.begin(), excl.end(), "C:\\Program Files\\Epic Games\\Fortnite"), excl.end());
    for (const char* id : {"fngpu", "fnfso", "fnav"}) {
        h.engine().revert_kind(h.tweak(id));
        EXPECT_FALSE(h.state(id)) << id;
    }
    EXPECT_FALSE(reg.get_raw(kDxKey, exe));
    EXPECT_FALSE(reg.get_raw(kLayersKey, exe));
}

TEST(FortniteTweaks, CapAndUncapExcludeEachOtherAndRevertToWhatWasThere) {
    Headless h;
    const std::string sec = "/Script/FortniteGame.FortGameUserSettings";
    const std::string hz = std::to_string(h.facts().hz);
    h.ini().set(sec, "FrameRateLimit", std::string_view("0.000000"));
    EXPECT_TRUE(h.state("ini_uncap"));
    h.engine().apply_kind(h.tweak("ini_cap"));
    EXPECT_EQ(h.ini().get(sec, "FrameRateLimit"), hz + ".000000");
    EXPECT_TRUE(h.state("ini_cap"));
    EXPECT_FALSE(h.state("ini_uncap"));
    h.engine().revert_kind(h.tweak("ini_cap"));
    EXPECT_EQ(h.ini().get(sec, "FrameRateLimit"), "0.000000");
    EXPECT_TRUE(h.state("ini_uncap"));

    h.ini().set(sec, "FrameRateLimit", std::string_view(hz));  // fewer decimals: still in effect
    EXPECT_TRUE(h.state("ini_cap"));
    h.ini().set(sec, "bUseVSync", std::string_view("fALSE"));
    EXPECT_TRUE(h.state("ini_vsync"));
}

TEST(FortniteTweaks, FullscreenFallbackAndRecordedRevert) {
    Headless h;
    const std::string sec = "/Script/FortniteGame.FortGameUserSettings";
    Tweak& fs = h.tweak("ini_fs");
    h.ini().set(sec, "PreferredFullscreenMode", std::nullopt);  // absent before the apply
    h.engine().apply_kind(fs);
    EXPECT_TRUE(h.state("ini_fs"));
    h.engine().revert_kind(fs);
    EXPECT_EQ(h.ini().get(sec, "PreferredFullscreenMode"), std::nullopt) << "recorded as absent: deleted";

    h.engine().apply_kind(fs);
    h.store().remove("ini_fs");
    h.engine().revert_kind(fs);
    for (const char* k : {"FullscreenMode", "LastConfirmedFullscreenMode", "PreferredFullscreenMode"})
        EXPECT_EQ(h.ini().get(sec, k), "1") << k;
}

TEST(FortniteTweaks, LockedSettingsFileIsStillWrittenAndLockedAgain) {
    Headless h;
    auto& files = h.pc->files();
    h.engine().apply_kind(h.tweak("ini_lock"));
    EXPECT_TRUE(files.is_read_only(h.ini().path()));
    EXPECT_TRUE(h.state("ini_lock"));
    h.engine().apply_kind(h.tweak("ini_blur"));
    EXPECT_TRUE(h.state("ini_blur"));
    EXPECT_TRUE(files.is_read_only(h.ini().path()));
    h.engine().revert_kind(h.tweak("ini_blur"));
    h.engine().revert_kind(h.tweak("ini_lock"));
    EXPECT_FALSE(files.is_read_only(h.ini().path()));
    EXPECT_TRUE(files.exists(h.paths().backup_dir + "\\GameUserSettings.original.ini"));
}
