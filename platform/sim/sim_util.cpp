#include "platform/sim/sim_util.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/error.h"

namespace vexlo::sim {

namespace fs = std::filesystem;

bool iless(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = uint8_t(ascii_lower(a[i])), y = uint8_t(ascii_lower(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

std::string to_lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

std::optional<std::string> read_whole_file(const fs::path& file, FileStamp* stamp) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    if (stamp)
        *stamp = {int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, int64_t(st.st_size), uint64_t(st.st_ino)};
    std::string out;
    out.reserve(size_t(st.st_size));
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return out;
}

static constexpr std::string_view kTempMarker = ".vexlo-tmp-";

fs::path temporary_sibling(const fs::path& file) {
    static std::atomic<uint64_t> counter{0};
    std::string name = "." + file.filename().string() + std::string(kTempMarker) + std::to_string(::getpid()) + "-" +
                       std::to_string(counter.fetch_add(1));
    return file.parent_path() / name;
}

bool is_temporary_name(std::string_view file_name) { return file_name.find(kTempMarker) != std::string_view::npos; }

static std::string errno_text(int err) { return std::strerror(err); }

int write_all(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        done += size_t(n);
    }
    return 0;
}

int flock_retrying(int fd, int op) {
    int rc;
    do rc = ::flock(fd, op);
    while (rc != 0 && errno == EINTR);
    return rc;
}

void write_file_atomically(const fs::path& file, std::string_view bytes, std::string_view shown, unsigned mode) {
    std::string name = shown.empty() ? file.string() : std::string(shown);
    fs::path tmp = temporary_sibling(file);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw platform::PlatformError("Cannot write " + name + ": " + errno_text(errno));
    if (mode != 0644 && ::fchmod(fd, mode) != 0) { /* the content matters more than the bits */ }
    if (int err = write_all(fd, bytes)) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw platform::PlatformError("Cannot write " + name + ": " + errno_text(err));
    }
    if (::close(fd) != 0 || ::rename(tmp.c_str(), file.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw platform::PlatformError("Cannot write " + name + ": " + errno_text(err));
    }
}

FileStamp stamp_of(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return {};
    return {int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, int64_t(st.st_size), uint64_t(st.st_ino)};
}

FileLock::FileLock(const fs::path& lock_file) {
    fd_ = ::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throw platform::PlatformError("Cannot open " + lock_file.string() + ": " + errno_text(errno));
    if (flock_retrying(fd_, LOCK_EX) != 0) {
        int err = errno;
        ::close(fd_);
        throw platform::PlatformError("Cannot lock " + lock_file.string() + ": " + errno_text(err));
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

}  // namespace vexlo::sim
