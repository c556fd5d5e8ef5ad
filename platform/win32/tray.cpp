// The notification-area icon. It belongs to a hidden top-level window on a thread of its own,
// which waits in GetMessage between the shell's notifications, so the application's thread
// never pumps window messages and nothing polls. The window is top-level rather than
// message-only because the shell announces a restarted taskbar ("TaskbarCreated") only to
// top-level windows, and the icon must then be added again.
#include <windows.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "platform/win32/parts.h"
#include "platform/win32/tray_window.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

using platform::TrayEvent;
using platform::TrayIconSpec;

constexpr UINT kNotifyMessage = WM_APP + 1;
constexpr UINT kIconId = 1;
// The icon built into the core (host/core.rc.in); a program without it gets the generic one.
constexpr WORD kAppIconResource = 1;

// Copies as much of `text` as fits, with its terminator, never splitting a surrogate pair.
template <size_t N>
void copy_text(wchar_t (&field)[N], std::string_view text) {
    std::wstring w = widen(text);
    if (w.size() > N - 1) {
        w.resize(N - 1);
        if (!w.empty() && w.back() >= 0xD800 && w.back() <= 0xDBFF) w.pop_back();
    }
    std::copy(w.begin(), w.end(), field);
    field[w.size()] = L'\0';
}

HICON application_icon() {
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconResource), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_DEFAULTCOLOR | LR_SHARED));
    return icon ? icon : LoadIconW(nullptr, IDI_APPLICATION);
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

void register_window_class() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = window_procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kTrayWindowClass;
        RegisterClassExW(&wc);  // a failure shows as CreateWindowExW failing
    });
}

