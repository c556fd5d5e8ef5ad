#pragma once
// Kind task: a scheduled task, disabled on apply and enabled again on revert unless it was
// disabled before.
#include <string>
#include <unordered_map>
#include <utility>

#include "app/tweaks/kind.h"

namespace vexlo {

namespace platform {
class TaskScheduler;
}

struct TaskData final : KindData {
    TaskData() = default;
    explicit TaskData(std::string p) : path(std::move(p)) {}
    std::string path;  // full path, "\Microsoft\Windows\Maps\MapsUpdateTask"
};

const KindHandler& task_handler();

// Splits "\\Folder\\Sub\\Name" into "\\Folder\\Sub\\" and "Name".
std::pair<std::string, std::string> split_task_path(const std::string& path);

// Every task's state from one listing, keyed by its full path in lower case: what a full state
// pass reads instead of one query per task. Raises what the listing raises.
std::unordered_map<std::string, std::string> list_task_states(platform::TaskScheduler& tasks);

}  // namespace vexlo
