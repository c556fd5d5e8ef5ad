// Defender's preferences. Wine has no Defender: there the part must say so and refuse changes.
// On Windows (elevated) an exclusion for a folder that does not exist is added and removed, and
// the scan limits are changed and put back.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
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

TEST(DefenderWin, ScanLimitsWithoutDefenderAreUnknownAndChangesThrow) {
    auto defender = make_defender();
    // Refused before Defender is asked, wherever this runs.
    EXPECT_THROW(defender->set_scan_cpu_load_factor(101), PlatformError);
    EXPECT_THROW(defender->set_scan_cpu_load_factor(4), PlatformError);
    if (defender->available()) GTEST_SKIP() << "Defender answers on this system";
    EXPECT_FALSE(defender->antimalware_service_enabled());
    EXPECT_EQ(defender->scan_cpu_load_factor(), std::nullopt);
    EXPECT_EQ(defender->low_cpu_priority(), std::nullopt);
    try {
        defender->set_scan_cpu_load_factor(20);
        ADD_FAILURE() << "the load factor was set without Defender";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot set Defender's scan CPU load factor to 20: "), std::string::npos)
            << e.what();
    }
    EXPECT_THROW(defender->set_low_cpu_priority(true), PlatformError);
}

TEST(DefenderWin, ScanLimitsRoundTripWhereDefenderAnswers) {
    auto defender = make_defender();
    if (!defender->available()) GTEST_SKIP() << "Defender does not answer here (Wine has none)";
    if (!IsUserAnAdmin()) GTEST_SKIP() << "changing Defender's preferences needs an elevated run";
    auto factor = defender->scan_cpu_load_factor();
    auto low = defender->low_cpu_priority();
    ASSERT_TRUE(factor && low);
    defender->set_scan_cpu_load_factor(*factor == 30 ? 31 : 30);
    EXPECT_EQ(defender->scan_cpu_load_factor(), *factor == 30 ? 31 : 30);
    defender->set_low_cpu_priority(!*low);
    EXPECT_EQ(defender->low_cpu_priority(), !*low);
    defender->set_scan_cpu_load_factor(*factor);
    defender->set_low_cpu_priority(*low);
    EXPECT_EQ(defender->scan_cpu_load_factor(), factor);
    EXPECT_EQ(defender->low_cpu_priority(), low);
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
