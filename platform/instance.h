#pragma once
// Named kernel objects shared between processes of the same user session.
#include <memory>
#include <string_view>

namespace vexlo::platform {

// Held for as long as the object lives.
class NamedMutex {
public:
    virtual ~NamedMutex() = default;
};

// Auto-reset event: poll() consumes one signal without waiting.
class NamedEvent {
public:
    virtual ~NamedEvent() = default;
    virtual void signal() = 0;
    virtual bool poll() = 0;
};

struct MutexResult {
    std::unique_ptr<NamedMutex> handle;  // null when the object could not be made at all
    bool created_new = false;            // false when another process already holds it
};

class NamedObjects {
public:
    virtual ~NamedObjects() = default;
    // Creates the mutex owned; tells whether it already existed.
    virtual MutexResult create_mutex(std::string_view name) = 0;
    // Opens or creates the event, auto-reset, initially not signalled. Null on failure.
    virtual std::unique_ptr<NamedEvent> open_event(std::string_view name) = 0;
};

}  // namespace vexlo::platform
