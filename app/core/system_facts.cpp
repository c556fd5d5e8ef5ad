#include "app/core/system_facts.h"

#include <cmath>

namespace vexlo {

SystemFacts SystemFacts::read(platform::SystemInfo& info) {
    SystemFacts f;
    f.build = info.windows_build();
    uint64_t bytes = info.total_memory_bytes();
    f.ram_kb = bytes / 1024;
    f.ram_gb = int(std::llround(double(bytes) / (1024.0 * 1024.0 * 1024.0)));
    int hz = info.refresh_hz();
    f.hz = hz > 0 ? hz : 60;
    f.is_laptop = info.has_battery();
    return f;
}

}  // namespace vexlo
