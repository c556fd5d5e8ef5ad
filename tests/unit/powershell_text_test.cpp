// What the product sends Windows PowerShell and how it reads the answer: the memory agent's
// commands, and output that PowerShell 5.1 mixes with serialized progress and error records
// ("#< CLIXML") when its streams are pipes. Plain text work from platform/win32, run here.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/win32/mmagent_text.h"
#include "platform/win32/powershell_text.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::MemoryFeature;

// As PowerShell 5.1 writes its first-use progress to a pipe.
const std::string kProgress =
    "#< CLIXML\r\n<Objs Version=\"1.1.0.1\" xmlns=\"http://schemas.microsoft.com/powershell/2004/04\">"
    "<Obj S=\"progress\" RefId=\"0\"><TN RefId=\"0\"><T>System.Management.Automation.PSCustomObject</T>"
    "<T>System.Object</T></TN><MS><I64 N=\"SourceId\">1</I64><PR N=\"Record\"><AV>Preparing modules for first "
    "use.</AV><AI>0</AI><Nil /><PI>-1</PI><PC>-1</PC><T>Completed</T><SR>-1</SR><SD> </SD></PR></MS></Obj></Objs>";
// A cmdlet's error the same way.
const std::string kError =
    "#< CLIXML\r\n<Objs Version=\"1.1.0.1\" xmlns=\"http://schemas.microsoft.com/powershell/2004/04\">"
    "<S S=\"Error\">Disable-MMAgent : Access is denied. &lt;0x5&gt;_x000D__x000A_</S>"
    "<S S=\"Error\">At line:1 char:38_x000D__x000A_</S></Objs>";

TEST(PowerShellText, EveryScriptSwitchesProgressOffFirstAndRunsWithoutProfile) {
    auto args = powershell_arguments(L"(Get-MMAgent).PageCombining");
    ASSERT_EQ(args.size(), 6u);
    EXPECT_EQ(args[0], L"-NoProfile");
    EXPECT_EQ(args[4], L"-Command");
    EXPECT_EQ(args[5], L"$ProgressPreference='SilentlyContinue'; (Get-MMAgent).PageCombining");
}

TEST(PowerShellText, SerializedRecordsAreLeftOutWhereverTheyStand) {
    struct Case {
        std::string text, expected;
    };
    for (const Case& c : {
             Case{kProgress + "True\r\n", "True\r\n"},
             Case{kProgress + "\r\nTrue\r\n", "True\r\n"},
             Case{"True\r\n" + kProgress, "True\r\n"},
             Case{"one\r\n" + kProgress + "two\r\n" + kProgress + kProgress + "three", "one\r\ntwo\r\nthree"},
             // A block without its marker line, and one cut off when the tool was ended.
             Case{"a" + kProgress.substr(11) + "b", "ab"},
             Case{"a\r\n" + kProgress.substr(0, 80), "a\r\n"},
             Case{"no records at all <Objsx> #<CLIXML", "no records at all <Objsx> #<CLIXML"},
             // A block is one line: without its end there it ends at the line's end, and one inside
             // a line leaves the line end to the text around it.
             Case{"{curr<Objs    {4b9e}\ntimeout 30\n", "{curr\ntimeout 30\n"},
             Case{"a<Objs x\r\nb\r\n", "a\r\nb\r\n"},
             Case{"a\r\n<Objs x\r\nb", "a\r\nb"},
             Case{"a<Objs x\r\n</Objs>\r\nb", "a\r\n</Objs>\r\nb"},
             Case{"x<Objs ></Objs>\r\ny", "x\r\ny"},
             Case{"x#< CLIXML\r\ny", "x\r\ny"},
             Case{"", ""},
         }) {
        EXPECT_EQ(strip_clixml(c.text), c.expected) << c.text;
    }
}

TEST(PowerShellText, ErrorTextKeepsPlainTextAndTheErrorRecordsOnly) {
    EXPECT_EQ(powershell_error_text(kProgress + kError),
              "Disable-MMAgent : Access is denied. <0x5>\r\nAt line:1 char:38\r\n");
    EXPECT_EQ(powershell_error_text("Disable-MMAgent : failed\r\n" + kProgress), "Disable-MMAgent : failed\r\n");
    EXPECT_EQ(powershell_error_text(kProgress), "");
    EXPECT_EQ(powershell_error_text("<Objs><S S=\"Error\">caf_x00E9_ _xZZ12_</S></Objs>"), "caf\xC3\xA9 _xZZ12_");
}

TEST(MemoryAgentText, CommandsNameEachFeaturesOwnParameter) {
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

TEST(MemoryAgentText, ReadsOnlyABooleanAsPowerShellPrintsIt) {
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

TEST(MemoryAgentText, ChangeCountsAsDoneOnlyWithTheMarkerOnItsOwnLastLine) {
    const std::string done(kMMAgentDone);
    EXPECT_TRUE(mmagent_change_done(done + "\r\n"));
    EXPECT_TRUE(mmagent_change_done("WARNING: takes effect after a restart\r\n" + done + "\r\n"));
    EXPECT_FALSE(mmagent_change_done(""));
    EXPECT_FALSE(mmagent_change_done("Disable-MMAgent : The request is not supported.\r\n"));
    EXPECT_FALSE(mmagent_change_done(done + "\r\nDisable-MMAgent : failed\r\n"));
    EXPECT_FALSE(mmagent_change_done("x" + done));
    // Whatever stands in the lines before it: an unclosed tag, a record, a marker.
    for (const char* before : {"displayorder  {curr<Objs      {4b9e0c6b}\ntimeout 30", "x<Objs ></Objs>", "x#< CLIXML",
                               "<Objs cut off"}) {
        EXPECT_TRUE(mmagent_change_done(std::string(before) + "\r\n" + done + "\r\n")) << before;
        EXPECT_FALSE(mmagent_change_done(std::string(before) + "\r\n" + done + "x")) << before;
    }
}

TEST(MemoryAgentText, ValuesAndMarkersAreReadThroughProgressRecords) {
    EXPECT_EQ(parse_mmagent_flag(kProgress + "True\r\n"), true);
    EXPECT_EQ(parse_mmagent_flag("\xEF\xBB\xBF" + kProgress + "False\r\n"), false);
    EXPECT_EQ(parse_mmagent_flag("False\r\n" + kProgress), false);
    EXPECT_EQ(parse_mmagent_flag("Tr" + kProgress + "ue\r\n"), true);
    EXPECT_EQ(parse_mmagent_flag(kProgress), std::nullopt);
    EXPECT_EQ(parse_mmagent_flag(kProgress + kError), std::nullopt);
    EXPECT_EQ(parse_mmagent_flag("True\r\n" + kProgress + "False\r\n"), std::nullopt);
    const std::string done(kMMAgentDone);
    EXPECT_TRUE(mmagent_change_done(kProgress + done + "\r\n"));
    EXPECT_TRUE(mmagent_change_done(done + "\r\n" + kProgress));
    EXPECT_FALSE(mmagent_change_done(kProgress + kError));
}

}  // namespace
