#pragma once
// The catalog record of one tweak and the catalog itself.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/core/backup_store.h"

namespace vexlo::ui {
class Element;
}

namespace vexlo {

enum class Kind { Reg, Svc, Task, Pwr, Nic, DevPwr, Ini, Startup, Custom };

std::string_view kind_name(Kind k);
// Null when the name is not one of the nine kinds.
const Kind* parse_kind(std::string_view name);

struct Tweak {
    std::string id, page, group, title, desc;
    std::string impact = "Low";  // "High", "Med" or "Low"
    bool adv = false, restart = false, no_laptop = false, manual = false;
    Kind kind = Kind::Reg;
    std::vector<RegE> reg;  // kind reg

    // Custom operations (kind custom) and the optional availability predicate (any kind).
    std::function<bool()> check;
    std::function<void()> apply;
    std::function<void()> revert;
    std::function<bool()> avail;
    std::string why;

    // Run-time state, written by the engine's tests.
    bool available = true;
    std::string reason;
    bool state = false;
    // The switches on screen that show this tweak.
    std::vector<ui::Element*> toggles;
};

struct Catalog {
    std::vector<std::unique_ptr<Tweak>> tweaks;  // catalog order
    std::unordered_map<std::string, Tweak*> map;

    Tweak* find(std::string_view id) const {
        auto it = map.find(std::string(id));
        return it == map.end() ? nullptr : it->second;
    }
};

}  // namespace vexlo
