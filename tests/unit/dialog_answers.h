#pragma once
// Tests answer the window's dialogs as a person would: each dialog that opens takes the next
// label of `answers` (Escape when none is left or the label is not one of its buttons).
#include <functional>
#include <string>
#include <vector>

#include "app/ui/ui.h"

namespace vexlo::testkit {

// `seen` is called with the dialog as it opened, before it is answered.
inline void answer_dialogs(ui::Ui& window, std::vector<std::string>& answers,
                           std::function<void(ui::Ui&)> seen = {}) {
    window.on_dialog_shown = [&answers, seen = std::move(seen)](ui::Ui& u) {
        if (seen) seen(u);
        std::string label = answers.empty() ? "" : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        for (ui::Element* b : u("DlgButtons").children())
            if (b->tag == label) {
                b->tree().dispatch(b->id(), "click", nullptr);
                return;
            }
        u.end_dialog();  // Escape
    };
}

}  // namespace vexlo::testkit
