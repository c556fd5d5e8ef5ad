// Running Windows' command-line tools: this test program stands in for the tool, started with a
// flag that makes it print, exit with a code, or hang.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/win32/tool_process.h"
#include "platform/win32/wide.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::PlatformError;

constexpr wchar_t kToolFlag[] = L"--vexlo-test-tool=";

void write(HANDLE h, const std::string& s) {
    DWORD n = 0;
    WriteFile(h, s.data(), DWORD(s.size()), &n, nullptr);
}

// Before any test runs: when started as a stand-in tool, act and leave.
[[maybe_unused]] const bool g_tool = [] {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2 || std::wstring(argv[1]).rfind(kToolFlag, 0) != 0) return false;
    std::wstring mode = std::wstring(argv[1]).substr(wcslen(kToolFlag));
    if (mode == L"hang") Sleep(INFINITE);
    if (mode == L"noisy") {
        // Far more on standard error than a pipe holds, between the lines of the result, as
        // PowerShell's progress records come.
        const std::string record = "#< CLIXML\r\n<Objs Version=\"1.1.0.1\">" + std::string(16 * 1024, 'p') + "</Objs>";
        for (int i = 0; i < 32; ++i) {
            write(GetStdHandle(STD_ERROR_HANDLE), record);
            write(GetStdHandle(STD_OUTPUT_HANDLE), "line " + std::to_string(i) + "\r\n");
        }
        ExitProcess(0);
    }
    // "echo": each further argument in brackets on standard output, a line on standard error.
    for (int i = 2; i < argc; ++i) write(GetStdHandle(STD_OUTPUT_HANDLE), "[" + narrow(argv[i]) + "]\r\n");
    write(GetStdHandle(STD_ERROR_HANDLE), "on stderr\r\n");
    ExitProcess(7);
}();

std::wstring self() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

TEST(ToolProcessWin, CollectsBothStreamsApartTheArgumentsAsGivenAndTheExitCode) {
    ToolRun run = run_tool(self(), {std::wstring(kToolFlag) + L"echo", L"{current}", L"two words", L"say \"hi\"", L""},
                           std::chrono::seconds(60));
    EXPECT_EQ(run.exit_code, 7u);
    EXPECT_EQ(run.output, "[{current}]\r\n[two words]\r\n[say \"hi\"]\r\n[]\r\n");
    EXPECT_EQ(run.errors, "on stderr\r\n");
    EXPECT_EQ(tool_message(run), "[{current}] [two words] [say \"hi\"] [] on stderr");
}

TEST(ToolProcessWin, MuchOnStandardErrorNeitherBlocksTheToolNorMixesIntoTheOutput) {
    ToolRun run = run_tool(self(), {std::wstring(kToolFlag) + L"noisy"}, std::chrono::seconds(60));
    EXPECT_EQ(run.exit_code, 0u);
    std::string expected;
    for (int i = 0; i < 32; ++i) expected += "line " + std::to_string(i) + "\r\n";
    EXPECT_EQ(run.output, expected);
    EXPECT_GT(run.errors.size(), 32u * 16 * 1024);
}

TEST(ToolProcessWin, EndsAToolThatDoesNotFinishInTime) {
    try {
        run_tool(self(), {std::wstring(kToolFlag) + L"hang"}, std::chrono::milliseconds(500));
        ADD_FAILURE() << "a hanging tool returned";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("did not finish within 1 second."), std::string::npos) << e.what();
    }
}

TEST(ToolProcessWin, MissingToolThrowsNamingIt) {
    try {
        run_tool(system_tool(L"vexlo-no-such-tool.exe"), {}, std::chrono::seconds(5));
        ADD_FAILURE() << "a missing tool ran";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("vexlo-no-such-tool.exe"), std::string::npos) << e.what();
    }
}

TEST(ToolProcessWin, QuotedArgumentsSplitBackIntoTheSameArguments) {
    const std::vector<std::wstring> args = {L"plain", L"", L"two words", L"tab\there", L"quote\"inside",
                                            L"\"quoted\"", L"trailing\\", L"space and trailing\\",
                                            L"back\\\\\"slashes", L"C:\\Program Files\\x", L"{current}"};
    std::wstring cmd = L"prog.exe";
    for (auto& a : args) cmd += L' ' + quote_argument(a);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(cmd.c_str(), &argc);
    ASSERT_TRUE(argv);
    ASSERT_EQ(size_t(argc), args.size() + 1);
    for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(std::wstring(argv[i + 1]), args[i]) << narrow(args[i]);
    LocalFree(argv);
}

TEST(ToolProcessWin, DecodesUtf16WithOrWithoutMarkAndPlainText) {
    auto bytes = [](std::wstring_view w) { return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2); };
    EXPECT_EQ(decode_tool_output(bytes(L"\xFEFFGr\u00FC\u00DF\u00E9 True\r\n")), "Gr\u00FC\u00DF\u00E9 True\r\n");
    EXPECT_EQ(decode_tool_output(bytes(L"False\r\n")), "False\r\n");
    EXPECT_EQ(decode_tool_output("identifier {current}\r\n"), "identifier {current}\r\n");
    EXPECT_EQ(decode_tool_output(""), "");
    EXPECT_EQ(tool_message("\r\n  An error occurred.\r\n\r\nAccess is denied.\r\n"), "An error occurred. Access is denied.");
}

}  // namespace
