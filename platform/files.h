#pragma once
// Files and folders. Paths are Windows paths ("C:\\Users\\...") on every back end, so the
// application never needs to know where the machine it talks to keeps them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace vexlo::platform {

enum class KnownFolder { LocalAppData, Temp, ProgramData, Desktop, UserProfile };

struct DirEntry {
    std::string name;
    bool is_directory = false;
    uint64_t size = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Without a trailing backslash.
    virtual std::string known_folder(KnownFolder folder) = 0;

    virtual bool exists(std::string_view path) = 0;
    virtual bool is_directory(std::string_view path) = 0;
    // Throws PlatformError.
    virtual void create_directories(std::string_view path) = 0;

    // The whole file, or nullopt when it is missing or cannot be read.
    virtual std::optional<std::string> read(std::string_view path) = 0;
    // Creates or truncates, then writes all bytes and flushes them to disk. Throws PlatformError.
    virtual void write(std::string_view path, std::string_view bytes) = 0;
    // Appends, creating the file when needed. Throws PlatformError.
    virtual void append(std::string_view path, std::string_view bytes) = 0;
    // Renames `from` over `to` in one step: afterwards `to` is either its old or its new
    // content, never a mix. Throws PlatformError.
    virtual void replace(std::string_view from, std::string_view to) = 0;
    // False when it was missing. Throws PlatformError when it exists but cannot be removed.
    virtual bool remove(std::string_view path) = 0;
    // Empty when the folder is missing.
    virtual std::vector<DirEntry> list(std::string_view path) = 0;
    // Copies a file, replacing `to`. Throws PlatformError.
    virtual void copy(std::string_view from, std::string_view to) = 0;
    // The read-only attribute; false for a missing file.
    virtual bool is_read_only(std::string_view path) = 0;
    // Throws PlatformError (also for a missing file).
    virtual void set_read_only(std::string_view path, bool read_only) = 0;
};

}  // namespace vexlo::platform
