#include "app/core/system_facts.h"

#include <cmath>

namespace vexlo {

SystemFacts SystemFacts::read(platform::SystemInfo& info) {
    SystemFacts f;
    f.build = info.windows_build();
    uint64_t bytes = info.total_memory_bytes();
    f.ram_kb = bytes / 1024;
    // Halves round to the even neighbour, as the invariant rounding elsewhere in the product does.
    f.ram_gb = int(std::nearbyint(double(bytes) / (1024.0 * 1024.0 * 1024.0)));
    int hz = info.refresh_hz();
    f.hz = hz > 0 ? hz : 60;
    f.is_laptop = info.has_battery();
    return f;
}

}  // namespace vexlo
