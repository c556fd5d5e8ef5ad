// What the application asks of the desktop: its window (Edge in app mode), the system
// message box and the elevated relaunch.
#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/win32/com.h"
#include "platform/win32/elevation.h"
#include "platform/win32/parts.h"
#include "platform/win32/shell_launch.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

std::wstring edge_arguments(std::wstring_view url, std::wstring_view profile_dir, WindowSize size) {
    return L"--app=" + quote_argument(url) + L" --window-size=" + std::to_wstring(size.width) + L"," +
           std::to_wstring(size.height) + L" --user-data-dir=" + quote_argument(profile_dir, true) +
           L" --no-first-run --no-default-browser-check";
}

std::wstring command_line(std::wstring_view exe, std::wstring_view args) {
    std::wstring line = quote_argument(exe, true);
    if (!args.empty()) line += L" " + std::wstring(args);
    return line;
}

std::string edge_profile_dir(std::string_view local_app_data) {
    std::string dir(local_app_data);
    while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir + "\\VexloTweaks\\edge-profile";
}

std::optional<std::string> find_edge(platform::Registry& reg, const std::function<bool(const std::string&)>& exists,
                                     std::string_view key) {
    for (platform::Hive hive : {platform::Hive::LocalMachine, platform::Hive::CurrentUser}) {
        auto value = reg.get(hive, key, "");
        if (!value) continue;
        std::string path;
        if (value->kind == platform::RegKind::String) path = value->text;
        else if (value->kind == platform::RegKind::ExpandString) path = reg.expand_environment(value->text);
        else continue;
        size_t a = path.find_first_not_of(" \t\"");
        size_t b = path.find_last_not_of(" \t\"");
        if (a == std::string::npos) continue;
        path = path.substr(a, b - a + 1);
        if (exists(path)) return path;
    }
    return std::nullopt;
}

namespace {

// Starts `file` with `args` through the desktop's own shell (Explorer), so that it runs with
// the user's unelevated rights even when this process is elevated. The route: the shell's
// window list -> the desktop window -> its browser -> its active view -> the view's
// automation object -> the Shell.Application behind it -> ShellExecute.
bool desktop_shell_execute(const std::wstring& file, const std::wstring& args) {
    com::ShellApartment com;
    com::Ptr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IShellWindows),
                                windows.put_void())))
        return false;
    VARIANT location, root;
    VariantInit(&location);
    VariantInit(&root);
    long hwnd = 0;
    com::Ptr<IDispatch> desktop;
    if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, desktop.put()) != S_OK ||
        !desktop)
        return false;
    com::Ptr<IServiceProvider> services;
    if (FAILED(desktop->QueryInterface(__uuidof(IServiceProvider), services.put_void()))) return false;
    com::Ptr<IShellBrowser> browser;
    if (FAILED(services->QueryService(SID_STopLevelBrowser, __uuidof(IShellBrowser), browser.put_void()))) return false;
    com::Ptr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(view.put())) || !view) return false;
    com::Ptr<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), background.put_void()))) return false;
    com::Ptr<IShellFolderViewDual> folder_view;
    if (FAILED(background->QueryInterface(__uuidof(IShellFolderViewDual), folder_view.put_void()))) return false;
    com::Ptr<IDispatch> application;
    if (FAILED(folder_view->get_Application(application.put())) || !application) return false;
    com::Ptr<IShellDispatch2> shell;
    if (FAILED(application->QueryInterface(__uuidof(IShellDispatch2), shell.put_void()))) return false;

    BSTR bfile = SysAllocStringLen(file.data(), UINT(file.size()));
    VARIANT vargs, vdir, vverb, vshow;
    VariantInit(&vargs);
    VariantInit(&vdir);
    VariantInit(&vverb);
    VariantInit(&vshow);
    vargs.vt = VT_BSTR;
    vargs.bstrVal = SysAllocStringLen(args.data(), UINT(args.size()));
    vdir.vt = VT_BSTR;
    vdir.bstrVal = SysAllocString(L"");
    vverb.vt = VT_BSTR;
    vverb.bstrVal = SysAllocString(L"open");
    vshow.vt = VT_I4;
    vshow.lVal = SW_SHOWNORMAL;
    HRESULT hr = bfile && vargs.bstrVal && vdir.bstrVal && vverb.bstrVal
                     ? shell->ShellExecute(bfile, vargs, vdir, vverb, vshow)
                     : E_OUTOFMEMORY;
    SysFreeString(bfile);
    VariantClear(&vargs);
    VariantClear(&vdir);
    VariantClear(&vverb);
    return SUCCEEDED(hr);
}

