#pragma once
// The window's side of a change: its dialogs, status bar and toasts. The switch handler is
// MainView::on_toggle.
#include "app/tweaks/tweak_service.h"
#include "app/ui/element.h"
#include "app/ui/ui.h"

namespace vexlo::ui {

// The window answers a change's questions with its in-window dialogs and reports in the status
// bar, the activity log and a toast.
class WindowFront : public ChangeFront {
public:
    explicit WindowFront(Ui& ui) : ui_(ui) {}
    void log(std::string_view message, LogKind kind) override { ui_.log(message, kind); }
    void toast(std::string_view text) override { ui_.show_toast(text); }
    bool confirm_advanced(const Tweak& t) override;
    void game_running(const Tweak& t) override;

private:
    Ui& ui_;
};

}  // namespace vexlo::ui
