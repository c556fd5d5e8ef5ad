#pragma once
// Kind ini: keys of the game's settings file.
#include <optional>
#include <string>
#include <vector>

#include "app/tweaks/kind.h"

namespace vexlo {

// One key of the game's settings file that a tweak writes.
struct IniE {
    std::string s;                 // section, without brackets
    std::string k;                 // key
    std::string v;                 // text written on apply
    std::optional<std::string> o;  // text written on revert without a backup; none leaves the key
};

struct IniData final : KindData {
    IniData() = default;
    explicit IniData(std::vector<IniE> e) : entries(std::move(e)) {}
    std::vector<IniE> entries;
};

const KindHandler& ini_handler();

}  // namespace vexlo
