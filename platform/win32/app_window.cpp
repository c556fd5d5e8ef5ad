#include "platform/win32/app_window.h"

#include <algorithm>
#include <string>

namespace vexlo::win32 {

namespace {

// Pixels at `dpi` in device-independent pixels (96 to the inch), rounded up or down.
int to_dips_up(int pixels, unsigned dpi) { return int((int64_t(pixels) * 96 + dpi - 1) / dpi); }
int to_dips_down(int pixels, unsigned dpi) { return int(int64_t(pixels) * 96 / dpi); }

// Windows 10 1607 and later have these; MinGW's import libraries may not, and older systems
// do not, so they are looked up at run time.
template <class F>
F user32_function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

// Per-monitor aware for as long as it lives: the dpi and the work area are then the
// monitor's own, not scaled to what an unaware thread is shown. The core's manifest already
// asks for this; the tests and any other host may not.
class PerMonitorAware {
public:
    PerMonitorAware() {
        using Set = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
        set_ = user32_function<Set>("SetThreadDpiAwarenessContext");
        if (set_) previous_ = set_(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    }
    ~PerMonitorAware() {
        if (set_ && previous_) set_(previous_);
    }
    PerMonitorAware(const PerMonitorAware&) = delete;
    PerMonitorAware& operator=(const PerMonitorAware&) = delete;

private:
    DPI_AWARENESS_CONTEXT(WINAPI* set_)(DPI_AWARENESS_CONTEXT) = nullptr;
    DPI_AWARENESS_CONTEXT previous_ = nullptr;
};

unsigned monitor_dpi(HMONITOR monitor) {
    // shcore's GetDpiForMonitor gives the monitor's own scale; without it, the system's.
    if (HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        using Get = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
        auto get = reinterpret_cast<Get>(reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
        UINT x = 0, y = 0;
        const bool ok = get && SUCCEEDED(get(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && y > 0;
        FreeLibrary(shcore);
        if (ok) return y;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? unsigned(dpi) : 96;
}

FrameMetrics frame_metrics(unsigned dpi) {
    using ForDpi = int(WINAPI*)(int, UINT);
    static const auto for_dpi = user32_function<ForDpi>("GetSystemMetricsForDpi");
    auto metric = [&](int index) { return for_dpi ? for_dpi(index, dpi) : GetSystemMetrics(index); };
    FrameMetrics m;
    // Plain GetSystemMetrics answers at the dpi this thread was given at its start.
    m.dpi = for_dpi ? dpi : monitor_dpi(nullptr);
    m.caption = metric(SM_CYCAPTION);
    m.size_frame_x = metric(SM_CXSIZEFRAME);
    m.size_frame_y = metric(SM_CYSIZEFRAME);
    m.padded_border = metric(SM_CXPADDEDBORDER);
    return m;
}

bool ends_browser_title(std::wstring_view rest) {
    // What browsers put between the page's title and their own name.
    for (std::wstring_view separator : {std::wstring_view(L" - "), std::wstring_view(L" \u2014 ")})
        if (rest.substr(0, separator.size()) == separator && rest.size() > separator.size()) return true;
    return false;
}

}  // namespace

WindowSize outer_window_size(WindowSize page, const FrameMetrics& frame, WindowSize work_area) {
    const unsigned dpi = frame.dpi ? frame.dpi : 96;
    const int border_x = frame.size_frame_x + frame.padded_border;
    const int border_y = frame.size_frame_y + frame.padded_border;
    WindowSize outer{page.width + to_dips_up(2 * border_x, dpi), page.height + to_dips_up(frame.caption + 2 * border_y, dpi)};
    if (work_area.width > 0) outer.width = std::min(outer.width, to_dips_down(work_area.width, dpi));
    if (work_area.height > 0) outer.height = std::min(outer.height, to_dips_down(work_area.height, dpi));
    return outer;
}

WindowSize app_window_size() {
    PerMonitorAware aware;
    HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!monitor || !GetMonitorInfoW(monitor, &info)) return kPageSize;
    const FrameMetrics frame = frame_metrics(monitor_dpi(monitor));
    if (frame.caption <= 0) return kPageSize;  // no metrics to go by
    return outer_window_size(kPageSize, frame,
                             {info.rcWork.right - info.rcWork.left, info.rcWork.bottom - info.rcWork.top});
}

WindowMatch match_app_window(std::wstring_view class_name, std::wstring_view title) {
    const bool chromium = class_name == kChromiumWindowClass;
    if (title.substr(0, kAppWindowTitle.size()) != kAppWindowTitle) return WindowMatch::None;
    if (chromium && title.size() == kAppWindowTitle.size()) return WindowMatch::AppWindow;
    if ((chromium || class_name == L"MozillaWindowClass") && ends_browser_title(title.substr(kAppWindowTitle.size())))
        return WindowMatch::BrowserTab;
    return WindowMatch::None;
}

namespace {

struct Search {
    DWORD only_process = 0;
    HWND best = nullptr;
    WindowMatch best_match = WindowMatch::None;
};

BOOL CALLBACK consider_window(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
    if (search.only_process) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != search.only_process) return TRUE;
    }
    wchar_t class_name[64] = {};
    wchar_t title[256] = {};
    GetClassNameW(window, class_name, int(std::size(class_name)));
    GetWindowTextW(window, title, int(std::size(title)));
    const WindowMatch match = match_app_window(class_name, title);
    // EnumWindows goes from the front: the first of a kind is the front-most.
    if (match > search.best_match) {
        search.best = window;
        search.best_match = match;
    }
    return search.best_match == WindowMatch::AppWindow ? FALSE : TRUE;
}

}  // namespace

HWND find_app_window(DWORD only_process) {
    Search search;
    search.only_process = only_process;
    EnumWindows(consider_window, reinterpret_cast<LPARAM>(&search));
    return search.best;
}

// The window is the browser's: posted, so that a browser that hangs cannot hang this thread.
bool minimise_window(HWND window) {
    if (!window) return false;
    ShowWindowAsync(window, SW_MINIMIZE);
    return true;
}

bool raise_window(HWND window) {
    if (!window) return false;
    if (IsIconic(window)) ShowWindowAsync(window, SW_RESTORE);
    SetForegroundWindow(window);
    return true;
}

}  // namespace vexlo::win32
