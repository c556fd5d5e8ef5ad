// The running programs: a Toolhelp snapshot for the listing; priority classes and force-stops
// through a handle opened with only the access that one call needs, so that a process which
// grants reading but not changing (an anti-cheat's guard, a protected service) still reads.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

using platform::PlatformError;
using platform::PriorityClass;

class ProcessHandle {
public:
    ProcessHandle(DWORD access, uint32_t pid) : h_(OpenProcess(access, FALSE, DWORD(pid))) {}
    ~ProcessHandle() {
        if (h_) CloseHandle(h_);
    }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HANDLE h_;
};

std::optional<PriorityClass> from_win32(DWORD cls) {
    switch (cls) {
        case IDLE_PRIORITY_CLASS: return PriorityClass::Idle;
        case BELOW_NORMAL_PRIORITY_CLASS: return PriorityClass::BelowNormal;
        case NORMAL_PRIORITY_CLASS: return PriorityClass::Normal;
        case ABOVE_NORMAL_PRIORITY_CLASS: return PriorityClass::AboveNormal;
        case HIGH_PRIORITY_CLASS: return PriorityClass::High;
        case REALTIME_PRIORITY_CLASS: return PriorityClass::Realtime;
        default: return std::nullopt;
    }
}

DWORD to_win32(PriorityClass cls) {
    switch (cls) {
        case PriorityClass::Idle: return IDLE_PRIORITY_CLASS;
        case PriorityClass::BelowNormal: return BELOW_NORMAL_PRIORITY_CLASS;
        case PriorityClass::Normal: return NORMAL_PRIORITY_CLASS;
        case PriorityClass::AboveNormal: return ABOVE_NORMAL_PRIORITY_CLASS;
        case PriorityClass::High: return HIGH_PRIORITY_CLASS;
        case PriorityClass::Realtime: return REALTIME_PRIORITY_CLASS;
    }
    return NORMAL_PRIORITY_CLASS;
}

bool still_running(HANDLE process) {
    DWORD code = 0;
    return GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

class Win32Processes final : public platform::Processes {
public:
    std::vector<platform::ProcessInfo> list() override {
        std::vector<platform::ProcessInfo> out;
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snap == INVALID_HANDLE_VALUE) return out;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
            out.push_back({uint32_t(entry.th32ProcessID), narrow(entry.szExeFile)});  // file name only
        CloseHandle(snap);
        return out;
    }

    std::optional<PriorityClass> priority(uint32_t pid) override {
        // Limited query access is granted even on most protected processes.
        ProcessHandle h(PROCESS_QUERY_LIMITED_INFORMATION, pid);
        if (!h || !still_running(h.get())) return std::nullopt;
        return from_win32(GetPriorityClass(h.get()));
    }

    void set_priority(uint32_t pid, PriorityClass cls) override {
        const std::string what = "Cannot change the priority of process " + std::to_string(pid);
        // Realtime starves the input and disk threads of the whole PC; nothing here ever asks
        // for it, and a slip must not reach the kernel.
        if (cls == PriorityClass::Realtime) throw PlatformError(what + ": Vexlo Tweaks never sets realtime priority.");
        ProcessHandle h(PROCESS_SET_INFORMATION, pid);
        if (!h) fail(what, GetLastError());
        if (!SetPriorityClass(h.get(), to_win32(cls))) fail(what, GetLastError());
    }

    void terminate(uint32_t pid) override {
        const std::string what = "Cannot close process " + std::to_string(pid);
        if (pid == GetCurrentProcessId()) throw PlatformError(what + ": it is Vexlo Tweaks itself.");
        ProcessHandle h(PROCESS_TERMINATE, pid);
        if (!h) fail(what, GetLastError());
        if (!TerminateProcess(h.get(), 1)) fail(what, GetLastError());
    }
};

}  // namespace

std::unique_ptr<platform::Processes> make_processes() { return std::make_unique<Win32Processes>(); }

}  // namespace vexlo::win32
