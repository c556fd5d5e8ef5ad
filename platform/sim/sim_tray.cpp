#include "platform/sim/sim_tray.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>

#include "platform/error.h"
#include "platform/sim/sim_json.h"
#include "platform/sim/sim_performance.h"
#include "platform/sim/sim_util.h"
#include "platform/sim/sim_world.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::PlatformError;
using platform::TrayEvent;
using ordered = nlohmann::ordered_json;

// ---- tray.json ----
// {"shown": true, "owner": {"pid": 4242, "started": 912345, "object": 1}, "tooltip": "...",
//  "menu": ["Open", "", "Exit"], "balloons": [{"title", "text", "timeout_ms"}],
//  "pending": [{"kind": "choice", "item": "Exit"}, {"kind": "double-click"}]}

std::string encode_state(const TrayState& s) {
    ordered balloons = ordered::array();
    for (auto& b : s.balloons) balloons.push_back({{"title", b.title}, {"text", b.text}, {"timeout_ms", b.timeout_ms}});
    ordered pending = ordered::array();
    for (auto& e : s.pending) {
        if (e.kind == TrayEvent::Kind::DoubleClick) pending.push_back({{"kind", "double-click"}});
        else pending.push_back({{"kind", "choice"}, {"item", e.item}});
    }
    ordered j = {{"shown", s.shown},
                 {"owner", {{"pid", s.owner_pid}, {"started", s.owner_started}, {"object", s.owner_object}}},
                 {"tooltip", s.tooltip},
                 {"menu", s.menu},
                 {"balloons", balloons},
                 {"pending", pending}};
    return dump_state(j);
}

void decode_state(std::string_view text, TrayState& s) {
    try {
        json j = json::parse(text);
        if (!j.is_object()) throw PlatformError("the top level must be an object");
        s.shown = j.value("shown", false);
        json owner = j.value("owner", json::object());
        s.owner_pid = owner.value("pid", 0u);
        s.owner_started = owner.value("started", uint64_t(0));
        s.owner_object = owner.value("object", uint64_t(0));
        s.tooltip = j.value("tooltip", std::string());
        s.menu = j.value("menu", std::vector<std::string>{});
        for (auto& b : j.value("balloons", json::array()))
            s.balloons.push_back({b.at("title").get<std::string>(), b.at("text").get<std::string>(),
                                  b.value("timeout_ms", 0u)});
        for (auto& e : j.value("pending", json::array())) {
            std::string kind = e.at("kind").get<std::string>();
            if (kind == "double-click") s.pending.push_back({TrayEvent::Kind::DoubleClick, {}});
            else if (kind == "choice") s.pending.push_back({TrayEvent::Kind::MenuChoice, e.at("item").get<std::string>()});
            else throw PlatformError("\"" + kind + "\" is not a click on the icon");
        }
    } catch (const json::exception& e) {
        throw PlatformError(e.what());
    }
}

// ---- Tray ----

namespace {
std::atomic<uint64_t> next_tray_object{1};
}

SimTray::SimTray(const fs::path& dir)
    : store_(dir / "tray.json", world_counter_file(dir), "notification area"), object_(next_tray_object++) {
    HostProcess self = HostProcess::self();
    pid_ = self.pid;
    started_ = self.started;
}

SimTray::~SimTray() {
    // The icon stays in tray.json, as a stale one stays in the notification area of a program
    // that ended without removing it; only the watching ends.
    stop_watching();
    // Destroyed by a handler on the watcher itself, which cannot wait for itself to end.
    if (watcher_.joinable()) watcher_.detach();
}

bool SimTray::owns(const TrayState& s) const {
    return s.owner_pid == pid_ && s.owner_started == started_ && s.owner_object == object_;
}

TrayState SimTray::state() {
    TrayState s = store_.read([](const TrayState& t) { return t; });
    if (s.shown && !host_process_alive(s.owner_pid, s.owner_started)) s.shown = false;
    return s;
}

bool SimTray::show(const platform::TrayIconSpec& spec, std::function<void(const TrayEvent&)> on_event) {
    std::unique_lock lk(mu_);
    bool first = !handler_;
    if (first) spec_ = spec;
    try {
        store_.update([&](TrayState& s) {
            if (first || !owns(s)) {
                // A new icon: nothing of an earlier program's stays.
                s = TrayState{};
                s.owner_pid = pid_;
                s.owner_started = started_;
                s.owner_object = object_;
                s.tooltip = spec_.tooltip;
                s.menu = spec_.menu;
            }
            s.shown = true;
        });
    } catch (const PlatformError&) {
        return false;
    }
    if (first) handler_ = std::move(on_event);
    shown_ = true;
    if (watcher_.joinable()) {
        // Removed and shown again by a handler on the watcher itself: it goes on watching.
        stopping_ = false;
    } else {
        stopping_ = false;
        watcher_ = std::thread([this] { watch(); });
    }
    return true;
}