bool start_process(const std::wstring& exe, const std::wstring& args) {
    std::wstring line = command_line(exe, args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

// The default handler of `target` (a URL: the default browser), with this process's rights.
bool shell_open(const std::wstring& target) {
    com::ShellApartment com;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = target.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

}  // namespace

bool launch_app_window(const std::string& url, const AppWindowLaunch& how) {
    const std::wstring wurl = widen(url);
    if (how.edge) {
        const std::wstring exe = widen(*how.edge);
        const std::wstring args = edge_arguments(wurl, widen(how.profile_dir), how.window_size);
        if (how.elevated ? desktop_shell_execute(exe, args) : start_process(exe, args)) return true;
    }
    return how.elevated ? desktop_shell_execute(wurl, L"") : shell_open(wurl);
}

unsigned message_box_style(MsgButtons buttons, MsgIcon icon) {
    unsigned style = MB_SETFOREGROUND | MB_TOPMOST;
    switch (buttons) {
        case MsgButtons::Ok: style |= MB_OK; break;
        case MsgButtons::YesNo: style |= MB_YESNO; break;
        case MsgButtons::YesNoCancel: style |= MB_YESNOCANCEL; break;
    }
    switch (icon) {
        case MsgIcon::Information: style |= MB_ICONINFORMATION; break;
        case MsgIcon::Question: style |= MB_ICONQUESTION; break;
        case MsgIcon::Warning: style |= MB_ICONWARNING; break;
        case MsgIcon::Error: style |= MB_ICONERROR; break;
    }
    return style;
}

MsgResult message_box_answer(int result, MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok: return MsgResult::Ok;
        case MsgButtons::YesNo: return result == IDYES ? MsgResult::Yes : MsgResult::No;
        case MsgButtons::YesNoCancel:
            return result == IDYES ? MsgResult::Yes : result == IDNO ? MsgResult::No : MsgResult::Cancel;
    }
    return MsgResult::Cancel;
}

namespace {

class Win32Shell final : public platform::Shell {
public:
    bool open_app_window(const std::string& url) override {
        AppWindowLaunch how;
        how.edge = find_edge(*registry_, [](const std::string& path) {
            DWORD attr = GetFileAttributesW(widen(path).c_str());
            return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
        });
        try {
            how.profile_dir = edge_profile_dir(files_->known_folder(platform::KnownFolder::LocalAppData));
        } catch (const platform::PlatformError&) {
            how.edge.reset();  // without its own profile Edge would ignore the window's size: the default browser will do
        }
        how.window_size = app_window_size();
        how.elevated = process_is_elevated();
        return launch_app_window(url, how);
    }

    bool minimise_app_window() override { return minimise_window(find_app_window()); }
    bool raise_app_window() override { return raise_window(find_app_window()); }

    void allow_foreground_switch() override {
        // The first start cannot be named here (its process id is nobody's to read); any will
        // do, since this start ends right after.
        AllowSetForegroundWindow(ASFW_ANY);
    }

    MsgResult message_box(std::string_view title, std::string_view text, MsgButtons buttons, MsgIcon icon) override {
        int result = MessageBoxW(nullptr, widen(text).c_str(), widen(title).c_str(), message_box_style(buttons, icon));
        return message_box_answer(result, buttons);
    }

    bool relaunch_elevated(const std::string& exe, const std::vector<std::string>& args) override {
        com::ShellApartment com;
        std::vector<std::wstring> wide_args;
        for (auto& a : args) wide_args.push_back(widen(a));
        // The new process splits its command line by CommandLineToArgvW's rules: quote for them.
        const std::wstring wexe = widen(exe), wargs = join_arguments(wide_args);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        // Waits for the start to be handed over before this process ends; the UAC prompt shows.
        info.fMask = SEE_MASK_NOASYNC;
        info.lpVerb = L"runas";
        info.lpFile = wexe.c_str();
        info.lpParameters = wargs.empty() ? nullptr : wargs.c_str();
        info.nShow = SW_SHOWNORMAL;
        return ShellExecuteExW(&info) != FALSE;  // ERROR_CANCELLED (1223) when the user declines
    }

private:
    std::unique_ptr<platform::Registry> registry_ = make_registry();
    std::unique_ptr<platform::FileSystem> files_ = make_file_system();
};

}  // namespace

std::unique_ptr<platform::Shell> make_shell() { return std::make_unique<Win32Shell>(); }

}  // namespace vexlo::win32
