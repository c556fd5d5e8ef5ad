#pragma once
// Facts about this PC read once at start; queries fail quietly into defaults.
#include <cstdint>
#include <optional>
#include <string>

#include "app/core/reg.h"
#include "platform/files.h"
#include "platform/system_info.h"

namespace vexlo {

struct SystemFacts {
    uint32_t build = 0;
    uint64_t ram_kb = 0;
    int ram_gb = 0;  // rounded to whole gigabytes, halves to even
    int hz = 60;
    bool is_laptop = false;
    std::optional<std::string> fortnite_exe;

    static SystemFacts read(platform::SystemInfo& info, Reg& reg, platform::FileSystem& files);
};

// Installed memory in whole gibibytes, halves to even; 0 when the size is unknown (0 bytes).
int whole_gib(uint64_t bytes);

}  // namespace vexlo
