// Files and folders of the real PC. Paths arrive as UTF-8 Windows paths and go to the wide
// APIs unchanged ('/' works as a separator there too).
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>

#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

using platform::DirEntry;
using platform::KnownFolder;
using platform::PlatformError;

// Closes a file handle on every path out.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

std::string without_trailing_separator(std::wstring w) {
    while (w.size() > 3 && (w.back() == L'\\' || w.back() == L'/')) w.pop_back();
    return narrow(w);
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// All bytes, or the code of the failure.
DWORD write_all(HANDLE h, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) return GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        done += written;
    }
    return ERROR_SUCCESS;
}

// Windows refuses to open a read-only file for writing, to rename or to copy over it. Wine
// running as root lets these through, so the attribute is checked here as well: the same answer everywhere.
bool read_only_file(const std::wstring& path) {
    DWORD attr = GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY) && (attr & FILE_ATTRIBUTE_READONLY);
}

// The path itself, never what a link there points at: with FILE_FLAG_OPEN_REPARSE_POINT the
// handle is the link when there is one, so checking the handle (refuse_link) leaves no moment
// for a link to be swapped in between the check and the use.
HANDLE open_itself(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The attributes of the object the handle holds; throws link_refused() for a reparse point
// (symbolic link, junction, mount point and the like).
DWORD refuse_link(HANDLE h, const std::string& what, std::string_view path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) fail(what, GetLastError());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) throw platform::link_refused(what, path);
    return info.dwFileAttributes;
}

// For replace, whose move goes by name: the object there now is not a link (a missing one is
// for MoveFileExW to report). MoveFileExW itself moves or replaces a link, never its target.
void refuse_link_at(const std::wstring& path, const std::string& what, std::string_view shown) {
    Handle h(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (h.valid()) refuse_link(h.get(), what, shown);
}

// The rest of the file from where the handle stands; false when a read fails.
bool read_rest(HANDLE h, std::string& out) {
    char buf[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, buf, sizeof buf, &got, nullptr)) return false;
        if (got == 0) return true;
        out.append(buf, got);
    }
}

// Creates or truncates the file itself (refusing a link), writes every byte and flushes them
// to disk before the handle closes, so that a replace after it never publishes data still in
// the cache. `read_only` sets the attribute on the same handle afterwards.
void write_itself(const std::wstring& w, std::string_view shown, std::string_view bytes, const std::string& what,
                  bool read_only = false) {
    if (read_only_file(w)) fail(what, ERROR_ACCESS_DENIED);
    // OPEN_ALWAYS and truncating after the check: CREATE_ALWAYS would already have overwritten
    // a link before it could be refused.
    Handle h(open_itself(w, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS));
    if (!h.valid()) fail(what, GetLastError());
    DWORD attr = refuse_link(h.get(), what, shown);
    if (!SetEndOfFile(h.get())) fail(what, GetLastError());  // a fresh handle stands at 0
    if (DWORD err = write_all(h.get(), bytes)) fail(what, err);
    if (!FlushFileBuffers(h.get())) fail(what, GetLastError());
    if (read_only) {
        FILE_BASIC_INFO basic{};  // zero times stay as they are
        basic.FileAttributes = (attr & ~DWORD(FILE_ATTRIBUTE_NORMAL)) | FILE_ATTRIBUTE_READONLY;
        if (!SetFileInformationByHandle(h.get(), FileBasicInfo, &basic, sizeof basic)) fail(what, GetLastError());
    }
}

