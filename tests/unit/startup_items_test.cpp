// The Startup page's list: which programs the scan finds in the Run keys and Startup folders,
// the record it makes of each, and how a rescan replaces the last one.
#include <gtest/gtest.h>

#include "app/tweaks/kinds/startup_kind.h"
#include "app/tweaks/startup_items.h"
#include "headless_app.h"

using namespace vexlo;
using platform::Hive;
using platform::KnownFolder;
using platform::RegValue;

namespace {

constexpr const char* kUserRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kMachineRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRun32 = "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string approved(const char* hive, const char* list) {
    return std::string(hive) + ":\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\" + list;
}

// The built-in desktop with nothing starting: Run keys without values, Startup folders without
// files (the keys and folders themselves stay).
void clear_startup(sim::SimMachine& pc) {
    auto& reg = pc.registry();
    const std::pair<Hive, const char*> keys[] = {
        {Hive::CurrentUser, kUserRun}, {Hive::LocalMachine, kMachineRun}, {Hive::LocalMachine, kRun32}};
    for (auto [hive, key] : keys)
        for (auto& name : reg.value_names(hive, key)) reg.remove(hive, key, name);
    auto& files = pc.files();
    for (KnownFolder f : {KnownFolder::Startup, KnownFolder::CommonStartup}) {
        std::string folder = files.known_folder(f);
        for (auto& e : files.list(folder)) files.remove(folder + "\\" + e.name);
    }
}

// A catalog holding one ordinary tweak, as the scan finds it after the loader.
Catalog catalog_with_one_tweak() {
    Catalog cat;
    auto t = std::make_unique<Tweak>();
    t->id = "gm_on";
    t->title = "Game Mode";
    cat.map[t->id] = t.get();
    cat.tweaks.push_back(std::move(t));
    return cat;
}

std::vector<std::string> ids(const Catalog& cat) {
    std::vector<std::string> out;
    for (auto& t : cat.tweaks) out.push_back(t->id);
    return out;
}

// Every record is in the map under its own id, and the map holds nothing else.
void expect_map_matches(const Catalog& cat) {
    EXPECT_EQ(cat.map.size(), cat.tweaks.size());
    for (auto& t : cat.tweaks) EXPECT_EQ(cat.find(t->id), t.get()) << t->id;
}

struct Scan {
    testkit::TempMachine pc;
    Reg reg{pc->registry()};
    Catalog cat = catalog_with_one_tweak();
    explicit Scan(std::string_view image = "desktop11") : pc(image) {}
    void run() { build_startup_items(cat, reg, pc->files()); }
};

// Known folders as the real PC has them, except one that Windows cannot find.
class MissingFolder final : public platform::FileSystem {
public:
    MissingFolder(platform::FileSystem& inner, KnownFolder missing) : in_(inner), missing_(missing) {}
    std::string known_folder(KnownFolder f) override {
        if (f == missing_) throw platform::PlatformError("Cannot find the folder Startup");
        return in_.known_folder(f);
    }
    bool exists(std::string_view p) override { return in_.exists(p); }
    bool is_directory(std::string_view p) override { return in_.is_directory(p); }
    void create_directories(std::string_view p) override { in_.create_directories(p); }
    bool is_link(std::string_view p) override { return in_.is_link(p); }
    std::optional<std::string> read(std::string_view p) override { return in_.read(p); }
    void write(std::string_view p, std::string_view b) override { in_.write(p, b); }
    void append(std::string_view p, std::string_view b) override { in_.append(p, b); }
    void replace(std::string_view a, std::string_view b) override { in_.replace(a, b); }
    bool remove(std::string_view p) override { return in_.remove(p); }
    std::vector<platform::DirEntry> list(std::string_view p) override { return in_.list(p); }
    void copy(std::string_view a, std::string_view b) override { in_.copy(a, b); }
    bool is_read_only(std::string_view p) override { return in_.is_read_only(p); }
    void set_read_only(std::string_view p, bool r) override { in_.set_read_only(p, r); }

private:
    platform::FileSystem& in_;
    KnownFolder missing_;
};

}  // namespace

TEST(StartupItems, NothingStartingGivesNoRecordsOnEveryScan) {
    Scan s;
    clear_startup(*s.pc);
    for (int scan = 0; scan < 2; ++scan) {
        s.run();
        EXPECT_EQ(ids(s.cat), std::vector<std::string>{"gm_on"});
        expect_map_matches(s.cat);
    }
}

