// The shell part: quoting and Edge's command line as Edge will read them back, finding Edge
// through App Paths, the route chosen for the window, its size, finding it again to minimise
// and raise it, message box answers and the relaunch.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "platform/win32/app_window.h"
#include "platform/win32/parts.h"
#include "platform/win32/shell_launch.h"
#include "platform/win32/wide.h"
#include "tests/windows/child_process.h"

namespace {

using namespace vexlo;
using platform::Hive;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using platform::RegValue;

// The arguments as a started program (Edge, through CommandLineToArgvW) receives them.
std::vector<std::wstring> parsed(const std::wstring& line) {
    int n = 0;
    LPWSTR* argv = CommandLineToArgvW(line.c_str(), &n);
    std::vector<std::wstring> out;
    for (int i = 0; i < n; ++i) out.emplace_back(argv[i]);
    LocalFree(argv);
    return out;
}

TEST(ShellLaunch, QuotedArgumentsComeBackUnchanged) {
    struct Case {
        std::wstring arg;
        std::wstring quoted;
    };
    const Case cases[] = {
        {L"plain", L"plain"},
        {L"", L"\"\""},
        {L"C:\\Program Files\\x.exe", L"\"C:\\Program Files\\x.exe\""},
        {L"C:\\A B\\", L"\"C:\\A B\\\\\""},              // a final backslash must not eat the quote
        {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
        {L"a\\\\\"b c", L"\"a\\\\\\\\\\\"b c\""},          // backslashes before a quote double
        {L"C:\\no\\space\\", L"C:\\no\\space\\"},          // nothing to quote: as is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(win32::narrow(c.arg));
        EXPECT_EQ(win32::quote_argument(c.arg), c.quoted);
        auto args = parsed(L"x.exe " + win32::quote_argument(c.arg));
        ASSERT_EQ(args.size(), 2u);
        EXPECT_EQ(args[1], c.arg);
        args = parsed(L"x.exe " + win32::quote_argument(c.arg, true) + L" next");
        ASSERT_EQ(args.size(), 3u);
        EXPECT_EQ(args[1], c.arg);
        EXPECT_EQ(args[2], L"next");
    }
}

TEST(ShellLaunch, EdgeCommandLineKeepsAProfilePathWithSpaces) {
    const std::string profile = win32::edge_profile_dir("C:\\Users\\Jo Doe\\AppData\\Local");
    EXPECT_EQ(profile, "C:\\Users\\Jo Doe\\AppData\\Local\\VexloTweaks\\edge-profile");
    EXPECT_EQ(win32::edge_profile_dir("C:\\Users\\Jo Doe\\AppData\\Local\\"), profile);

    const std::wstring url = L"http://127.0.0.1:51234/?k=Ab-9_x";
    const std::wstring args = win32::edge_arguments(url, win32::widen(profile), {1276, 859});
    EXPECT_EQ(args, L"--app=http://127.0.0.1:51234/?k=Ab-9_x --window-size=1276,859 "
                    L"--user-data-dir=\"C:\\Users\\Jo Doe\\AppData\\Local\\VexloTweaks\\edge-profile\" "
                    L"--no-first-run --no-default-browser-check");

    const std::wstring exe = L"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe";
    auto argv = parsed(win32::command_line(exe, args));
    ASSERT_EQ(argv.size(), 6u);
    EXPECT_EQ(argv[0], exe);
    EXPECT_EQ(argv[1], L"--app=" + url);
    EXPECT_EQ(argv[2], L"--window-size=1276,859");
    EXPECT_EQ(argv[3], L"--user-data-dir=" + win32::widen(profile));
    // The profile is new on a first start: no welcome pages or browser prompt over the window.
    EXPECT_EQ(argv[4], L"--no-first-run");
    EXPECT_EQ(argv[5], L"--no-default-browser-check");
    EXPECT_EQ(parsed(win32::command_line(exe, L"")).size(), 1u);
}

class EdgeLookup : public ::testing::Test {
protected:
    void TearDown() override {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeW(root, win32::widen(key_).c_str());
            RegDeleteKeyExW(root, L"Software\\VexloConformance", KEY_WOW64_64KEY, 0);  // when empty
        }
    }
    std::unique_ptr<platform::Registry> reg_ = win32::make_registry();
    const std::string key_ = "Software\\VexloConformance\\EdgeLookup-" + std::to_string(GetCurrentProcessId());
};

TEST_F(EdgeLookup, HklmFirstThenHkcuTheFirstThatExists) {
    auto any = [](const std::string&) { return true; };
    EXPECT_FALSE(win32::find_edge(*reg_, any, key_).has_value());

    // A per-user install: HKCU alone names Edge.
    reg_->set(Hive::CurrentUser, key_, "", RegValue::string("\"C:\\Users\\Jo\\AppData\\Local\\Edge\\msedge.exe\""));
    EXPECT_EQ(win32::find_edge(*reg_, any, key_), "C:\\Users\\Jo\\AppData\\Local\\Edge\\msedge.exe");
    reg_->set(Hive::CurrentUser, key_, "", RegValue::expand_string("%SystemRoot%\\msedge.exe"));
    EXPECT_EQ(win32::find_edge(*reg_, any, key_), reg_->expand_environment("%SystemRoot%") + "\\msedge.exe");
    reg_->set(Hive::CurrentUser, key_, "", RegValue::dword(1));  // not a path
    EXPECT_FALSE(win32::find_edge(*reg_, any, key_).has_value());
    reg_->set(Hive::CurrentUser, key_, "", RegValue::string("C:\\User\\msedge.exe"));

    try {
        reg_->set(Hive::LocalMachine, key_, "", RegValue::string("C:\\Machine\\msedge.exe"));
    } catch (const platform::PlatformError&) {
        GTEST_SKIP() << "HKLM cannot be written without administrator rights";
    }
    EXPECT_EQ(win32::find_edge(*reg_, any, key_), "C:\\Machine\\msedge.exe");
    // The machine's entry names a file that is gone: the user's is taken.
    auto only_user = [](const std::string& p) { return p == "C:\\User\\msedge.exe"; };
    EXPECT_EQ(win32::find_edge(*reg_, only_user, key_), "C:\\User\\msedge.exe");
    auto none = [](const std::string&) { return false; };
    EXPECT_FALSE(win32::find_edge(*reg_, none, key_).has_value());
}

// The real App Paths key, where Windows keeps it. Only on a PC without Edge (Wine): a test
// must not touch a real installation's entry.
TEST_F(EdgeLookup, UserAppPathsEntryIsFoundWhenTheMachineHasNone) {
    if (!win32::running_under_wine()) GTEST_SKIP() << "writes the real App Paths key: only under Wine";
    const std::string app_paths = win32::kEdgeAppPathsKey;
    ASSERT_FALSE(reg_->key_exists(Hive::LocalMachine, app_paths)) << "this Wine prefix has Edge";
    ASSERT_FALSE(reg_->key_exists(Hive::CurrentUser, app_paths)) << "a test left the key behind";
    auto any = [](const std::string&) { return true; };
    EXPECT_FALSE(win32::find_edge(*reg_, any).has_value());
    reg_->set(Hive::CurrentUser, app_paths, "", RegValue::string("C:\\Users\\Jo\\Edge\\msedge.exe"));
    auto found = win32::find_edge(*reg_, any);
    RegDeleteTreeW(HKEY_CURRENT_USER, win32::widen(app_paths).c_str());
    RegDeleteKeyExW(HKEY_CURRENT_USER, win32::widen(app_paths).c_str(), KEY_WOW64_64KEY, 0);
    EXPECT_EQ(found, "C:\\Users\\Jo\\Edge\\msedge.exe");
    EXPECT_FALSE(reg_->key_exists(Hive::CurrentUser, app_paths));
}

// ---- The window's size ----

TEST(AppWindowSize, ThePageGetsItsLayoutAtEveryScaleWithinTheWorkArea) {
    struct Case {
        const char* what;
        win32::FrameMetrics frame;
        win32::WindowSize work_area;
        win32::WindowSize outer;
    };
    const Case cases[] = {
        // 8 px on each side and 31 on top at 100 %: what Windows 10 and 11 give.
        {"100 %", {96, 23, 4, 4, 4}, {1920, 1040}, {1276, 859}},
        // 150 %: 12 px on each side are 8 dips; 34 + 24 px on top and bottom are 38.7, rounded up.
        {"150 %", {144, 34, 6, 6, 6}, {2560, 1400}, {1276, 859}},
        {"125 %", {120, 29, 5, 5, 5}, {2560, 1400}, {1276, 860}},
        {"dpi unknown counts as 100 %", {0, 23, 4, 4, 4}, {1920, 1040}, {1276, 859}},
        {"no padded border", {96, 23, 4, 4, 0}, {1920, 1040}, {1268, 851}},
        // A laptop: the window stops at the work area, in dips rounded down.
        {"1366 x 768 with a task bar", {96, 23, 4, 4, 4}, {1366, 728}, {1276, 728}},
        {"1920 x 1080 at 150 %", {144, 34, 6, 6, 6}, {1920, 1032}, {1276, 688}},
        {"1280 x 800 at 125 %", {120, 29, 5, 5, 5}, {1280, 760}, {1024, 608}},
        {"work area unknown", {96, 23, 4, 4, 4}, {0, 0}, {1276, 859}},
    };
    for (const Case& c : cases) {
        const win32::WindowSize got = win32::outer_window_size(win32::kPageSize, c.frame, c.work_area);
        EXPECT_EQ(got, c.outer) << c.what << ": got " << got.width << " x " << got.height;
    }
}

// ---- Finding the window again ----

TEST(AppWindowMatch, TheAppWindowByTitleAndClassThenABrowserTab) {
    using win32::WindowMatch;
    struct Case {
        const wchar_t* class_name;
        const wchar_t* title;
        WindowMatch expected;
    };
    const Case cases[] = {
        {L"Chrome_WidgetWin_1", L"Vexlo Tweaks", WindowMatch::AppWindow},
        {L"Chrome_WidgetWin_1", L"Vexlo Tweaks - Microsoft Edge", WindowMatch::BrowserTab},
        {L"Chrome_WidgetWin_1", L"Vexlo Tweaks - Profile 1 - Microsoft\u200b Edge", WindowMatch::BrowserTab},
        {L"Chrome_WidgetWin_1", L"Vexlo Tweaks - Google Chrome", WindowMatch::BrowserTab},
        {L"MozillaWindowClass", L"Vexlo Tweaks \u2014 Mozilla Firefox", WindowMatch::BrowserTab},
        // Other programs' windows that happen to share the name.
        {L"CabinetWClass", L"Vexlo Tweaks", WindowMatch::None},            // a folder of that name
        {L"Notepad", L"Vexlo Tweaks - Notepad", WindowMatch::None},
        {L"MozillaWindowClass", L"Vexlo Tweaks", WindowMatch::None},
        {L"Chrome_WidgetWin_1", L"Vexlo Tweaks Setup", WindowMatch::None},
        {L"Chrome_WidgetWin_1", L"Vexlo Tweaks - ", WindowMatch::None},
        {L"Chrome_WidgetWin_1", L"vexlo tweaks", WindowMatch::None},
        {L"Chrome_WidgetWin_1", L"Vexlo", WindowMatch::None},
        {L"Chrome_WidgetWin_1", L"", WindowMatch::None},                   // Edge's hidden helpers
        {L"Chrome_WidgetWin_0", L"Vexlo Tweaks", WindowMatch::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(win32::match_app_window(c.class_name, c.title), c.expected)
            << win32::narrow(c.class_name) << " / " << win32::narrow(c.title);
}

// Stand-ins for the browser's windows, made and served by a thread of their own as a browser
// serves its windows; the test reaches them only the way the product does.
class BrowserWindows : public ::testing::Test {
protected:
    struct Made {
        HWND app = nullptr, tab = nullptr, decoy = nullptr;
    };

    void SetUp() override {
        std::promise<Made> made;
        auto ready = made.get_future();
        thread_ = std::thread([this, &made] {
            thread_id_ = GetCurrentThreadId();
            HINSTANCE self = GetModuleHandleW(nullptr);
            for (const wchar_t* name : {L"Chrome_WidgetWin_1", L"VexloDecoyWindow"}) {
                WNDCLASSEXW wc{};
                wc.cbSize = sizeof wc;
                wc.lpfnWndProc = DefWindowProcW;
                wc.hInstance = self;
                wc.lpszClassName = name;
                RegisterClassExW(&wc);
            }
            auto make = [&](const wchar_t* class_name, const wchar_t* title) {
                HWND w = CreateWindowExW(0, class_name, title, WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr, nullptr,
                                         self, nullptr);
                if (w) ShowWindow(w, SW_SHOWNORMAL);
                return w;
            };
            // Made in this order, the last in front: the app window is behind the others.
            Made m;
            m.app = make(L"Chrome_WidgetWin_1", L"Vexlo Tweaks");
            m.tab = make(L"Chrome_WidgetWin_1", L"Vexlo Tweaks - Microsoft Edge");
            m.decoy = make(L"VexloDecoyWindow", L"Vexlo Tweaks");
            made.set_value(m);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
            for (HWND w : {m.app, m.tab, m.decoy})
                if (w) DestroyWindow(w);
        });
        windows_ = ready.get();
        if (!windows_.app || !windows_.tab || !windows_.decoy) {
            // Wine makes no windows without an X display (run it under xvfb-run for this test);
            // a real desktop always can.
            ASSERT_TRUE(win32::running_under_wine()) << "CreateWindowExW failed";
            GTEST_SKIP() << "Wine without a display makes no windows";
        }
    }
    void TearDown() override {
        while (!PostThreadMessageW(thread_id_, WM_QUIT, 0, 0)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        thread_.join();
    }

    // The window's thread has taken the request.
    static bool settles(const std::function<bool()>& done) {
        for (int i = 0; i < 100 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return done();
    }

    std::thread thread_;
    std::atomic<DWORD> thread_id_{0};
    Made windows_;
};

TEST_F(BrowserWindows, TheAppWindowIsFoundBehindOthersThenMinimisedAndRaised) {
    const DWORD self = GetCurrentProcessId();
    EXPECT_EQ(win32::find_app_window(self), windows_.app);

    ASSERT_TRUE(win32::minimise_window(win32::find_app_window(self)));
    EXPECT_TRUE(settles([&] { return IsIconic(windows_.app) != FALSE; })) << "the window was not minimised";
    EXPECT_FALSE(IsIconic(windows_.tab));
    // Minimised, it is still the window to raise.
    ASSERT_EQ(win32::find_app_window(self), windows_.app);
    ASSERT_TRUE(win32::raise_window(win32::find_app_window(self)));
    EXPECT_TRUE(settles([&] { return IsIconic(windows_.app) == FALSE; })) << "the window was not restored";

    // Without the app window, the tab showing the page is the one.
    PostMessageW(windows_.app, WM_CLOSE, 0, 0);
    EXPECT_TRUE(settles([&] { return IsWindow(windows_.app) == FALSE; }));
    EXPECT_EQ(win32::find_app_window(self), windows_.tab);
    PostMessageW(windows_.tab, WM_CLOSE, 0, 0);
    EXPECT_TRUE(settles([&] { return IsWindow(windows_.tab) == FALSE; }));
    EXPECT_EQ(win32::find_app_window(self), nullptr) << "the other program's window was taken";
    EXPECT_FALSE(win32::minimise_window(nullptr));
    EXPECT_FALSE(win32::raise_window(nullptr));
}

TEST(MessageBoxAnswers, AFailedBoxIsNeverYes) {
    struct Case {
        int result;
        MsgButtons buttons;
        MsgResult expected;
    };
    const Case cases[] = {
        {IDYES, MsgButtons::YesNo, MsgResult::Yes},
        {IDNO, MsgButtons::YesNo, MsgResult::No},
        {0, MsgButtons::YesNo, MsgResult::No},
        {-1, MsgButtons::YesNo, MsgResult::No},
        {IDYES, MsgButtons::YesNoCancel, MsgResult::Yes},
        {IDNO, MsgButtons::YesNoCancel, MsgResult::No},
        {IDCANCEL, MsgButtons::YesNoCancel, MsgResult::Cancel},
        {0, MsgButtons::YesNoCancel, MsgResult::Cancel},
        {-1, MsgButtons::YesNoCancel, MsgResult::Cancel},
        {IDOK, MsgButtons::Ok, MsgResult::Ok},
        {0, MsgButtons::Ok, MsgResult::Ok},
        {-1, MsgButtons::Ok, MsgResult::Ok},
    };
    for (const Case& c : cases)
        EXPECT_EQ(win32::message_box_answer(c.result, c.buttons), c.expected) << c.result << " " << int(c.buttons);

    const unsigned type_mask = MB_TYPEMASK, icon_mask = MB_ICONMASK;
    EXPECT_EQ(win32::message_box_style(MsgButtons::YesNo, MsgIcon::Question) & type_mask, unsigned(MB_YESNO));
    EXPECT_EQ(win32::message_box_style(MsgButtons::YesNo, MsgIcon::Question) & icon_mask, unsigned(MB_ICONQUESTION));
    EXPECT_EQ(win32::message_box_style(MsgButtons::YesNoCancel, MsgIcon::Warning) & type_mask, unsigned(MB_YESNOCANCEL));
    EXPECT_EQ(win32::message_box_style(MsgButtons::YesNoCancel, MsgIcon::Warning) & icon_mask, unsigned(MB_ICONWARNING));
    EXPECT_EQ(win32::message_box_style(MsgButtons::Ok, MsgIcon::Error) & type_mask, unsigned(MB_OK));
    EXPECT_EQ(win32::message_box_style(MsgButtons::Ok, MsgIcon::Error) & icon_mask, unsigned(MB_ICONERROR));
    EXPECT_EQ(win32::message_box_style(MsgButtons::Ok, MsgIcon::Information) & icon_mask, unsigned(MB_ICONINFORMATION));
}

// The real MessageBoxW where it cannot show (Wine without a display returns at once).
TEST(MessageBoxAnswers, WithoutADisplayTheSafeAnswerComesBack) {
    if (!win32::running_under_wine() || !testkit::env_value(L"DISPLAY").empty())
        GTEST_SKIP() << "would wait for a person: only under Wine without a display";
    auto shell = win32::make_shell();
    EXPECT_EQ(shell->message_box("Vexlo test", "Delete everything?", MsgButtons::YesNo, MsgIcon::Warning), MsgResult::No);
    EXPECT_EQ(shell->message_box("Vexlo test", "Go on?", MsgButtons::YesNoCancel, MsgIcon::Question), MsgResult::Cancel);
    EXPECT_EQ(shell->message_box("Vexlo test", "Done", MsgButtons::Ok, MsgIcon::Information), MsgResult::Ok);
}

// ---- Started programs ----
// This test program, copied under the name msedge.exe, stands in for Edge (and for the
// relaunched core): before any test runs it records how it was started beside itself and
// ends. It needs nothing from its parent's environment, since a program started through the
// desktop shell gets the shell's environment, not ours.

std::wstring file_name_of(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring folder_of(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? L"." : path.substr(0, cut);
}

// Line 1: the command line. Line 2: the parent's process id. Line 3: the parent's image.
void record_start_and_exit() {
    DWORD self = GetCurrentProcessId(), parent = 0;
    std::wstring parent_image;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W e{};
        e.dwSize = sizeof e;
        for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e))
            if (e.th32ProcessID == self) parent = e.th32ParentProcessID;
        e.dwSize = sizeof e;
        for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e))
            if (parent && e.th32ProcessID == parent) parent_image = e.szExeFile;
        CloseHandle(snap);
    }
    const std::wstring record = folder_of(testkit::self_path()) + L"\\started.txt";
    const std::wstring partial = record + L".part";
    {
        std::ofstream out(std::filesystem::path(partial), std::ios::binary);
        out << win32::narrow(GetCommandLineW()) << "\n" << parent << "\n" << win32::narrow(parent_image) << "\n";
    }
    MoveFileExW(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING);  // whole or not at all
    ExitProcess(0);
}

const bool kStandIn = [] {
    if (_wcsicmp(file_name_of(testkit::self_path()).c_str(), L"msedge.exe") == 0) record_start_and_exit();
    return false;
}();

struct StartRecord {
    std::wstring command_line;
    DWORD parent = 0;
    std::string parent_image;
};

class StartedPrograms : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        // Blanks in the folder: the program's path must be quoted too.
        folder_ = std::wstring(temp) + L"vexlo shell test " + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(testkit::self_path().c_str(), stand_in().c_str(), FALSE));
    }
    void TearDown() override {
        DeleteFileW(record().c_str());
        // The stand-in may take a moment to end after writing.
        for (int i = 0; i < 100 && !DeleteFileW(stand_in().c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        RemoveDirectoryW(folder_.c_str());
    }
    std::wstring stand_in() const { return folder_ + L"\\msedge.exe"; }
    std::wstring record() const { return folder_ + L"\\started.txt"; }

    // What the stand-in recorded, once it has.
    std::optional<StartRecord> wait_for_start(std::chrono::seconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            std::ifstream in(std::filesystem::path(record()), std::ios::binary);
            std::string line, parent;
            StartRecord r;
            if (std::getline(in, line) && std::getline(in, parent) && std::getline(in, r.parent_image)) {
                r.command_line = win32::widen(line);
                r.parent = DWORD(std::stoul(parent));
                return r;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return std::nullopt;
    }

    // The window's start with the stand-in as Edge and a profile in a folder with a blank.
    win32::AppWindowLaunch edge_launch(bool elevated) const {
        win32::AppWindowLaunch how;
        how.edge = win32::narrow(stand_in());
        how.profile_dir = win32::narrow(folder_) + "\\Jo Doe\\VexloTweaks\\edge-profile";
        how.window_size = {1290, 867};
        how.elevated = elevated;
        return how;
    }
    // Edge in app mode, at the window's size, on its own profile, with nothing of a first start
    // over the window: the stand-in read exactly that.
    void expect_app_mode_arguments(const StartRecord& started, const win32::AppWindowLaunch& how) const {
        auto argv = parsed(started.command_line);
        ASSERT_EQ(argv.size(), 6u) << win32::narrow(started.command_line);
        EXPECT_EQ(argv[1], L"--app=" + win32::widen(kUrl));
        EXPECT_EQ(argv[2], L"--window-size=1290,867");
        EXPECT_EQ(argv[3], L"--user-data-dir=" + win32::widen(how.profile_dir));
        EXPECT_EQ(argv[4], L"--no-first-run");
        EXPECT_EQ(argv[5], L"--no-default-browser-check");
    }
    static constexpr const char* kUrl = "http://127.0.0.1:51234/?k=abc";

    std::wstring folder_;
};

TEST_F(StartedPrograms, UnelevatedProcessStartsEdgeItselfInAppMode) {
    const auto how = edge_launch(false);
    ASSERT_TRUE(win32::launch_app_window(kUrl, how));
    auto started = wait_for_start(std::chrono::seconds(60));
    ASSERT_TRUE(started.has_value()) << "the stand-in for Edge did not start";
    EXPECT_EQ(started->parent, GetCurrentProcessId()) << "started by " << started->parent_image;
    ASSERT_NO_FATAL_FAILURE(expect_app_mode_arguments(*started, how));
    EXPECT_EQ(parsed(started->command_line)[0], stand_in());
}

// Elevated, the window starts only through the desktop shell, which runs it as the user's
// own programs run: so Edge's parent is the shell's process, never this one. Where that
// route is missing the answer is false and nothing starts.
TEST_F(StartedPrograms, ElevatedProcessLeavesTheStartToTheDesktopShell) {
    const auto how = edge_launch(true);
    if (!win32::launch_app_window(kUrl, how)) {
        EXPECT_FALSE(wait_for_start(std::chrono::seconds(5)).has_value()) << "started without the desktop shell";
        GTEST_SKIP() << "this PC has no desktop shell to start programs through";
    }
    auto started = wait_for_start(std::chrono::seconds(60));
    ASSERT_TRUE(started.has_value()) << "the stand-in for Edge did not start";
    EXPECT_NE(started->parent, GetCurrentProcessId()) << "this elevated process started Edge itself";
    EXPECT_EQ(started->parent_image, "explorer.exe");
    expect_app_mode_arguments(*started, how);
}

// Under Wine "runas" starts the program at once (everyone is administrator); on a real PC the
// UAC prompt would wait for a person.
TEST_F(StartedPrograms, RelaunchElevatedPassesTheArguments) {
    if (!win32::running_under_wine()) GTEST_SKIP() << "would show the UAC prompt: only under Wine";
    auto shell = win32::make_shell();
    const std::vector<std::string> args = {"--tray", "two words", "say \"hi\"", "C:\\A B\\", "back\\\\\"slash", ""};
    ASSERT_TRUE(shell->relaunch_elevated(win32::narrow(stand_in()), args));
    auto started = wait_for_start(std::chrono::seconds(60));
    ASSERT_TRUE(started.has_value()) << "the relaunched program did not start";
    // What the elevated copy reads back with Windows' own splitting.
    auto argv = parsed(started->command_line);
    ASSERT_EQ(argv.size(), args.size() + 1) << win32::narrow(started->command_line);
    for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(win32::narrow(argv[i + 1]), args[i]) << i;

    EXPECT_FALSE(shell->relaunch_elevated(win32::narrow(folder_) + "\\no-such-program.exe", {}));
}

}  // namespace
