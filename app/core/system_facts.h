#pragma once
// Facts about this PC read once at start; queries fail quietly into defaults.
#include <cstdint>
#include <string>

#include "platform/system_info.h"

namespace vexlo {

struct SystemFacts {
    uint32_t build = 0;
    uint64_t ram_kb = 0;
    int ram_gb = 0;  // rounded to whole gigabytes
    int hz = 60;
    bool is_laptop = false;

    static SystemFacts read(platform::SystemInfo& info);
};

}  // namespace vexlo