class Win32Files final : public platform::FileSystem {
public:
    std::string known_folder(KnownFolder folder) override {
        if (folder == KnownFolder::Temp) {
            wchar_t buf[MAX_PATH + 2];
            DWORD n = GetTempPathW(MAX_PATH + 2, buf);
            if (n > 0 && n <= MAX_PATH + 1) return without_trailing_separator(std::wstring(buf, n));
            fail("Cannot find the folder for temporary files", GetLastError());
        }
        const KNOWNFOLDERID* id = &FOLDERID_LocalAppData;
        const char* name = "LocalAppData";
        switch (folder) {
            case KnownFolder::LocalAppData: break;
            case KnownFolder::ProgramData: id = &FOLDERID_ProgramData; name = "ProgramData"; break;
            case KnownFolder::Desktop: id = &FOLDERID_Desktop; name = "Desktop"; break;
            case KnownFolder::UserProfile: id = &FOLDERID_Profile; name = "UserProfile"; break;
            case KnownFolder::Startup: id = &FOLDERID_Startup; name = "Startup"; break;
            case KnownFolder::CommonStartup: id = &FOLDERID_CommonStartup; name = "CommonStartup"; break;
            case KnownFolder::Temp: break;
        }
        PWSTR path = nullptr;
        HRESULT hr = SHGetKnownFolderPath(*id, KF_FLAG_DEFAULT, nullptr, &path);
        std::wstring w = SUCCEEDED(hr) && path ? std::wstring(path) : std::wstring();
        CoTaskMemFree(path);
        if (w.empty()) fail(std::string("Cannot find the folder ") + name, DWORD(hr));
        return without_trailing_separator(std::move(w));
    }

    bool exists(std::string_view path) override {
        return !path.empty() && GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    bool is_directory(std::string_view path) override {
        if (path.empty()) return false;
        DWORD attr = GetFileAttributesW(widen(path).c_str());
        return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
    }

    void create_directories(std::string_view path) override {
        const std::string what = "Cannot create " + std::string(path);
        std::wstring w = widen(path);
        while (w.size() > 3 && is_separator(w.back())) w.pop_back();
        if (w.empty()) throw PlatformError(what + ": The path is empty.");
        // Each folder from the top down; the drive root (or a UNC share) is never made.
        size_t start = 0;
        if (w.size() >= 2 && w[1] == L':') {
            start = 3;
        } else if (w.size() >= 2 && is_separator(w[0]) && is_separator(w[1])) {
            size_t server = w.find_first_of(L"\\/", 2);
            size_t share = server == std::wstring::npos ? server : w.find_first_of(L"\\/", server + 1);
            start = share == std::wstring::npos ? w.size() : share + 1;
        }
        for (size_t i = start; i <= w.size(); ++i) {
            if (i < w.size() && !is_separator(w[i])) continue;
            if (i == 0 || is_separator(w[i - 1])) continue;
            std::wstring prefix = w.substr(0, i);
            DWORD attr = GetFileAttributesW(prefix.c_str());
            if (attr != INVALID_FILE_ATTRIBUTES) {
                if (attr & FILE_ATTRIBUTE_DIRECTORY) continue;
                throw PlatformError(what + ": " + narrow(prefix) + " is a file, not a folder.");
            }
            if (!CreateDirectoryW(prefix.c_str(), nullptr)) {
                DWORD err = GetLastError();
                // Made by someone else in the meantime: fine when it is a folder.
                if (err == ERROR_ALREADY_EXISTS && is_directory(narrow(prefix))) continue;
                fail(what, err);
            }
        }
    }

    bool is_link(std::string_view path) override {
        if (path.empty()) return false;
        DWORD attr = GetFileAttributesW(widen(path).c_str());  // of the link itself, not its target
        return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT);
    }