TEST(StartupItems, RecordsFromEverySourceNumberedAcrossThem) {
    Scan s;
    clear_startup(*s.pc);
    auto& reg = s.pc->registry();
    auto& files = s.pc->files();
    const std::string user = files.known_folder(KnownFolder::Startup);
    const std::string common = files.known_folder(KnownFolder::CommonStartup);
    reg.set(Hive::CurrentUser, kUserRun, "", RegValue::string("C:\\Tools\\default.exe"));  // starts nothing
    reg.set(Hive::CurrentUser, kUserRun, "Steam", RegValue::string("\"C:\\Steam\\steam.exe\" -silent"));
    reg.set(Hive::CurrentUser, kUserRun, "Discord", RegValue::string("C:\\Discord\\Update.exe --processStart Discord.exe"));
    reg.set(Hive::LocalMachine, kMachineRun, "SecurityHealth", RegValue::expand_string("%windir%\\system32\\SecurityHealthSystray.exe"));
    reg.set(Hive::LocalMachine, kRun32, "EpicGamesLauncher", RegValue::string("C:\\Epic\\EpicGamesLauncher.exe -silent"));
    files.write(user + "\\Desktop.INI", "[.ShellClassInfo]");
    files.write(user + "\\Steam.lnk", "L");
    files.create_directories(user + "\\Old shortcuts");
    files.write(user + "\\Old shortcuts\\Spotify.lnk", "L");
    files.write(common + "\\desktop.ini", "[.ShellClassInfo]");
    files.write(common + "\\NZXT CAM.lnk", "L");
    files.write(common + "\\notes", "no extension");

    s.run();

    struct Want {
        const char *id, *group, *title, *desc, *app, *name;
    };
    const std::string steam_lnk = user + "\\Steam.lnk", cam_lnk = common + "\\NZXT CAM.lnk", notes = common + "\\notes";
    const std::string user_run = approved("HKCU", "Run"), machine_run = approved("HKLM", "Run"),
                      run32 = approved("HKLM", "Run32"), user_folder = approved("HKCU", "StartupFolder"),
                      common_folder = approved("HKLM", "StartupFolder");
    const Want want[] = {
        {"st_1", "Your account", "Discord", "C:\\Discord\\Update.exe --processStart Discord.exe", user_run.c_str(), "Discord"},
        {"st_2", "Your account", "Steam", "\"C:\\Steam\\steam.exe\" -silent", user_run.c_str(), "Steam"},
        {"st_3", "All users", "SecurityHealth", "C:\\Windows\\system32\\SecurityHealthSystray.exe", machine_run.c_str(),
         "SecurityHealth"},
        {"st_4", "All users", "EpicGamesLauncher", "C:\\Epic\\EpicGamesLauncher.exe -silent", run32.c_str(),
         "EpicGamesLauncher"},
        {"st_5", "Your account", "Steam", steam_lnk.c_str(), user_folder.c_str(), "Steam.lnk"},
        {"st_6", "All users", "notes", notes.c_str(), common_folder.c_str(), "notes"},
        {"st_7", "All users", "NZXT CAM", cam_lnk.c_str(), common_folder.c_str(), "NZXT CAM.lnk"},
    };
    ASSERT_EQ(s.cat.tweaks.size(), 1 + std::size(want)) << testing::PrintToString(ids(s.cat));
    EXPECT_EQ(s.cat.tweaks[0]->id, "gm_on");
    for (size_t i = 0; i < std::size(want); ++i) {
        const Tweak& t = *s.cat.tweaks[i + 1];
        const Want& w = want[i];
        SCOPED_TRACE(w.id);
        EXPECT_EQ(t.id, w.id);
        EXPECT_EQ(t.page, "Startup");
        EXPECT_EQ(t.group, w.group);
        EXPECT_EQ(t.title, w.title);
        EXPECT_EQ(t.desc, w.desc);
        EXPECT_EQ(t.impact, "Low");
        EXPECT_TRUE(t.manual);
        EXPECT_TRUE(t.available);
        EXPECT_EQ(t.kind, Kind::Startup);
        const auto& d = t.data_as<StartupData>();
        EXPECT_EQ(d.app, w.app);
        EXPECT_EQ(d.name, w.name);
        EXPECT_EQ(d.keep, std::string_view(w.name) == "SecurityHealth");
        // The path must be one the kind handler's registry calls understand.
        EXPECT_TRUE(parse_reg_path(d.app).has_value()) << d.app;
    }
    expect_map_matches(s.cat);
}

TEST(StartupItems, VendorNames) {
    const std::pair<std::string_view, bool> cases[] = {
        {"RtkAudUService", true},   {"SecurityHealth", true},  {"securityhealth", true},
        {"Discord", false},         {"Steam", false},          {"OneDrive", false},
        {"ETDCtrl", true},          {"etdctrl", true},         {"NetETDHelper", false},
        {"ET", false},              {"", false},               {"Logitech Download Assistant", true},
        {"NvBackend (NVIDIA)", true}, {"lghub_updater", true}, {"AMDNoiseSuppression", true},
        {"SynTPEnh", false},        {"Synaptics TouchPad", true}, {"IgfxTray", true},
    };
    for (auto [name, keep] : cases) EXPECT_EQ(is_vendor_startup_name(name), keep) << name;
}

TEST(StartupItems, RescanReplacesTheOldRecords) {
    Scan s;
    s.run();
    const size_t first = s.cat.tweaks.size();
    ASSERT_GT(first, 3u);
    // Three entries fewer: the last numbers of the first scan must not linger in the map.
    for (const char* name : {"Discord", "OneDrive", "Spotify"}) s.pc->registry().remove(Hive::CurrentUser, kUserRun, name);
    s.run();
    EXPECT_EQ(s.cat.tweaks.size(), first - 3);
    EXPECT_EQ(s.cat.tweaks[0]->id, "gm_on");
    for (size_t n = first - 3; n < first; ++n) EXPECT_EQ(s.cat.find("st_" + std::to_string(n)), nullptr) << n;
    expect_map_matches(s.cat);
}

