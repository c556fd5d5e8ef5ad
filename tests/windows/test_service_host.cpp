// The service host of test_service_host.h: runs instead of the tests when the SCM starts this
// program.
#include "tests/windows/test_service_host.h"

#include <windows.h>
#include <winsvc.h>

#include <cwchar>

namespace vexlo::testkit {

namespace {

constexpr wchar_t kHostFlag[] = L"--vexlo-test-service=";

std::wstring g_mode;
SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop_event = nullptr;

void report(DWORD state, DWORD accepted) {
    SERVICE_STATUS s{};
    s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    s.dwCurrentState = state;
    s.dwControlsAccepted = accepted;
    s.dwWaitHint = state == SERVICE_STOP_PENDING ? 2000 : 0;
    SetServiceStatus(g_status_handle, &s);
}

DWORD WINAPI host_handler(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
    if (control != SERVICE_CONTROL_STOP) return ERROR_CALL_NOT_IMPLEMENTED;
    report(SERVICE_STOP_PENDING, 0);
    if (g_mode != L"hang") SetEvent(g_stop_event);
    return NO_ERROR;
}

void WINAPI host_main(DWORD, LPWSTR* argv) {
    g_status_handle = RegisterServiceCtrlHandlerExW(argv[0], host_handler, nullptr);
    if (!g_status_handle) return;
    report(SERVICE_RUNNING, g_mode == L"nostop" ? 0 : SERVICE_ACCEPT_STOP);
    WaitForSingleObject(g_stop_event, INFINITE);
    report(SERVICE_STOPPED, 0);
}

// Before any test registers or runs: when started as a service, serve and leave.
[[maybe_unused]] const bool g_hosting = [] {
    std::wstring cmd = GetCommandLineW();
    size_t at = cmd.find(kHostFlag);
    if (at == std::wstring::npos) return false;
    g_mode = cmd.substr(at + wcslen(kHostFlag));
    while (!g_mode.empty() && (g_mode.back() == L' ' || g_mode.back() == L'"')) g_mode.pop_back();
    g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t empty[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{empty, host_main}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherW(table);
    ExitProcess(0);
}();

}  // namespace

std::wstring test_service_command(const std::wstring& mode) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return L"\"" + std::wstring(path, n) + L"\" " + kHostFlag + mode;
}

}  // namespace vexlo::testkit
