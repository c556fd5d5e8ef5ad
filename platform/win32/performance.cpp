// The kernel calls of the game booster and the live tiles. The timer and memory-list calls are
// ntdll's undocumented-but-stable system calls, bound by name at start so that a Windows
// without them leaves the booster unavailable instead of failing to start the program.
#include <windows.h>

#include <mutex>

#include "platform/win32/kernel_calls.h"
#include "platform/win32/parts.h"

namespace vexlo::win32 {
namespace {

using platform::MemoryLists;
using platform::MemoryUse;
using platform::TimerResolution;

using NtStatus = LONG;
using SetTimerResolutionFn = NtStatus(NTAPI*)(ULONG desired, BOOLEAN set, PULONG current);
using QueryTimerResolutionFn = NtStatus(NTAPI*)(PULONG maximum, PULONG minimum, PULONG current);
using SetSystemInformationFn = NtStatus(NTAPI*)(ULONG information_class, PVOID information, ULONG length);
using QuerySystemInformationFn = NtStatus(NTAPI*)(ULONG information_class, PVOID information, ULONG length,
                                                  PULONG return_length);
using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

// SystemMemoryListInformation: queried for the page lists, set with a command to purge them.
constexpr ULONG kSystemMemoryListInformation = 80;
constexpr ULONG kMemoryPurgeStandbyList = 4;
constexpr NtStatus kStatusSuccess = 0;

// The memory manager's answer to SystemMemoryListInformation, as every tool that reads it lays
// it out (counts of pages).
struct SystemMemoryListInformation {
    ULONG_PTR zero_page_count;
    ULONG_PTR free_page_count;
    ULONG_PTR modified_page_count;
    ULONG_PTR modified_no_write_page_count;
    ULONG_PTR bad_page_count;
    ULONG_PTR page_count_by_priority[8];  // the standby list, by page priority 0..7
    ULONG_PTR repurposed_pages_by_priority[8];
    ULONG_PTR modified_page_count_page_file;
};

template <class F>
F bind(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

uint64_t as_u64(const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// Enables one privilege on this process's token. AdjustTokenPrivileges reports success also
// for a privilege the token does not hold; only the last error tells.
bool enable_privilege(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool enabled = false;
    if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
        SetLastError(ERROR_SUCCESS);
        BOOL adjusted = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        enabled = privilege_really_enabled(adjusted, GetLastError());
    }
    CloseHandle(token);
    return enabled;
}

class Win32Performance final : public platform::Performance {
public:
    Win32Performance() {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        set_timer_ = bind<SetTimerResolutionFn>(ntdll, "NtSetTimerResolution");
        query_timer_ = bind<QueryTimerResolutionFn>(ntdll, "NtQueryTimerResolution");
        set_system_ = bind<SetSystemInformationFn>(ntdll, "NtSetSystemInformation");
        query_system_ = bind<QuerySystemInformationFn>(ntdll, "NtQuerySystemInformation");
    }

    bool booster_available() override { return set_timer_ && query_timer_ && set_system_; }

    uint32_t set_timer_resolution(uint32_t desired, bool set) override {
        if (!booster_available()) return 0;
        if (set) std::call_once(throttling_once_, honour_timer_while_hidden);
        ULONG current = 0;
        set_timer_(desired, set ? TRUE : FALSE, &current);  // the status tells nothing the result does not
        return current;
    }

    std::optional<TimerResolution> query_timer_resolution() override {
        if (!booster_available()) return std::nullopt;
        ULONG maximum = 0, minimum = 0, current = 0;
        if (query_timer_(&maximum, &minimum, &current) != kStatusSuccess) return std::nullopt;
        return TimerResolution{maximum, minimum, current};
    }

    int32_t purge_standby_list() override {
        if (!booster_available()) return kStatusNotImplemented;
        // The call is made even without the privilege, as the kernel is the judge; its answer
        // is then a refusal, and a success without the privilege is not believed.
        const bool enabled = enable_privilege(L"SeProfileSingleProcessPrivilege");
        ULONG command = kMemoryPurgeStandbyList;
        NtStatus status = set_system_(kSystemMemoryListInformation, &command, sizeof command);
        return purge_status(enabled, status);
    }

    // Read natively rather than through the performance counters' WMI class: the same numbers
    // (FreeAndZeroPageListBytes is the zero and free lists; StandbyCacheReserveBytes,
    // StandbyCacheNormalPriorityBytes and StandbyCacheCoreBytes are the standby list's
    // priorities 0-3, 4-5 and 6-7 together), without a WMI round trip every third second.
    std::optional<MemoryLists> memory_lists() override {
        if (!query_system_) return std::nullopt;
        // The memory manager answers this class only to a caller holding the privilege.
        enable_privilege(L"SeProfileSingleProcessPrivilege");
        SystemMemoryListInformation info{};
        ULONG returned = 0;
        if (query_system_(kSystemMemoryListInformation, &info, sizeof info, &returned) != kStatusSuccess)
            return std::nullopt;
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        const uint64_t page = system.dwPageSize ? system.dwPageSize : 4096;
        uint64_t standby_pages = 0;
        for (ULONG_PTR n : info.page_count_by_priority) standby_pages += n;
        return MemoryLists{(uint64_t(info.zero_page_count) + info.free_page_count) * page, standby_pages * page};
    }

    std::optional<double> processor_load() override {
        FILETIME idle_t, kernel_t, user_t;
        if (!GetSystemTimes(&idle_t, &kernel_t, &user_t)) return std::nullopt;
        const uint64_t idle = as_u64(idle_t), kernel = as_u64(kernel_t), user = as_u64(user_t);
        std::lock_guard lock(load_mutex_);
        // Kernel time includes the idle time; the first call measures since start-up.
        const uint64_t total = (kernel - last_kernel_) + (user - last_user_);
        const uint64_t idle_delta = idle - last_idle_;
        last_idle_ = idle;
        last_kernel_ = kernel;
        last_user_ = user;
        if (total == 0 || idle_delta > total) return std::nullopt;
        return 100.0 * double(total - idle_delta) / double(total);
    }

    // The figures the system's operating-system class reports as TotalVisibleMemorySize and
    // FreePhysicalMemory (available memory, in KiB).
    std::optional<MemoryUse> memory_use() override {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        if (!GlobalMemoryStatusEx(&status) || status.ullTotalPhys == 0) return std::nullopt;
        return MemoryUse{status.ullTotalPhys / 1024, status.ullAvailPhys / 1024};
    }

private:
    // Windows 11 ignores the timer request of a process whose windows are hidden or minimised,
    // which is always the core (its window is the browser's), unless the process opts out. Only
    // for itself; older releases reject the class, which changes nothing for them.
    static void honour_timer_while_hidden() {
        auto set_info = bind<SetProcessInformationFn>(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation");
        if (!set_info) return;
        PROCESS_POWER_THROTTLING_STATE state{};
        state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
        state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
        state.StateMask = 0;  // not throttled: the request is always honoured
        set_info(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
    }

    SetTimerResolutionFn set_timer_ = nullptr;
    QueryTimerResolutionFn query_timer_ = nullptr;
    SetSystemInformationFn set_system_ = nullptr;
    QuerySystemInformationFn query_system_ = nullptr;
    std::once_flag throttling_once_;

    std::mutex load_mutex_;
    uint64_t last_idle_ = 0, last_kernel_ = 0, last_user_ = 0;
};

}  // namespace

std::unique_ptr<platform::Performance> make_performance() { return std::make_unique<Win32Performance>(); }

}  // namespace vexlo::win32
