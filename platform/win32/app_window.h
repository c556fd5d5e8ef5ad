#pragma once
// The application's window once the browser has opened it: its size at the start, and finding
// it again among the desktop's windows to minimise it or bring it forward. The browser belongs
// to another process (started through the desktop shell when this one is elevated, so its
// process id is not ours to know, and Edge may hand the start to a copy already running on
// the profile); what identifies the window is the page's title and the browser's window class.
#include <windows.h>

#include <string_view>

namespace vexlo::win32 {

// The page's <title>, which Edge's app window shows alone.
inline constexpr std::wstring_view kAppWindowTitle = L"Vexlo Tweaks";
// The top-level window class of Edge and every Chromium browser.
inline constexpr std::wstring_view kChromiumWindowClass = L"Chrome_WidgetWin_1";

struct WindowSize {
    int width = 0;
    int height = 0;
    bool operator==(const WindowSize&) const = default;
};

// What the layout needs, in CSS pixels.
inline constexpr WindowSize kPageSize{1260, 820};

// A window frame's parts in physical pixels at `dpi`, as GetSystemMetricsForDpi gives them.
struct FrameMetrics {
    unsigned dpi = 96;
    int caption = 0;        // SM_CYCAPTION
    int size_frame_x = 0;   // SM_CXSIZEFRAME
    int size_frame_y = 0;   // SM_CYSIZEFRAME
    int padded_border = 0;  // SM_CXPADDEDBORDER, on every side
};

// The size to ask the browser for (--window-size, in device-independent pixels, frame and title
// bar included) so that the page itself gets `page` CSS pixels at 100 % zoom, but never more
// than `work_area` (physical pixels at the same dpi). Partial pixels round up for the frame
// and down for the work area. A dpi of 0 counts as 96.
WindowSize outer_window_size(WindowSize page, const FrameMetrics& frame, WindowSize work_area);

// outer_window_size for kPageSize on the primary monitor (where a browser opens a window it
// has no place remembered for), from the metrics at that monitor's dpi. kPageSize itself
// when the metrics cannot be read.
WindowSize app_window_size();

enum class WindowMatch { None, BrowserTab, AppWindow };

// How a top-level window of this class and title fits: an app window shows the page's title
// alone; a browser shows it with its own name after a dash ("Vexlo Tweaks - Microsoft Edge",
// Firefox's "Vexlo Tweaks — Mozilla Firefox") while the page is the tab in front.
WindowMatch match_app_window(std::wstring_view class_name, std::wstring_view title);

// The visible, unowned top-level window that fits best, the front-most of equals; with
// `only_process` non-zero, among that process's windows alone. Null when none fits.
HWND find_app_window(DWORD only_process = 0);

// ShowWindow(SW_MINIMIZE) on it. False when there is no window.
bool minimise_window(HWND window);
// Restores it when minimised and asks for the foreground, which Windows grants only when this
// process may take it (the second start allows it). False when there is no window.
bool raise_window(HWND window);

}  // namespace vexlo::win32
