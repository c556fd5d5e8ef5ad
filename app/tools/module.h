#pragma once
// A tool of the application (booster, region ping, uninstaller, updater, benchmark, setups,
// actions) is one module: it is started once the window and the tweaks are ready, may build a
// page and add steps to the one-second timer, and is stopped at exit, last started first.
// A module sees only this narrow context, never the application object.
#include <memory>
#include <string_view>
#include <vector>

#include "app/core/boost_timer.h"
#include "app/core/event_loop.h"
#include "app/core/reg.h"
#include "app/tweaks/tweak_service.h"
#include "app/ui/actions.h"
#include "app/ui/ui.h"
#include "platform/platform.h"

namespace vexlo {

struct ModuleContext {
    EventLoop& loop;             // posted work and timers of the application thread
    platform::Platform& pf;      // the PC
    TweakService& tweaks;        // every tweak change goes through here
    ChangeFront& front;          // the window's side of a change: its questions and reports
    ui::Ui& ui;                  // the window: status bar and log, dialogs, progress, toasts
    Reg& settings;               // the settings key and its subkeys, read afresh on every use
    BoostTimer& every_second;    // add_step() for work that ticks once a second
    // The window's one-click tools: a tool adds its own here, so the search lists them with the
    // rest. Null without a window.
    ui::ActionMap* actions = nullptr;
};

// What the tray menu and the exit path ask of the game booster.
class BoosterControl {
public:
    virtual ~BoosterControl() = default;
    // One purge of the standby memory list now, ignoring the spacing between purges. True on
    // success.
    virtual bool clean_memory_now() = 0;
    // Releases the timer-resolution hold and puts back the priorities the booster lowered;
    // failures are ignored.
    virtual void release() = 0;
};

class Module {
public:
    virtual ~Module() = default;
    virtual std::string_view name() const = 0;
    // Builds the module's page (if it has one) under the window's page host `host`.
    virtual void build_page(ui::Element& host) {}
    virtual void start(ModuleContext& ctx) = 0;
    // At exit: undo what is only meant to last while the application runs.
    virtual void stop() = 0;
    // The game booster answers with itself; every other tool with null.
    virtual BoosterControl* booster() { return nullptr; }
};

// Keeps the modules in the order they were added; starts them in that order and stops them in
// the reverse one. A module that fails to start or stop is logged and the others go on.
class ModuleRunner {
public:
    void add(std::unique_ptr<Module> m) { modules_.push_back(std::move(m)); }
    void build_pages(ui::Element& host, ui::Ui& ui);
    void start_all(ModuleContext& ctx);
    void stop_all(ui::Ui& ui);
    const std::vector<std::unique_ptr<Module>>& modules() const { return modules_; }

private:
    std::vector<std::unique_ptr<Module>> modules_;
    size_t started_ = 0;
};

// The tools this build ships, in the order the application starts them.
std::vector<std::unique_ptr<Module>> builtin_modules();

}  // namespace vexlo
