#pragma once
// Small helpers shared by the parts of the simulated PC: Windows-style case-insensitive names
// and the few file operations they all need (whole-file read, atomic replace, a cross-process
// lock).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vexlo::sim {

// Windows compares registry and file names without regard to case. Only ASCII letters are
// folded here; other bytes of UTF-8 names compare exactly.
constexpr char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// ascii_lower on the 8 bytes of a word at once.
constexpr uint64_t ascii_lower8(uint64_t x) {
    constexpr uint64_t ones = 0x0101010101010101ull, high = 0x80 * ones;
    uint64_t low7 = x & (0x7f * ones);
    uint64_t above_z = low7 + (0x7f - 'Z') * ones;  // high bit set where the byte is > 'Z'
    uint64_t from_a = low7 + (0x80 - 'A') * ones;   // high bit set where the byte is >= 'A'
    uint64_t upper = (from_a ^ above_z) & ~x & high;
    return x | (upper >> 2);
}

inline uint64_t load8(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

inline uint64_t load_tail(const char* p, size_t n) {  // n < 8
    uint64_t w = 0;
    std::memcpy(&w, p, n);
    return w;
}

inline bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    size_t i = 0, n = a.size();
    for (; i + 8 <= n; i += 8)
        if (ascii_lower8(load8(a.data() + i)) != ascii_lower8(load8(b.data() + i))) return false;
    return ascii_lower8(load_tail(a.data() + i, n - i)) == ascii_lower8(load_tail(b.data() + i, n - i));
}

// "a" < "B" < "c": the order Windows lists names in, close enough.
bool iless(std::string_view a, std::string_view b);

// For ordered containers keyed by names compared without regard to case.
struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return iless(a, b); }
};

std::string to_lower(std::string_view s);

// Hash and equality for unordered containers keyed by names; transparent, so a lookup with a
// string_view neither folds nor copies the name. Registry paths are long, so both work a word
// at a time.
struct NameHash {
    using is_transparent = void;
    // Deliberately not noexcept: libstdc++ then keeps each node's hash, and a lookup compares
    // those instead of re-hashing every long key it passes in the bucket chain.
    size_t operator()(std::string_view s) const {
        constexpr uint64_t k = 0xff51afd7ed558ccdull;
        uint64_t h = 0x9e3779b97f4a7c15ull ^ s.size();
        size_t i = 0, n = s.size();
        for (; i + 8 <= n; i += 8) {
            h = (h ^ ascii_lower8(load8(s.data() + i))) * k;
            h ^= h >> 32;
        }
        h = (h ^ ascii_lower8(load_tail(s.data() + i, n - i))) * k;
        return size_t(h ^ (h >> 29));
    }
};
struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return iequals(a, b); }
};

// Environment variables of the simulated user: names compare without regard to case.
using Environment = std::unordered_map<std::string, std::string, NameHash, NameEqual>;


// Writes a temporary file next to `file` and renames it over `file`: readers see the old or
// the new content, never a mix. Throws PlatformError naming `shown` (default: the file).
// `mode` gives the new file's permission bits.
void write_file_atomically(const std::filesystem::path& file, std::string_view bytes, std::string_view shown = {},
                           unsigned mode = 0644);

// Writes all of `bytes` to `fd`, again after a signal or a short write. Returns 0, or the
// errno of the write that failed (what was written before it stays written).
int write_all(int fd, std::string_view bytes);

// flock(2), again after a signal. Returns flock's result; errno tells why it failed.
int flock_retrying(int fd, int op);

// A name for a temporary file next to `file`, unique across processes and threads.
std::filesystem::path temporary_sibling(const std::filesystem::path& file);
bool is_temporary_name(std::string_view file_name);

// What a stat of a file tells about its version: a rename over it changes the inode, an edit
// in place the time or the size.
struct FileStamp {
    int64_t mtime_ns = -1;
    int64_t size = -1;
    uint64_t inode = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
// Missing file: the default stamp.
FileStamp stamp_of(const std::filesystem::path& file);

// The whole file, or nullopt when it cannot be read; `stamp` receives the stamp of exactly
// the version that was read.
std::optional<std::string> read_whole_file(const std::filesystem::path& file, FileStamp* stamp = nullptr);

// Exclusive flock on a lock file, held for the life of the object; serializes the writers of
// one machine folder across processes. Throws PlatformError when the lock file cannot be made.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& lock_file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace vexlo::sim
