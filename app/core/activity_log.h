#pragma once
// vexlo.log: one line per entry, "[yyyy-MM-dd HH:mm:ss] message", CR LF, appended, never
// truncated. Writes never fail loudly.
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/files.h"

namespace vexlo {

// How a reported line reads: plain information, a success, or a failure.
enum class LogKind { Info, Ok, Err };

class ActivityLog {
public:
    ActivityLog(platform::FileSystem& files, platform::Clock& clock, std::string path)
        : files_(files), clock_(clock), path_(std::move(path)) {}
    void append(std::string_view message);
    // While muted, lines are dropped: a run that only looks at the PC leaves no trace.
    void mute(bool on) { muted_ = on; }
    std::string stamp();  // "[2026-12-10 14:03:59] "

private:
    platform::FileSystem& files_;
    platform::Clock& clock_;
    std::string path_;
    bool muted_ = false;
};

}  // namespace vexlo
