// Stand-in for the core in the launcher's tests: records how it was started and exits.
//
// The record goes to the file named by VEXLO_PROBE_RECORD (written under another name, then
// renamed, so a reader never sees half of it): UTF-16LE fields, each ended by a zero unit:
//   flavour, process id, GetCommandLineW(), current directory, VEXLO_LAUNCHER ("<unset>" if absent).
// With VEXLO_PROBE_SLEEP=<ms> it then stays running that long, holding its executable open.
#include <windows.h>

#include <string>

namespace {

std::wstring variable(const wchar_t* name, bool* present) {
    wchar_t buffer[32768];
    DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    *present = n != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    return n < 32768 ? std::wstring(buffer, n) : std::wstring();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    SetLastError(0);
    bool present = false;
    std::wstring record_path = variable(L"VEXLO_PROBE_RECORD", &present);
    if (record_path.empty()) return 3;

    wchar_t directory[MAX_PATH * 4];
    DWORD directory_length = GetCurrentDirectoryW(MAX_PATH * 4, directory);
    SetLastError(0);
    std::wstring launcher = variable(L"VEXLO_LAUNCHER", &present);

    std::wstring record;
    for (const std::wstring& field : {std::wstring(L"" VEXLO_PROBE_FLAVOUR), std::to_wstring(GetCurrentProcessId()),
                                      std::wstring(GetCommandLineW()), std::wstring(directory, directory_length),
                                      present ? launcher : std::wstring(L"<unset>")}) {
        record += field;
        record.push_back(L'\0');
    }

    std::wstring temporary = record_path + L".partial";
    HANDLE file =
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 4;
    DWORD written = 0;
    BOOL ok = WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    if (!ok || !MoveFileExW(temporary.c_str(), record_path.c_str(), MOVEFILE_REPLACE_EXISTING)) return 5;

    std::wstring sleep = variable(L"VEXLO_PROBE_SLEEP", &present);
    if (!sleep.empty()) Sleep(static_cast<DWORD>(std::stoul(sleep)));
    return 0;
}
