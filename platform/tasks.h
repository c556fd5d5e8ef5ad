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

// A task that starts a program elevated, without a prompt, when the user signs in: trigger at
// log-on of `user`, principal `user` with run level Highest and logon type Interactive, no
// execution time limit, allowed to start and to keep running on batteries, priority 5 (normal).
struct LogonTask {
    std::string name;       // in the root folder
    std::string program;    // full path
    std::string arguments;  // "--tray"
    std::string user;       // "DOMAIN\\name"
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
    // Registers the task in the root folder, replacing any task of that name. Throws
    // PlatformError.
    virtual void register_logon_task(const LogonTask& task) = 0;
    // The root-folder task of that name as registered by register_logon_task (its first
    // action's program and arguments, its principal's user); nullopt when missing or when it
    // is not such a task.
    virtual std::optional<LogonTask> logon_task(std::string_view name) = 0;
    // Removes the root-folder task of that name; a missing task is not an error. Throws
    // PlatformError when it exists and could not be removed.
    virtual void delete_task(std::string_view name) = 0;
};

}  // namespace vexlo::platform
