#pragma once
// Runs one of Windows' own command-line tools (bcdedit, powercfg, powershell) without a window
// and collects what it prints. Used where Windows offers no API for the job.
#include <windows.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>
#include "platform/win32/command_line.h"

namespace vexlo::win32 {

struct ToolRun {
    DWORD exit_code = 0;
    // Kept apart: a tool may write to standard error while it prints its result (PowerShell's
    // progress records), and that must never land in the text a parser reads.
    std::string output;  // standard output, as UTF-8
    std::string errors;  // standard error, as UTF-8
};

// The full path of a program in the system folder ("bcdedit.exe" -> "C:\Windows\System32\bcdedit.exe").
std::wstring system_tool(std::wstring_view relative);

// Runs `program` with `args` hidden, stdin empty, and waits at most `limit`. Throws PlatformError
// when the program cannot be started (a missing tool included) or does not finish in time (it
// is then ended).
ToolRun run_tool(const std::wstring& program, const std::vector<std::wstring>& args, std::chrono::milliseconds limit);


// A tool's output bytes as UTF-8: UTF-16 when it wrote that (with or without a byte-order mark),
// otherwise the console's OEM code page, which is what console tools write to a pipe.
std::string decode_tool_output(std::string_view bytes);

// The output without surrounding blank space, on one line, for an error message.
std::string tool_message(std::string_view output);
// Both streams of a run that way, standard output first.
std::string tool_message(const ToolRun& run);

}  // namespace vexlo::win32
