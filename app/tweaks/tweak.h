#pragma once
// The catalog record of one tweak and the catalog itself.
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "app/tweaks/kind.h"
// The adapter cache (app/tweaks/nic_cache.h) reads NicData through this header.
#include "app/tweaks/kinds/nic_kind.h"


namespace vexlo {

struct Tweak {
    std::string id, page, group, title, desc;
    std::string impact = "Low";  // "High", "Med" or "Low"
    bool adv = false, restart = false, no_laptop = false, manual = false;
    Kind kind = Kind::Reg;
    // What the kind operates on: the payload type of kind `kind` (RegData, SvcData, ...).
    std::unique_ptr<KindData> data;

    // The optional availability predicate (any kind), and the reason shown when it says no.
    std::function<bool()> avail;
    std::string why;

    // Run-time state, written by the engine's tests.
    bool available = true;
    std::string reason;
    bool state = false;
    // This product holds the originals of a change of it (see KindHandler::recorded): a revert
    // has something to put back even when it reads as off.
    bool recorded = false;

    // The payload as its kind's type; std::logic_error when the tweak holds another (or none).
    template <class T>
    const T& data_as() const {
        if (!data || typeid(*data) != typeid(T))
            throw std::logic_error("tweak '" + id + "' does not hold the data of this kind");
        return static_cast<const T&>(*data);
    }
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
