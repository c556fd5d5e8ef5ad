#include "platform/sim/sim_store.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace vexlo::sim {

namespace fs = std::filesystem;

namespace {

uint64_t* map_counter(const fs::path& counter_file) {
    int fd = ::open(counter_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    uint64_t* out = nullptr;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_size >= off_t(sizeof(uint64_t)) || ::ftruncate(fd, sizeof(uint64_t)) == 0)) {
        void* p = ::mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) out = static_cast<uint64_t*>(p);
    }
    ::close(fd);
    return out;
}

int64_t coarse_now_ms() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

SharedFile::SharedFile(fs::path file, fs::path counter_file)
    : file_(std::move(file)), lock_file_(std::move(counter_file)), changes_(map_counter(lock_file_)) {}

SharedFile::~SharedFile() {
    if (changes_) ::munmap(changes_, sizeof(uint64_t));
}

std::optional<std::string> SharedFile::read_if_changed(bool always_stat) {
    if (changes_ && !always_stat) {
        // Read before the stat: a write that lands after it moves the counter again.
        uint64_t changes = std::atomic_ref<uint64_t>(*changes_).load(std::memory_order_acquire);
        int64_t now_ms = coarse_now_ms();
        if (changes == seen_changes_ && now_ms - last_stat_ms_ < kRecheckMs) return std::nullopt;
        seen_changes_ = changes;
        last_stat_ms_ = now_ms;
    }
    FileStamp now = stamp_of(file_);
    if (now == stamp_ || now.size < 0) return std::nullopt;
    FileStamp read_stamp;
    auto text = read_whole_file(file_, &read_stamp);
    if (!text) return std::nullopt;
    stamp_ = read_stamp;
    return text;
}

void SharedFile::write(std::string_view text) {
    write_file_atomically(file_, text);
    stamp_ = stamp_of(file_);
    // Writers hold the lock file, so nobody else counts in between.
    if (changes_) seen_changes_ = std::atomic_ref<uint64_t>(*changes_).fetch_add(1, std::memory_order_acq_rel) + 1;
}

std::string first_changed_line(std::string_view before, std::string_view after) {
    size_t i = 0;
    while (i < before.size() && i < after.size() && before[i] == after[i]) ++i;
    size_t start = i == 0 ? 0 : after.rfind('\n', i - 1);
    start = start == std::string_view::npos || i == 0 ? 0 : start + 1;
    size_t end = after.find('\n', i);
    std::string_view line = after.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    while (!line.empty() && (line.front() == '\t' || line.front() == ' ')) line.remove_prefix(1);
    return std::string(line.empty() ? std::string_view("(no change)") : line);
}

}  // namespace vexlo::sim
