#include "platform/sim/sim_faults.h"

#include <unistd.h>

#include "platform/error.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

void Faults::fail_registry_write(int nth) {
    std::lock_guard lk(mu_);
    registry_countdown_ = nth < 1 ? 0 : nth;
}

void Faults::fail_file_write(int nth) {
    std::lock_guard lk(mu_);
    file_countdown_ = nth < 1 ? 0 : nth;
}

void Faults::lock_file(std::string_view windows_path) {
    std::string key = file_key(parse_windows_path(windows_path));
    std::lock_guard lk(mu_);
    locked_.insert(std::move(key));
}

void Faults::unlock_file(std::string_view windows_path) {
    std::string key = file_key(parse_windows_path(windows_path));
    std::lock_guard lk(mu_);
    locked_.erase(key);
}

void Faults::set_disk_full(bool full) {
    std::lock_guard lk(mu_);
    disk_full_ = full;
}

void Faults::refuse_service_stop(std::string_view name) {
    std::lock_guard lk(mu_);
    refused_services_.insert(to_lower(name));
}

void Faults::refuse_service_change(std::string_view name) {
    std::lock_guard lk(mu_);
    unchangeable_services_.insert(to_lower(name));
}

void Faults::deny_task(std::string_view path) {
    std::lock_guard lk(mu_);
    denied_tasks_.insert(to_lower(path));
}

void Faults::fail_task_register(bool fail) {
    std::lock_guard lk(mu_);
    task_register_fails_ = fail;
}

void Faults::fail_power_write(bool fail) {
    std::lock_guard lk(mu_);
    power_write_fails_ = fail;
}

void Faults::fail_restore_enable(bool fail) {
    std::lock_guard lk(mu_);
    restore_enable_fails_ = fail;
}

void Faults::fail_restore_point(bool fail) {
    std::lock_guard lk(mu_);
    restore_point_fails_ = fail;
}

void Faults::fail_qos_policy(bool fail) {
    std::lock_guard lk(mu_);
    qos_policy_fails_ = fail;
}

void Faults::fail_dns_change(bool fail) {
    std::lock_guard lk(mu_);
    dns_change_fails_ = fail;
}

void Faults::fail_mouse_set(bool fail) {
    std::lock_guard lk(mu_);
    mouse_set_fails_ = fail;
}

void Faults::clear() {
    std::lock_guard lk(mu_);
    registry_countdown_ = file_countdown_ = 0;
    disk_full_ = false;
    locked_.clear();
    refused_services_.clear();
    unchangeable_services_.clear();
    denied_tasks_.clear();
    task_register_fails_ = false;
    power_write_fails_ = false;
    restore_enable_fails_ = restore_point_fails_ = false;
    qos_policy_fails_ = dns_change_fails_ = mouse_set_fails_ = false;
}

void Faults::on_write(std::function<void(const PendingWrite&)> hook) {
    std::lock_guard lk(mu_);
    write_hook_ = std::move(hook);
}

void Faults::exit_at_write(int nth) {
    std::lock_guard lk(mu_);
    exit_countdown_ = nth < 1 ? 0 : nth;
}

bool Faults::watching_writes() const {
    std::lock_guard lk(mu_);
    return exit_countdown_ > 0 || write_hook_;
}

void Faults::before_write(const PendingWrite& w) {
    std::function<void(const PendingWrite&)> hook;
    {
        std::lock_guard lk(mu_);
        if (exit_countdown_ > 0 && --exit_countdown_ == 0) ::_exit(137);
        hook = write_hook_;
    }
    if (hook) hook(w);
}

void Faults::check_service_stop(std::string_view name) const {
    std::lock_guard lk(mu_);
    if (refused_services_.count(to_lower(name)))
        throw platform::PlatformError("Cannot stop service " + std::string(name) + ": Access is denied.");
}

void Faults::check_service_change(std::string_view name) const {
    std::lock_guard lk(mu_);
    if (unchangeable_services_.count(to_lower(name)))
        throw platform::PlatformError("Cannot change the start type of service " + std::string(name) +
                                      ": Access is denied.");
}

void Faults::check_task_change(std::string_view path) const {
    std::lock_guard lk(mu_);
    if (denied_tasks_.count(to_lower(path)))
        throw platform::PlatformError("Cannot change the task " + std::string(path) + ": Access is denied.");
}

void Faults::check_task_register(std::string_view path) const {
    std::lock_guard lk(mu_);
    if (task_register_fails_)
        throw platform::PlatformError("Cannot register the task " + std::string(path) + ": Access is denied.");
}

bool Faults::power_write_fails() const {
    std::lock_guard lk(mu_);
    return power_write_fails_;
}

bool Faults::restore_enable_fails() const {
    std::lock_guard lk(mu_);
    return restore_enable_fails_;
}

bool Faults::restore_point_fails() const {
    std::lock_guard lk(mu_);
    return restore_point_fails_;
}

bool Faults::qos_policy_fails() const {
    std::lock_guard lk(mu_);
    return qos_policy_fails_;
}

bool Faults::dns_change_fails() const {
    std::lock_guard lk(mu_);
    return dns_change_fails_;
}

bool Faults::mouse_set_fails() const {
    std::lock_guard lk(mu_);
    return mouse_set_fails_;
}

void Faults::before_registry_write(std::string_view what) {
    std::lock_guard lk(mu_);
    if (registry_countdown_ > 0 && --registry_countdown_ == 0)
        throw platform::PlatformError("Cannot write " + std::string(what) + ": Access is denied.");
}

void Faults::before_file_write(std::string_view what, bool needs_space) {
    std::lock_guard lk(mu_);
    if (file_countdown_ > 0 && --file_countdown_ == 0)
        throw platform::PlatformError("Cannot write " + std::string(what) + ": Access is denied.");
    if (needs_space && disk_full_)
        throw platform::PlatformError("Cannot write " + std::string(what) + ": There is not enough space on the disk.");
}

void Faults::check_not_locked(const std::string& key, std::string_view what) const {
    if (is_locked(key))
        throw platform::PlatformError("Cannot use " + std::string(what) +
                                      ": The process cannot access the file because it is being used by another "
                                      "process.");
}

bool Faults::is_locked(const std::string& key) const {
    std::lock_guard lk(mu_);
    return !locked_.empty() && locked_.count(key) != 0;
}

}  // namespace vexlo::sim
