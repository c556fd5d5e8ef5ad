// Named mutexes and events of the session ("Local\\..."), for the single running copy of the
// application and the signal that brings its window forward.
#include <windows.h>

#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

class Win32Mutex final : public platform::NamedMutex {
public:
    Win32Mutex(HANDLE h, bool owned) : h_(h), owned_(owned) {}
    ~Win32Mutex() override {
        // Released before closing, so a later copy finds it free rather than abandoned.
        if (owned_) ReleaseMutex(h_);
        CloseHandle(h_);
    }

private:
    HANDLE h_;
    bool owned_;
};

class Win32Event final : public platform::NamedEvent {
public:
    explicit Win32Event(HANDLE h) : h_(h) {}
    ~Win32Event() override { CloseHandle(h_); }
    void signal() override { SetEvent(h_); }
    // Auto-reset: a successful wait consumes the signal, so exactly one poller sees it.
    bool poll() override { return WaitForSingleObject(h_, 0) == WAIT_OBJECT_0; }

private:
    HANDLE h_;
};

class Win32NamedObjects final : public platform::NamedObjects {
public:
    platform::MutexResult create_mutex(std::string_view name) override {
        platform::MutexResult result;
        if (name.empty()) return result;  // an unnamed mutex would exclude nobody
        HANDLE h = CreateMutexW(nullptr, TRUE, widen(name).c_str());
        if (!h) return result;
        // An existing mutex is opened, not taken: the initial-owner request is ignored then.
        result.created_new = GetLastError() != ERROR_ALREADY_EXISTS;
        result.handle = std::make_unique<Win32Mutex>(h, result.created_new);
        return result;
    }

    std::unique_ptr<platform::NamedEvent> open_event(std::string_view name) override {
        if (name.empty()) return nullptr;
        HANDLE h = CreateEventW(nullptr, FALSE, FALSE, widen(name).c_str());
        if (!h) return nullptr;
        return std::make_unique<Win32Event>(h);
    }
};

}  // namespace

std::unique_ptr<platform::NamedObjects> make_named_objects() { return std::make_unique<Win32NamedObjects>(); }

}  // namespace vexlo::win32
