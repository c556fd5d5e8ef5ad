#pragma once
// Failures the simulated PC can be told to produce, so that the application's error paths can
// be exercised: a refused registry write, a refused file write, a file held open by another
// program, a full disk, a service that will not stop, a task the user may not change, a power
// plan that cannot be written. A change that fails this way changes nothing.
// The plan belongs to one SimMachine object; other objects opened on the folder fail nothing.
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace vexlo::sim {

class Faults {
public:
    // The nth registry write from now fails with "access denied" (counting from 1), the ones
    // after it succeed again. Writes are set and create_key, and remove of a value that exists
    // (removing a missing value writes nothing). A new call replaces an armed one; nth < 1
    // disarms.
    void fail_registry_write(int nth);
    // The same for file write, append and replace.
    void fail_file_write(int nth);
    // Until unlocked, reads of the file give nullopt and writes, replace and remove throw,
    // as when another program holds it open. Throws PlatformError for an invalid path.
    void lock_file(std::string_view windows_path);
    void unlock_file(std::string_view windows_path);
    // While set, every file write and append throws.
    void set_disk_full(bool full);
    // Until cleared, stopping the service (by name, any case) throws "Access is denied.",
    // also when it would be stopped as a dependent of another.
    void refuse_service_stop(std::string_view name);
    // Until cleared, enabling or disabling the task throws "Access is denied."; `path` is its
    // folder and name, "\\Microsoft\\Windows\\Maps\\MapsUpdateTask" (any case).
    void deny_task(std::string_view path);
    // While set, power plan changes fail: set_ac_index and set_hibernation throw,
    // duplicate_plan gives nullopt, rename_plan and set_active give false.
    void fail_power_write(bool fail);
    void clear();

    // Used by the back end. Each throws PlatformError when the operation is to fail; `what`
    // names the target in the message.
    void before_registry_write(std::string_view what);
    void before_file_write(std::string_view what, bool needs_space);
    // `key` as made by file_key() (sim_files.h).
    void check_not_locked(const std::string& key, std::string_view what) const;
    bool is_locked(const std::string& key) const;
    void check_service_stop(std::string_view name) const;
    void check_task_change(std::string_view path) const;
    bool power_write_fails() const;

private:
    mutable std::mutex mu_;
    int registry_countdown_ = 0;
    int file_countdown_ = 0;
    bool disk_full_ = false;
    std::unordered_set<std::string> locked_;
    std::unordered_set<std::string> refused_services_;  // lower case
    std::unordered_set<std::string> denied_tasks_;      // lower case
    bool power_write_fails_ = false;
};

}  // namespace vexlo::sim
