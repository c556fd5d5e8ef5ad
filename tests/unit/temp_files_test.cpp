// Temporary files a killed run leaves behind: removed at the next start, the product's own
// names only, in the folders it writes them, and never through a link.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/app.h"
#include "app/core/game.h"
#include "app/core/temp_files.h"
#include "app/core/text.h"
#include "test_machine.h"

using namespace vexlo;
namespace fs = std::filesystem;

namespace {

struct Leftovers : ::testing::Test {
    testkit::TempMachine pc;
    platform::FileSystem& files = pc->files();
    AppPaths paths = AppPaths::from(files);
    std::string ini_path = game_settings_path(files);
    std::string game_dir = ini_path.substr(0, ini_path.rfind('\\'));

    void SetUp() override {
        files.create_directories(paths.backup_dir);
        files.create_directories(game_dir);
    }
    void put(const std::string& path, const std::string& bytes = "x") { files.write(path, bytes); }
    std::string log_text() { return files.read(paths.log_file).value_or(""); }
    // What a write killed between its temporary file and the replace leaves.
    std::vector<std::string> plant_leftovers() {
        std::vector<std::string> ours = {
            paths.backup_file + ".tmp",
            temporary_path_for(ini_path),
            temporary_path_for(path_join(paths.backup_dir, "GameUserSettings.original.ini")),
            path_join(paths.log_dir, "SOMETHING.VEXLO-WRITE.TMP"),  // Windows names ignore case
        };
        for (auto& p : ours) put(p);
        files.set_read_only(ours[2], true);  // a copy of a read-only settings file is read-only
        return ours;
    }
    // Files of the player's or of other programs that only look alike.
    std::vector<std::string> plant_lookalikes() {
        std::vector<std::string> theirs = {
            path_join(game_dir, "GameUserSettings.ini.tmp"),
            path_join(game_dir, "backup.json.tmp"),  // the store's name, but not the store's folder
            path_join(game_dir, "notes.vexlo-write.tmp.txt"),
            path_join(game_dir, ".vexlo-write.tmp"),  // the suffix alone names no file of ours
            path_join(paths.log_dir, "backup.json.tmp.old"),
            path_join(paths.log_dir, "deeper\\x.vexlo-write.tmp"),  // below the folders: not ours to clean
            paths.backup_file,
            ini_path,
        };
        files.create_directories(path_join(paths.log_dir, "deeper"));
        for (auto& p : theirs) put(p);
        files.create_directories(path_join(game_dir, "folder.vexlo-write.tmp"));
        theirs.push_back(path_join(game_dir, "folder.vexlo-write.tmp"));
        return theirs;
    }
};

}  // namespace

TEST_F(Leftovers, OnlyTheProductsOwnTemporariesGoAndTheLogSaysSoOnce) {
    auto ours = plant_leftovers();
    auto theirs = plant_lookalikes();
    ActivityLog log(files, pc->clock(), paths.log_file);

    remove_leftover_temporaries(files, paths, ini_path, log);
    for (auto& p : ours) EXPECT_FALSE(files.exists(p)) << p;
    for (auto& p : theirs) EXPECT_TRUE(files.exists(p)) << p;
    const std::string first = log_text();
    EXPECT_NE(first.find("Removed 4 temporary files left by an interrupted run"), std::string::npos) << first;
    for (auto& p : ours) EXPECT_NE(first.find(p), std::string::npos) << p;
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1);

    remove_leftover_temporaries(files, paths, ini_path, log);  // nothing left: nothing logged
    EXPECT_EQ(log_text(), first);
}

// A link planted under one of our names goes as a link: what it points at keeps its content
// and its read-only attribute.
TEST_F(Leftovers, ALinkUnderATemporaryNameIsRemovedNotFollowed) {
    const std::string target = "C:\\Windows\\System32\\precious.dat";
    files.create_directories("C:\\Windows\\System32");
    put(target, "precious");
    files.set_read_only(target, true);
    const std::string link = temporary_path_for(ini_path);
    fs::create_symlink(pc->host_path(target), pc->host_path(link));
    ASSERT_TRUE(files.is_link(link));
    ActivityLog log(files, pc->clock(), paths.log_file);

    remove_leftover_temporaries(files, paths, ini_path, log);
    EXPECT_FALSE(files.is_link(link));
    EXPECT_FALSE(fs::exists(fs::symlink_status(pc->host_path(link))));
    EXPECT_EQ(files.read(target), "precious");
    EXPECT_TRUE(files.is_read_only(target));
}

// Start-up cleans; a start that only looks leaves the PC as it is, leftovers included.
TEST(LeftoversAtStart, RemovedByStartUpButNotWhenOnlyLooking) {
    for (bool look_only : {false, true}) {
        SCOPED_TRACE(look_only ? "look only" : "normal start");
        testkit::TempMachine pc;
        AppPaths paths = AppPaths::from(pc->files());
        const std::string ini_tmp = temporary_path_for(game_settings_path(pc->files()));
        pc->files().create_directories(paths.log_dir);
        pc->files().create_directories(ini_tmp.substr(0, ini_tmp.rfind('\\')));
        pc->files().write(paths.backup_file + ".tmp", "{");
        pc->files().write(ini_tmp, "[half");
        {
            StartOptions options;
            options.open_window = false;
            options.look_only = look_only;
            App app(*pc, options);
            app.start_up();
        }
        EXPECT_EQ(pc->files().exists(paths.backup_file + ".tmp"), look_only);
        EXPECT_EQ(pc->files().exists(ini_tmp), look_only);
    }
}
