// The conformance suite's back end in the Windows build: the real PC (under Wine here).
#include <windows.h>
#include <winsvc.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/parts.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"
#include "tests/conformance/test_platform.h"
#include "tests/windows/test_service_host.h"

namespace vexlo::testkit {

namespace {

// The test's key, then each parent it leaves empty, up to (not including) the first level
// ("Software" is never touched).
void remove_user_key(const std::string& subkey) {
    std::wstring path = win32::widen(subkey);
    if (RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()) == ERROR_SUCCESS)
        RegDeleteKeyExW(HKEY_CURRENT_USER, path.c_str(), KEY_WOW64_64KEY, 0);
    for (size_t cut = path.rfind(L'\\'); cut != std::wstring::npos && path.find(L'\\') < cut; cut = path.rfind(L'\\')) {
        path.resize(cut);
        // Fails, as wanted, while the key still has subkeys.
        if (RegDeleteKeyExW(HKEY_CURRENT_USER, path.c_str(), KEY_WOW64_64KEY, 0) != ERROR_SUCCESS) break;
    }
}

#ifndef SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
#define SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE 0x2
#endif

std::string make_link(const std::string& link, const std::string& target) {
    const std::wstring wlink = win32::widen(link);
    if (CreateSymbolicLinkW(wlink.c_str(), win32::widen(target).c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
        // Wine 8 answers TRUE without making anything; a test on that would prove nothing.
        DWORD attr = GetFileAttributesW(wlink.c_str());
        if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT)) return {};
        return "CreateSymbolicLinkW reported success but made no reparse point"
               + std::string(win32::running_under_wine() ? " (Wine implements it as a stub)" : "");
    }
    DWORD err = GetLastError();
    return "CreateSymbolicLinkW failed with error " + std::to_string(err) +
           (win32::running_under_wine() ? " (Wine cannot make a symbolic link in this prefix)"
                                        : " (making symbolic links needs the privilege or developer mode)");
}

std::string own_image_name() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n);
    size_t cut = path.find_last_of(L"\\/");
    return win32::narrow(cut == std::wstring::npos ? path : path.substr(cut + 1));
}

// A throwaway service hosted by this program, started on demand; its name goes into `made` for
// the cleanup.
std::string make_service(std::vector<std::wstring>& made, std::string& skip) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT);
    if (!manager) {
        skip = "creating a service needs an elevated run (error " + std::to_string(GetLastError()) + ")";
        return {};
    }
    std::wstring name = L"VexloConformance" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(made.size());
    std::wstring cmd = test_service_command(L"normal");
    SC_HANDLE service = CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, cmd.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    DWORD err = GetLastError();
    CloseServiceHandle(manager);
    if (!service) {
        skip = "CreateServiceW failed with error " + std::to_string(err);
        return {};
    }
    CloseServiceHandle(service);
    made.push_back(name);
    return win32::narrow(name);
}

// Ends each service's process if it still runs, and deletes the service.
void remove_services(const std::vector<std::wstring>& names) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return;
    for (auto& name : names) {
        SC_HANDLE s = OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS);
        if (!s) continue;
        SERVICE_STATUS_PROCESS st{};
        DWORD needed = 0;
        if (QueryServiceStatusEx(s, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&st), sizeof st, &needed) &&
            st.dwCurrentState != SERVICE_STOPPED && st.dwProcessId) {
            if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, st.dwProcessId)) {
                TerminateProcess(p, 1);
                WaitForSingleObject(p, 5000);
                CloseHandle(p);
            }
        }
        DeleteService(s);
        CloseServiceHandle(s);
    }
    CloseServiceHandle(manager);
}

}  // namespace

TestPlatform make_test_platform() {
    TestPlatform made;
    made.platform = win32::make_platform();
    made.remove_user_key = remove_user_key;
    made.running_image = own_image_name();  // a real PC lists this very test program
    made.make_link = make_link;
    auto services = std::make_shared<std::vector<std::wstring>>();
    made.make_service = [services](std::string& skip) { return make_service(*services, skip); };
    made.cleanup = [services] { remove_services(*services); };
    if (win32::running_under_wine()) {
        made.under_wine = true;
        made.can_change_power = false;
        made.power_skip_reason = "Wine's power API crashes the process (PowerReadACValueIndex and friends)";
        // The tray's own cases run under a virtual display (TrayWinWithDisplay); this run has none.
        if (GetEnvironmentVariableW(L"VEXLO_TEST_DISPLAY", nullptr, 0) == 0)
            made.tray_skip_reason = "Wine without a display makes no windows, so no tray icon";
    }
    // Toggling a real task is left out for now: a fresh Wine prefix has no task to toggle (and
    // the seam cannot make one), and the task scheduler part is still being finished.
    made.can_change_tasks = false;
    made.tasks_skip_reason = win32::running_under_wine()
                                 ? "Wine has no scheduled task to disable and enable, and the seam cannot make one"
                                 : "changing real scheduled tasks is not exercised by these tests yet";
    return made;
}

uint32_t test_process_id() { return uint32_t(GetCurrentProcessId()); }

}  // namespace vexlo::testkit
