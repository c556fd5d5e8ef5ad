// Links an unelevated program may plant where the elevated core writes: the log is not
// appended through one, and on the simulated PC a linked folder on the way is refused too (it
// could lead out of the machine folder).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/core/activity_log.h"
#include "app/core/paths.h"
#include "test_machine.h"

using namespace vexlo;
namespace fs = std::filesystem;

namespace {

struct FileLinks : ::testing::Test {
    testkit::TempMachine pc;
    platform::FileSystem& files = pc->files();
    AppPaths paths = AppPaths::from(files);
    const std::string system_dir = "C:\\Windows\\System32";
    const std::string target = system_dir + "\\drivers\\etc\\hosts";

    void SetUp() override {
        files.create_directories(system_dir + "\\drivers\\etc");
        files.write(target, "127.0.0.1 localhost\r\n");
    }
    void link(const std::string& at, const std::string& to) {
        fs::create_symlink(pc->host_path(to), pc->host_path(at));
        ASSERT_TRUE(files.is_link(at));
    }
};

bool says_link(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::PlatformError& e) {
        return std::string(e.what()).find("is a link; Vexlo Tweaks does not follow links") != std::string::npos;
    }
    return false;
}

}  // namespace

TEST_F(FileLinks, TheLogIsNotAppendedThroughALink) {
    files.create_directories(paths.log_dir);
    link(paths.log_file, target);
    ActivityLog log(files, pc->clock(), paths.log_file);
    log.append("Applied: Disable Nagle");  // never fails loudly, and never reaches the target
    EXPECT_EQ(files.read(target), "127.0.0.1 localhost\r\n");
    EXPECT_TRUE(files.is_link(paths.log_file));
}

TEST_F(FileLinks, SimulatedPcRefusesALinkedFolderOnTheWay) {
    // The install folder replaced by a link to a system folder: nothing the core writes there
    // may land in the system folder.
    fs::remove_all(pc->host_path(paths.log_dir));
    link(paths.log_dir, system_dir);
    EXPECT_TRUE(says_link([&] { files.write(paths.backup_file, "{}"); }));
    EXPECT_TRUE(says_link([&] { files.append(paths.log_file, "line"); }));
    EXPECT_TRUE(says_link([&] { files.copy(target, paths.log_dir + "\\copy.txt"); }));
    EXPECT_TRUE(says_link([&] { files.replace(target, paths.log_dir + "\\moved.txt"); }));
    EXPECT_FALSE(files.exists(system_dir + "\\backup.json"));
    EXPECT_FALSE(files.exists(system_dir + "\\vexlo.log"));
    EXPECT_FALSE(files.exists(system_dir + "\\copy.txt"));
    EXPECT_EQ(files.read(target), "127.0.0.1 localhost\r\n");
    // Reading through folders on the way stays possible: the game's folders may be junctions
    // made by the player.
    EXPECT_EQ(files.read(paths.log_dir + "\\drivers\\etc\\hosts"), "127.0.0.1 localhost\r\n");
}
