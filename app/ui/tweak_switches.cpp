#include "app/ui/tweak_switches.h"

namespace vexlo::ui {

void TweakSwitches::remove(Element& sw) {
    auto it = by_id_.find(sw.tag);
    if (it == by_id_.end()) return;
    std::erase(it->second, &sw);
    if (it->second.empty()) by_id_.erase(it);
}

void TweakSwitches::show(const Tweak& t) const {
    auto it = by_id_.find(t.id);
    if (it == by_id_.end()) return;
    for (Element* sw : it->second) {
        sw->set_checked(t.state);
        sw->set_enabled(t.available);
    }
}

const std::vector<Element*>& TweakSwitches::of(std::string_view id) const {
    static const std::vector<Element*> none;
    auto it = by_id_.find(std::string(id));
    return it == by_id_.end() ? none : it->second;
}

}  // namespace vexlo::ui
