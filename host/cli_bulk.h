#pragma once
// The command line's bulk changes: a page's buttons, the profiles and the score, through the
// same change service and sets as the window.
#include <string>

#include "app/app.h"

namespace vexlo::cli {

// Exit codes shared with apply and revert.
inline constexpr int kExitFailed = 1;        // a tweak failed, was refused or is unavailable
inline constexpr int kExitUsage = 2;         // a bad name; nothing was changed
inline constexpr int kExitNeedsConfirm = 3;  // the change needs --yes

struct BulkOptions {
    bool dry_run = false;
    bool yes = false;
    bool restore_point = false;
    bool skip_trade_offs = false;
};

// Loads stores, facts and catalog and runs the state pass, as start-up does, without a window.
void load_headless(App& app);

// `profile NAME`: the profile's members that are off, applied (with --yes).
int profile(App& app, platform::Platform& pc, const std::string& name, const BulkOptions& o);
// `apply --page PAGE [--all]`: "Apply recommended", or "Apply everything" with --all.
int apply_page(App& app, platform::Platform& pc, const std::string& page, bool everything, const BulkOptions& o);
// `revert --page PAGE`: "Revert page".
int revert_page(App& app, platform::Platform& pc, const std::string& page, const BulkOptions& o);
// `score`: the readiness score, the counters and the biggest wins left.
int score(App& app, bool as_json);

// Holds the single-instance mutex for a change made from the command line, so that the window
// cannot start half-way; null (and said) when the product is running: it holds the store in
// memory, and changing it behind its back would lose backups.
std::unique_ptr<platform::NamedMutex> hold_instance(platform::Platform& pc);

}  // namespace vexlo::cli
