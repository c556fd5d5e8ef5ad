// What only the simulated PC has: its folder, its images, its fault injection and its
// sharing between processes. The seam's common behaviour is in platform_conformance_test.cpp.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "app/core/names.h"
#include "platform/sim/sim_machine.h"
#include "sim_test_support.h"
#include "platform/sim/sim_util.h"

namespace {

using namespace vexlo::platform;
using vexlo::sim::SimMachine;
namespace fs = std::filesystem;

constexpr Hive HKLM = Hive::LocalMachine;
constexpr Hive HKCU = Hive::CurrentUser;

using vexlo::testkit::slurp;

class SimMachineTest : public vexlo::testkit::SimFolderTest {};

// Runs `body` in a forked child; what it returns (0..255) is the child's exit code.
int in_child(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int rc = 99;
        try {
            rc = body();
        } catch (...) {
            rc = 98;
        }
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- The folder ----

TEST_F(SimMachineTest, ChangesSurviveReopening) {
    RegValue raw;
    raw.kind = RegKind(9);
    raw.bytes = {1, 2, 3};
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"D", RegValue::dword(0xFFFFFFFFu)},
        {"Q", RegValue::qword(0xFFFF'FFFF'FFFF'FFFFull)},
        {"S", RegValue::string("caf\xC3\xA9")},
        {"E", RegValue::expand_string("%TEMP%\\x")},
        {"M", RegValue::multi_string({"a", "b c"})},
        {"M0", RegValue::multi_string({})},
        {"B", RegValue::binary({0, 255})},
        {"B0", RegValue::binary({})},
        {"R", raw},
        {"", RegValue::string("default")},
    };
    {
        auto m = open();
        for (auto& [name, v] : values) m->registry().set(HKCU, "Software\\Vexlo\\Kinds", name, v);
        m->registry().create_key(HKCU, "Software\\Vexlo\\EmptyKey");
        m->registry().remove(HKLM, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power", "HiberbootEnabled");
        m->files().create_directories("C:\\Users\\Player\\AppData\\Local\\Vexlo");
        m->files().write("C:\\Users\\Player\\AppData\\Local\\Vexlo\\settings.json", "{}");
        m->set_elevated(false);
    }
    auto m = open("laptop11");  // an existing machine ignores the image asked for
    EXPECT_EQ(m->image(), "desktop11");
    for (auto& [name, v] : values) {
        auto got = m->registry().get(HKCU, "software\\vexlo\\kinds", name);
        ASSERT_TRUE(got.has_value()) << name;
        EXPECT_TRUE(*got == v) << name;
    }
    EXPECT_TRUE(m->registry().key_exists(HKCU, "Software\\Vexlo\\EmptyKey"));
    EXPECT_FALSE(m->registry().get(HKLM, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power", "HiberbootEnabled"));
    EXPECT_EQ(m->files().read("C:\\Users\\Player\\AppData\\Local\\Vexlo\\settings.json"), "{}");
    EXPECT_FALSE(m->system().is_elevated());

    // The registry file is plain JSON a person or a tool can read and edit.
    auto j = nlohmann::json::parse(slurp(dir_ / "registry.json"));
    EXPECT_EQ(j["HKLM"]["SYSTEM\\CurrentControlSet\\Control\\PriorityControl"]["Win32PrioritySeparation"]["dword"], 2);
    EXPECT_EQ(j["HKCU"]["Software\\Vexlo\\Kinds"]["E"]["expand_string"], "%TEMP%\\x");
}

TEST_F(SimMachineTest, SeesChangesMadeByAnotherInstance) {
    auto a = open();
    auto b = open();
    const std::string key = "Software\\Vexlo";
    EXPECT_FALSE(b->registry().get(HKCU, key, "FromA").has_value());  // b has loaded and cached

    a->registry().set(HKCU, key, "FromA", RegValue::dword(1));
    EXPECT_EQ(b->registry().get(HKCU, key, "FromA")->number, 1u);

    // b writes after a: a's change must not be lost by b writing out its older copy.
    a->registry().set(HKCU, key, "Second", RegValue::dword(2));
    b->registry().set(HKCU, key, "FromB", RegValue::dword(3));
    EXPECT_EQ(a->registry().get(HKCU, key, "FromB")->number, 3u);
    auto c = open();
    EXPECT_EQ(c->registry().value_names(HKCU, key), (std::vector<std::string>{"FromA", "FromB", "Second"}));

    // An edit of the file by hand, in place, is picked up as well: it counts no change, so it
    // is noticed by the stat made at least every few milliseconds.
    const auto settle = std::chrono::milliseconds(60);
    auto j = nlohmann::json::parse(slurp(dir_ / "registry.json"));
    j["HKCU"]["Software\\Vexlo"]["FromA"] = {{"dword", 42}};
    j["HKCU"]["Software\\Vexlo\\ByHand"] = nlohmann::json::object();
    std::ofstream(dir_ / "registry.json", std::ios::trunc) << j.dump(2);
    std::this_thread::sleep_for(settle);
    EXPECT_EQ(a->registry().get(HKCU, key, "FromA")->number, 42u);
    EXPECT_TRUE(a->registry().key_exists(HKCU, "Software\\Vexlo\\ByHand"));

    // A damaged file is not fatal to a running machine: it keeps what it had.
    std::ofstream(dir_ / "registry.json", std::ios::trunc) << "{ not json";
    std::this_thread::sleep_for(settle);
    EXPECT_EQ(a->registry().get(HKCU, key, "FromA")->number, 42u);
    EXPECT_TRUE(a->registry().key_exists(HKCU, "Software\\Vexlo\\ByHand"));
    EXPECT_THROW(open(), PlatformError);
}

TEST_F(SimMachineTest, ProcessListIsSharedThroughTheFolder) {
    auto a = open();
    auto b = open();
    const std::string game = "FortniteClient-Win64-Shipping.exe";
    auto running = [](SimMachine& m, const std::string& image) {
        int n = 0;
        for (auto& p : m.processes().list()) n += p.image == image;
        return n;
    };
    EXPECT_EQ(running(*b, game), 0);
    a->start_process(game);
    a->start_process(game);
    EXPECT_EQ(running(*b, game), 2);

    auto list = b->processes().list();
    std::vector<uint32_t> pids;
    for (auto& p : list) {
        EXPECT_EQ(p.pid % 4, 0u) << p.image;
        pids.push_back(p.pid);
    }
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(std::adjacent_find(pids.begin(), pids.end()), pids.end()) << "pids must be unique";

    b->stop_process("fortniteclient-win64-shipping.EXE");
    EXPECT_EQ(running(*a, game), 0);
    EXPECT_EQ(running(*a, "explorer.exe"), 1);
}

TEST_F(SimMachineTest, RefusesUnknownImagesAndForeignFolders) {
    EXPECT_THROW(open("no-such-image"), PlatformError);
    std::ofstream(dir_ / "notes.txt") << "someone's file";
    EXPECT_THROW(open(), PlatformError);
}

// Names are folded a word at a time; every pair of bytes, in the word part and in the tail,
// must compare as the one-byte rule says: ASCII letters fold, nothing else does.
TEST(SimNames, WordAtATimeFoldingMatchesTheByteRule) {
    using vexlo::sim::ascii_lower;
    using vexlo::sim::iequals;
    using vexlo::sim::NameHash;
    for (size_t pos : {0u, 7u, 8u, 12u}) {  // first word, its last byte, tail start, tail middle
        std::string a(13, 'k'), b(13, 'K');
        for (int x = 0; x < 256; ++x) {
            for (int y = 0; y < 256; ++y) {
                a[pos] = char(x);
                b[pos] = char(y);
                bool same = ascii_lower(char(x)) == ascii_lower(char(y));
                ASSERT_EQ(iequals(a, b), same) << "pos " << pos << " bytes " << x << " " << y;
                if (same) {
                    ASSERT_EQ(NameHash{}(a), NameHash{}(b));
                }
            }
        }
    }
    EXPECT_FALSE(iequals("abc", "abcd"));
    EXPECT_NE(NameHash{}("SOFTWARE\\Microsoft\\Windows"), NameHash{}("SOFTWARE\\Microsoft\\Windowz"));
}

// ---- Images ----

TEST_F(SimMachineTest, EachImageSeedsWhatItSays) {
    struct Case {
        const char* image;
        uint32_t build;
        int memory_gb;
        bool battery;
        int hz;
        std::vector<std::string> gpus;
        uint32_t hw_sch_mode;
        std::optional<uint32_t> memory_integrity;
        const char* caption;
        const char* product_name;
        const char* display_version;
    };
    const Case cases[] = {
        {"desktop11", 22631, 32, false, 165, {"NVIDIA GeForce RTX 4070"}, 2, 1, "Microsoft Windows 11 Pro",
         "Windows 10 Pro", "23H2"},
        {"desktop10", 19045, 16, false, 144, {"NVIDIA GeForce RTX 2070 SUPER"}, 1, std::nullopt,
         "Microsoft Windows 10 Pro", "Windows 10 Pro", "22H2"},
        {"laptop11", 22631, 16, true, 144, {"Intel(R) Iris(R) Xe Graphics", "NVIDIA GeForce RTX 4060 Laptop GPU"}, 2, 1,
         "Microsoft Windows 11 Home", "Windows 10 Home", "23H2"},
        {"lowram11", 22631, 8, false, 165, {"NVIDIA GeForce RTX 4070"}, 2, 1, "Microsoft Windows 11 Pro",
         "Windows 10 Pro", "23H2"},
        // The desktop with the game missing, never launched, or beside another antivirus: the same
        // facts (what differs is checked in sim_world_test.cpp).
        {"nogame11", 22631, 32, false, 165, {"NVIDIA GeForce RTX 4070"}, 2, 1, "Microsoft Windows 11 Pro",
         "Windows 10 Pro", "23H2"},
        {"gamenoini11", 22631, 32, false, 165, {"NVIDIA GeForce RTX 4070"}, 2, 1, "Microsoft Windows 11 Pro",
         "Windows 10 Pro", "23H2"},
        {"otherav11", 22631, 32, false, 165, {"NVIDIA GeForce RTX 4070"}, 2, 1, "Microsoft Windows 11 Pro",
         "Windows 10 Pro", "23H2"},
        {"german11", 22631, 32, false, 165, {"NVIDIA GeForce RTX 4070"}, 2, 1, "Microsoft Windows 11 Pro",
         "Windows 10 Pro", "23H2"},
        {"thin11", 22631, 16, true, 60, {"Intel(R) Graphics"}, 2, 1, "Microsoft Windows 11 Home", "Windows 10 Home",
         "23H2"},
    };
    ASSERT_EQ(SimMachine::image_names().size(), std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        auto m = open_fresh(c.image);
        auto& sys = m->system();
        auto& reg = m->registry();
        EXPECT_EQ(sys.windows_build(), c.build);
        EXPECT_EQ(std::lround(double(sys.total_memory_bytes()) / double(1ull << 30)), c.memory_gb);
        EXPECT_LT(sys.total_memory_bytes(), uint64_t(c.memory_gb) << 30);  // Windows reports a bit less
        EXPECT_EQ(sys.has_battery(), c.battery);
        EXPECT_EQ(sys.refresh_hz(), c.hz);
        EXPECT_EQ(sys.gpu_names(), c.gpus);
        EXPECT_EQ(sys.cpu_names().size(), 1u);
        EXPECT_EQ(sys.os_caption(), c.caption);
        EXPECT_TRUE(sys.is_elevated());

        const char* cv = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
        EXPECT_EQ(reg.get(HKLM, cv, "CurrentBuildNumber")->text, std::to_string(c.build));
        EXPECT_EQ(reg.get(HKLM, cv, "CurrentBuild")->text, std::to_string(c.build));
        EXPECT_EQ(reg.get(HKLM, cv, "ProductName")->text, c.product_name);
        EXPECT_EQ(reg.get(HKLM, cv, "DisplayVersion")->text, c.display_version);
        EXPECT_EQ(reg.get(HKLM, cv, "InstallTime")->kind, RegKind::QWord);
        EXPECT_EQ(reg.get(HKLM, "SYSTEM\\CurrentControlSet\\Control\\GraphicsDrivers", "HwSchMode")->number,
                  c.hw_sch_mode);
        auto hvci = reg.get(HKLM, "SYSTEM\\CurrentControlSet\\Control\\DeviceGuard\\Scenarios\\HypervisorEnforcedCodeIntegrity",
                            "Enabled");
        EXPECT_EQ(hvci ? std::optional<uint32_t>(uint32_t(hvci->number)) : std::nullopt, c.memory_integrity);
        EXPECT_TRUE(reg.key_exists(HKLM, "SYSTEM\\CurrentControlSet\\Control\\DeviceGuard\\Scenarios"));

        // Programs of a PC at rest: a desktop, chat and Steam, no game.
        int explorer = 0, discord = 0, steam = 0;
        for (auto& p : m->processes().list()) {
            explorer += p.image == "explorer.exe";
            discord += p.image == "Discord.exe";
            steam += p.image == "steam.exe";
            EXPECT_EQ(p.image.find("Shipping"), std::string::npos);
        }
        EXPECT_EQ(explorer, 1);
        EXPECT_GT(discord, 0);
        EXPECT_EQ(steam, 1);

        // The product's own folder is not there yet.
        auto local = m->files().known_folder(KnownFolder::LocalAppData);
        ASSERT_TRUE(m->files().is_directory(local));
        for (auto& e : m->files().list(local)) EXPECT_EQ(e.name.find("Vexlo"), std::string::npos);
    }
}

// The values the product's system page reads, as a stock Windows 11 desktop has them.
TEST_F(SimMachineTest, Desktop11HoldsStockValues) {
    auto m = open();
    auto& reg = m->registry();
    const std::string mm = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Multimedia\\SystemProfile";
    const std::string games = mm + "\\Tasks\\Games";
    struct Present {
        Hive hive;
        std::string key, name;
        RegValue value;
    };
    const Present present[] = {
        {HKLM, "SYSTEM\\CurrentControlSet\\Control\\PriorityControl", "Win32PrioritySeparation", RegValue::dword(2)},
        {HKLM, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power", "HiberbootEnabled", RegValue::dword(1)},
        {HKLM, mm, "SystemResponsiveness", RegValue::dword(20)},
        {HKLM, games, "Priority", RegValue::dword(2)},
        {HKLM, games, "Scheduling Category", RegValue::string("Medium")},
        {HKLM, games, "SFIO Priority", RegValue::string("Normal")},
        {HKLM, games, "GPU Priority", RegValue::dword(8)},
        {HKLM, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management", "DisablePagingExecutive",
         RegValue::dword(0)},
        {HKLM, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management", "PagingFiles",
         RegValue::multi_string({"?:\\pagefile.sys"})},
        {HKCU, "System\\GameConfigStore", "GameDVR_Enabled", RegValue::dword(1)},
        {HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\GameDVR", "AppCaptureEnabled", RegValue::dword(1)},
        {HKLM, "SYSTEM\\CurrentControlSet\\Services\\SysMain", "Start", RegValue::dword(2)},
        {HKLM, "SYSTEM\\CurrentControlSet\\Services\\SysMain", "ObjectName", RegValue::string("LocalSystem")},
        {HKLM, "SYSTEM\\CurrentControlSet\\Services\\WSearch", "DependOnService",
         RegValue::multi_string({"RPCSS", "BrokerInfrastructure"})},
        {HKLM, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString",
         RegValue::string("AMD Ryzen 7 7800X3D 8-Core Processor")},
    };
    for (auto& p : present) {
        auto got = reg.get(p.hive, p.key, p.name);
        ASSERT_TRUE(got.has_value()) << p.key << "\\" << p.name;
        EXPECT_TRUE(*got == p.value) << p.key << "\\" << p.name;
    }

    // Values only a tweak would add; the keys around them are there as on a real PC.
    struct Absent {
        Hive hive;
        std::string key, name, existing_parent;
    };
    const Absent absent[] = {
        {HKLM, "SYSTEM\\CurrentControlSet\\Control\\Power\\PowerThrottling", "PowerThrottlingOff",
         "SYSTEM\\CurrentControlSet\\Control\\Power"},
        {HKLM, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\kernel", "GlobalTimerResolutionRequests",
         "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\kernel"},
        {HKLM, "SOFTWARE\\Microsoft\\Windows\\Dwm", "OverlayTestMode", "SOFTWARE\\Microsoft\\Windows\\Dwm"},
        {HKLM, "SYSTEM\\CurrentControlSet\\Control\\GraphicsDrivers", "TdrDelay",
         "SYSTEM\\CurrentControlSet\\Control\\GraphicsDrivers"},
        {HKCU, "Software\\Microsoft\\GameBar", "AllowAutoGameMode", "Software\\Microsoft\\GameBar"},
        {HKCU, "System\\GameConfigStore", "GameDVR_FSEBehavior", "System\\GameConfigStore"},
        {HKLM, "SOFTWARE\\Policies\\Microsoft\\Windows\\GameDVR", "AllowGameDVR", "SOFTWARE\\Policies\\Microsoft\\Windows"},
        {HKLM, "SOFTWARE\\Policies\\Microsoft\\Windows\\WindowsUpdate", "ExcludeWUDriversInQualityUpdate",
         "SOFTWARE\\Policies\\Microsoft\\Windows"},
        {HKLM, "SOFTWARE\\Policies\\Microsoft\\Windows\\WindowsUpdate\\AU", "NoAutoRebootWithLoggedOnUsers",
         "SOFTWARE\\Policies\\Microsoft\\Windows"},
    };
    for (auto& a : absent) {
        EXPECT_FALSE(reg.get(a.hive, a.key, a.name).has_value()) << a.name;
        EXPECT_TRUE(reg.key_exists(a.hive, a.existing_parent)) << a.existing_parent;
    }

    // Service image paths are raw ExpandStrings that expand against the machine's environment.
    auto image_path = reg.get(HKLM, "SYSTEM\\CurrentControlSet\\Services\\DiagTrack", "ImagePath");
    ASSERT_TRUE(image_path.has_value());
    EXPECT_EQ(image_path->kind, RegKind::ExpandString);
    EXPECT_EQ(reg.expand_environment(image_path->text), "C:\\Windows\\system32\\svchost.exe -k utcsvc -p");
    EXPECT_EQ(reg.get(HKLM, "SYSTEM\\CurrentControlSet\\Services\\DiagTrack", "FailureActions")->kind, RegKind::Binary);
}

// Every value the catalog restores to a stock setting must exist on the stock desktop, with
// the kind the catalog writes; otherwise its tweaks would show as applied on a clean PC.
TEST_F(SimMachineTest, Desktop11HasEveryValueTheCatalogRestores) {
    fs::path catalog = fs::path(__FILE__).parent_path().parent_path().parent_path() / "app/tweaks/catalog/10-system.toml";
    std::ifstream in(catalog);
    ASSERT_TRUE(in) << catalog;
    auto m = open();
    const std::regex p_re(R"re(p = '(HKLM|HKCU):\\([^']*)')re"), n_re(R"re(n = "([^"]*)")re"),
        t_re(R"re(t = "([^"]*)")re"), o_re(R"re(o = ("[^"]*"|\d+))re");
    int checked = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch p, n, t, o;
        if (!std::regex_search(line, p, p_re) || !std::regex_search(line, n, n_re)) continue;
        if (!std::regex_search(line, o, o_re) || o[1] == "\"<del>\"") continue;
        Hive hive = p[1] == "HKLM" ? HKLM : HKCU;
        auto got = m->registry().get(hive, p[2].str(), n[1].str());
        ASSERT_TRUE(got.has_value()) << p[2] << "\\" << n[1];
        bool is_string = std::regex_search(line, t, t_re) && t[1] == "String";
        EXPECT_EQ(got->kind, is_string ? RegKind::String : RegKind::DWord) << n[1];
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

// ---- Fault injection ----

TEST_F(SimMachineTest, FailedRegistryWriteChangesNothing) {
    auto m = open();
    auto& reg = m->registry();
    const std::string key = "SYSTEM\\CurrentControlSet\\Control\\PriorityControl";
    const std::string registry_file = slurp(dir_ / "registry.json");

    m->faults().fail_registry_write(2);
    reg.set(HKCU, "Software\\Vexlo", "First", RegValue::dword(1));  // the first write goes through
    std::string after_first = slurp(dir_ / "registry.json");
    EXPECT_NE(after_first, registry_file);
    try {
        reg.set(HKLM, key, "Win32PrioritySeparation", RegValue::dword(38));
        ADD_FAILURE() << "the second write should have failed";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("denied"), std::string::npos) << e.what();
    }
    EXPECT_EQ(reg.get(HKLM, key, "Win32PrioritySeparation")->number, 2u);
    EXPECT_EQ(slurp(dir_ / "registry.json"), after_first);

    reg.set(HKLM, key, "Win32PrioritySeparation", RegValue::dword(38));  // the third succeeds
    EXPECT_EQ(open()->registry().get(HKLM, key, "Win32PrioritySeparation")->number, 38u);

    // Failing writes that would have made keys or removed a value leave no trace either.
    m->faults().fail_registry_write(1);
    EXPECT_THROW(reg.set(HKCU, "Software\\Vexlo\\New\\Deeper", "X", RegValue::dword(1)), PlatformError);
    m->faults().fail_registry_write(1);
    EXPECT_THROW(reg.create_key(HKCU, "Software\\Vexlo\\Other"), PlatformError);
    m->faults().fail_registry_write(1);
    EXPECT_THROW(reg.remove(HKLM, key, "Win32PrioritySeparation"), PlatformError);
    auto reopened = open();
    for (SimMachine* reader : {m.get(), reopened.get()}) {
        EXPECT_FALSE(reader->registry().key_exists(HKCU, "Software\\Vexlo\\New"));
        EXPECT_FALSE(reader->registry().key_exists(HKCU, "Software\\Vexlo\\Other"));
        EXPECT_EQ(reader->registry().get(HKLM, key, "Win32PrioritySeparation")->number, 38u);
    }

    // A write that fails for real (the file cannot be replaced) is taken back in memory too.
    fs::remove(dir_ / "registry.json");
    fs::create_directory(dir_ / "registry.json");
    EXPECT_THROW(reg.set(HKCU, "Software\\Vexlo\\Unsaved\\Deeper", "X", RegValue::dword(1)), PlatformError);
    EXPECT_THROW(reg.set(HKLM, key, "Win32PrioritySeparation", RegValue::dword(40)), PlatformError);
    EXPECT_THROW(reg.remove(HKLM, key, "Win32PrioritySeparation"), PlatformError);
    EXPECT_FALSE(reg.key_exists(HKCU, "Software\\Vexlo\\Unsaved"));
    EXPECT_EQ(reg.get(HKLM, key, "Win32PrioritySeparation")->number, 38u);
}

TEST_F(SimMachineTest, FailedFileWriteChangesNothing) {
    auto m = open();
    auto& files = m->files();
    const std::string path = "C:\\Users\\Player\\Documents\\save.txt";
    files.write(path, "original");

    const vexlo::testkit::NamedOp ops[] = {
        {"write", [&] { files.write(path, "changed"); }},
        {"append", [&] { files.append(path, " more"); }},
        {"replace", [&] {
             files.write("C:\\Users\\Player\\Documents\\save.tmp", "replacement");
             files.replace("C:\\Users\\Player\\Documents\\save.tmp", path);
         }},
    };
    for (const auto& op : ops) {
        SCOPED_TRACE(op.name);
        // For replace the write of the temporary file is the first write, the replace the second.
        m->faults().fail_file_write(std::string(op.name) == "replace" ? 2 : 1);
        EXPECT_THROW(op.run(), PlatformError);
        EXPECT_EQ(slurp(m->host_path(path)), "original");
        files.remove("C:\\Users\\Player\\Documents\\save.tmp");
    }
    files.write(path, "later");  // nothing left armed
    EXPECT_EQ(files.read(path), "later");
}

TEST_F(SimMachineTest, LockedFileRefusesEverything) {
    auto m = open();
    auto& files = m->files();
    const std::string path = "C:\\Users\\Player\\Documents\\held.txt";
    files.write(path, "content");
    files.write("C:\\Users\\Player\\Documents\\other.txt", "other");

    m->faults().lock_file("c:\\users\\player\\documents\\HELD.TXT");  // any spelling
    EXPECT_TRUE(files.exists(path));
    EXPECT_FALSE(files.read(path).has_value());
    EXPECT_THROW(files.write(path, "x"), PlatformError);
    EXPECT_THROW(files.append(path, "x"), PlatformError);
    EXPECT_THROW(files.remove(path), PlatformError);
    EXPECT_THROW(files.replace("C:\\Users\\Player\\Documents\\other.txt", path), PlatformError);
    EXPECT_THROW(files.replace(path, "C:\\Users\\Player\\Documents\\moved.txt"), PlatformError);
    EXPECT_EQ(slurp(m->host_path(path)), "content");
    EXPECT_EQ(files.read("C:\\Users\\Player\\Documents\\other.txt"), "other");  // only that file

    m->faults().unlock_file(path);
    EXPECT_EQ(files.read(path), "content");
    files.write(path, "free");
    EXPECT_EQ(files.read(path), "free");
}

TEST_F(SimMachineTest, FullDiskRefusesWrites) {
    auto m = open();
    auto& files = m->files();
    const std::string path = "C:\\Users\\Player\\Documents\\log.txt";
    files.write(path, "kept");

    m->faults().set_disk_full(true);
    EXPECT_THROW(files.write(path, "lost"), PlatformError);
    EXPECT_THROW(files.append(path, "lost"), PlatformError);
    EXPECT_THROW(files.write("C:\\Users\\Player\\Documents\\new.txt", "lost"), PlatformError);
    EXPECT_FALSE(files.exists("C:\\Users\\Player\\Documents\\new.txt"));
    EXPECT_EQ(files.read(path), "kept");
    m->registry().set(HKCU, "Software\\Vexlo", "StillWorks", RegValue::dword(1));  // the registry is not a file

    m->faults().set_disk_full(false);
    files.append(path, "+more");
    EXPECT_EQ(files.read(path), "kept+more");
}

// ---- Paths ----

TEST_F(SimMachineTest, RefusesPathsOutsideTheMachine) {
    auto m = open();
    auto& files = m->files();
    fs::create_directories(dir_.parent_path() / "outside");
    for (const char* bad : {"C:\\Users\\..\\..\\..\\etc\\passwd", "C:\\Users\\Player\\..\\..\\..\\..\\outside\\x",
                            "..\\x", "relative\\x", "\\\\server\\share\\x", "C:x", "/etc/passwd", "\\Windows\\x",
                            "C:\\Users\\a:b", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(files.write(bad, "x"), PlatformError);
        EXPECT_THROW(files.create_directories(bad), PlatformError);
        EXPECT_THROW(m->host_path(bad), PlatformError);
        EXPECT_FALSE(files.read(bad).has_value());
        EXPECT_FALSE(files.exists(bad));
        EXPECT_TRUE(files.list(bad).empty());
    }
    EXPECT_TRUE(fs::is_empty(dir_.parent_path() / "outside"));
    fs::remove_all(dir_.parent_path() / "outside");
}

TEST_F(SimMachineTest, PathsMapUnderTheFolderIgnoringCase) {
    auto m = open();
    EXPECT_EQ(m->host_path("C:\\Users\\Player\\Desktop"), dir_ / "files" / "C" / "Users" / "Player" / "Desktop");
    EXPECT_EQ(m->host_path("c:/users//PLAYER/./desktop/"), dir_ / "files" / "C" / "Users" / "Player" / "Desktop");
    // A new file in an existing folder spelled differently goes into that folder.
    m->files().write("C:\\USERS\\player\\DESKTOP\\New.txt", "x");
    EXPECT_TRUE(fs::exists(dir_ / "files" / "C" / "Users" / "Player" / "Desktop" / "New.txt"));
    EXPECT_EQ(m->files().read("c:\\users\\player\\desktop\\new.TXT"), "x");
    // No drive D on this PC.
    EXPECT_THROW(m->files().create_directories("D:\\Games"), PlatformError);
    EXPECT_THROW(m->files().write("D:\\x.txt", "x"), PlatformError);
}

// ---- Across processes ----

TEST_F(SimMachineTest, MutexAndEventWorkAcrossProcesses) {
    const std::string name = vexlo::names::kAppMutex;
    auto child_takes_mutex = [&] {
        return in_child([&] {
            auto m = SimMachine::open(dir_);
            return m->named_objects().create_mutex(name).created_new ? 1 : 2;
        });
    };
    auto m = open();
    {
        auto held = m->named_objects().create_mutex(name);
        ASSERT_TRUE(held.created_new);
        EXPECT_EQ(child_takes_mutex(), 2);  // the second instance sees the first
    }
    EXPECT_EQ(child_takes_mutex(), 1);  // released with the handle

    // A holder that dies without letting go does not keep the mutex.
    EXPECT_EQ(in_child([&] {
                  auto c = SimMachine::open(dir_);
                  auto r = c->named_objects().create_mutex(name);
                  ::_exit(r.created_new ? 1 : 2);  // no destructors
                  return 0;
              }),
              1);
    EXPECT_TRUE(m->named_objects().create_mutex(name).created_new);

    // The second instance signals the first one's event, then ends.
    auto event = m->named_objects().open_event(vexlo::names::kShowEvent);
    EXPECT_EQ(in_child([&] {
                  SimMachine::open(dir_)->named_objects().open_event(vexlo::names::kShowEvent)->signal();
                  return 0;
              }),
              0);
    EXPECT_TRUE(event->poll());
    EXPECT_FALSE(event->poll());
}

TEST_F(SimMachineTest, StaleEventSignalIsDroppedWithTheLastHandle) {
    auto m = open();
    m->named_objects().open_event("Local\\Stale")->signal();  // signalled, then every handle closed
    EXPECT_FALSE(m->named_objects().open_event("Local\\Stale")->poll());
}

// ---- Shell and clock ----

TEST_F(SimMachineTest, ShellRecordsAndAnswers) {
    auto m = open();
    auto& shell = m->shell();
    EXPECT_TRUE(shell.open_app_window("http://127.0.0.1:8123/"));
    EXPECT_TRUE(shell.relaunch_elevated("C:\\Program Files\\Vexlo\\Vexlo.exe", {"--apply"}));

    struct Case {
        MsgButtons buttons;
        MsgResult unscripted;
    };
    for (auto c : {Case{MsgButtons::Ok, MsgResult::Ok}, Case{MsgButtons::YesNo, MsgResult::No},
                   Case{MsgButtons::YesNoCancel, MsgResult::Cancel}})
        EXPECT_EQ(shell.message_box("Title", "Text", c.buttons, MsgIcon::Question), c.unscripted);

    m->script_message_box(MsgResult::Yes);
    m->script_message_box(MsgResult::Cancel);
    EXPECT_EQ(shell.message_box("Restart", "Restart now?", MsgButtons::YesNo, MsgIcon::Question), MsgResult::Yes);
    EXPECT_EQ(shell.message_box("Again", "Sure?", MsgButtons::YesNoCancel, MsgIcon::Warning), MsgResult::Cancel);
    EXPECT_EQ(shell.message_box("Then", "Default again", MsgButtons::YesNo, MsgIcon::Warning), MsgResult::No);

    auto log = m->shell_log();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[0], "open http://127.0.0.1:8123/");
    EXPECT_EQ(log[1], "relaunch_elevated C:\\Program Files\\Vexlo\\Vexlo.exe --apply");
    EXPECT_EQ(log[5], "message_box [Restart] Restart now? -> Yes");
    std::string file = slurp(dir_ / "shell.log");
    EXPECT_EQ(file.substr(0, file.find('\n')), log[0]);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 8);
}

TEST_F(SimMachineTest, OpenAppWindowStartsTheConfiguredBrowser) {
    auto m = open();
    // touch stands in for a browser: the URL it is given is a path it creates.
    const fs::path marker = dir_ / "browser-was-here";
    ::setenv("VEXLO_SIM_BROWSER", "touch", 1);
    bool opened = m->shell().open_app_window(marker.string());
    ::unsetenv("VEXLO_SIM_BROWSER");
    EXPECT_TRUE(opened);
    for (int i = 0; i < 500 && !fs::exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(marker));

    ::setenv("VEXLO_SIM_BROWSER", "/nonexistent/browser", 1);
    EXPECT_FALSE(m->shell().open_app_window("http://127.0.0.1:1/"));
    ::unsetenv("VEXLO_SIM_BROWSER");
}

TEST_F(SimMachineTest, ClockCanBeFixed) {
    auto m = open();
    m->set_fixed_time(LocalTime{2025, 3, 9, 23, 59, 58});
    LocalTime t = m->clock().local_now();
    EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second), std::make_tuple(2025, 3, 9, 23, 59, 58));
    m->set_fixed_time(std::nullopt);
    EXPECT_GE(m->clock().local_now().year, 2024);
}

TEST_F(SimMachineTest, ExpandsFromTheImagesEnvironment) {
    auto m = open();
    auto& reg = m->registry();
    EXPECT_EQ(reg.expand_environment("%SystemRoot%\\System32"), "C:\\Windows\\System32");
    EXPECT_EQ(reg.expand_environment("%LOCALAPPDATA%\\Vexlo"), "C:\\Users\\Player\\AppData\\Local\\Vexlo");
    EXPECT_EQ(reg.expand_environment("%userprofile%|%TEMP%|%ProgramData%"),
              "C:\\Users\\Player|C:\\Users\\Player\\AppData\\Local\\Temp|C:\\ProgramData");
    EXPECT_EQ(m->files().known_folder(KnownFolder::Desktop), "C:\\Users\\Player\\Desktop");
}

}  // namespace
