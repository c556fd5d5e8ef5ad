// Power plans: GUID text and powercfg's aliases everywhere; under Wine, that nothing reaches the
// Power API; on Windows, a copy of Balanced is made, changed, used and deleted.
#define INITGUID  // this file checks the aliases against Windows' own GUID definitions
#include <windows.h>
#include <powrprof.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/error.h"
#include "platform/win32/parts.h"
#include "platform/win32/power_guid.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::PlatformError;

TEST(PowerWin, GuidTextRoundTripsInLowerCase) {
    for (const char* text : {"8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c", "{8C5E7FDA-E8BF-4A96-9A85-A6E23A8C635C}",
                             "8C5E7FDA-e8bf-4A96-9a85-A6E23A8C635C"}) {
        auto g = parse_guid(text);
        ASSERT_TRUE(g) << text;
        EXPECT_TRUE(IsEqualGUID(*g, GUID_MIN_POWER_SAVINGS)) << text;
        EXPECT_EQ(guid_text(*g), "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c");
    }
    EXPECT_EQ(guid_text(GUID_PROCESSOR_SETTINGS_SUBGROUP), "54533251-82be-4824-96c1-47b60b740d00");
    for (const char* bad : {"", "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635", "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c0",
                            "8c5e7fdae-8bf-4a96-9a85-a6e23a8c635c", "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635g",
                            "{8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c", "8c5e7fda e8bf 4a96 9a85 a6e23a8c635c"})
        EXPECT_FALSE(parse_guid(bad)) << bad;
}

TEST(PowerWin, AliasesNameWindowsOwnGuids) {
    struct Case {
        const char* alias;
        GUID guid;
    };
    for (const Case& c : {
             Case{"SCHEME_MAX", GUID_MAX_POWER_SAVINGS},
             Case{"SCHEME_MIN", GUID_MIN_POWER_SAVINGS},
             Case{"SCHEME_BALANCED", GUID_TYPICAL_POWER_SAVINGS},
             Case{"SUB_PROCESSOR", GUID_PROCESSOR_SETTINGS_SUBGROUP},
             Case{"PROCTHROTTLEMIN", GUID_PROCESSOR_THROTTLE_MINIMUM},
             Case{"PROCTHROTTLEMAX", GUID_PROCESSOR_THROTTLE_MAXIMUM},
             Case{"PERFBOOSTMODE", GUID_PROCESSOR_PERF_BOOST_MODE},
             Case{"PERFBOOSTPOL", GUID_PROCESSOR_PERF_BOOST_POLICY},
             Case{"CPMINCORES", GUID_PROCESSOR_CORE_PARKING_MIN_CORES},
             Case{"CPMAXCORES", GUID_PROCESSOR_CORE_PARKING_MAX_CORES},
             Case{"IDLEDISABLE", GUID_PROCESSOR_IDLE_DISABLE},
             Case{"SUB_DISK", GUID_DISK_SUBGROUP},
             Case{"DISKIDLE", GUID_DISK_POWERDOWN_TIMEOUT},
             Case{"SUB_PCIEXPRESS", GUID_PCIEXPRESS_SETTINGS_SUBGROUP},
             Case{"ASPM", GUID_PCIEXPRESS_ASPM_POLICY},
             Case{"SUB_SLEEP", GUID_SLEEP_SUBGROUP},
             Case{"STANDBYIDLE", GUID_STANDBY_TIMEOUT},
             Case{"HIBERNATEIDLE", GUID_HIBERNATE_TIMEOUT},
             Case{"RTCWAKE", GUID_ALLOW_RTC_WAKE},
             Case{"SUB_VIDEO", GUID_VIDEO_SUBGROUP},
             Case{"VIDEOIDLE", GUID_VIDEO_POWERDOWN_TIMEOUT},
             Case{"SUB_BUTTONS", GUID_SYSTEM_BUTTON_SUBGROUP},
         }) {
        auto g = power_guid(c.alias);
        ASSERT_TRUE(g) << c.alias;
        EXPECT_TRUE(IsEqualGUID(*g, c.guid)) << c.alias << " is " << guid_text(*g);
    }
    // The one the catalog's "favor performance" entry uses; winnt.h here has no name for it.
    EXPECT_EQ(guid_text(*power_guid("perfepp")), "36687f9e-e3a5-4dbf-b1dc-15eb381c6863");
    EXPECT_TRUE(IsEqualGUID(*power_guid("sub_processor"), GUID_PROCESSOR_SETTINGS_SUBGROUP));
    EXPECT_TRUE(IsEqualGUID(*power_guid("54533251-82BE-4824-96C1-47B60B740D00"), GUID_PROCESSOR_SETTINGS_SUBGROUP));
    EXPECT_FALSE(power_guid("SUB_NOSUCH"));
}

