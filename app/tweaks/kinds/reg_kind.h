#pragma once
// Kind reg: one or more registry values, each backed up before the first write.
#include <vector>

#include "app/tweaks/kind.h"
#include "app/tweaks/kinds/reg_backup.h"

namespace vexlo {

struct RegData final : KindData {
    RegData() = default;
    explicit RegData(std::vector<RegE> e) : entries(std::move(e)) {}
    std::vector<RegE> entries;
};

const KindHandler& reg_handler();

}  // namespace vexlo
