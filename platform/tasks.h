#pragma once
// The Task Scheduler.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

struct ScheduledTask {
    std::string folder;  // folder path ending with a backslash: "\Microsoft\Windows\Maps\"
    std::string name;    // "MapsUpdateTask"
    std::string state;   // "Ready", "Running", "Disabled", "Queued" or "Unknown"
};

class TaskScheduler {
public:
    virtual ~TaskScheduler() = default;
    // Every task of every folder in one listing; empty on failure.
    virtual std::vector<ScheduledTask> list() = 0;
    // One task by folder and name (compared without regard to case); nullopt when missing.
    virtual std::optional<ScheduledTask> find(std::string_view folder, std::string_view name) = 0;
    // Throws PlatformError when the task is missing or access is denied.
    virtual void set_enabled(std::string_view folder, std::string_view name, bool enabled) = 0;
};

}  // namespace vexlo::platform
