#include "app/ui/apply_ui.h"

namespace vexlo::ui {

bool WindowFront::confirm_advanced(const Tweak& t) {
    std::string body = "ADVANCED TWEAK\n\n" + t.title + "\n\n" + t.desc + "\n\nApply it? You can turn it back off any time.";
    return ui_.ask(body, "Heads up", "YesNo", "Warning") == "Yes";
}

void WindowFront::game_running(const Tweak&) {
    ui_.ask("Close Fortnite first. It rewrites its settings file when it exits, which would undo this change.", "Done",
            "OK", "Information");
}

}  // namespace vexlo::ui
