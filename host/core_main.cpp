// VexloTweaks-core.exe: the product on the real PC. Started by the launcher with the user's
// arguments; serves the window on loopback and opens it in an app-style browser window.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "host/core_host.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/wide.h"

using namespace vexlo;

namespace {

std::vector<std::string> arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.push_back(win32::narrow(argv[i]));
    LocalFree(argv);
    return args;
}

std::string own_path() {
    std::wstring buf(1024, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return win32::narrow(std::wstring_view(buf.data(), n));
        buf.resize(buf.size() * 2);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::unique_ptr<platform::Platform> pf;
    try {
        pf = win32::make_platform();
    } catch (const std::exception& e) {
        MessageBoxW(nullptr, win32::widen(crash_message(e.what())).c_str(), L"Vexlo Tweaks", MB_OK | MB_ICONERROR);
        return 1;
    }
    return run_host(*pf, own_path(), arguments(), [&](const HostValues& values) {
        StartOptions options;
        options.root = values.root;
        options.exe = values.exe;
        options.args = values.args;
        App app(*pf, options);
        try {
            return app.run();
        } catch (const CatalogError&) {
            // Already reported in the window and a message box; not a crash of the program.
            return 1;
        }
    });
}