TEST(PowerWin, UnderWineNothingReachesThePowerApi) {
    if (!running_under_wine()) GTEST_SKIP() << "only Wine's Power API crashes";
    auto power = make_power();
    EXPECT_FALSE(power->active_plan());
    EXPECT_TRUE(power->plans().empty());
    EXPECT_FALSE(power->duplicate_plan("e9a42b02-d5df-448d-aa00-03f14749eb61"));
    EXPECT_FALSE(power->rename_plan("381b4222-f694-41f0-9685-ff5bb260df2e", "x", "y"));
    EXPECT_FALSE(power->set_active("381b4222-f694-41f0-9685-ff5bb260df2e"));
    EXPECT_FALSE(power->ac_index("SUB_PROCESSOR", "PROCTHROTTLEMAX"));
    try {
        power->set_ac_index("SUB_PROCESSOR", "PROCTHROTTLEMAX", 100);
        ADD_FAILURE() << "a power setting was changed under Wine";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("not available under Wine"), std::string::npos) << e.what();
    }
    // Hibernation goes through powercfg, which Wine does not have.
    EXPECT_THROW(power->set_hibernation(false), PlatformError);
}

TEST(PowerWin, CopyOfBalancedIsRenamedActivatedChangedAndRemoved) {
    if (running_under_wine()) GTEST_SKIP() << "the Power API crashes the process under Wine";
    auto power = make_power();
    auto before = power->active_plan();
    ASSERT_TRUE(before);
    auto listed = [&](const std::string& guid) {
        auto all = power->plans();
        return std::any_of(all.begin(), all.end(), [&](auto& p) { return p.guid == guid; });
    };
    ASSERT_TRUE(listed(before->guid));

    auto copy = power->duplicate_plan("381b4222-f694-41f0-9685-ff5bb260df2e");
    ASSERT_TRUE(copy);
    struct Cleanup {
        std::string restore, remove;
        ~Cleanup() {
            auto r = parse_guid(restore), d = parse_guid(remove);
            if (r) PowerSetActiveScheme(nullptr, &*r);
            if (d) PowerDeleteScheme(nullptr, &*d);
        }
    } cleanup{before->guid, *copy};
    EXPECT_TRUE(listed(*copy));
    EXPECT_TRUE(power->rename_plan(*copy, "Vexlo Test Plan", "Made by a test"));
    EXPECT_TRUE(power->set_active(*copy));
    EXPECT_EQ(power->active_plan()->guid, *copy);
    EXPECT_EQ(power->active_plan()->name, "Vexlo Test Plan");

    auto max = power->ac_index("SUB_PROCESSOR", "PROCTHROTTLEMAX");
    ASSERT_TRUE(max);
    int32_t other = *max == 100 ? 99 : 100;
    power->set_ac_index("54533251-82be-4824-96c1-47b60b740d00", "bc5038f7-23e0-4960-96da-33abaf5935ec", other);
    EXPECT_EQ(power->ac_index("SUB_PROCESSOR", "PROCTHROTTLEMAX"), other);

    EXPECT_FALSE(power->set_active("e9a42b02-d5df-448d-aa00-03f14749eb61"));  // a template, not a plan
    EXPECT_FALSE(power->ac_index("SUB_PROCESSOR", "00000000-0000-0000-0000-000000000001"));
}

}  // namespace
