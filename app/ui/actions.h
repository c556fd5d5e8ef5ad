#pragma once
// One-click tools: each is an action record with a button on a card. Pages list their actions in
// a "Tools" group, the search finds them, and the card shows the action's last result.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/ui/element.h"
#include "app/ui/ui.h"

namespace vexlo::ui {

struct Action {
    std::string id;      // "a_restore"
    std::string page;    // where its card is shown
    std::string button;  // the button's caption
    std::string title, desc;
    // The work. Returns the result text for the card, or nothing (empty). Raises on failure.
    std::function<std::string()> run;
    // The element id of the result line of the card made last for this action; 0 before any
    // card. An id, not a pointer: lists that are rebuilt (search results) remove their cards.
    int result_id = 0;
};

class ActionMap {
public:
    // Adds an action at the end of the table (the order pages and the search list them in).
    void add(Action a);
    Action* find(const std::string& id);
    const std::vector<std::string>& order() const { return order_; }
    std::vector<Action*> of_page(const std::string& page);
    std::vector<Action*> all();

private:
    std::map<std::string, Action> by_id_;
    std::vector<std::string> order_;
};

// The action's card: title, description, a primary button tagged with its id; the action's
// result line becomes this card's.
Element& new_action_card(Element& parent, Action& a, const std::function<void(Element&)>& on_action);

// A click on an action button: disabled with the wait cursor while it runs, "<title>..." in
// the log, the result on the card and in a toast, "Failed: <title> - <message>" on error.
void run_action(Ui& ui, ActionMap& actions, Element& button);

}  // namespace vexlo::ui
