#include "app/ui/ui.h"

#include <cmath>
#include <stdexcept>

namespace vexlo::ui {

Ui::Ui(EventLoop& loop, ActivityLog& log, platform::Shell& shell) : loop_(loop), log_(log), shell_(shell) {
    toast_timer_ = loop_.add_timer(std::chrono::milliseconds(2800), [this] {
        loop_.stop_timer(toast_timer_);
        if (auto* host = find("ToastHost")) host->fade(1, 0, 250);
    });
}

Ui::~Ui() { loop_.remove_timer(toast_timer_); }

Element& Ui::operator()(std::string_view name) const {
    Element* e = tree_.find(name);
    if (!e) throw std::out_of_range("no element named " + std::string(name));
    return *e;
}

std::string dialog_glyph(std::string_view icon) {
    if (icon == "Warning" || icon == "Error") return "E7BA";
    if (icon == "Work") return "E895";
    return "E946";  // Information, Question and anything else
}

void Ui::log(std::string_view message, LogKind kind) {
    if (auto* text = find("StatusText")) {
        text->set_text(std::string(message));
        const char* colour = kind == LogKind::Ok ? "#FBBE24" : kind == LogKind::Err ? "#EF4444" : "#6E685F";
        (*this)("StatusDot").css("background", colour);
    }
    log_.append(message);
}

std::string Ui::show_dialog(std::string_view title, std::string_view body, std::vector<std::string> buttons,
                            std::string_view icon) {
    if (buttons.empty()) buttons = {"OK"};
    if (!visible_ || !find("DialogLayer")) {
        using platform::MsgButtons;
        using platform::MsgIcon;
        using platform::MsgResult;
        MsgButtons set = buttons.size() == 1 ? MsgButtons::Ok : buttons.size() == 2 ? MsgButtons::YesNo
                                                                                   : MsgButtons::YesNoCancel;
        MsgIcon ic = icon == "Warning" ? MsgIcon::Warning : icon == "Error" ? MsgIcon::Error
                     : icon == "Question" ? MsgIcon::Question : MsgIcon::Information;
        switch (shell_.message_box(title, body, set, ic)) {
            case MsgResult::Ok: return "OK";
            case MsgResult::Yes: return "Yes";
            case MsgResult::No: return "No";
            case MsgResult::Cancel: return "Cancel";
        }
        return "OK";
    }
    if (dialog_depth_ >= kMaxDialogDepth) {
        // Each dialog runs a loop inside the one before; past this depth something keeps opening
        // them (a timer, a flood of events), and the stack would end the application.
        log_.append("A dialog was not shown, too many are open at once: " + std::string(title));
        return buttons.back();
    }
    (*this)("DlgTitle").set_text(std::string(title));
    (*this)("DlgBody").set_text(std::string(body));
    (*this)("DlgIcon").set("glyph", dialog_glyph(icon));
    (*this)("DlgProgress").set_visible(false);
    Element& row = (*this)("DlgButtons");
    row.clear();
    // Last label leftmost, first label rightmost and primary.
    for (size_t i = buttons.size(); i-- > 0;) {
        Element& b = row.add("button", "", i == 0 ? "Btn BtnPrimary" : "Btn");
        b.set_text(buttons[i]);
        b.css("min-width", "86px");
        b.css("margin-left", "8px");
        b.tag = buttons[i];
        b.on("click", [this](Element& btn, const Json&) {
            dialog_result_ = btn.tag;
            dialog_open_ = false;
        });
    }
    Element& layer = (*this)("DialogLayer");
    layer.set_visible(true);
    layer.fade(0, 1, 140);
    dialog_result_ = buttons.back();
    dialog_open_ = true;
    if (on_dialog_shown) loop_.post([this] { if (dialog_open_ && on_dialog_shown) on_dialog_shown(*this); });
    {
        // Only the dialog answers the user while it is up, as a modal window would.
        ModalScope modal(layer);
        struct Depth {
            int& n;
            explicit Depth(int& d) : n(++d) {}
            ~Depth() { --n; }
        } depth(dialog_depth_);
        loop_.run_nested([this] { return !dialog_open_; });
    }
    dialog_open_ = false;
    layer.set_visible(false);
    row.clear();
    return dialog_result_;
}

std::string Ui::ask(std::string_view body, std::string_view title, std::string_view buttons, std::string_view icon) {
    std::string t(title);
    if (t == "Vexlo Tweaks") {
        t = icon == "Warning" ? "Heads up" : icon == "Question" ? "Confirm" : "Done";
    } else if (t.rfind("Vexlo Tweaks - ", 0) == 0) {
        t = t.substr(15);
    }
    std::vector<std::string> labels;
    if (buttons == "YesNo")
        labels = {"Yes", "No"};
    else if (buttons == "YesNoCancel")
        labels = {"Yes", "No", "Cancel"};
    else
        labels = {"OK"};
    return show_dialog(t, body, labels, icon);
}

void Ui::end_dialog() { dialog_open_ = false; }

void Ui::show_progress(std::string_view title) {
    if (!visible_) return;
    (*this)("DlgTitle").set_text(std::string(title));
    (*this)("DlgBody").set_text("");
    (*this)("DlgIcon").set("glyph", dialog_glyph("Work"));
    (*this)("DlgButtons").clear();
    (*this)("DlgProgress").set_visible(true);
    (*this)("DlgBar").css("width", "0px");
    (*this)("DlgStep").set_text("");
    Element& layer = (*this)("DialogLayer");
    layer.set_visible(true);
    layer.set_opacity(1);
    // While the panel is up, nothing outside it takes input, as with a modal window.
    if (!progress_modal_) progress_before_ = tree().set_modal_root(layer.id());
    progress_modal_ = true;
    update_ui();
}

void Ui::update_progress(int i, int n, std::string_view text) {
    if (!visible_) return;
    if (n > 0) {
        long w = std::lrint(426.0 * i / n);  // halves to even, as the score and its bars round
        (*this)("DlgBar").css("width", std::to_string(w) + "px");
    }
    (*this)("DlgStep").set_text(std::string(text));
    (*this)("DlgBody").set_text(std::to_string(i) + " of " + std::to_string(n));
    update_ui();
}

void Ui::hide_progress() {
    if (auto* layer = find("DialogLayer")) layer->set_visible(false);
    if (progress_modal_) tree().set_modal_root(progress_before_);
    progress_modal_ = false;
}

void Ui::show_toast(std::string_view text) {
    if (!visible_) {
        if (on_hidden_toast) on_hidden_toast(text);
        return;
    }
    (*this)("ToastText").set_text(std::string(text));
    (*this)("ToastHost").fade(0, 1, 150);
    loop_.stop_timer(toast_timer_);
    loop_.start_timer(toast_timer_);
}

void Ui::set_restart_pending() {
    restart_pending_ = true;
    if (auto* pill = find("RestartPill")) pill->set_visible(true);
}

void Ui::update_ui() { loop_.process_pending(); }

void Ui::set_busy(bool busy) {
    if (auto* w = find("Main")) w->set("cursor", busy ? Json("wait") : Json(nullptr));
}

}  // namespace vexlo::ui
