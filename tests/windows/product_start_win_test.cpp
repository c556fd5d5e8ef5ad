// The shipped programs end to end: the launcher installs the real core and hands over, the core
// writes its assets, reaches "ready" on this PC's catalog, and a second start leaves the first
// one alone. It changes the user's own install folder, so it runs only under Wine.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/core/embedded.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"
#include "tests/windows/child_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

fs::path local_app_data() {
    wchar_t* path = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path))) return {};
    fs::path out = path;
    CoTaskMemFree(path);
    return out;
}

std::vector<DWORD> core_processes() {
    std::vector<DWORD> pids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
        if (_wcsicmp(e.szExeFile, L"VexloTweaks-core.exe") == 0) pids.push_back(e.th32ProcessID);
    CloseHandle(snap);
    return pids;
}

void stop_cores() {
    for (DWORD pid : core_processes()) {
        if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
            TerminateProcess(h, 0);
            WaitForSingleObject(h, 10000);
            CloseHandle(h);
        }
    }
}

template <class Pred>
bool wait_for(Pred pred, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(100ms);
    }
    return pred();
}

TEST(ProductStart, LauncherInstallsTheCoreWhichStartsAndStaysSingle) {
    if (!vexlo::win32::running_under_wine())
        GTEST_SKIP() << "starts the product and replaces its install on this PC: run under Wine only";
    const fs::path here = fs::path(vexlo::testkit::self_path()).parent_path();
    const fs::path launcher = here / "VexloTweaks.exe";
    const fs::path built_core = here / "VexloTweaks-core.exe";
    ASSERT_TRUE(fs::exists(launcher)) << launcher;
    const fs::path root = local_app_data() / "VexloTweaks";
    ASSERT_FALSE(root.empty());

    stop_cores();
    std::error_code ec;
    fs::remove_all(root, ec);

    // First start: install, stamp, hand over. The tray start opens no browser window.
    ASSERT_EQ(vexlo::testkit::run_program(launcher.wstring(), L"--tray", 60000), 0);
    EXPECT_EQ(slurp(root / "app" / "VexloTweaks-core.exe"), slurp(built_core));
    EXPECT_EQ(fs::file_size(root / "app" / "core.version", ec), 40u);

    const fs::path log = root / "vexlo.log";
    bool ready = wait_for([&] { return slurp(log).find(" ready: ") != std::string::npos; }, 90s);
    std::string text = slurp(log);
    EXPECT_TRUE(ready) << "vexlo.log: " << text;
    EXPECT_NE(text.find("Vexlo Tweaks 3.1 ready: "), std::string::npos) << text;
    EXPECT_EQ(core_processes().size(), 1u);
    for (const char* name : {"logo.png", "VexloTweaks.ico"})
        EXPECT_EQ(slurp(root / "app" / "assets" / name), std::string(*vexlo::embedded_file(name))) << name;

    // Second start: the fast path, and the new core hands over to the running one and ends.
    EXPECT_EQ(vexlo::testkit::run_program(launcher.wstring(), L"", 60000), 0);
    EXPECT_TRUE(wait_for([] { return core_processes().size() == 1; }, 30s)) << core_processes().size();

    stop_cores();
    fs::remove_all(root, ec);
}

}  // namespace
