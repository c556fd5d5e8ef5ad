// Started elevated with another administrator's password: the simulated PC reports the two
// accounts, and the product tells the user and ends before it makes or changes anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/app.h"
#include "test_machine.h"

using namespace vexlo;

namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(AccountMismatch, SimulatedPcReportsOnlyAnotherAccountAndKeepsTheSetting) {
    testkit::TempMachine pc;
    struct Case {
        const char* desktop_user;
        std::optional<std::string> reported;
    };
    for (const Case& c : {Case{"", std::nullopt}, Case{"Player", std::nullopt}, Case{"PLAYER", std::nullopt},
                          Case{"Jo", "Jo"}}) {
        pc->set_desktop_user(c.desktop_user);
        pc.reopen();  // kept in the machine's folder, as another run of the product sees it
        auto mismatch = pc->system().desktop_user_mismatch();
        SCOPED_TRACE(c.desktop_user);
        ASSERT_EQ(mismatch.has_value(), c.reported.has_value());
        if (mismatch) {
            EXPECT_EQ(mismatch->process_user, "Player");
            EXPECT_EQ(mismatch->desktop_user, *c.reported);
        }
    }
    EXPECT_EQ(wrong_account_message(pc->system()),
              "Vexlo Tweaks was started with the administrator account Player, but Jo is signed in to Windows. Your "
              "tweaks and game settings would be changed for Player, not for you.\n\nSign in as Jo with an "
              "administrator account, or ask an administrator to give Jo administrator rights, then start Vexlo "
              "Tweaks again.");
}

TEST(AccountMismatch, StartTellsTheUserAndEndsWithoutChangingAnything) {
    testkit::TempMachine pc;
    pc->set_desktop_user("Jo");
    const std::string registry_before = slurp(pc.dir() / "registry.json");
    StartOptions opts;
    bool served = false;
    opts.on_url = [&](const std::string&) { served = true; };
    App app(*pc, opts);
    EXPECT_EQ(app.run(), 0);
    EXPECT_FALSE(served);
    auto log = pc->shell_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "message_box [Vexlo Tweaks] " + *wrong_account_message(pc->system()) + " -> Ok");
    EXPECT_FALSE(pc->files().exists("C:\\Users\\Player\\AppData\\Local\\VexloTweaks"));
    EXPECT_EQ(slurp(pc.dir() / "registry.json"), registry_before);
}

}  // namespace
