#include "app/ui/apply_ui.h"

#include "app/core/app.h"
#include "app/core/game.h"
#include "app/core/text.h"
#include "app/tools/applied_marks.h"

namespace vexlo::ui {

void update_tweak_ui(Tweak& t) {
    for (Element* sw : t.toggles) {
        sw->set_checked(t.state);
        sw->set_enabled(t.available);
    }
}

void sync_tweak(App& app, Tweak& t) {
    app.engine.sync_state(t);
    update_tweak_ui(t);
}

bool fortnite_running(App& app) { return vexlo::fortnite_running(app.pf.processes()); }

void invoke_single(App& app, Tweak& t, bool want) {
    Ui& ui = app.ui;
    if (want && t.adv && !app.adv_ok.contains(t.id)) {
        std::string body = "ADVANCED TWEAK\n\n" + t.title + "\n\n" + t.desc + "\n\nApply it? You can turn it back off any time.";
        if (ui.ask(body, "Heads up", "YesNo", "Warning") != "Yes") return;
        app.adv_ok[t.id] = true;
    }
    if (t.kind == Kind::Ini && fortnite_running(app)) {
        ui.ask("Close Fortnite first. It rewrites its settings file when it exits, which would undo this change.",
               "Done", "OK", "Information");
        return;
    }
    try {
        if (want) {
            app.engine.apply_kind(t);
            set_applied_mark(app.reg, t.id, true);
            ui.log("Applied: " + t.title, LogKind::Ok);
            ui.show_toast("On: " + t.title);
        } else {
            app.engine.revert_kind(t);
            set_applied_mark(app.reg, t.id, false);
            ui.log("Restored: " + t.title, LogKind::Info);
            ui.show_toast("Restored: " + t.title);
        }
        if (t.restart) ui.set_restart_pending();
        if (t.kind == Kind::Nic)
            ui.log(ui("StatusText").text() + "  (use Restart network adapters on the Network page to apply now)",
                   LogKind::Ok);
    } catch (const std::exception& e) {
        ui.log("Failed: " + t.title + " - " + e.what(), LogKind::Err);
    }
}

void on_toggle(App& app, Element& toggle) {
    Tweak* t = app.catalog.find(toggle.tag);
    if (!t) return;
    bool want = toggle.checked();
    app.ui.set_busy(true);
    invoke_single(app, *t, want);
    bool group_wide = t->kind == Kind::Reg || t->kind == Kind::Ini || t->kind == Kind::Custom || t->kind == Kind::Pwr;
    if (group_wide) {
        for (auto& other : app.catalog.tweaks)
            if (other->page == t->page && other->group == t->group) sync_tweak(app, *other);
    } else {
        sync_tweak(app, *t);
    }
    app.ui.set_busy(false);
}

void wire_window(App& app) {
    app.ui("BtnClose").on("click", [&app](Element&, const Json&) { app.exit_app(); });
}

}  // namespace vexlo::ui
