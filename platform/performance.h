#pragma once
// What the game booster and the live tiles ask of the kernel: the system timer resolution,
// the standby memory list and its purge, processor load and memory in use.
#include <cstdint>
#include <optional>

namespace vexlo::platform {

// In units of 100 ns, as the kernel reports them. `maximum` is the coarsest resolution
// (156250 = 15.625 ms on most PCs), `minimum` the finest (5000 = 0.5 ms), `current` what the
// system runs at now: the finest that any process holds a request for.
struct TimerResolution {
    uint32_t maximum = 0;
    uint32_t minimum = 0;
    uint32_t current = 0;
};

// The memory manager's page lists, in bytes.
struct MemoryLists {
    uint64_t free_bytes = 0;     // free and zeroed pages
    uint64_t standby_bytes = 0;  // the standby cache, every priority together
};

// Physical memory as the system reports it, in KiB.
struct MemoryUse {
    uint64_t total_kib = 0;  // visible to Windows
    uint64_t free_kib = 0;   // available
};

class Performance {
public:
    virtual ~Performance() = default;
    // True when the native booster calls (timer resolution, memory list purge) could be bound
    // at start. When false, every call below that needs them does nothing and says so.
    virtual bool booster_available() = 0;
    // Takes (`set`) or releases this process's request for `desired` (100 ns units); the
    // result is the current system resolution afterwards. The kernel's status is not reported.
    virtual uint32_t set_timer_resolution(uint32_t desired, bool set) = 0;
    // nullopt when unavailable.
    virtual std::optional<TimerResolution> query_timer_resolution() = 0;
    // Enables the privilege the purge needs, then asks the memory manager to empty the standby
    // list. The status: 0 for success, an NTSTATUS error otherwise (also when unavailable or
    // when the privilege could not be enabled).
    virtual int32_t purge_standby_list() = 0;
    // nullopt when the lists cannot be read.
    virtual std::optional<MemoryLists> memory_lists() = 0;
    // Processor load in percent, the mean over all processor packages, over the time since
    // the previous call (the first call may measure since start-up); nullopt when unreadable.
    virtual std::optional<double> processor_load() = 0;
    // nullopt when unreadable.
    virtual std::optional<MemoryUse> memory_use() = 0;
};

}  // namespace vexlo::platform
