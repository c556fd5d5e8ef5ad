#pragma once
// The window's reporting facilities: status bar and activity log, in-window dialogs on a
// nested loop, the progress panel, toasts and the restart pill.
#include <string>
#include <string_view>
#include <vector>

#include "app/core/activity_log.h"
#include "app/core/event_loop.h"
#include "app/ui/element.h"
#include "platform/shell.h"

namespace vexlo::ui {

using vexlo::LogKind;

class Ui {
public:
    Ui(EventLoop& loop, ActivityLog& log, platform::Shell& shell);
    ~Ui();

    Tree& tree() { return tree_; }
    // The named element; throws std::out_of_range when the window has no such element.
    Element& operator()(std::string_view name) const;
    Element* find(std::string_view name) const { return tree_.find(name); }

    // The main window is on screen (shown, not hidden in the tray).
    bool window_visible() const { return visible_; }
    void set_window_visible(bool v) { visible_ = v; }

    void log(std::string_view message, LogKind kind = LogKind::Info);
    std::string show_dialog(std::string_view title, std::string_view body,
                            std::vector<std::string> buttons = {"OK"}, std::string_view icon = "Information");
    // Button sets "OK", "YesNo", "YesNoCancel". Returns "OK", "Yes", "No" or "Cancel".
    std::string ask(std::string_view body, std::string_view title = "Vexlo Tweaks", std::string_view buttons = "OK",
                    std::string_view icon = "Information");
    void show_progress(std::string_view title);
    void update_progress(int i, int n, std::string_view text);
    void hide_progress();
    void show_toast(std::string_view text);
    void set_restart_pending();
    bool restart_pending() const { return restart_pending_; }
    // Ends an open dialog with its default answer (Escape).
    void end_dialog();
    bool dialog_open() const { return dialog_open_; }

    // Lets the loop run what is pending so the window repaints during long work.
    void update_ui();
    void set_busy(bool busy);

    // Dialogs open inside one another at most this deep; a further one is answered with its
    // last (safe) button without being shown.
    static constexpr int kMaxDialogDepth = 3;

    // Called when a dialog opens; tests answer dialogs through it.
    std::function<void(Ui&)> on_dialog_shown;
    // Shows a toast's text while the window is not on screen (the tray icon's balloon);
    // without it such a toast is dropped.
    std::function<void(std::string_view)> on_hidden_toast;

private:
    bool progress_modal_ = false;  // the progress panel holds the input
    int progress_before_ = 0;      // and gives it back to this element (0: everyone)
    EventLoop& loop_;
    ActivityLog& log_;
    platform::Shell& shell_;
    Tree tree_;
    bool visible_ = false;
    bool restart_pending_ = false;
    bool dialog_open_ = false;
    int dialog_depth_ = 0;  // dialogs whose nested loop is running
    std::string dialog_result_;
    EventLoop::TimerId toast_timer_ = 0;
};

// Glyph code point for a dialog icon name.
std::string dialog_glyph(std::string_view icon);

}  // namespace vexlo::ui
