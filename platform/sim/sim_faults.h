#pragma once
// Failures the simulated PC can be told to produce, so that the application's error paths can
// be exercised: a refused registry write, a refused file write, a file held open by another
// program, a full disk, a service that will not stop, a task the user may not change, a power
// plan that cannot be written. A change that fails this way changes nothing. And a process
// killed at any write, so that a test can look at what a kill leaves behind.
// The plan belongs to one SimMachine object; other objects opened on the folder fail nothing.
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace vexlo::sim {

// A write the simulated PC is about to make. Every change of the machine folder passes here
// first: registry set, create_key, remove and remove_tree; file write, append, copy, replace, remove,
// set_read_only and create_directories; and every change of the rest of Windows (services,
// tasks, power plans, adapters, devices, boot entry, memory agent, Defender, System Restore; a start
// type set through the service manager is one write, its Start value included). Writes that
// change nothing (creating a folder or key that exists, removing what is missing) do not.
struct PendingWrite {
    PendingWrite(std::string_view op, std::string_view target, const std::filesystem::path* file = nullptr,
                 std::string_view bytes = {}, bool append = false)
        : op(op), target(target), file(file), bytes(bytes), append(append) {}
    std::string_view op;      // "registry set", "file append", "power plans"...
    std::string_view target;  // what it changes: a value's path, a file's Windows path, a line of the new state
    // A file write or append of the drives, which a kill can tear: the host file and the bytes
    // it gets (appended when `append`). Null for every other write.
    const std::filesystem::path* file = nullptr;
    std::string_view bytes;
    bool append = false;
};

class Faults {
public:
    // The nth registry write from now fails with "access denied" (counting from 1), the ones
    // after it succeed again. Writes are set and create_key, and remove of a value (or
    // remove_tree of a key) that exists (removing what is missing writes nothing). A new call replaces an armed one; nth < 1
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
    // Until cleared, the service manager refuses to change the service's start type (by name,
    // any case) with "Access is denied.", as it does for some services even to administrators.
    void refuse_service_change(std::string_view name);
    // Until cleared, enabling or disabling the task throws "Access is denied."; `path` is its
    // folder and name, "\\Microsoft\\Windows\\Maps\\MapsUpdateTask" (any case).
    void deny_task(std::string_view path);
    // While set, registering a task fails with "Access is denied." (as under a policy that
    // forbids new tasks).
    void fail_task_register(bool fail);
    // While set, power plan changes fail: set_ac_index and set_hibernation throw,
    // duplicate_plan gives nullopt, rename_plan and set_active give false.
    void fail_power_write(bool fail);
    // While set, turning System Protection on throws (as in safe mode, or with the service
    // disabled by policy), and creating a restore point throws (as when the shadow copy fails).
    void fail_restore_enable(bool fail);
    void fail_restore_point(bool fail);
    // While set, creating a QoS policy throws (as when the policy store is locked by Group
    // Policy), changing an interface's DNS servers throws, and SPI_SETMOUSE returns false.
    void fail_qos_policy(bool fail);
    void fail_dns_change(bool fail);
    void fail_mouse_set(bool fail);
    void clear();

    // Called just before each write (see PendingWrite) of this machine object, from the thread
    // that writes, while the part written to holds its locks: the hook must not use this
    // machine. An empty function removes it. clear() leaves it.
    void on_write(std::function<void(const PendingWrite&)> hook);
    // The process ends at once with _exit(137) just before its nth write from now (counting
    // from 1), as a kill would end it: no destructor, no flush, no further write. nth < 1
    // disarms. clear() leaves it.
    void exit_at_write(int nth);

    // Used by the back end. Each throws PlatformError when the operation is to fail; `what`
    // names the target in the message.
    void before_registry_write(std::string_view what);
    void before_file_write(std::string_view what, bool needs_space);
    // `key` as made by file_key() (sim_files.h).
    void check_not_locked(const std::string& key, std::string_view what) const;
    bool is_locked(const std::string& key) const;
    void check_service_stop(std::string_view name) const;
    void check_service_change(std::string_view name) const;
    void check_task_change(std::string_view path) const;
    void check_task_register(std::string_view path) const;
    bool power_write_fails() const;
    bool restore_enable_fails() const;
    bool restore_point_fails() const;
    bool qos_policy_fails() const;
    bool dns_change_fails() const;
    bool mouse_set_fails() const;
    // After the failure checks: the write will be made. Cheap when nothing watches.
    void before_write(const PendingWrite& w);
    // Whether before_write does anything, for callers whose description costs work.
    bool watching_writes() const;

private:
    mutable std::mutex mu_;
    int registry_countdown_ = 0;
    int file_countdown_ = 0;
    bool disk_full_ = false;
    std::unordered_set<std::string> locked_;
    std::unordered_set<std::string> refused_services_;  // lower case
    std::unordered_set<std::string> unchangeable_services_;  // lower case
    std::unordered_set<std::string> denied_tasks_;      // lower case
    bool task_register_fails_ = false;
    bool power_write_fails_ = false;
    bool restore_enable_fails_ = false;
    bool restore_point_fails_ = false;
    bool qos_policy_fails_ = false;
    bool dns_change_fails_ = false;
    bool mouse_set_fails_ = false;
    std::function<void(const PendingWrite&)> write_hook_;
    int exit_countdown_ = 0;
};

}  // namespace vexlo::sim
