#pragma once
// The core's entry: puts the image assets where the application loads them, runs the
// application, and turns an escaping error into a crash-log line and a message. Shared by the
// Windows core and the simulated PC's command line.
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vexlo {

// What the host hands the application.
struct HostValues {
    std::string root;               // the app folder: %LOCALAPPDATA%\VexloTweaks\app
    std::string exe;                // the core executable's full path
    std::vector<std::string> args;  // the command-line arguments, possibly none
};

// Returns the application's exit code, or 1 after a crash.
int run_host(platform::Platform& pf, std::string exe, std::vector<std::string> args,
             const std::function<int(const HostValues&)>& run_app);

// "2026-03-02T14:05:09": the sortable local time that begins each crash-log line.
std::string sortable_time(const platform::LocalTime& t);

// The crash message shown to the user.
std::string crash_message(const std::string& what);

}  // namespace vexlo
