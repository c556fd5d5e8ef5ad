#include "app/core/activity_log.h"

#include <cstdio>

namespace vexlo {

std::string ActivityLog::stamp() {
    auto t = clock_.local_now();
    char buf[32];
    std::snprintf(buf, sizeof buf, "[%04d-%02d-%02d %02d:%02d:%02d] ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

void ActivityLog::append(std::string_view message) {
    if (muted_) return;
    std::string line = stamp();
    line += message;
    line += "\r\n";
    try {
        files_.append(path_, line);
    } catch (const std::exception&) {
        // The log is where failures are reported: one that cannot be written has nowhere left
        // to say so, and must not undo the action it was recording.
    }
}

}  // namespace vexlo
