#pragma once
// The application without its window on a fresh simulated PC: stores, facts, catalog and the
// first state pass, as a start of the product leaves them.
#include <memory>
#include <stdexcept>
#include <string_view>

#include "app/app.h"
#include "app/core/game.h"
#include "app/core/text.h"
#include "test_machine.h"

namespace vexlo::testkit {

struct Headless {
    TempMachine pc;
    std::unique_ptr<App> app;
    StartOptions options;  // of every start
    explicit Headless(std::string_view image = "desktop11", StartOptions opts = {}) : pc(image), options(std::move(opts)) {
        start();
    }
    void start() {
        app = std::make_unique<App>(*pc, options);
        app->start_up();
    }
    // Quit and start again, reloading backup.json as a new run does.
    void restart() {
        app.reset();
        pc.reopen();
        start();
    }
    Tweak& tweak(std::string_view id) {
        Tweak* t = app->tweaks().find(id);
        if (!t) throw std::runtime_error("no tweak " + std::string(id));
        return *t;
    }
    Engine& engine() { return app->tweaks().engine(); }
    BackupStore& store() { return app->tweaks().backups(); }
    // The registry of the machine as it is now (a restart opens it again).
    Reg reg() { return Reg(pc->registry()); }
    AppPaths paths() { return AppPaths::from(pc->files()); }
    // The facts as start-up read them, and the game's settings file where the product finds it.
    SystemFacts facts() {
        Reg r = reg();
        return SystemFacts::read(pc->system(), r, pc->files());
    }
    IniFile ini() {
        return IniFile(pc->files(), game_settings_path(pc->files()),
                       path_join(paths().backup_dir, "GameUserSettings.original.ini"));
    }
    bool state(std::string_view id) {
        Tweak& t = tweak(id);
        engine().sync_state(t);
        return t.state;
    }
};

}  // namespace vexlo::testkit
