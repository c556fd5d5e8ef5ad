// The window's timed behaviour on the simulated PC's clock, moved by hand: the toast stays
// up for its 2800 ms and then fades out, with no test sleeping through it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/activity_log.h"
#include "app/core/event_loop.h"
#include "app/ui/main_window.h"
#include "app/ui/ui.h"
#include "test_machine.h"

using namespace vexlo;
using namespace std::chrono_literals;

namespace {

// The window's reporting facilities without the application around them.
struct ToastWindow : ::testing::Test {
    testkit::TempMachine pc;
    EventLoop loop{pc->clock()};
    ActivityLog log{pc->files(), pc->clock(), "C:\\Users\\Player\\AppData\\Local\\VexloTweaks\\vexlo.log"};
    ui::Ui ui{loop, log, pc->shell()};
    int toast_id = 0;

    void SetUp() override {
        pc->freeze_clock();
        ui::build_main_window(ui.tree(), "/logo.svg", "test");
        ui.set_window_visible(true);
        toast_id = ui("ToastHost").id();
        ui.tree().take_patches();
    }

    // Moves time on, lets the loop run what came due, and returns the toast's fades since the
    // last look, as "from>to/ms".
    std::vector<std::string> after(std::chrono::milliseconds step) {
        pc->advance_clock(step);
        loop.process_pending();
        std::vector<std::string> fades;
        for (auto& op : ui.tree().take_patches())
            if (op.value("op", "") == "fade" && op.value("id", 0) == toast_id)
                fades.push_back(std::to_string(op["from"].get<int>()) + ">" + std::to_string(op["to"].get<int>()) +
                                "/" + std::to_string(op["ms"].get<int>()));
        return fades;
    }
    using Fades = std::vector<std::string>;
};

}  // namespace

TEST_F(ToastWindow, StaysUp2800MsThenFadesOut) {
    ui.show_toast("Game Mode applied");
    EXPECT_EQ(ui("ToastText").text(), "Game Mode applied");
    EXPECT_EQ(after(0ms), (Fades{"0>1/150"}));
    EXPECT_EQ(after(2799ms), Fades{}) << "still up 1 ms before its time";
    EXPECT_EQ(ui("ToastHost").get("opacity"), 1);
    EXPECT_EQ(after(1ms), (Fades{"1>0/250"}));
    EXPECT_EQ(ui("ToastHost").get("opacity"), 0);
    EXPECT_EQ(after(10'000ms), Fades{}) << "fades out once";
}

TEST_F(ToastWindow, ANewToastRestartsTheCountdown) {
    ui.show_toast("first");
    EXPECT_EQ(after(2000ms), (Fades{"0>1/150"}));
    ui.show_toast("second");
    EXPECT_EQ(after(2799ms), (Fades{"0>1/150"})) << "the first toast's deadline has passed: no fade yet";
    EXPECT_EQ(ui("ToastText").text(), "second");
    EXPECT_EQ(after(1ms), (Fades{"1>0/250"}));
}

TEST_F(ToastWindow, NoToastWhileTheWindowIsInTheTray) {
    ui.set_window_visible(false);
    ui.show_toast("applied");
    EXPECT_EQ(after(5000ms), Fades{});
    EXPECT_EQ(ui("ToastText").text(), "");
}
