#include "platform/sim/sim_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vexlo::sim {

namespace fs = std::filesystem;
using platform::PlatformError;

static bool is_separator(char c) { return c == '\\' || c == '/'; }

WinPath parse_windows_path(std::string_view path) {
    auto refuse = [&](const char* why) {
        return PlatformError("The path \"" + std::string(path) + "\" is not valid: " + why + ".");
    };
    if (path.size() < 3 || path[1] != ':' || !is_separator(path[2]) ||
        !((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        throw refuse("it must start with a drive, like C:\\");
    WinPath out;
    out.drive = char(path[0] & ~0x20);
    size_t i = 3;
    while (i <= path.size()) {
        size_t end = i;
        while (end < path.size() && !is_separator(path[end])) ++end;
        std::string_view part = path.substr(i, end - i);
        i = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") throw refuse("\"..\" is not allowed");
        for (char c : part)
            if (uint8_t(c) < 32 || std::strchr("<>:\"|?*", c)) throw refuse("it holds a character Windows forbids");
        out.parts.emplace_back(part);
    }
    return out;
}

std::string WinPath::text() const {
    std::string s{drive, ':'};
    if (parts.empty()) s += '\\';
    for (auto& p : parts) s += '\\' + p;
    return s;
}

std::string file_key(const WinPath& path) { return to_lower(path.text()); }

static std::string folder_from(const Environment& env, const char* name, const char* fallback) {
    auto it = env.find(std::string_view(name));
    std::string s = it == env.end() ? fallback : it->second;
    while (s.size() > 3 && s.back() == '\\') s.pop_back();
    return s;
}

SimFiles::SimFiles(fs::path root, const Environment& env, Faults& faults) : root_(std::move(root)), faults_(faults) {
    using platform::KnownFolder;
    const char* no_fsync = std::getenv("VEXLO_SIM_NO_FSYNC");
    fsync_ = !(no_fsync && std::string_view(no_fsync) == "1");
    std::string profile = folder_from(env, "USERPROFILE", "C:\\Users\\Player");
    folders_[int(KnownFolder::LocalAppData)] = folder_from(env, "LOCALAPPDATA", "C:\\Users\\Player\\AppData\\Local");
    folders_[int(KnownFolder::Temp)] = folder_from(env, "TEMP", "C:\\Users\\Player\\AppData\\Local\\Temp");
    folders_[int(KnownFolder::ProgramData)] = folder_from(env, "ProgramData", "C:\\ProgramData");
    folders_[int(KnownFolder::Desktop)] = profile + "\\Desktop";
    folders_[int(KnownFolder::UserProfile)] = profile;
    const char* const startup = "\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
    folders_[int(KnownFolder::Startup)] = folder_from(env, "APPDATA", "C:\\Users\\Player\\AppData\\Roaming") + startup;
    folders_[int(KnownFolder::CommonStartup)] = folders_[int(KnownFolder::ProgramData)] + startup;
}

std::string SimFiles::known_folder(platform::KnownFolder folder) { return folders_[int(folder)]; }

fs::path SimFiles::resolve(const WinPath& w) const {
    // Most lookups spell the path as stored: one stat answers them. Only a miss walks the
    // folders comparing names without regard to case.
    fs::path direct = root_ / std::string(1, w.drive);
    for (auto& part : w.parts) direct /= part;
    std::error_code direct_ec;
    if (fs::exists(fs::symlink_status(direct, direct_ec))) return direct;

    fs::path p = root_ / std::string(1, w.drive);
    bool matching = true;  // every part so far exists
    for (auto& part : w.parts) {
        if (matching) {
            std::error_code ec;
            if (fs::exists(fs::symlink_status(p / part, ec))) {
                p /= part;
                continue;
            }
            bool found = false;
            for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
                std::string name = it->path().filename().string();
                if (iequals(name, part) && !is_temporary_name(name)) {
                    p /= name;
                    found = true;
                    break;
                }
            }
            if (found) continue;
            matching = false;
        }
        p /= part;
    }
    return p;
}

fs::path SimFiles::host_path(std::string_view windows_path) const { return resolve(parse_windows_path(windows_path)); }

std::optional<fs::path> SimFiles::try_resolve(std::string_view path) const {
    try {
        return resolve(parse_windows_path(path));
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

bool SimFiles::exists(std::string_view path) {
    auto host = try_resolve(path);
    std::error_code ec;
    return host && fs::exists(*host, ec);
}

bool SimFiles::is_directory(std::string_view path) {
    auto host = try_resolve(path);
    std::error_code ec;
    return host && fs::is_directory(*host, ec);
}

void SimFiles::create_directories(std::string_view path) {
    WinPath w = parse_windows_path(path);
    std::error_code ec;
    if (!fs::is_directory(root_ / std::string(1, w.drive), ec))
        throw PlatformError("Cannot create " + w.text() + ": The system cannot find the drive specified.");
    fs::path host = resolve(w);
    if (!fs::is_directory(host, ec)) faults_.before_write({"file create_directories", w.text()});
    fs::create_directories(host, ec);
    if (ec) throw PlatformError("Cannot create " + w.text() + ": " + ec.message());
}

static bool host_is_link(const fs::path& host) {
    struct stat st {};
    return ::lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool SimFiles::is_link(std::string_view path) {
    auto host = try_resolve(path);
    return host && host_is_link(*host);
}

void SimFiles::check_no_link(const WinPath& w, const fs::path& host, const std::string& what) const {
    if (host_is_link(host)) throw platform::link_refused(what, w.text());
    // resolve() gives <root>/<drive>/<parts...>: the drive folder, then one folder per part.
    WinPath on_the_way{w.drive, {}};
    fs::path folder = root_ / std::string(1, w.drive);
    for (size_t i = 0;; ++i) {
        if (host_is_link(folder)) throw platform::link_refused(what, on_the_way.text());
        if (i + 1 >= w.parts.size()) break;
        fs::path next = folder / host.lexically_relative(folder).begin()->string();
        on_the_way.parts.push_back(w.parts[i]);
        folder = std::move(next);
    }
}

std::optional<std::string> SimFiles::read(std::string_view path) {
    std::optional<WinPath> w;
    try {
        w = parse_windows_path(path);
    } catch (const PlatformError&) {
        return std::nullopt;
    }
    if (faults_.is_locked(file_key(*w))) return std::nullopt;
    fs::path host = resolve(*w);
    if (host_is_link(host)) return std::nullopt;
    return read_whole_file(host);
}

// The read-only attribute is the host file's owner write bit, so it survives reopening and
// copying the machine folder.
static bool host_read_only(const fs::path& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
}

static void check_not_read_only(const WinPath& w, const fs::path& host, const char* verb) {
    if (host_read_only(host)) throw PlatformError(std::string("Cannot ") + verb + " " + w.text() + ": Access is denied.");
}

// Not held open elsewhere, not failing on purpose, no link, an existing folder to go into, not
// a folder itself, not read-only.
void SimFiles::check_writable(const WinPath& w, const fs::path& host) {
    faults_.check_not_locked(file_key(w), w.text());
    faults_.before_file_write(w.text(), true);
    check_no_link(w, host, "Cannot write " + w.text());
    std::error_code ec;
    if (!fs::is_directory(host.parent_path(), ec))
        throw PlatformError("Cannot write " + w.text() + ": The system cannot find the path specified.");
    if (fs::is_directory(host, ec)) throw PlatformError("Cannot write " + w.text() + ": Access is denied.");
    check_not_read_only(w, host, "write");
}

void SimFiles::sync_folder(const fs::path& folder) const {
    if (!fsync_) return;
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // the rename itself is done; only its durability is at stake
    if (::fsync(fd) != 0) { /* as above: the new content is in place either way */ }
    ::close(fd);
}

void SimFiles::write_durably(const fs::path& host, std::string_view bytes, const std::string& shown, unsigned mode) {
    // A rename over a link replaces the link, never its target, and the temporary file is
    // made new (O_EXCL), so nothing here writes through a link planted meanwhile.
    fs::path tmp = temporary_sibling(host);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode_t(mode));
    if (fd < 0) throw PlatformError("Cannot write " + shown + ": " + std::strerror(errno));
    int err = write_all(fd, bytes);
    // The data reaches the disk before the rename does: otherwise a power cut could leave the
    // new name on empty content.
    if (!err && fsync_ && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmp.c_str(), host.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(tmp.c_str());
        throw PlatformError("Cannot write " + shown + ": " + std::strerror(err));
    }
    sync_folder(host.parent_path());
}

void SimFiles::write(std::string_view path, std::string_view bytes) {
    WinPath w = parse_windows_path(path);
    fs::path host = resolve(w);
    check_writable(w, host);
    faults_.before_write({"file write", w.text(), &host, bytes, false});
    // Through a temporary file, so that a failure leaves the old content in place.
    write_durably(host, bytes, w.text(), 0644);
}

void SimFiles::append(std::string_view path, std::string_view bytes) {
    WinPath w = parse_windows_path(path);
    fs::path host = resolve(w);
    check_writable(w, host);
    faults_.before_write({"file append", w.text(), &host, bytes, true});
    // O_NOFOLLOW as well: a link planted after the check still is not followed.
    int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == ELOOP) throw platform::link_refused("Cannot write " + w.text(), w.text());
    if (fd < 0) throw PlatformError("Cannot write " + w.text() + ": " + std::strerror(errno));
    struct stat st {};
    ::fstat(fd, &st);
    if (int err = write_all(fd, bytes)) {
        if (::ftruncate(fd, st.st_size) != 0) { /* nothing more to undo with */ }
        ::close(fd);
        throw PlatformError("Cannot write " + w.text() + ": " + std::strerror(err));
    }
    ::close(fd);
}

void SimFiles::replace(std::string_view from, std::string_view to) {
    WinPath wf = parse_windows_path(from), wt = parse_windows_path(to);
    faults_.check_not_locked(file_key(wf), wf.text());
    faults_.check_not_locked(file_key(wt), wt.text());
    faults_.before_file_write(wt.text(), false);
    fs::path hf = resolve(wf), ht = resolve(wt);
    const std::string what = "Cannot move " + wf.text() + " to " + wt.text();
    check_no_link(wf, hf, what);
    check_no_link(wt, ht, what);
    std::error_code ec;
    if (!fs::is_regular_file(hf, ec))
        throw PlatformError("Cannot move " + wf.text() + ": The system cannot find the file specified.");
    if (!fs::is_directory(ht.parent_path(), ec))
        throw PlatformError("Cannot move to " + wt.text() + ": The system cannot find the path specified.");
    if (fs::is_directory(ht, ec)) throw PlatformError("Cannot move to " + wt.text() + ": Access is denied.");
    check_not_read_only(wt, ht, "replace");  // a read-only source may move: the attribute goes with it
    faults_.before_write({"file replace", wf.text() + " -> " + wt.text()});
    if (fsync_) {
        // Whoever wrote `from`, its content is on disk before the new name points at it.
        int fd = ::open(hf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            int err = errno;
            if (fd >= 0) ::close(fd);
            throw PlatformError(what + ": " + std::strerror(err));
        }
        ::close(fd);
    }
    if (::rename(hf.c_str(), ht.c_str()) != 0) throw PlatformError(what + ": " + std::strerror(errno));
    sync_folder(ht.parent_path());
    if (hf.parent_path() != ht.parent_path()) sync_folder(hf.parent_path());
}

bool SimFiles::remove(std::string_view path) {
    WinPath w = parse_windows_path(path);
    fs::path host = resolve(w);
    std::error_code ec;
    auto st = fs::symlink_status(host, ec);
    if (!fs::exists(st)) return false;
    faults_.check_not_locked(file_key(w), w.text());
    if (fs::is_regular_file(st)) check_not_read_only(w, host, "delete");
    faults_.before_write({"file remove", w.text()});
    int rc = fs::is_directory(st) ? ::rmdir(host.c_str()) : ::unlink(host.c_str());
    if (rc != 0) {
        if (errno == ENOENT) return false;
        throw PlatformError("Cannot delete " + w.text() + ": " +
                            (errno == ENOTEMPTY || errno == EEXIST ? "The directory is not empty." : std::strerror(errno)));
    }
    return true;
}

std::vector<platform::DirEntry> SimFiles::list(std::string_view path) {
    std::vector<platform::DirEntry> out;
    auto host = try_resolve(path);
    if (!host) return out;
    std::error_code ec;
    for (fs::directory_iterator it(*host, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (is_temporary_name(name)) continue;
        std::error_code e2;
        platform::DirEntry entry;
        entry.name = std::move(name);
        entry.is_directory = it->is_directory(e2);
        if (!entry.is_directory) {
            auto size = it->file_size(e2);
            entry.size = e2 ? 0 : size;
        }
        out.push_back(std::move(entry));
    }
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return iless(a.name, b.name); });
    return out;
}

}  // namespace vexlo::sim


