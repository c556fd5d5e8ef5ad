#pragma once
// Files and folders. Paths are Windows paths ("C:\\Users\\...") on every back end, so the
// application never needs to know where the machine it talks to keeps them.
//
// The core runs elevated and writes into folders an unelevated program may have prepared, so
// read, write, append, copy (both ends) and replace (both ends) never follow a link (a
// symbolic link, junction or other reparse point) at the path's last part: read answers
// nullopt for one, the others throw link_refused(). Folders on the way may be links, as when
// a player moved the game's folder to another drive with a junction.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace vexlo::platform {

// Startup: the user's Startup folder of the Start menu; CommonStartup: the one for all users.
enum class KnownFolder { LocalAppData, Temp, ProgramData, Desktop, UserProfile, Startup, CommonStartup };

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

    // The path itself is a link (see above), dangling or not; false when nothing is there.
    virtual bool is_link(std::string_view path) = 0;

    // The whole file, or nullopt when it is missing, is a link or cannot be read.
    virtual std::optional<std::string> read(std::string_view path) = 0;
    // Creates or truncates, then writes all bytes and flushes them to disk. Throws PlatformError.
    virtual void write(std::string_view path, std::string_view bytes) = 0;
    // Appends, creating the file when needed. Throws PlatformError.
    virtual void append(std::string_view path, std::string_view bytes) = 0;
    // Renames `from` over `to` in one step: afterwards `to` is either its old or its new
    // content, never a mix, also after a power cut. Throws PlatformError.
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

// The failure every back end gives for a link it will not follow; `what` says what was tried
// ("Cannot write C:\\...\\vexlo.log").
inline PlatformError link_refused(std::string_view what, std::string_view path) {
    return PlatformError(std::string(what) + ": " + std::string(path) +
                         " is a link; Vexlo Tweaks does not follow links in the files it reads or changes.");
}

}  // namespace vexlo::platform