class Win32Tray;
Win32Tray* owner_of(HWND window) { return reinterpret_cast<Win32Tray*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

class Win32Tray final : public platform::Tray {
public:
    Win32Tray() : taskbar_created_(RegisterWindowMessageW(L"TaskbarCreated")), icon_(application_icon()) {}
    ~Win32Tray() override { remove(); }

    bool show(const TrayIconSpec& spec, std::function<void(const TrayEvent&)> on_event) override {
        std::lock_guard life(lifecycle_);
        if (!thread_.joinable()) {
            // Read by the window's thread from here on, and never changed while it runs.
            spec_ = spec;
            on_event_ = std::move(on_event);
            {
                std::lock_guard icon(icon_mutex_);
                closing_ = false;
            }
            std::promise<HWND> made;
            std::future<HWND> window = made.get_future();
            thread_ = std::thread([this, made = std::move(made)]() mutable { run(made); });
            window_ = window.get();
            if (!window_) {
                thread_.join();
                return false;
            }
        }
        // When the taskbar is not there yet (a start at sign-in can be that early), the icon
        // comes with the shell's "TaskbarCreated", or with the next call here.
        std::lock_guard icon(icon_mutex_);
        if (!added_) added_ = add_icon();
        return added_;
    }

    void remove() override {
        std::lock_guard life(lifecycle_);
        if (!thread_.joinable()) return;
        {
            std::lock_guard icon(icon_mutex_);
            closing_ = true;  // a "TaskbarCreated" from here on must not bring the icon back
            if (added_) {
                NOTIFYICONDATAW data = base_data();
                Shell_NotifyIconW(NIM_DELETE, &data);
                added_ = false;
            }
        }
        if (std::this_thread::get_id() == thread_.get_id()) {
            // Called from an event handler, on the window's own thread: it cannot wait for
            // itself. The window forgets this object and goes; its loop ends once the handler
            // returns, touching nothing of this object any more.
            SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
            DestroyWindow(window_);
            thread_.detach();
        } else {
            PostMessageW(window_, WM_CLOSE, 0, 0);
            thread_.join();
        }
        window_ = nullptr;
    }

    bool balloon(std::string_view title, std::string_view text, unsigned timeout_ms) override {
        std::lock_guard icon(icon_mutex_);
        if (!added_) return false;
        NOTIFYICONDATAW data = base_data();
        data.uFlags = NIF_INFO;
        data.dwInfoFlags = NIIF_INFO;
        data.uTimeout = timeout_ms;  // Windows now takes its accessibility setting instead
        copy_text(data.szInfoTitle, title);
        copy_text(data.szInfo, text);
        return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    }

    bool shown() override {
        std::lock_guard icon(icon_mutex_);
        return added_;
    }

    LRESULT handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == taskbar_created_ && taskbar_created_ != 0) {
            // Explorer restarted: the old icon went with it.
            std::lock_guard icon(icon_mutex_);
            if (!closing_) added_ = add_icon();
            return 0;
        }
        if (message == kNotifyMessage) {
            // Version 4: the event in the low word of lparam, the anchor point in wparam.
            switch (LOWORD(lparam)) {
                case WM_CONTEXTMENU: show_menu(window, GET_X_LPARAM(wparam), GET_Y_LPARAM(wparam)); break;
                case WM_LBUTTONDBLCLK:
                case NIN_KEYSELECT:  // Enter on the icon, the keyboard's double click
                    deliver({TrayEvent::Kind::DoubleClick, {}});
                    break;
                default: break;
            }
            return 0;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }

private:
    // The window's thread: makes the window, then waits for messages until it is closed.
    void run(std::promise<HWND>& made) {
        register_window_class();
        HWND window = CreateWindowExW(0, kTrayWindowClass, L"Vexlo Tweaks", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), this);
        if (window && taskbar_created_) {
            // The core is elevated: without this, UIPI drops the message that an unelevated
            // Explorer broadcasts.
            ChangeWindowMessageFilterEx(window, taskbar_created_, MSGFLT_ALLOW, nullptr);
        }
        made.set_value(window);
        if (!window) return;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    NOTIFYICONDATAW base_data() const {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = window_;
        data.uID = kIconId;
        return data;
    }

    // Under icon_mutex_.
    bool add_icon() {
        NOTIFYICONDATAW data = base_data();
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
        data.uCallbackMessage = kNotifyMessage;
        data.hIcon = icon_;
        copy_text(data.szTip, spec_.tooltip);
        // An icon of this window that the shell still knows (a lost answer) is updated instead.
        if (!Shell_NotifyIconW(NIM_ADD, &data) && !Shell_NotifyIconW(NIM_MODIFY, &data)) return false;
        data.uVersion = NOTIFYICON_VERSION_4;
        Shell_NotifyIconW(NIM_SETVERSION, &data);
        return true;
    }

    void show_menu(HWND window, int x, int y) {
        HMENU menu = CreatePopupMenu();
        if (!menu) return;
        for (size_t i = 0; i < spec_.menu.size(); ++i) {
            if (spec_.menu[i].empty()) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            else AppendMenuW(menu, MF_STRING, UINT_PTR(i + 1), widen(spec_.menu[i]).c_str());
        }
        // The documented dance: without the foreground the menu does not close when the user
        // clicks elsewhere, and without the WM_NULL after it the next one may close at once.
        SetForegroundWindow(window);
        UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
        UINT chosen = UINT(TrackPopupMenuEx(menu, align | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                                            x, y, window, nullptr));
        PostMessageW(window, WM_NULL, 0, 0);
        DestroyMenu(menu);
        if (chosen >= 1 && chosen <= spec_.menu.size()) deliver({TrayEvent::Kind::MenuChoice, spec_.menu[chosen - 1]});
    }

    // On the window's thread. The handler posts the event on to the application's own thread:
    // calling show() or remove() from here would wait for this very thread.
    void deliver(const TrayEvent& event) {
        if (!on_event_) return;
        // An exception must not unwind through the system's frames of the window procedure.
        try {
            on_event_(event);
        } catch (const std::exception& e) {
            OutputDebugStringW((L"Vexlo Tweaks: the tray event handler failed: " + widen(e.what()) + L"\n").c_str());
        } catch (...) {
            OutputDebugStringW(L"Vexlo Tweaks: the tray event handler failed with an unknown exception\n");
        }
    }

    const UINT taskbar_created_;
    const HICON icon_;

    std::mutex lifecycle_;  // show and remove, one at a time
    std::thread thread_;
    std::atomic<HWND> window_{nullptr};  // set by show(), read on the window's thread too
    TrayIconSpec spec_;
    std::function<void(const TrayEvent&)> on_event_;

    std::mutex icon_mutex_;  // the shell's icon, added_ and closing_
    bool added_ = false;
    bool closing_ = false;
};

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_CLOSE: DestroyWindow(window); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default:
            if (Win32Tray* tray = owner_of(window)) return tray->handle(window, message, wparam, lparam);
            break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

std::unique_ptr<platform::Tray> make_tray() { return std::make_unique<Win32Tray>(); }

}  // namespace vexlo::win32
