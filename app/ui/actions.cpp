#include "app/ui/actions.h"

#include "app/ui/cards.h"

namespace vexlo::ui {

void ActionMap::add(Action a) {
    std::string id = a.id;
    if (!by_id_.contains(id)) order_.push_back(id);
    a.result_id = 0;
    by_id_[id] = std::move(a);
}

Action* ActionMap::find(const std::string& id) {
    auto it = by_id_.find(id);
    return it == by_id_.end() ? nullptr : &it->second;
}

std::vector<Action*> ActionMap::of_page(const std::string& page) {
    std::vector<Action*> out;
    for (auto& id : order_)
        if (Action& a = by_id_[id]; a.page == page) out.push_back(&a);
    return out;
}

std::vector<Action*> ActionMap::all() {
    std::vector<Action*> out;
    for (auto& id : order_) out.push_back(&by_id_[id]);
    return out;
}

Element& new_action_card(Element& parent, Action& a, const std::function<void(Element&)>& on_action) {
    RowShell shell = new_row_shell(
        parent, a.title, a.desc, {},
        [&](Element& right) {
            Element& b = right.add("button", "", "Btn BtnPrimary");
            b.set_text(a.button);
            b.css("min-width", "92px");
            b.tag = a.id;
            b.on("click", [on_action](Element& e, const Json&) { on_action(e); });
        },
        "#5A4214");
    a.result_id = shell.result->id();
    return *shell.card;
}

void run_action(Ui& ui, ActionMap& actions, Element& button) {
    Action* a = actions.find(button.tag);
    if (!a || !button.enabled()) return;
    // The button may leave the tree while the action runs (search results replaced during a
    // dialog): it is found again by its id afterwards.
    const int button_id = button.id();
    Tree& tree = button.tree();
    button.set_enabled(false);
    ui.set_busy(true);
    ui.log(a->title + "...", LogKind::Info);
    ui.update_ui();
    try {
        std::string text = a->run ? a->run() : std::string();
        if (!text.empty()) {
            if (Element* line = tree.by_id(a->result_id)) {
                line->set_text(text);
                line->css("color", "#FBBE24");
                line->set_visible(true);
            }
            ui.show_toast(a->title + ": " + text);
        }
    } catch (const std::exception& e) {
        ui.log("Failed: " + a->title + " - " + e.what(), LogKind::Err);
    }
    ui.set_busy(false);
    if (Element* b = tree.by_id(button_id)) b->set_enabled(true);
}

}  // namespace vexlo::ui
