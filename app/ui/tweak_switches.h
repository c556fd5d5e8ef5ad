#pragma once
// Which switches on screen show which tweak. The window keeps this map itself, so the catalog
// knows nothing of the view; the switches follow the change service's announcements.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/tweaks/tweak.h"
#include "app/ui/element.h"

namespace vexlo::ui {

class TweakSwitches {
public:
    void add(const std::string& id, Element& sw) { by_id_[id].push_back(&sw); }
    // Forgets a switch that is about to leave the tree.
    void remove(Element& sw);
    // Every switch of the tweak shows its state and availability.
    void show(const Tweak& t) const;
    const std::vector<Element*>& of(std::string_view id) const;

private:
    std::unordered_map<std::string, std::vector<Element*>> by_id_;
};

}  // namespace vexlo::ui