    std::optional<std::string> read(std::string_view path) override {
        if (path.empty()) return std::nullopt;
        // Others may keep writing or even delete it meanwhile, as log readers allow. A folder
        // does not open without FILE_FLAG_BACKUP_SEMANTICS, so it reads as missing.
        Handle h(open_itself(widen(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING));
        if (!h.valid()) return std::nullopt;
        try {
            refuse_link(h.get(), "Cannot read", path);
        } catch (const PlatformError&) {
            return std::nullopt;  // a link, or not even its attributes can be read: not readable
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(h.get(), &size) || size.QuadPart < 0) return std::nullopt;
        std::string out;
        out.reserve(size_t(size.QuadPart));
        if (!read_rest(h.get(), out)) return std::nullopt;
        return out;
    }

    void write(std::string_view path, std::string_view bytes) override {
        write_itself(widen(path), path, bytes, "Cannot write " + std::string(path));
    }

    void append(std::string_view path, std::string_view bytes) override {
        const std::string what = "Cannot write " + std::string(path);
        const std::wstring w = widen(path);
        if (read_only_file(w)) fail(what, ERROR_ACCESS_DENIED);
        Handle h(open_itself(w, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS));
        if (!h.valid()) fail(what, GetLastError());
        refuse_link(h.get(), what, path);
        if (DWORD err = write_all(h.get(), bytes)) fail(what, err);
    }

    void replace(std::string_view from, std::string_view to) override {
        const std::string what = "Cannot move " + std::string(from) + " to " + std::string(to);
        const std::wstring wfrom = widen(from), wto = widen(to);
        refuse_link_at(wfrom, what, from);
        refuse_link_at(wto, what, to);
        if (read_only_file(wto)) fail(what, ERROR_ACCESS_DENIED);  // a read-only source may move
        // The data was flushed by write; WRITE_THROUGH has the rename on disk before returning.
        if (!MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            fail(what, GetLastError());
    }

    bool remove(std::string_view path) override {
        const std::string what = "Cannot delete " + std::string(path);
        std::wstring w = widen(path);
        DWORD attr = GetFileAttributesW(w.c_str());
        if (attr == INVALID_FILE_ATTRIBUTES) {
            DWORD err = GetLastError();
            if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME) return false;
            fail(what, err);
        }
        // A folder goes only when empty, as the simulated PC does.
        BOOL ok = (attr & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(w.c_str()) : DeleteFileW(w.c_str());
        if (!ok) {
            DWORD err = GetLastError();
            if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return false;
            fail(what, err);
        }
        return true;
    }

    std::vector<DirEntry> list(std::string_view path) override {
        std::vector<DirEntry> out;
        if (path.empty()) return out;
        std::wstring pattern = widen(path);
        if (!is_separator(pattern.back())) pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) return out;
        do {
            std::wstring_view name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            DirEntry entry;
            entry.name = narrow(name);
            entry.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (!entry.is_directory) entry.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            out.push_back(std::move(entry));
        } while (FindNextFileW(find, &data));
        FindClose(find);
        std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) {
            return CompareStringOrdinal(widen(a.name).c_str(), -1, widen(b.name).c_str(), -1, TRUE) == CSTR_LESS_THAN;
        });
        return out;
    }

    void copy(std::string_view from, std::string_view to) override {
        const std::string what = "Cannot copy " + std::string(from) + " to " + std::string(to);
        const std::wstring wto = widen(to);
        if (read_only_file(wto)) fail(what, ERROR_ACCESS_DENIED);  // as CopyFileW documents it
        // By hand rather than CopyFileW, which follows a link at either end: a linked source
        // would copy whatever it points at into a file others may read.
        Handle src(open_itself(widen(from), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
        if (!src.valid()) fail(what, GetLastError());
        DWORD attr = refuse_link(src.get(), "Cannot copy " + std::string(from), from);
        std::string bytes;
        if (!read_rest(src.get(), bytes)) fail(what, GetLastError());
        // As CopyFileW does, the copy takes the read-only attribute along.
        write_itself(wto, to, bytes, what, (attr & FILE_ATTRIBUTE_READONLY) != 0);
    }

    bool is_read_only(std::string_view path) override { return !path.empty() && read_only_file(widen(path)); }

    void set_read_only(std::string_view path, bool read_only) override {
        const std::string what = "Cannot change the attributes of " + std::string(path);
        std::wstring w = widen(path);
        DWORD attr = GetFileAttributesW(w.c_str());
        if (attr == INVALID_FILE_ATTRIBUTES) fail(what, GetLastError());
        // On a folder the attribute means something else to Explorer (a customised folder);
        // the seam speaks of files only.
        if (attr & FILE_ATTRIBUTE_DIRECTORY) throw PlatformError(what + ": it is a folder, not a file.");
        DWORD wanted = read_only ? (attr | FILE_ATTRIBUTE_READONLY) : (attr & ~DWORD(FILE_ATTRIBUTE_READONLY));
        if (wanted == attr) return;
        if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
        if (!SetFileAttributesW(w.c_str(), wanted)) fail(what, GetLastError());
    }
};

}  // namespace

std::unique_ptr<platform::FileSystem> make_file_system() { return std::make_unique<Win32Files>(); }

}  // namespace vexlo::win32
