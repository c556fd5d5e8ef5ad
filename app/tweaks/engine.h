#pragma once
// Tests, applies and reverts tweaks by their kind. Every change backs up the prior values
// under the tweak's id first (the first backup wins); a revert puts exactly those back and
// drops the record, falling back to the catalog's values only when there is none.
#include <functional>

#include "app/core/backup_store.h"
#include "app/core/reg.h"
#include "app/tweaks/tweak.h"

namespace vexlo {

class Engine {
public:
    Engine(Reg& reg, BackupStore& store) : reg_(reg), store_(store) {}

    // True when the tweak is in effect. Raises what its queries raise.
    bool test_kind(Tweak& t);
    // Sets available and reason. Never raises.
    void test_available(Tweak& t);
    // Raise on failure with a message fit for the activity log.
    void apply_kind(Tweak& t);
    void revert_kind(Tweak& t);

    // Availability and state of every tweak in catalog order; `progress(i, n)` after each.
    void full_state_pass(Catalog& cat, const std::function<void(size_t, size_t)>& progress = {});
    // State alone, after a single change: false when the test raises.
    void sync_state(Tweak& t);

private:
    Reg& reg_;
    BackupStore& store_;
};

}  // namespace vexlo
