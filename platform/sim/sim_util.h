#pragma once
// Small helpers shared by the parts of the simulated PC: Windows-style case-insensitive names
// and the few file operations they all need (whole-file read, atomic replace, a cross-process
// lock).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vexlo::sim {

// Windows compares registry and file names without regard to case. Only ASCII letters are
// folded here; other bytes of UTF-8 names compare exactly.
constexpr char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

inline bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

// "a" < "B" < "c": the order Windows lists names in, close enough.
bool iless(std::string_view a, std::string_view b);

std::string to_lower(std::string_view s);

// Hash and equality for unordered containers keyed by names; transparent, so a lookup with a
// string_view neither folds nor copies the name.
struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept {
        uint64_t h = 1469598103934665603ull;  // FNV-1a over the folded bytes
        for (char c : s) {
            h ^= uint8_t(ascii_lower(c));
            h *= 1099511628211ull;
        }
        return size_t(h);
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
void write_file_atomically(const std::filesystem::path& file, std::string_view bytes, std::string_view shown = {});

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
