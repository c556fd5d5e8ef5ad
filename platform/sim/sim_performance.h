#pragma once
// The simulated PC's kernel as the game booster and the live tiles see it: the system timer
// resolution and who holds requests for it, the memory lists and their purge, processor load
// and memory in use (performance.json); and ICMP echo (echo.json). Both files are shared by
// every process that opens the machine, so a change made with `vexlo sim ...` reaches a
// running core at its next look.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/echo.h"
#include "platform/performance.h"
#include "platform/system_info.h"
#include "platform/sim/sim_store.h"
#include "platform/sim/sim_world.h"

namespace vexlo::sim {

// This process as a timer request names it.
struct HostProcess {
    uint32_t pid = 0;
    uint64_t started = 0;
    std::string image;
    static HostProcess self();
};
// Whether the host process that made a request still runs (the same pid and start time).
bool host_process_alive(uint32_t pid, uint64_t started);

class SimPerformance final : public platform::Performance {
public:
    SimPerformance(const std::filesystem::path& dir, platform::SystemInfo& system);
    Stored<PerformanceState>& store() { return store_; }

    // Control, for tests and tools.
    struct Request {
        uint32_t pid = 0;
        std::string image;
        uint32_t value = 0;
        bool alive = false;  // false: the process ended without releasing it
    };
    std::vector<Request> requests();
    PerformanceState state();

    // The kernel's answers. A request of a process that has ended no longer counts, as Windows
    // drops it with the process; it stays listed, marked, until the same pid asks again.
    bool booster_available() override;
    uint32_t set_timer_resolution(uint32_t desired, bool set) override;
    std::optional<platform::TimerResolution> query_timer_resolution() override;
    // Moves the standby list to the free list. 0xC0000061 (privilege not held) while refused,
    // 0xC000007A (procedure not found) without the native calls.
    int32_t purge_standby_list() override;
    std::optional<platform::MemoryLists> memory_lists() override;
    std::optional<double> processor_load() override;
    // Total from the machine's facts; free is the free and the standby list together.
    std::optional<platform::MemoryUse> memory_use() override;

    static constexpr int32_t kPrivilegeNotHeld = int32_t(0xC0000061u);
    static constexpr int32_t kProcedureNotFound = int32_t(0xC000007Au);

private:
    Stored<PerformanceState> store_;
    platform::SystemInfo& system_;
    HostProcess self_;
};

// Echo requests answered as echo.json says: a target known there answers after its round-trip
// time as the machine's clock runs (frozen and moved by tests), except for the share it loses;
// an unknown target, a lost echo and every echo while offline are done at the timeout without
// a reply. Losses are spread evenly over the echoes sent to a target by this object: with 50 %
// every second one is lost.
class SimEcho final : public platform::Echo {
public:
    SimEcho(const std::filesystem::path& dir, platform::Clock& clock);
    Stored<EchoState>& store() { return store_; }

    std::unique_ptr<platform::PendingEcho> send(std::string_view ipv4, uint32_t timeout_ms) override;

private:
    Stored<EchoState> store_;
    platform::Clock& clock_;
    std::mutex mu_;
    std::map<std::string, uint64_t> sent_;  // by target
};

// True for dotted IPv4 ("1.1.1.1").
bool is_ipv4(std::string_view text);

}  // namespace vexlo::sim
