#pragma once
// Tests, applies, reverts and previews tweaks through the handler of their kind. Every change
// backs up the prior values under the tweak's id first (the first backup wins); a revert puts
// exactly those back and drops the record, falling back to the catalog's values only when there
// is none.
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/core/backup_store.h"
#include "app/core/device_power.h"
#include "app/core/ini_file.h"
#include "app/tweaks/nic_cache.h"
#include "app/core/reg.h"
#include "app/tweaks/kind.h"
#include "app/tweaks/kinds/task_kind.h"
#include "app/tweaks/tweak.h"
#include "platform/platform.h"

namespace vexlo {

class Engine {
public:
    Engine(Reg& reg, BackupStore& store, platform::Platform& pf, IniFile& ini);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // True when the tweak is in effect. Raises what its queries raise.
    bool test_kind(Tweak& t);
    // Sets available and reason. Never raises.
    void test_available(Tweak& t);
    // Raise on failure with a message fit for the activity log.
    void apply_kind(Tweak& t);
    void revert_kind(Tweak& t);
    // What apply_kind (apply true) or revert_kind would change, read now, each value that would
    // really change once; empty when nothing would. Changes nothing. Raises what its reads raise.
    std::vector<PlannedChange> describe(const Tweak& t, bool apply);

    // Availability and state of every tweak in catalog order, with one listing of the scheduled
    // tasks for the whole pass; `progress(i, n)` after each.
    void full_state_pass(Catalog& cat, const std::function<void(size_t, size_t)>& progress = {});
    // State alone, after a single change: false when the test raises. Also `recorded`.
    void sync_state(Tweak& t);
    // Whether this product holds the originals of a change of the tweak.
    bool recorded(const Tweak& t);
    // The ids whose stored record is not of their tweak's kind's shape, with the reason.
    std::vector<std::pair<std::string, std::string>> misshapen_records(const Catalog& cat) const;
    // Where handlers report what a change skipped (one activity-log line each).
    void set_warn(std::function<void(const std::string&)> warn) { ctx_.warn = std::move(warn); }

    NicCache& nic_cache() { return nic_; }
    DevicePowerCache& device_power() { return dev_; }
    // Re-reads the adapter properties and the device power entries.
    void refresh_caches();
    // An adapter property changed since the adapters were last restarted.
    bool nic_dirty = false;

private:
    NicCache nic_;
    DevicePowerCache dev_;
    std::unordered_map<std::string, std::string> task_cache_;  // filled during a full pass only
    KindContext ctx_;
};

}  // namespace vexlo
