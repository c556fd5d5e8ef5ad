// The memory manager agent: the PowerShell commands, the reading of their output, and what
// happens where PowerShell cannot carry them out.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/win32/mmagent_text.h"
#include "platform/win32/parts.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::MemoryFeature;
using vexlo::platform::PlatformError;

TEST(MemoryAgentWin, CommandsNameEachFeaturesOwnParameter) {
    struct Case {
        MemoryFeature feature;
        std::wstring read, enable, disable;
    };
    for (const Case& c : {
             Case{MemoryFeature::Compression, L"(Get-MMAgent).MemoryCompression", L"Enable-MMAgent -MemoryCompression;",
                  L"Disable-MMAgent -MemoryCompression;"},
             Case{MemoryFeature::PageCombining, L"(Get-MMAgent).PageCombining", L"Enable-MMAgent -PageCombining;",
                  L"Disable-MMAgent -PageCombining;"},
             Case{MemoryFeature::ApplicationPreLaunch, L"(Get-MMAgent).ApplicationPreLaunch",
                  L"Enable-MMAgent -ApplicationPreLaunch;", L"Disable-MMAgent -ApplicationPreLaunch;"},
         }) {
        std::wstring read = mmagent_read_command(c.feature);
        EXPECT_TRUE(read.ends_with(c.read)) << int(c.feature);
        EXPECT_NE(mmagent_change_command(c.feature, true).find(c.enable), std::wstring::npos) << int(c.feature);
        EXPECT_NE(mmagent_change_command(c.feature, false).find(c.disable), std::wstring::npos) << int(c.feature);
        // Errors must stop the command before it reports success.
        EXPECT_TRUE(read.starts_with(L"$ErrorActionPreference = 'Stop';"));
        EXPECT_TRUE(mmagent_change_command(c.feature, false).starts_with(L"$ErrorActionPreference = 'Stop';"));
    }
}

TEST(MemoryAgentWin, ReadsOnlyABooleanAsPowerShellPrintsIt) {
    struct Case {
        const char* output;
        std::optional<bool> expected;
    };
    for (const Case& c : {Case{"True\r\n", true}, Case{"False\r\n", false}, Case{"  true \n", true},
                          Case{"\xEF\xBB\xBFTrue\r\n", true}, Case{"", std::nullopt}, Case{"\r\n", std::nullopt},
                          Case{"True\r\nFalse\r\n", std::nullopt}, Case{"Truely", std::nullopt},
                          Case{"Get-MMAgent : Access denied\r\nAt line:1 char:28\r\n", std::nullopt}}) {
        EXPECT_EQ(parse_mmagent_flag(c.output), c.expected) << c.output;
    }
}

TEST(MemoryAgentWin, ChangeCountsAsDoneOnlyWithTheMarkerOnItsOwnLastLine) {
    const std::string done(kMMAgentDone);
    EXPECT_TRUE(mmagent_change_done(done + "\r\n"));
    EXPECT_TRUE(mmagent_change_done("WARNING: takes effect after a restart\r\n" + done + "\r\n"));
    EXPECT_FALSE(mmagent_change_done(""));
    EXPECT_FALSE(mmagent_change_done("Disable-MMAgent : The request is not supported.\r\n"));
    EXPECT_FALSE(mmagent_change_done(done + "\r\nDisable-MMAgent : failed\r\n"));
    EXPECT_FALSE(mmagent_change_done("x" + done));
}

TEST(MemoryAgentWin, WherePowerShellDoesNothingReadsAreUnknownAndChangesThrow) {
    if (!running_under_wine()) GTEST_SKIP() << "only Wine's PowerShell is a stand-in that runs no cmdlet";
    auto agent = make_memory_agent();
    EXPECT_EQ(agent->enabled(MemoryFeature::Compression), std::nullopt);
    try {
        agent->set_enabled(MemoryFeature::Compression, false);
        ADD_FAILURE() << "a change PowerShell never made was reported done";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot turn off memory compression"), std::string::npos) << e.what();
    }
}

}  // namespace
