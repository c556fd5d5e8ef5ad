#pragma once
// The C++ functions that catalog entries name: availability tests (avail = "name") and the
// operations of custom tweaks (ops = "name").
#include <functional>
#include <optional>
#include <map>
#include <string>
#include <vector>

#include "app/tweaks/kind.h"

namespace vexlo {

struct CustomOps {
    std::function<bool()> check;
    std::function<void()> apply;
    std::function<void()> revert;
    // What apply (true) or revert (false) would write, read now; writes nothing.
    std::function<std::vector<PlannedChange>(bool apply)> describe;
    // True while the operations hold a backup record of their own (written before apply
    // changes anything, dropped once revert has put everything back). Empty for operations
    // that keep none: the engine marks those itself.
    std::function<bool()> recorded;
    // Why a record stored under the tweak's id cannot be one these operations wrote, or nullopt;
    // empty for operations whose record needs no check beyond their own reading of it.
    std::function<std::optional<std::string>(const Json& rec)> record_problem;
};

struct Operations {
    std::map<std::string, std::function<bool()>, std::less<>> predicates;
    std::map<std::string, CustomOps, std::less<>> customs;
};

}  // namespace vexlo
