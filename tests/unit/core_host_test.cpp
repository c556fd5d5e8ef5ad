// The core's entry: assets, hand-over of the three values, crash line and message, exit codes.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/core/embedded.h"
#include "host/core_host.h"
#include "test_machine.h"

namespace {

using namespace vexlo;


class CoreHost : public ::testing::Test {
protected:
    testkit::TempMachine pc;
    std::string data_dir() { return pc->files().known_folder(platform::KnownFolder::LocalAppData) + "\\VexloTweaks"; }
    std::optional<std::string> crash_log() { return pc->files().read(data_dir() + "\\crash.log"); }
};

TEST_F(CoreHost, WritesAssetsAndHandsOverTheValues) {
    HostValues seen;
    int code = run_host(*pc, "C:\\Tools\\VexloTweaks-core.exe", {"--tray"}, [&](const HostValues& v) {
        seen = v;
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(seen.root, data_dir() + "\\app");
    EXPECT_EQ(seen.exe, "C:\\Tools\\VexloTweaks-core.exe");
    EXPECT_EQ(seen.args, std::vector<std::string>{"--tray"});
    for (const char* name : {"logo.png", "VexloTweaks.ico"}) {
        auto on_disk = pc->files().read(seen.root + "\\assets\\" + name);
        ASSERT_TRUE(on_disk) << name;
        EXPECT_EQ(*on_disk, std::string(*embedded_file(name))) << name;
    }
    EXPECT_FALSE(crash_log());

    // Deleted between runs: written again. No arguments: an empty list.
    ASSERT_TRUE(pc->files().remove(seen.root + "\\assets\\logo.png"));
    run_host(*pc, "x.exe", {}, [&](const HostValues& v) {
        seen = v;
        return 0;
    });
    EXPECT_TRUE(seen.args.empty());
    EXPECT_TRUE(pc->files().exists(seen.root + "\\assets\\logo.png"));
}

TEST_F(CoreHost, AnAssetThatCannotBeWrittenIsLeftAsItIs) {
    run_host(*pc, "x.exe", {}, [](const HostValues&) { return 0; });
    const std::string logo = data_dir() + "\\app\\assets\\logo.png";
    pc->faults().lock_file(logo);
    bool ran = false;
    EXPECT_EQ(run_host(*pc, "x.exe", {}, [&](const HostValues&) { ran = true; return 0; }), 0);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(crash_log());
}

TEST_F(CoreHost, ACrashIsLoggedAndShown) {
    pc->set_fixed_time(platform::LocalTime{2026, 3, 2, 14, 5, 9});
    int code = run_host(*pc, "x.exe", {}, [](const HostValues&) -> int { throw std::runtime_error("disk on fire"); });
    EXPECT_EQ(code, 1);
    auto log = crash_log();
    ASSERT_TRUE(log);
    EXPECT_EQ(*log, "2026-03-02T14:05:09  std::runtime_error: disk on fire\r\n");
    auto shown = pc->shell_log();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(),
              "message_box [Vexlo Tweaks] Vexlo Tweaks hit an error and has to close:\n\ndisk on fire\n\nDetails were "
              "saved to %LOCALAPPDATA%\\VexloTweaks\\crash.log -> Ok");

    // A second crash appends; an empty message keeps both halves of the text; a multi-line
    // message stays on one log line.
    run_host(*pc, "x.exe", {}, [](const HostValues&) -> int { throw std::logic_error(""); });
    run_host(*pc, "x.exe", {}, [](const HostValues&) -> int { throw std::runtime_error("a\r\nb"); });
    EXPECT_EQ(*crash_log(),
              "2026-03-02T14:05:09  std::runtime_error: disk on fire\r\n"
              "2026-03-02T14:05:09  std::logic_error: \r\n"
              "2026-03-02T14:05:09  std::runtime_error: a  b\r\n");
    shown = pc->shell_log();
    EXPECT_NE(std::find(shown.begin(), shown.end(),
                        "message_box [Vexlo Tweaks] Vexlo Tweaks hit an error and has to close:\n\n\n\nDetails were "
                        "saved to %LOCALAPPDATA%\\VexloTweaks\\crash.log -> Ok"),
              shown.end());
}

TEST_F(CoreHost, AnUnwritableCrashLogStillShowsTheMessage) {
    pc->faults().set_disk_full(true);
    EXPECT_EQ(run_host(*pc, "x.exe", {}, [](const HostValues&) -> int { throw 42; }), 1);
    pc->faults().set_disk_full(false);
    EXPECT_FALSE(crash_log());
    auto shown = pc->shell_log();
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back().find("hit an error and has to close"), std::string::npos);
}

TEST(SortableTime, PadsEveryField) {
    EXPECT_EQ(sortable_time({2026, 3, 2, 14, 5, 9}), "2026-03-02T14:05:09");
    EXPECT_EQ(sortable_time({999, 12, 31, 0, 0, 0}), "0999-12-31T00:00:00");
}

}  // namespace
