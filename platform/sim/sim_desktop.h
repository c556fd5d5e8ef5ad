#pragma once
// The smaller parts of the simulated PC: its running programs, its facts, the desktop shell,
// the clock and the random source.
#include <chrono>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/random.h"
#include "platform/shell.h"
#include "platform/sim/sim_images.h"
#include "platform/sim/sim_store.h"
#include "platform/system_info.h"

namespace vexlo::sim {

struct ProcessTable {
    std::vector<ProcessEntry> processes;  // in start order
};

// processes.json: [{"pid": 4, "image": "System", "priority": "Normal"}, ...], with
// "refuses_changes": true on a guarded one. "priority" may be left out (Normal).
std::string encode_state(const ProcessTable&);
void decode_state(std::string_view, ProcessTable&);

// The process list, kept in a JSON file of the machine folder so that every process that
// opens the machine sees the same programs running. Reads are answered from memory until
// another writer counts a change (sim_store.h), so listing every second costs a stat at most.
class SimProcesses final : public platform::Processes {
public:
    explicit SimProcesses(std::filesystem::path file);
    // Replaces the list (a new machine). Throws PlatformError.
    void reset(const std::vector<ProcessEntry>& processes);
    // A new pid, as Windows gives them: a multiple of 4 not in use. Throws PlatformError.
    uint32_t start(std::string image, platform::PriorityClass priority = platform::PriorityClass::Normal,
                   bool refuses_changes = false);
    // Every process of that image (any case); how many there were.
    size_t stop(std::string_view image);
    // Control: the whole list, and a priority set as the user would (Task Manager), refused
    // for nothing. Throws PlatformError for a pid that is not running.
    std::vector<ProcessEntry> entries();
    void force_priority(uint32_t pid, platform::PriorityClass cls);

    std::vector<platform::ProcessInfo> list() override;
    std::optional<platform::PriorityClass> priority(uint32_t pid) override;
    void set_priority(uint32_t pid, platform::PriorityClass cls) override;
    void terminate(uint32_t pid) override;

private:
    Stored<ProcessTable> store_;
};

class SimSystemInfo final : public platform::SystemInfo {
public:
    // `process_user`: the account this program runs as, the environment's USERNAME.
    explicit SimSystemInfo(MachineFacts facts, std::string process_user = {})
        : facts_(std::move(facts)), process_user_(std::move(process_user)) {}
    const MachineFacts& facts() const { return facts_; }
    void set_elevated(bool elevated) { facts_.elevated = elevated; }
    void set_desktop_user(std::string user) { facts_.desktop_user = std::move(user); }

    uint32_t windows_build() override { return facts_.windows_build; }
    uint64_t total_memory_bytes() override { return facts_.total_memory_bytes; }
    int refresh_hz() override { return facts_.refresh_hz > 0 ? facts_.refresh_hz : 60; }
    bool has_battery() override { return facts_.battery; }
    std::vector<std::string> cpu_names() override { return facts_.cpus; }
    std::vector<std::string> gpu_names() override { return facts_.gpus; }
    std::string os_caption() override { return facts_.os_caption; }
    bool is_elevated() override { return facts_.elevated; }
    std::optional<platform::AccountMismatch> desktop_user_mismatch() override;

private:
    MachineFacts facts_;
    std::string process_user_;
};

// Records what the application asks of the desktop, in memory and in <machine>/shell.log:
//   open <url>                 (a secret in it, "?s=...", recorded as "?s=<secret>")
//   message_box [<title>] <text> -> <answer>
//   relaunch_elevated <exe> <arg> <arg>...   (an argument that is empty or holds a blank, a quote or a
//                                            backslash in JSON quotes, so the list reads back exactly)
//   minimise | raise           (the window acted on; "minimise none" / "raise none" before any was opened)
//   allow_foreground_switch
// When VEXLO_SIM_BROWSER names a program, open_app_window also starts it with the URL as its
// only argument (no shell; not waited for).
class SimShell final : public platform::Shell {
public:
    explicit SimShell(std::filesystem::path log_file) : log_file_(std::move(log_file)) {}
    void script(platform::MsgResult answer);
    std::vector<std::string> log() const;

    bool open_app_window(const std::string& url) override;
    // The next scripted answer, else the safe one: Ok, No, or Cancel.
    platform::MsgResult message_box(std::string_view title, std::string_view text, platform::MsgButtons buttons,
                                    platform::MsgIcon icon) override;
    bool relaunch_elevated(const std::string& exe, const std::vector<std::string>& args) override;
    // The window exists once open_app_window was asked for it, as far as this shell knows.
    bool minimise_app_window() override;
    bool raise_app_window() override;
    void allow_foreground_switch() override;

    // `line` with the value of every "?s=" or "&s=" replaced by "<secret>".
    static std::string without_secrets(std::string line);

private:
    void record(std::string line);
    mutable std::mutex mu_;
    std::filesystem::path log_file_;
    std::vector<std::string> log_;
    std::deque<platform::MsgResult> answers_;
    bool window_opened_ = false;
};

// Follows the host's clocks until a test takes the monotonic one in hand: after freeze(),
// steady_ms() stands still and only advance() moves it, so timers come due exactly when a
// test says and no test has to sleep.
class SimClock final : public platform::Clock {
public:
    void set_fixed(std::optional<platform::LocalTime> time);
    // Stops steady_ms() at its present reading (a second call keeps the frozen value).
    void freeze();
    // Moves the frozen clock forward; freezes it first when it still followed the host. An
    // event loop runs the timers that came due on its next batch of work.
    void advance(std::chrono::milliseconds by);

    platform::LocalTime local_now() override;
    int64_t steady_ms() override;

private:
    static int64_t host_steady_ms();
    std::mutex mu_;
    std::optional<platform::LocalTime> fixed_;
    std::optional<int64_t> frozen_ms_;
};

// The host's own generator: secrets must be as strong here as on the real PC, and nothing
// about them is worth simulating.
class SimRandom final : public platform::Random {
public:
    void fill(uint8_t* out, size_t size) override;
};

}  // namespace vexlo::sim
