#pragma once
// Named mutexes and events shared by every process that opens the same machine folder, made of
// files in <machine>/objects/.
//
// Mutex: a lock file held with flock(LOCK_EX | LOCK_NB) by the handle. The lock goes with the
// handle or the process, so a crashed holder never leaves it taken. A handle that found the
// mutex held by another process (or another handle of this one) is returned with
// created_new = false and holds nothing. (Windows would also say "already existed" while only
// such non-owning handles are open; here a later opener then gets created_new = true.)
//
// Event: auto-reset, not signalled when made. signal() creates a marker file (signals do not
// add up); poll() unlinks it, which succeeds for exactly one poller. Every handle holds a
// shared flock on a second file; when no handle is open the event is gone as on Windows, so
// the next first opener clears a signal that nobody consumed.
//
// Names are case-sensitive as on Windows; "Local\\VexloTweaksApp" becomes the file name
// "Local%5CVexloTweaksApp" (bytes other than letters, digits, '-', '_' and '.' are escaped).
#include <filesystem>

#include "platform/instance.h"

namespace vexlo::sim {

class SimNamedObjects final : public platform::NamedObjects {
public:
    explicit SimNamedObjects(std::filesystem::path folder);

    // An empty name, or a folder that cannot be made, gives a null handle.
    platform::MutexResult create_mutex(std::string_view name) override;
    std::unique_ptr<platform::NamedEvent> open_event(std::string_view name) override;

private:
    std::filesystem::path folder_;
};

}  // namespace vexlo::sim
