#include "platform/sim/sim_performance.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <nlohmann/json.hpp>

#include "platform/error.h"
#include "platform/sim/sim_json.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::PlatformError;
using ordered = nlohmann::ordered_json;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

// The start time of a host process in clock ticks since boot (field 22 of /proc/<pid>/stat);
// 0 when it does not run.
uint64_t start_time_of(uint32_t pid) {
    auto text = read_whole_file(fs::path("/proc") / std::to_string(pid) / "stat");
    if (!text) return 0;
    // The name in parentheses may hold blanks and parentheses: count fields after the last ')',
    // which is followed by field 3.
    size_t at = text->rfind(')');
    if (at == std::string::npos) return 0;
    std::istringstream fields(text->substr(at + 1));
    std::string field;
    for (int n = 3; n <= 22 && fields >> field; ++n)
        if (n == 22) return std::strtoull(field.c_str(), nullptr, 10);
    return 0;
}

}  // namespace

HostProcess HostProcess::self() {
    HostProcess p;
    p.pid = uint32_t(::getpid());
    p.started = start_time_of(p.pid);
    p.image = program_invocation_short_name ? program_invocation_short_name : "";
    return p;
}

bool host_process_alive(uint32_t pid, uint64_t started) {
    uint64_t now = start_time_of(pid);
    return now != 0 && now == started;
}

// ---- performance.json ----
// {"native_calls": true,
//  "timer": {"minimum": 5000, "maximum": 156250,
//            "requests": [{"pid": 4242, "started": 912345, "image": "vexlo", "value": 5000}]},
//  "memory": {"free_bytes": ..., "standby_bytes": ..., "refuse_purge": false, "purges": 0,
//             "readable": true},
//  "processor_load": 12, "system_counters_readable": true}

PerformanceState performance_for_memory(uint64_t total) {
    PerformanceState p;
    // A desktop a while after start-up: about a fifth free, a third in the standby cache.
    p.free_bytes = total / 5 / kMiB * kMiB;
    p.standby_bytes = total / 3 / kMiB * kMiB;
    return p;
}

std::string encode_state(const PerformanceState& p) {
    ordered requests = ordered::array();
    for (auto& r : p.timer_requests)
        requests.push_back({{"pid", r.pid}, {"started", r.started}, {"image", r.image}, {"value", r.value}});
    return dump_state({{"native_calls", p.native_calls},
                 {"timer", {{"minimum", p.timer_minimum}, {"maximum", p.timer_maximum}, {"requests", requests}}},
                 {"memory",
                  {{"free_bytes", p.free_bytes},
                   {"standby_bytes", p.standby_bytes},
                   {"refuse_purge", p.refuse_purge},
                   {"purges", p.purges},
                   {"readable", p.memory_lists_readable}}},
                 {"processor_load", p.processor_load},
                 {"system_counters_readable", p.system_counters_readable}});
}

void decode_state(std::string_view text, PerformanceState& p) {
    parse_state(text, [&](const json& j) {
        p.native_calls = j.value("native_calls", true);
        const json& t = j.at("timer");
        p.timer_minimum = t.at("minimum").get<uint32_t>();
        p.timer_maximum = t.at("maximum").get<uint32_t>();
        if (p.timer_minimum == 0 || p.timer_minimum > p.timer_maximum)
            throw PlatformError("timer: the minimum must be above 0 and not above the maximum");
        for (auto& r : t.value("requests", json::array()))
            p.timer_requests.push_back({r.at("pid").get<uint32_t>(), r.value("started", uint64_t(0)),
                                        r.value("image", std::string()), r.at("value").get<uint32_t>()});
        const json& m = j.at("memory");
        p.free_bytes = m.at("free_bytes").get<uint64_t>();
        p.standby_bytes = m.at("standby_bytes").get<uint64_t>();
        p.refuse_purge = m.value("refuse_purge", false);
        p.purges = m.value("purges", 0);
        p.memory_lists_readable = m.value("readable", true);
        p.processor_load = j.value("processor_load", 12.0);
        p.system_counters_readable = j.value("system_counters_readable", true);
    });
}

// ---- echo.json: {"offline": false, "targets": [{"address": "1.1.1.1", "ms": 18, "loss": 0}]} ----

const EchoTarget* EchoState::find(std::string_view address) const {
    for (auto& t : targets)
        if (t.address == address) return &t;
    return nullptr;
}

std::string encode_state(const EchoState& e) {
    ordered targets = ordered::array();
    for (auto& t : e.targets) targets.push_back({{"address", t.address}, {"ms", t.ms}, {"loss", t.loss}});
    return dump_state({{"offline", e.offline}, {"targets", targets}});
}

void decode_state(std::string_view text, EchoState& e) {
    parse_state(text, [&](const json& j) {
        e.offline = j.value("offline", false);
        for (auto& t : j.at("targets")) {
            EchoTarget target{t.at("address").get<std::string>(), t.at("ms").get<uint32_t>(), t.value("loss", 0)};
            if (!is_ipv4(target.address)) throw PlatformError("\"" + target.address + "\" is not an IPv4 address");
            if (target.loss < 0 || target.loss > 100) throw PlatformError(target.address + ": loss must be 0 to 100");
            if (e.find(target.address)) throw PlatformError(target.address + " is listed twice");
            e.targets.push_back(std::move(target));
        }
    });
}

bool is_ipv4(std::string_view text) {
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        size_t start = i;
        unsigned v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3) v = v * 10 + unsigned(text[i++] - '0');
        if (i == start || v > 255) return false;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
    }
    return i == text.size();
}

// ---- Performance ----

SimPerformance::SimPerformance(const fs::path& dir, platform::SystemInfo& system)
    : store_(dir / "performance.json", world_counter_file(dir), "performance"), system_(system),
      self_(HostProcess::self()) {}