void SimTray::remove() {
    {
        std::lock_guard lk(mu_);
        if (!shown_ && !handler_) return;
        shown_ = false;
        handler_ = nullptr;
    }
    stop_watching();
    try {
        store_.update([&](TrayState& s) {
            if (!owns(s)) return;
            s.shown = false;
            s.pending.clear();
        });
    } catch (const PlatformError&) {
        // The icon is gone from this program; a file that cannot be written changes nothing here.
    }
}

bool SimTray::balloon(std::string_view title, std::string_view text, unsigned timeout_ms) {
    {
        std::lock_guard lk(mu_);
        if (!shown_) return false;
    }
    try {
        return store_.update([&](TrayState& s) {
            if (!owns(s) || !s.shown) return false;
            s.balloons.push_back({std::string(title), std::string(text), timeout_ms});
            return true;
        });
    } catch (const PlatformError&) {
        return false;
    }
}

bool SimTray::shown() {
    std::lock_guard lk(mu_);
    return shown_;
}

void SimTray::deliver(const TrayEvent& event) {
    std::function<void(const TrayEvent&)> handler;
    {
        std::lock_guard lk(mu_);
        if (!shown_) return;
        handler = handler_;
    }
    if (handler) handler(event);
}

namespace {

// The event a click makes on the icon `s` describes: a menu entry named in any case becomes
// the menu's own text. Throws when there is no icon, or no such entry.
TrayEvent check_click(const TrayState& s, TrayEvent event) {
    if (!s.shown) throw PlatformError("No icon is shown in the notification area.");
    if (event.kind != TrayEvent::Kind::MenuChoice) return event;
    for (auto& m : s.menu)
        if (!m.empty() && iequals(m, event.item)) {
            event.item = m;
            return event;
        }
    std::string entries;
    for (auto& m : s.menu)
        if (!m.empty()) entries += (entries.empty() ? "\"" : ", \"") + m + "\"";
    throw PlatformError("The icon's menu has no entry \"" + event.item + "\" (it has " + entries + ").");
}

}  // namespace

void SimTray::click(TrayEvent event) {
    TrayState s = state();
    event = check_click(s, std::move(event));
    if (owns(s) && shown()) return deliver(event);
    store_.update([&](TrayState& t) {
        if (t.shown && !host_process_alive(t.owner_pid, t.owner_started)) t.shown = false;
        t.pending.push_back(check_click(t, event));
    });
}

void SimTray::choose(std::string_view item) { click({TrayEvent::Kind::MenuChoice, std::string(item)}); }
void SimTray::double_click() { click({TrayEvent::Kind::DoubleClick, {}}); }

void SimTray::watch() {
    using namespace std::chrono_literals;
    std::unique_lock lk(mu_);
    while (!stopping_) {
        wake_.wait_for(lk, 100ms, [&] { return stopping_; });
        if (stopping_) break;
        lk.unlock();
        std::vector<TrayEvent> events;
        try {
            bool waiting = store_.read([&](const TrayState& s) { return owns(s) && !s.pending.empty(); });
            if (waiting)
                events = store_.update([&](TrayState& s) {
                    std::vector<TrayEvent> taken;
                    if (owns(s)) taken.swap(s.pending);
                    return taken;
                });
        } catch (const PlatformError&) {
            // Looked at again on the next round; the clicks stay queued in the file.
        }
        for (auto& e : events) deliver(e);
        lk.lock();
    }
}

void SimTray::stop_watching() {
    {
        std::lock_guard lk(mu_);
        stopping_ = true;
    }
    wake_.notify_all();
    // A handler that removes the icon runs on the watcher itself, which cannot wait for itself:
    // it ends once that handler returns.
    if (watcher_.joinable() && watcher_.get_id() != std::this_thread::get_id()) watcher_.join();
}

// ---- Self copy ----

SimSelfCopy::SimSelfCopy(SimFiles& files, std::string local_app_data, std::string program_files)
    : files_(files), local_app_data_(std::move(local_app_data)), program_files_(std::move(program_files)) {}

std::string SimSelfCopy::running() const { return local_app_data_ + "\\VexloTweaks\\app\\VexloTweaks-core.exe"; }
std::string SimSelfCopy::folder() const { return program_files_ + "\\Vexlo Tweaks"; }
std::string SimSelfCopy::path() { return folder() + "\\VexloTweaks-core.exe"; }

bool SimSelfCopy::current() {
    auto source = files_.read(running());
    auto copy = files_.read(path());
    return source && copy && *source == *copy;
}

std::string SimSelfCopy::install() {
    auto source = files_.read(running());
    if (!source) throw PlatformError("Cannot read the running program " + running() + ".");
    if (files_.is_link(folder())) throw PlatformError("The folder " + folder() + " is a link; nothing is copied there.");
    files_.create_directories(folder());
    files_.write(path(), *source);
    auto copy = files_.read(path());
    if (!copy || *copy != *source) throw PlatformError("The copy " + path() + " differs from the running program.");
    return path();
}

void SimSelfCopy::remove() {
    files_.remove(path());
    if (files_.is_directory(folder())) files_.remove(folder());
}

}  // namespace vexlo::sim
