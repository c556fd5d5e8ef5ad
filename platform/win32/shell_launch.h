#pragma once
// How the application's window and its relaunch are started, in small pieces that the tests
// can check one by one: quoting, Edge's command line, finding Edge, and the choice of route.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/win32/app_window.h"
#include "platform/win32/command_line.h"

namespace vexlo::win32 {

// Where Windows records Edge's executable: the key's default value, in HKLM or (for a
// per-user install) HKCU.
inline constexpr const char* kEdgeAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe";

// Edge's arguments for the application's window: its own app window of `size` (frame
// included, see app_window_size), with a profile folder of its own. Without that profile a
// running Edge would take the address into one of its windows and ignore the size. That profile
// is new on the first start, so Edge is told to skip its welcome pages and its default-browser
// prompt, which would otherwise cover the window.
std::wstring edge_arguments(std::wstring_view url, std::wstring_view profile_dir, WindowSize size);

// The full command line for CreateProcessW: the program quoted, then the arguments.
std::wstring command_line(std::wstring_view exe, std::wstring_view args);

// <LocalAppData>\VexloTweaks\edge-profile
std::string edge_profile_dir(std::string_view local_app_data);

// Edge's executable as App Paths names it, HKLM first and then HKCU, the first that
// `exists`; an ExpandString is expanded and surrounding quotes dropped. `key` is
// kEdgeAppPathsKey except in tests.
std::optional<std::string> find_edge(platform::Registry& reg, const std::function<bool(const std::string&)>& exists,
                                     std::string_view key = kEdgeAppPathsKey);

// What open_app_window looked up, for launch_app_window.
struct AppWindowLaunch {
    std::optional<std::string> edge;  // msedge.exe, when found
    std::string profile_dir;
    WindowSize window_size = kPageSize;
    bool elevated = false;
};

// Edge in app mode, else the default browser. An elevated process starts either through the
// desktop shell, which runs it unelevated as the user's own programs run; when that route
// fails the answer is false, never an elevated browser.
bool launch_app_window(const std::string& url, const AppWindowLaunch& how);

// MessageBoxW's style and the answer read from its result. A box that could not be shown
// (0, or -1 as Wine gives without a display) is the safe answer: never Yes.
unsigned message_box_style(platform::MsgButtons buttons, platform::MsgIcon icon);
platform::MsgResult message_box_answer(int result, platform::MsgButtons buttons);

}  // namespace vexlo::win32
