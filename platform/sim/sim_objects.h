#pragma once
// Named mutexes and events shared by every process that opens the same machine folder, made of
// files in <machine>/objects/.
//
// Mutex: a lock file that every handle holds a shared flock on; the locks go with the handle
// or the process, so a crashed holder never leaves it taken. As on Windows, the mutex exists
// while any handle to it is open: a handle made while another one is open (in any process,
// owning or not) gets created_new = false; the one made first owns it. Makers take turns on
// another file, "<name>.mutex-create", so that none sees another half-way through.
//
// Event: auto-reset, not signalled when made. signal() creates a marker file (signals do not
// add up); poll() unlinks it, which succeeds for exactly one poller. Every handle holds a
// shared flock on a second file; when no handle is open the event is gone as on Windows, so
// the next first opener clears a signal that nobody consumed.
//
// Names are case-sensitive as on Windows; "Local\\VexloTweaksApp" becomes the file name
// "Local%5CVexloTweaksApp" (bytes other than letters, digits, '-', '_' and '.' are escaped).
#include <filesystem>
#include <string>

#include "platform/instance.h"

namespace vexlo::sim {

class SimNamedObjects final : public platform::NamedObjects {
public:
    explicit SimNamedObjects(std::filesystem::path folder);

    // An empty name, or a folder that cannot be made, gives a null handle.
    platform::MutexResult create_mutex(std::string_view name) override;
    std::unique_ptr<platform::NamedEvent> open_event(std::string_view name) override;

private:
    // The part of create_mutex done while holding the mutex's turn lock.
    platform::MutexResult make_mutex(const std::string& base);

    std::filesystem::path folder_;
};

}  // namespace vexlo::sim
