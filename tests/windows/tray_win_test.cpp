// The tray icon's window: hidden, top-level (so that it hears "TaskbarCreated"), on a thread
// of its own that ends with remove(); events from the shell reach the handler on that thread.
// Wine without a display makes no windows: those cases skip and say so.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/win32/parts.h"
#include "platform/win32/tray_window.h"
#include "tests/windows/child_process.h"

namespace {

using namespace vexlo;
using platform::TrayEvent;
using platform::TrayIconSpec;

TrayIconSpec spec() { return {"Vexlo Tweaks", {"Open Vexlo Tweaks", "Clean memory now", "", "Exit"}}; }

HWND tray_window() { return FindWindowW(win32::kTrayWindowClass, nullptr); }

// Run with a display (the build's TrayWinWithDisplay test), a window that is not made fails.
bool display_promised() { return !testkit::env_value(L"VEXLO_TEST_DISPLAY").empty(); }
#define SKIP_WITHOUT_WINDOW(reason)                                              \
    do {                                                                         \
        if (display_promised()) FAIL() << "no window although a display is set"; \
        GTEST_SKIP() << reason;                                                  \
    } while (0)

TEST(TrayWin, NothingShownMeansNoBalloonAndNothingToRemove) {
    auto tray = win32::make_tray();
    EXPECT_FALSE(tray->shown());
    EXPECT_FALSE(tray->balloon("Vexlo Tweaks", "text", 3000));
    tray->remove();
    EXPECT_FALSE(tray->shown());
    EXPECT_EQ(tray_window(), nullptr);
}

TEST(TrayWin, HiddenTopLevelWindowOnItsOwnThreadEndsWithRemove) {
    auto tray = win32::make_tray();
    std::atomic<int> double_clicks{0};
    std::atomic<DWORD> event_thread{0};
    bool shown = tray->show(spec(), [&](const TrayEvent& e) {
        if (e.kind == TrayEvent::Kind::DoubleClick) ++double_clicks;
        event_thread = GetCurrentThreadId();
    });
    HWND window = tray_window();
    if (!window) {
        EXPECT_FALSE(shown);
        EXPECT_FALSE(tray->shown());
        SKIP_WITHOUT_WINDOW("CreateWindowExW made no window (Wine without a display); show() said false without harm");
    }
    EXPECT_EQ(tray->shown(), shown);
    std::printf("shell took the icon: %d\n", int(shown));
    EXPECT_FALSE(IsWindowVisible(window));
    // Top-level: a child of the desktop, not of the message-only parent.
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
    DWORD window_thread = GetWindowThreadProcessId(window, nullptr);
    EXPECT_NE(window_thread, GetCurrentThreadId());

    // The shell's double click, as version 4 sends it: event in the low word of lparam.
    SendMessageW(window, WM_APP + 1, MAKEWPARAM(10, 10), MAKELPARAM(WM_LBUTTONDBLCLK, 1));
    EXPECT_EQ(double_clicks.load(), 1);
    EXPECT_EQ(event_thread.load(), window_thread);

    if (shown) EXPECT_TRUE(tray->balloon("Vexlo Tweaks", "Game Booster is still running here.", 3000));

    // A restarted Explorer has lost the icon; its "TaskbarCreated" brings it back.
    if (shown) {
        NOTIFYICONDATAW icon{};
        icon.cbSize = sizeof icon;
        icon.hWnd = window;
        icon.uID = 1;
        ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
        ASSERT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &icon)) << "the shell still has the deleted icon";
        SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
        EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &icon)) << "the icon was not added again";
        EXPECT_TRUE(tray->shown());
    }

    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, window_thread);
    ASSERT_NE(thread, nullptr);
    tray->remove();
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "the window's thread did not end";
    CloseHandle(thread);
    EXPECT_EQ(tray_window(), nullptr);
    EXPECT_FALSE(tray->shown());
    EXPECT_FALSE(tray->balloon("Vexlo Tweaks", "text", 3000));
}

TEST(TrayWin, ShowingAgainKeepsTheOneWindow) {
    auto tray = win32::make_tray();
    int events = 0;
    tray->show(spec(), [&](const TrayEvent&) { ++events; });
    HWND window = tray_window();
    if (!window) SKIP_WITHOUT_WINDOW("CreateWindowExW made no window (Wine without a display)");
    tray->show({"Other", {}}, [](const TrayEvent&) {});
    EXPECT_EQ(tray_window(), window);
    SendMessageW(window, WM_APP + 1, MAKEWPARAM(10, 10), MAKELPARAM(WM_LBUTTONDBLCLK, 1));
    EXPECT_EQ(events, 1) << "the first handler must stay";
    tray.reset();  // the destructor removes the icon and ends the thread
    EXPECT_EQ(tray_window(), nullptr);
}

// A handler that removes the icon itself (it should post to its own thread, but must not hang
// or crash the tray when it does not).
TEST(TrayWin, RemoveFromTheEventHandlerEndsTheWindow) {
    auto tray = win32::make_tray();
    platform::Tray* self = tray.get();
    tray->show(spec(), [self](const TrayEvent&) { self->remove(); });
    HWND window = tray_window();
    if (!window) SKIP_WITHOUT_WINDOW("CreateWindowExW made no window (Wine without a display)");
    DWORD window_thread = GetWindowThreadProcessId(window, nullptr);
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, window_thread);
    ASSERT_NE(thread, nullptr);
    SendMessageW(window, WM_APP + 1, MAKEWPARAM(10, 10), MAKELPARAM(WM_LBUTTONDBLCLK, 1));
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "the window's thread did not end";
    CloseHandle(thread);
    EXPECT_EQ(tray_window(), nullptr);
    EXPECT_FALSE(tray->shown());
    // And the icon can be shown again afterwards.
    tray->show(spec(), [](const TrayEvent&) {});
    EXPECT_NE(tray_window(), nullptr);
    tray->remove();
}

TEST(TrayWin, RightClickMenuReportsTheChosenEntry) {
    auto tray = win32::make_tray();
    std::atomic<bool> chosen{false};
    std::string item;  // written on the tray thread before `chosen`
    tray->show(spec(), [&](const TrayEvent& e) {
        if (e.kind != TrayEvent::Kind::MenuChoice) return;
        item = e.item;
        chosen = true;
    });
    HWND window = tray_window();
    if (!window) SKIP_WITHOUT_WINDOW("CreateWindowExW made no window (Wine without a display)");
    // Posted: the menu's own loop runs on the tray thread until an entry is chosen.
    PostMessageW(window, WM_APP + 1, MAKEWPARAM(50, 50), MAKELPARAM(WM_CONTEXTMENU, 1));
    HWND menu = nullptr;
    for (int i = 0; i < 200 && !menu; ++i, Sleep(10)) menu = FindWindowW(L"#32768", nullptr);
    if (!menu || !IsWindowVisible(menu)) SKIP_WITHOUT_WINDOW("the popup menu did not open (no interactive desktop)");
    // Down twice: the second entry; the keys reach the menu through its owner's thread.
    for (WPARAM key : {WPARAM(VK_DOWN), WPARAM(VK_DOWN), WPARAM(VK_RETURN)}) PostMessageW(window, WM_KEYDOWN, key, 0);
    for (int i = 0; i < 300 && !chosen; ++i) Sleep(10);
    ASSERT_TRUE(chosen) << "no menu choice arrived";
    EXPECT_EQ(item, "Clean memory now");
    tray->remove();
}

}  // namespace
