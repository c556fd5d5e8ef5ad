#pragma once
// The simulated PC's drives, kept as ordinary folders: "C:\\Users\\Player\\x.txt" lives at
// <machine>/files/C/Users/Player/x.txt.
//
// Paths: absolute Windows paths only ("X:\\..."); '/' is accepted as a separator like Windows
// does, empty and "." parts are dropped, and ".." parts, relative, drive-relative ("C:x") and
// UNC paths are refused, so nothing can reach outside the machine folder. Names compare
// without regard to case on lookup: an existing file or folder is found under any spelling
// and keeps the one it was created with; a new one takes the spelling given.
// Queries (exists, is_directory, read, list) answer false/nullopt/empty for a refused path;
// changes throw PlatformError.
//
// The read-only attribute of a file is the host file's owner write bit. As on Windows, a
// read-only file cannot be written, appended to, replaced or deleted (PlatformError "Access is
// denied."), but it can be moved away with replace and copied; a copy is read-only too.
//
// Links: a host symbolic link is what a link is on this PC. Besides refusing one at the last
// part of a path (platform/files.h), changes (write, append, copy's target, replace's both
// ends) also refuse a linked folder anywhere below the machine's files on the way: one could
// lead out of the machine folder into the host's own files.
//
// Durability: write, copy and replace flush the file and then its folder to disk (fsync), so
// that a power cut leaves the old or the new content. Test runs make hundreds of thousands of
// writes and need no power-cut safety: VEXLO_SIM_NO_FSYNC=1 in the environment, or
// set_fsync(false), leaves the flushing out. A killed process is safe either way.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/sim/sim_faults.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

struct WinPath {
    char drive = 'C';                // upper case
    std::vector<std::string> parts;  // below the drive root
    std::string text() const;        // "C:\\a\\b"
};

// Throws PlatformError for a path that is refused (see above).
WinPath parse_windows_path(std::string_view path);
// The same for any spelling of one path: "c:\\users\\player".
std::string file_key(const WinPath& path);

class SimFiles final : public platform::FileSystem {
public:
    // `root` is <machine>/files; known folders come from the user's environment.
    SimFiles(std::filesystem::path root, const Environment& environment, Faults& faults);

    // Throws PlatformError for a refused path.
    std::filesystem::path host_path(std::string_view windows_path) const;

    // On unless VEXLO_SIM_NO_FSYNC=1 was set when the object was made.
    void set_fsync(bool on) { fsync_ = on; }
    bool fsync_enabled() const { return fsync_; }

    std::string known_folder(platform::KnownFolder folder) override;
    bool is_link(std::string_view path) override;
    bool exists(std::string_view path) override;
    bool is_directory(std::string_view path) override;
    void create_directories(std::string_view path) override;
    std::optional<std::string> read(std::string_view path) override;
    void write(std::string_view path, std::string_view bytes) override;
    void append(std::string_view path, std::string_view bytes) override;
    void replace(std::string_view from, std::string_view to) override;
    bool remove(std::string_view path) override;
    std::vector<platform::DirEntry> list(std::string_view path) override;
    void copy(std::string_view from, std::string_view to) override;
    bool is_read_only(std::string_view path) override;
    void set_read_only(std::string_view path, bool read_only) override;

private:
    std::filesystem::path resolve(const WinPath& path) const;
    // Nullopt for a refused path.
    std::optional<std::filesystem::path> try_resolve(std::string_view path) const;
    // Throws link_refused() for a link at `host` or at a folder on the way below the drive.
    void check_no_link(const WinPath& w, const std::filesystem::path& host, const std::string& what) const;
    // The checks shared by write, append and copy's target.
    void check_writable(const WinPath& w, const std::filesystem::path& host);
    // Through a temporary file next to `host` and a rename, flushed to disk when fsync is on.
    void write_durably(const std::filesystem::path& host, std::string_view bytes, const std::string& shown,
                       unsigned mode);
    void sync_folder(const std::filesystem::path& folder) const;

    std::filesystem::path root_;
    std::string folders_[7];  // by KnownFolder
    Faults& faults_;
    bool fsync_ = true;
};

}  // namespace vexlo::sim
