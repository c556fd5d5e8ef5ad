#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "app/core/app.h"
#include "test_machine.h"

using namespace vexlo;
using namespace std::chrono_literals;

namespace {

int count_opens(const std::vector<std::string>& log) {
    int n = 0;
    for (auto& line : log)
        if (line.rfind("open ", 0) == 0) ++n;
    return n;
}

}  // namespace

// A second start signals the first and ends at once; the first brings its window forward
// within about a second (here: opens it again, since no window is connected yet).
TEST(SingleInstance, SecondStartHandsOverToTheFirst) {
    testkit::TempMachine pc;
    std::promise<std::string> url;
    StartOptions first_opts;
    first_opts.on_url = [&](const std::string& u) { url.set_value(u); };
    App first(*pc, first_opts);
    std::thread runner([&] { first.run(); });
    std::string address = url.get_future().get();
    EXPECT_EQ(address.rfind("http://127.0.0.1:", 0), 0u);

    auto second_pc = sim::SimMachine::open(pc.dir());
    StartOptions second_opts;
    bool second_printed = false;
    second_opts.on_url = [&](const std::string&) { second_printed = true; };
    App second(*second_pc, second_opts);
    EXPECT_EQ(second.run(), 0);
    EXPECT_FALSE(second_printed) << "the second start must not serve a window";
    EXPECT_EQ(count_opens(second_pc->shell_log()), 0);

    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (count_opens(pc->shell_log()) < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(count_opens(pc->shell_log()), 2);

    first.request_exit();
    runner.join();
}

TEST(SingleInstance, NotElevatedRelaunchesAndEnds) {
    testkit::TempMachine pc;
    pc->set_elevated(false);
    StartOptions opts;
    opts.exe = "C:\\Users\\Player\\AppData\\Local\\VexloTweaks\\app\\VexloTweaks-core.exe";
    opts.args = {"--tray", "", "x", "two words", "say \"hi\"", "C:\\A B\\"};
    bool served = false;
    opts.on_url = [&](const std::string&) { served = true; };
    App app(*pc, opts);
    EXPECT_EQ(app.run(), 0);
    EXPECT_FALSE(served);
    auto log = pc->shell_log();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("--tray x"), std::string::npos) << log.back();
    // Each argument on its own, blanks and quotes kept: the shell quotes them for the new process.
    EXPECT_EQ(log.back(), "relaunch_elevated " + opts.exe + " --tray x \"two words\" \"say \\\"hi\\\"\" \"C:\\\\A B\\\\\"");
}