PerformanceState SimPerformance::state() {
    return store_.read([](const PerformanceState& p) { return p; });
}

std::vector<SimPerformance::Request> SimPerformance::requests() {
    std::vector<Request> out;
    for (auto& r : state().timer_requests)
        out.push_back({r.pid, r.image, r.value, host_process_alive(r.pid, r.started)});
    return out;
}

namespace {

uint32_t current_of(const PerformanceState& p) {
    uint32_t current = p.timer_maximum;
    for (auto& r : p.timer_requests)
        if (host_process_alive(r.pid, r.started)) current = std::min(current, r.value);
    return current;
}

}  // namespace

bool SimPerformance::booster_available() {
    return store_.read([](const PerformanceState& p) { return p.native_calls; });
}

uint32_t SimPerformance::set_timer_resolution(uint32_t desired, bool set) {
    if (!booster_available()) return 0;
    return store_.update([&](PerformanceState& p) {
        auto mine = [&](const TimerRequestData& r) { return r.pid == self_.pid; };
        if (set) {
            uint32_t value = std::clamp(desired, p.timer_minimum, p.timer_maximum);
            // A reused pid takes over the entry of the ended process that had it.
            std::erase_if(p.timer_requests, mine);
            p.timer_requests.push_back({self_.pid, self_.started, self_.image, value});
        } else {
            std::erase_if(p.timer_requests, [&](const TimerRequestData& r) { return mine(r) && r.started == self_.started; });
        }
        // Ended holders are kept for the listing, but not without end.
        constexpr size_t kDeadKept = 8;
        size_t dead = size_t(std::count_if(p.timer_requests.begin(), p.timer_requests.end(),
                                           [](auto& r) { return !host_process_alive(r.pid, r.started); }));
        for (auto it = p.timer_requests.begin(); dead > kDeadKept && it != p.timer_requests.end();) {
            if (!host_process_alive(it->pid, it->started)) {
                it = p.timer_requests.erase(it);
                --dead;
            } else {
                ++it;
            }
        }
        return current_of(p);
    });
}

std::optional<platform::TimerResolution> SimPerformance::query_timer_resolution() {
    return store_.read([](const PerformanceState& p) -> std::optional<platform::TimerResolution> {
        if (!p.native_calls) return std::nullopt;
        return platform::TimerResolution{p.timer_maximum, p.timer_minimum, current_of(p)};
    });
}

int32_t SimPerformance::purge_standby_list() {
    return store_.update([](PerformanceState& p) -> int32_t {
        if (!p.native_calls) return kProcedureNotFound;
        if (p.refuse_purge) return kPrivilegeNotHeld;
        p.free_bytes += p.standby_bytes;
        p.standby_bytes = 0;
        ++p.purges;
        return 0;
    });
}

std::optional<platform::MemoryLists> SimPerformance::memory_lists() {
    return store_.read([](const PerformanceState& p) -> std::optional<platform::MemoryLists> {
        if (!p.memory_lists_readable) return std::nullopt;
        return platform::MemoryLists{p.free_bytes, p.standby_bytes};
    });
}

std::optional<double> SimPerformance::processor_load() {
    return store_.read([](const PerformanceState& p) -> std::optional<double> {
        if (!p.system_counters_readable) return std::nullopt;
        return p.processor_load;
    });
}

std::optional<platform::MemoryUse> SimPerformance::memory_use() {
    uint64_t total = system_.total_memory_bytes();
    return store_.read([&](const PerformanceState& p) -> std::optional<platform::MemoryUse> {
        if (!p.system_counters_readable) return std::nullopt;
        uint64_t available = std::min(total, p.free_bytes + p.standby_bytes);
        return platform::MemoryUse{total / 1024, available / 1024};
    });
}

// ---- Echo ----

namespace {

class SimPendingEcho final : public platform::PendingEcho {
public:
    SimPendingEcho(platform::Clock& clock, int64_t due_ms, std::optional<double> reply)
        : clock_(clock), due_ms_(due_ms), reply_(reply) {}
    bool done() override { return clock_.steady_ms() >= due_ms_; }
    std::optional<double> round_trip_ms() override {
        if (!done()) throw PlatformError("The echo request has not completed yet.");
        return reply_;
    }

private:
    platform::Clock& clock_;
    int64_t due_ms_;
    std::optional<double> reply_;
};

}  // namespace

SimEcho::SimEcho(const fs::path& dir, platform::Clock& clock)
    : store_(dir / "echo.json", world_counter_file(dir), "echo"), clock_(clock) {}

std::unique_ptr<platform::PendingEcho> SimEcho::send(std::string_view ipv4, uint32_t timeout_ms) {
    if (!is_ipv4(ipv4)) throw PlatformError("Cannot send an echo request to \"" + std::string(ipv4) + "\": not an IPv4 address.");
    int64_t now = clock_.steady_ms();
    auto target = store_.read([&](const EchoState& e) -> std::optional<EchoTarget> {
        if (e.offline) return std::nullopt;
        const EchoTarget* t = e.find(ipv4);
        return t ? std::optional<EchoTarget>(*t) : std::nullopt;
    });
    bool lost = true;
    if (target) {
        std::lock_guard lk(mu_);
        uint64_t n = ++sent_[target->address];
        // The nth echo is lost when it carries the running share of losses past a whole one.
        lost = n * uint64_t(target->loss) / 100 > (n - 1) * uint64_t(target->loss) / 100;
    }
    if (lost || target->ms > timeout_ms)
        return std::make_unique<SimPendingEcho>(clock_, now + timeout_ms, std::nullopt);
    return std::make_unique<SimPendingEcho>(clock_, now + target->ms, double(target->ms));
}

}  // namespace vexlo::sim
