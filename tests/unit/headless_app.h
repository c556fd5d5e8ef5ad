#pragma once
// The application without its window on a fresh simulated PC: stores, facts, catalog and the
// first state pass, as a start of the product leaves them.
#include <memory>
#include <stdexcept>
#include <string_view>

#include "app/core/app.h"
#include "test_machine.h"

namespace vexlo::testkit {

struct Headless {
    TempMachine pc;
    std::unique_ptr<App> app;
    explicit Headless(std::string_view image = "desktop11") : pc(image) { start(); }
    void start() {
        app = std::make_unique<App>(*pc);
        app->start_up();
    }
    // Quit and start again, reloading backup.json as a new run does.
    void restart() {
        app.reset();
        pc.reopen();
        start();
    }
    Tweak& tweak(std::string_view id) {
        Tweak* t = app->catalog.find(id);
        if (!t) throw std::runtime_error("no tweak " + std::string(id));
        return *t;
    }
    Engine& engine() { return app->engine; }
    bool state(std::string_view id) {
        Tweak& t = tweak(id);
        engine().sync_state(t);
        return t.state;
    }
};

}  // namespace vexlo::testkit
