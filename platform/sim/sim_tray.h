#pragma once
// The simulated PC's notification area and the protected copy of the running core.
//
// tray.json holds the icon of the program that shows one: visible or not, its tooltip and
// menu, every balloon it showed, and the clicks other processes made on it (`vexlo sim tray
// choose "Exit"`) that its holder has not taken yet. The holder looks for them about every
// 100 ms on a thread of its own, so a running core receives them as it would from Explorer.
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/self_copy.h"
#include "platform/tray.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_store.h"

namespace vexlo::sim {

struct BalloonData {
    std::string title;
    std::string text;
    unsigned timeout_ms = 0;
};

struct TrayState {
    bool shown = false;
    uint32_t owner_pid = 0;      // the host process that showed it
    uint64_t owner_started = 0;  // its start time, so a reused pid is not it
    uint64_t owner_object = 0;   // which tray of that process
    std::string tooltip;
    std::vector<std::string> menu;  // "" is a separator
    std::vector<BalloonData> balloons;  // every one shown, oldest first
    std::vector<platform::TrayEvent> pending;  // clicks made from elsewhere, not yet taken
};

std::string encode_state(const TrayState&);
void decode_state(std::string_view, TrayState&);

class SimTray final : public platform::Tray {
public:
    explicit SimTray(const std::filesystem::path& dir);
    ~SimTray() override;
    SimTray(const SimTray&) = delete;
    SimTray& operator=(const SimTray&) = delete;

    // Control. The icon as the notification area shows it; `shown` is false when the program
    // that showed it has ended (its icon is gone at the next look).
    TrayState state();
    // A click on the icon, as a person makes it: reaches the holder's handler at once, on the
    // caller's thread, when this object holds the icon, else through tray.json. Throws
    // PlatformError when no icon is shown, or for a menu entry the menu does not have.
    void choose(std::string_view item);
    void double_click();

    bool show(const platform::TrayIconSpec& spec, std::function<void(const platform::TrayEvent&)> on_event) override;
    void remove() override;
    bool balloon(std::string_view title, std::string_view text, unsigned timeout_ms) override;
    bool shown() override;

private:
    void click(platform::TrayEvent event);
    void deliver(const platform::TrayEvent& event);
    bool owns(const TrayState& s) const;
    void watch();
    void stop_watching();

    Stored<TrayState> store_;
    uint32_t pid_;
    uint64_t started_;
    uint64_t object_;
    std::mutex mu_;
    std::condition_variable wake_;
    bool shown_ = false;
    bool stopping_ = false;
    platform::TrayIconSpec spec_;
    std::function<void(const platform::TrayEvent&)> handler_;
    std::thread watcher_;
};

// The running core is %LOCALAPPDATA%\VexloTweaks\app\VexloTweaks-core.exe of the simulated
// drive; its copy goes to %ProgramFiles%\Vexlo Tweaks\.
class SimSelfCopy final : public platform::SelfCopy {
public:
    SimSelfCopy(SimFiles& files, std::string local_app_data, std::string program_files);
    // Where the running program lives.
    std::string running() const;

    std::string path() override;
    bool current() override;
    std::string install() override;
    void remove() override;

private:
    std::string folder() const;
    SimFiles& files_;
    std::string local_app_data_, program_files_;
};

}  // namespace vexlo::sim
