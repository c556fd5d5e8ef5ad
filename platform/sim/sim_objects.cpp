#include "platform/sim/sim_objects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/sim/sim_util.h"

namespace vexlo::sim {

namespace fs = std::filesystem;

namespace {

std::string safe_file_name(std::string_view name) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '_' || c == '.';
        if (plain && !(out.empty() && c == '.')) {
            out += c;
        } else {
            out += '%';
            out += digits[uint8_t(c) >> 4];
            out += digits[uint8_t(c) & 15];
        }
    }
    return out;
}

class SimMutex final : public platform::NamedMutex {
public:
    // `fd` is the mutex's handle file, flocked shared while the handle lives.
    explicit SimMutex(int fd) : fd_(fd) {}
    ~SimMutex() override { ::close(fd_); }  // closing the descriptor releases the flock

private:
    int fd_;
};

class SimEvent final : public platform::NamedEvent {
public:
    // `holder` is a descriptor of the event's lock file, flocked shared while the handle lives.
    SimEvent(fs::path marker, int holder) : marker_(std::move(marker)), holder_(holder) {}
    ~SimEvent() override { ::close(holder_); }

    void signal() override {
        int fd = ::open(marker_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
    }

    bool poll() override { return ::unlink(marker_.c_str()) == 0; }

private:
    fs::path marker_;
    int holder_;
};

}  // namespace

SimNamedObjects::SimNamedObjects(fs::path folder) : folder_(std::move(folder)) {}

platform::MutexResult SimNamedObjects::create_mutex(std::string_view name) {
    platform::MutexResult result;
    if (name.empty()) return result;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    const std::string base = safe_file_name(name);
    // Makers of one mutex take turns, so that none sees another half-way through.
    int turn = ::open((folder_ / (base + ".mutex-create")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (turn < 0 || flock_retrying(turn, LOCK_EX) != 0) {
        if (turn >= 0) ::close(turn);
        return result;
    }
    result = make_mutex(base);
    ::close(turn);
    return result;
}

platform::MutexResult SimNamedObjects::make_mutex(const std::string& base) {
    platform::MutexResult result;
    int fd = ::open((folder_ / (base + ".mutex")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return result;
    // New only when no other handle is open: as on Windows, the mutex exists for as long as any
    // handle to it does, and only the handle that made it owns it.
    const bool created_new = flock_retrying(fd, LOCK_EX | LOCK_NB) == 0;
    // Every handle counts as one shared lock (the maker's exclusive one turns into that).
    if (flock_retrying(fd, LOCK_SH) != 0) {
        ::close(fd);
        return result;
    }
    result.created_new = created_new;
    result.handle = std::make_unique<SimMutex>(fd);
    return result;
}

std::unique_ptr<platform::NamedEvent> SimNamedObjects::open_event(std::string_view name) {
    if (name.empty()) return nullptr;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) return nullptr;
    std::string base = safe_file_name(name);
    fs::path marker = folder_ / (base + ".event");
    fs::path lock_file = folder_ / (base + ".event-handles");
    int fd = ::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    // Like a Windows event, it lives only while handles to it are open: the first handle
    // (the only one able to lock exclusively) drops a signal left behind by a crashed process.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(marker.c_str());
    if (flock_retrying(fd, LOCK_SH) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<SimEvent>(std::move(marker), fd);
}

}  // namespace vexlo::sim
