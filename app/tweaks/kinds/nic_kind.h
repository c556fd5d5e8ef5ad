#pragma once
// Kind nic: advanced properties of the physical network adapters, set without restarting the
// adapters (a bulk change restarts them afterwards when nic_dirty is set).
#include <optional>
#include <regex>
#include <string>

#include "app/tweaks/kind.h"

namespace vexlo {

// Which adapter properties a tweak aims at and the value it wants there.
struct NicData {
    std::string kw;                  // registry keyword (may be empty)
    std::string rx;                  // pattern on the display name (may be empty)
    std::string target;              // "MAX" or a pattern on the valid display values
    std::optional<std::regex> rx_re, target_re;
};

struct NicKindData final : KindData, NicData {};

const KindHandler& nic_handler();

}  // namespace vexlo
