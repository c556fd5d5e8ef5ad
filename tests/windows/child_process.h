#pragma once
// Tests that need a second process start this very test program again, limited to one
// child-only test, and tell the child what to do through environment variables (which the
// child inherits). A child test skips itself when its variable is absent.
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/wide.h"

namespace vexlo::testkit {

inline std::wstring self_path() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

// The variable's value in this process, or "" when it is not set.
inline std::string env_value(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    return n && n < 4096 ? win32::narrow(std::wstring(buf, n)) : std::string();
}

// Sets variables for as long as it lives, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(std::vector<std::pair<std::wstring, std::wstring>> vars) {
        for (auto& [name, value] : vars) {
            wchar_t buf[4096];
            DWORD n = GetEnvironmentVariableW(name.c_str(), buf, 4096);
            old_.push_back({name, n && n < 4096 ? std::optional<std::wstring>(std::wstring(buf, n)) : std::nullopt});
            SetEnvironmentVariableW(name.c_str(), value.c_str());
        }
    }
    ~ScopedEnv() {
        for (auto& [name, value] : old_) SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> old_;
};

// Runs `exe` with `args` behind its quoted path and waits; its exit code, or -1 when it could not
// be started or did not end within the time (it is then ended).
inline int run_program(const std::wstring& exe, const std::wstring& args, DWORD timeout_ms = 120000) {
    std::wstring line = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    CloseHandle(pi.hThread);
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(pi.hProcess, timeout_ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    else TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    return int(code);
}

// Runs this test program with `--gtest_filter=<test>`.
inline int run_self(const std::wstring& test, DWORD timeout_ms = 120000) {
    return run_program(self_path(), L"--gtest_filter=" + test, timeout_ms);
}

}  // namespace vexlo::testkit