namespace vexlo::sim {

void SimFiles::copy(std::string_view from, std::string_view to) {
    WinPath wf = parse_windows_path(from), wt = parse_windows_path(to);
    fs::path hf = resolve(wf), ht = resolve(wt);
    faults_.check_not_locked(file_key(wf), wf.text());
    // A linked source would copy whatever it points at into a file others may read.
    if (host_is_link(hf)) throw platform::link_refused("Cannot copy " + wf.text(), wf.text());
    std::error_code ec;
    if (!fs::is_regular_file(hf, ec))
        throw PlatformError("Cannot copy " + wf.text() + ": The system cannot find the file specified.");
    auto bytes = read_whole_file(hf);
    if (!bytes) throw PlatformError("Cannot copy " + wf.text() + ": The file cannot be read.");
    check_writable(wt, ht);
    faults_.before_write({"file copy", wf.text() + " -> " + wt.text()});
    // As CopyFile does, the copy takes the source's attributes, read-only included.
    write_durably(ht, *bytes, wt.text(), host_read_only(hf) ? 0444 : 0644);
}

bool SimFiles::is_read_only(std::string_view path) {
    auto host = try_resolve(path);
    return host && host_read_only(*host);
}

void SimFiles::set_read_only(std::string_view path, bool read_only) {
    WinPath w = parse_windows_path(path);
    fs::path host = resolve(w);
    // chmod would change whatever a link points at, anywhere on the host.
    if (host_is_link(host)) throw platform::link_refused("Cannot change the attributes of " + w.text(), w.text());
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0)
        throw PlatformError("Cannot change the attributes of " + w.text() + ": The system cannot find the file specified.");
    // Windows ignores the attribute on folders for writing; here folders keep their bits, so
    // that the host can always write into the machine.
    if (!S_ISREG(st.st_mode))
        throw PlatformError("Cannot change the attributes of " + w.text() + ": it is a folder, not a file.");
    mode_t mode = read_only ? (st.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (st.st_mode | S_IWUSR);
    faults_.before_write({"file set_read_only", w.text() + (read_only ? " on" : " off")});
    if (::chmod(host.c_str(), mode & 07777) != 0)
        throw PlatformError("Cannot change the attributes of " + w.text() + ": " + std::strerror(errno));
}

}  // namespace vexlo::sim
