// Defender's preferences. Wine has no Defender: there the part must say so and refuse changes.
// On Windows (elevated) an exclusion for a folder that does not exist is added and removed.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/error.h"
#include "platform/win32/parts.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::PlatformError;

TEST(DefenderWin, EmptyPathIsRefusedBeforeAskingDefender) {
    EXPECT_THROW(make_defender()->add_exclusion_path(""), PlatformError);
}

TEST(DefenderWin, WithoutDefenderNothingIsReadAndChangesThrow) {
    auto defender = make_defender();
    if (defender->available()) GTEST_SKIP() << "Defender answers on this system";
    EXPECT_FALSE(defender->realtime_protection_enabled());
    EXPECT_TRUE(defender->exclusion_paths().empty());
    try {
        defender->add_exclusion_path("C:\\Games\\Fortnite");
        ADD_FAILURE() << "an exclusion was added without Defender";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot add the Defender exclusion C:\\Games\\Fortnite: "), std::string::npos)
            << e.what();
    }
    EXPECT_THROW(defender->remove_exclusion_path("C:\\Games\\Fortnite"), PlatformError);
}

TEST(DefenderWin, ExclusionRoundTripWhereDefenderAnswers) {
    auto defender = make_defender();
    if (!defender->available()) GTEST_SKIP() << "Defender does not answer here (Wine has none)";
    if (!IsUserAnAdmin()) GTEST_SKIP() << "changing Defender's exclusions needs an elevated run";
    const std::string path = "C:\\VexloTest-" + std::to_string(GetCurrentProcessId()) + "-missing";
    auto listed = [&] {
        auto paths = defender->exclusion_paths();
        return std::any_of(paths.begin(), paths.end(), [&](const std::string& p) { return _stricmp(p.c_str(), path.c_str()) == 0; });
    };
    defender->add_exclusion_path(path);
    EXPECT_TRUE(listed());
    defender->remove_exclusion_path(path);
    EXPECT_FALSE(listed());
}

}  // namespace