TEST(StartupItems, ASourceThatCannotBeFoundIsSkipped) {
    Scan s;
    clear_startup(*s.pc);
    auto& files = s.pc->files();
    s.pc->registry().set(Hive::CurrentUser, kUserRun, "Steam", RegValue::string("steam.exe"));
    files.write(files.known_folder(KnownFolder::Startup) + "\\Medal.lnk", "L");
    files.write(files.known_folder(KnownFolder::CommonStartup) + "\\NZXT CAM.lnk", "L");

    MissingFolder no_user_folder(files, KnownFolder::Startup);
    build_startup_items(s.cat, s.reg, no_user_folder);
    ASSERT_EQ(s.cat.tweaks.size(), 3u);
    EXPECT_EQ(s.cat.tweaks[1]->title, "Steam");
    EXPECT_EQ(s.cat.tweaks[2]->title, "NZXT CAM");
    EXPECT_EQ(s.cat.tweaks[2]->id, "st_2");

    // A Startup folder that is gone (a profile cleaned by hand) is skipped the same way.
    files.remove(files.known_folder(KnownFolder::CommonStartup) + "\\NZXT CAM.lnk");
    std::filesystem::remove_all(s.pc->host_path(files.known_folder(KnownFolder::CommonStartup)));
    s.run();
    EXPECT_EQ(ids(s.cat), (std::vector<std::string>{"gm_on", "st_1", "st_2"}));
}

TEST(StartupItems, BlockingAnEntryWithoutItsApprovalValueCreatesIt) {
    testkit::Headless h;
    clear_startup(*h.pc);
    h.pc->registry().set(Hive::CurrentUser, kUserRun, "Discord", RegValue::string("Update.exe --processStart Discord.exe"));
    Reg reg = h.reg();
    Catalog cat;
    build_startup_items(cat, reg, h.pc->files());
    ASSERT_EQ(cat.tweaks.size(), 1u);
    Tweak& t = *cat.tweaks[0];
    const std::string list = approved("HKCU", "Run");
    ASSERT_FALSE(reg.get_raw(list, "Discord").has_value());
    EXPECT_FALSE(h.engine().test_kind(t));

    h.engine().apply_kind(t);
    auto raw = reg.get_raw(list, "Discord");
    ASSERT_TRUE(raw.has_value());
    ASSERT_FALSE(raw->bytes.empty());
    EXPECT_EQ(raw->bytes[0], 3);
    EXPECT_TRUE(h.engine().test_kind(t));
}

// Each built-in PC shows a realistic page: the programs it starts, the vendor tools among them
// and the one the player already blocked.
TEST(StartupItems, BuiltInPcs) {
    struct Case {
        const char* image;
        std::vector<std::string> titles;
        std::vector<std::string> keep;
        std::vector<std::string> blocked;
    };
    const std::vector<std::string> desktop_titles = {
        "Discord", "OneDrive", "Spotify", "Steam", "RtkAudUService", "SecurityHealth", "Logitech Download Assistant",
        "Medal", "MSI Afterburner", "NZXT CAM"};
    const std::vector<std::string> desktop_keep = {"RtkAudUService", "SecurityHealth", "Logitech Download Assistant"};
    const Case cases[] = {
        {"desktop11", desktop_titles, desktop_keep, {"Spotify"}},
        {"desktop10",
         {"com.squirrel.Teams.Teams", "Discord", "OneDrive", "Steam", "RtkAudUService", "SecurityHealth",
          "Logitech Download Assistant", "SunJavaUpdateSched", "MSI Afterburner", "NZXT CAM"},
         desktop_keep,
         {"com.squirrel.Teams.Teams"}},
        {"laptop11",
         {"Discord", "OneDrive", "Spotify", "Steam", "ETDCtrl", "RtkAudUService", "SecurityHealth", "SynTPEnh",
          "IgfxTray", "Logitech Download Assistant", "Medal", "MSI Afterburner"},
         {"ETDCtrl", "RtkAudUService", "SecurityHealth", "IgfxTray", "Logitech Download Assistant"},
         {"Spotify"}},
        {"nogame11", desktop_titles, desktop_keep, {"Spotify"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        testkit::Headless h(c.image);
        Reg reg = h.reg();
        Catalog cat;
        build_startup_items(cat, reg, h.pc->files());
        std::vector<std::string> titles, keep, blocked;
        for (auto& t : cat.tweaks) {
            titles.push_back(t->title);
            if (t->data_as<StartupData>().keep) keep.push_back(t->title);
            if (h.engine().test_kind(*t)) blocked.push_back(t->title);
        }
        EXPECT_EQ(titles, c.titles);
        EXPECT_EQ(keep, c.keep);
        EXPECT_EQ(blocked, c.blocked);
    }
}
