#include "app/core/system_facts.h"

#include <cmath>

#include "app/core/game.h"
#include "app/core/text.h"

namespace vexlo {

int whole_gib(uint64_t bytes) {
    // Halves round to the even neighbour (the default rounding mode).
    return int(std::nearbyint(double(bytes) / (1024.0 * 1024.0 * 1024.0)));
}

SystemFacts SystemFacts::read(platform::SystemInfo& info, Reg& reg, platform::FileSystem& files) {
    SystemFacts f;
    Json build = reg.get("HKLM:\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuildNumber");
    if (auto n = parse_int64(value_text(build)); n && *n > 0 && *n < INT32_MAX) f.build = uint32_t(*n);
    uint64_t bytes = info.total_memory_bytes();
    f.ram_kb = uint64_t(std::nearbyint(double(bytes) / 1024.0));
    f.ram_gb = whole_gib(bytes);
    int hz = info.refresh_hz();
    f.hz = hz > 30 ? hz : 60;
    f.is_laptop = info.has_battery();
    try {
        f.fortnite_exe = find_fortnite_exe(files);
    } catch (...) {
        // Where the game is only narrows what the game tweaks touch: a launcher list or folder
        // that cannot be read means "not found", as on a PC without the game.
    }
    return f;
}

}  // namespace vexlo
