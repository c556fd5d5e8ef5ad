// The copy of the running core that Windows starts elevated at sign-in. The task runs it
// without a prompt, so the copy must sit where only administrators can write: a file in the
// user's profile could be swapped by any program of the user and then run as administrator.
//
// The core needs nothing beside its executable: its web page, catalog and artwork are built
// into it, and the files it writes at start go to %LOCALAPPDATA%\VexloTweaks, wherever it was
// started from. So the executable alone is copied.
#include <windows.h>
#include <aclapi.h>
#include <bcrypt.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <array>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/win32/parts.h"
#include "platform/win32/protected_copy.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

using platform::PlatformError;

constexpr wchar_t kFolderName[] = L"Vexlo Tweaks";
constexpr wchar_t kFileName[] = L"VexloTweaks-core.exe";
constexpr wchar_t kTempPattern[] = L"VexloTweaks-core.exe.*.tmp";

using Digest = std::array<unsigned char, 32>;

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : h_(o.h_) { o.h_ = INVALID_HANDLE_VALUE; }
    Handle& operator=(Handle&&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }
    void close() {
        if (valid()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

// The object at the path itself, a link as the link: what is checked is what is used.
HANDLE open_itself(const std::wstring& path, DWORD access, DWORD share) {
    return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::optional<BY_HANDLE_FILE_INFORMATION> info_of(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return std::nullopt;
    return info;
}

bool is_link(const BY_HANDLE_FILE_INFORMATION& info) { return info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT; }

bool same_file(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

std::wstring running_program() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) fail("Cannot find the running program", GetLastError());
        if (n < buf.size()) return buf.substr(0, n);
        buf.resize(buf.size() * 2);
    }
}

// SHA-256 through the system's provider.
class Sha256 {
public:
    explicit Sha256(const std::string& what) {
        NTSTATUS st = BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
        if (st != 0) throw PlatformError(what + ": the system's SHA-256 is unavailable.");
        st = BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0);
        if (st != 0) throw PlatformError(what + ": the system's SHA-256 is unavailable.");
    }
    ~Sha256() {
        if (hash_) BCryptDestroyHash(hash_);
        if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void add(const unsigned char* data, DWORD size) { BCryptHashData(hash_, const_cast<PUCHAR>(data), size, 0); }
    Digest finish() {
        Digest d{};
        BCryptFinishHash(hash_, d.data(), ULONG(d.size()), 0);
        return d;
    }

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

// Reads the file from its start to its end, handing each piece to `sink`; false on a failed read.
template <class Sink>
bool read_all(HANDLE h, Sink&& sink) {
    std::vector<unsigned char> buf(1 << 20);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, buf.data(), DWORD(buf.size()), &got, nullptr)) return false;
        if (got == 0) return true;
        if (!sink(buf.data(), got)) return false;
    }
}

Digest digest_of(HANDLE h, const std::string& what) {
    Sha256 hash(what);
    if (!read_all(h, [&](const unsigned char* p, DWORD n) {
            hash.add(p, n);
            return true;
        }))
        fail(what, GetLastError());
    return hash.finish();
}

// Administrators, SYSTEM and TrustedInstaller: no program of a standard user can own anything
// as one of them.
bool trusted_owner(PSID owner) {
    if (!owner || !IsValidSid(owner)) return false;
    if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid)) return true;
    PSID installer = nullptr;
    if (!ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &installer))
        return false;
    bool same = EqualSid(owner, installer);
    LocalFree(installer);
    return same;
}

bool trusted_owner_of(HANDLE h) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd) !=
        ERROR_SUCCESS)
        return false;
    bool trusted = trusted_owner(owner);
    LocalFree(sd);
    return trusted;
}

// Rights that let their holder put another program in place of the copy: write or add files,
// add folders, delete the folder or what is in it, or change who may do so. Generic rights are
// counted too, as inheritable entries keep them unmapped until they reach a child.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                      WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

// Whether the access list gives anyone but Administrators, SYSTEM, TrustedInstaller or CREATOR
// OWNER (the owner is checked to be one of the first three) a right to change the folder or
// what is created in it, on the folder itself or by inheritance. A missing list lets everyone
// do everything. Deny entries are not weighed against allow entries: an allowed right is
// enough to refuse, which errs on the safe side.
bool others_may_change(BOOL present, PACL dacl) {
    if (!present || !dacl) return true;
    ACL_SIZE_INFORMATION size{};
    if (!GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) return true;
    BYTE creator_owner[SECURITY_MAX_SID_SIZE];
    DWORD n = sizeof creator_owner;
    if (!CreateWellKnownSid(WinCreatorOwnerSid, nullptr, creator_owner, &n)) return true;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw)) return true;
        auto* header = static_cast<ACE_HEADER*>(raw);
        // The plain and the conditional allow entries share this layout.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) continue;
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        if (!(ace->Mask & kChangeRights)) continue;
        PSID sid = &ace->SidStart;
        if (trusted_owner(sid) || EqualSid(sid, creator_owner)) continue;
        return true;
    }
    return false;
}

bool others_may_change(HANDLE h) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(h, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd) !=
        ERROR_SUCCESS)
        return true;
    bool open = others_may_change(TRUE, dacl);
    LocalFree(sd);
    return open;
}

// A security descriptor that makes Administrators the owner of what is created with it and
// leaves the access list to inheritance. An elevated administrator's objects are owned by the
// Administrators group by default, but a machine's policy can make the creating user the owner
// instead; that user's unelevated programs would then hold the owner's right to rewrite the
// access list (and inherit "CREATOR OWNER" full control), so the owner is set explicitly.
class AdministratorsOwned {
public:
    AdministratorsOwned() {
        DWORD size = sizeof sid_;
        ok_ = CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid_, &size) &&
              InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION) && SetSecurityDescriptorOwner(&sd_, sid_, FALSE);
        attributes_ = {sizeof attributes_, &sd_, FALSE};
    }
    SECURITY_ATTRIBUTES* get() { return ok_ ? &attributes_ : nullptr; }

private:
    BYTE sid_[SECURITY_MAX_SID_SIZE];
    SECURITY_DESCRIPTOR sd_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ok_ = false;
};

std::wstring program_files_folder() {
    PWSTR path = nullptr;
    HRESULT hr = SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DEFAULT, nullptr, &path);
    std::wstring w = SUCCEEDED(hr) && path ? std::wstring(path) : std::wstring();
    CoTaskMemFree(path);
    if (w.empty()) fail("Cannot find the Program Files folder", DWORD(hr));
    while (!w.empty() && (w.back() == L'\\' || w.back() == L'/')) w.pop_back();
    return w + L"\\" + kFolderName;
}

class Win32SelfCopy final : public platform::SelfCopy {
public:
    Win32SelfCopy(std::wstring folder, bool check_owner, bool check_access)
        : folder_(std::move(folder)), check_owner_(check_owner), check_access_(check_access) {}

    std::string path() override { return narrow(target()); }

    bool current() override {
        try {
            Handle folder(open_itself(folder_path(), READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE));
            auto folder_info = folder.valid() ? info_of(folder.get()) : std::nullopt;
            if (!folder_info || is_link(*folder_info) || !owner_ok(folder.get()) || !access_ok(folder.get())) return false;
            Handle file(open_itself(target(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE));
            auto file_info = file.valid() ? info_of(file.get()) : std::nullopt;
            if (!file_info || is_link(*file_info)) return false;
            return digest_of(file.get(), "Cannot check the copy of Vexlo Tweaks") == running_digest();
        } catch (const PlatformError&) {
            return false;  // unreadable counts as not current; install() then says why
        }
    }

    std::string install() override {
        const std::string what = "Cannot copy Vexlo Tweaks to " + narrow(folder_path());
        const std::wstring target_path = target();

        Handle source(open_itself(running_program(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE));
        if (!source.valid()) fail(what, GetLastError());
        auto source_info = info_of(source.get());
        if (!source_info) fail(what, GetLastError());

        Handle folder = open_folder(what);  // held until the copy is in place
        {
            Handle existing(open_itself(target_path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
            if (existing.valid()) {
                auto info = info_of(existing.get());
                if (!info) fail(what, GetLastError());
                if (is_link(*info)) throw platform::link_refused(what, narrow(target_path));
                // The running program is the copy (started by the task): nothing to replace.
                if (same_file(*info, *source_info)) return narrow(target_path);
            }
        }

        const std::wstring temp = folder_path() + L"\\" + kFileName + L"." + std::to_wstring(GetCurrentProcessId()) +
                                  L"-" + std::to_wstring(GetTickCount64()) + L".tmp";
        TempFile guard(temp);
        Digest source_digest = copy_into(source.get(), temp, what);
        Handle written(open_itself(temp, GENERIC_READ, FILE_SHARE_READ));
        if (!written.valid()) fail(what, GetLastError());
        if (digest_of(written.get(), what) != source_digest)
            throw PlatformError(what + ": the copy differs from the running program.");
        written.close();
        if (!MoveFileExW(temp.c_str(), target_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            fail(what, GetLastError());
        guard.release();
        remember_running_digest(source_digest);
        return narrow(target_path);
    }

    void remove() override {
        const std::string what = "Cannot remove the copy of Vexlo Tweaks in " + narrow(folder_path());
        Handle folder(open_itself(folder_path(), READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE));
        if (!folder.valid()) {
            DWORD err = GetLastError();
            if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return;
            fail(what, err);
        }
        auto info = info_of(folder.get());
        if (!info) fail(what, GetLastError());
        // Deleting through a link would delete whatever it points at, elevated.
        if (is_link(*info)) throw platform::link_refused(what, narrow(folder_path()));
        if (!(info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) throw PlatformError(what + ": it is not a folder.");

        // DeleteFileW removes a link itself, never its target.
        const std::wstring target_path = target();
        if (!DeleteFileW(target_path.c_str())) {
            DWORD err = GetLastError();
            if (err != ERROR_FILE_NOT_FOUND) {
                // The copy is the program running now (the task started it): it goes at the
                // next restart, and its folder with it.
                // That delete goes by path at the next start of Windows, as SYSTEM: only where
                // no program without administrator rights can put a link in its way.
                if (!(running_is(target_path) && access_ok(folder.get()) &&
                      MoveFileExW(target_path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)))
                    fail(what, err);
                MoveFileExW(folder_path().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            }
        }
        // What an interrupted install left.
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((folder_path() + L"\\" + kTempPattern).c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW((folder_path() + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        folder.close();
        RemoveDirectoryW(folder_path().c_str());  // only when empty; anything else there stays
    }

private:
    // Deletes the temporary copy on every way out but success.
    class TempFile {
    public:
        explicit TempFile(std::wstring path) : path_(std::move(path)) {}
        ~TempFile() {
            if (!path_.empty()) DeleteFileW(path_.c_str());
        }
        TempFile(const TempFile&) = delete;
        TempFile& operator=(const TempFile&) = delete;
        void release() { path_.clear(); }

    private:
        std::wstring path_;
    };

    const std::wstring& folder_path() {
        std::lock_guard lock(mutex_);
        if (folder_.empty()) folder_ = program_files_folder();
        return folder_;
    }

    std::wstring target() { return folder_path() + L"\\" + kFileName; }

    bool owner_ok(HANDLE folder) const { return !check_owner_ || trusted_owner_of(folder); }
    bool access_ok(HANDLE folder) const { return !check_access_ || !others_may_change(folder); }

    // The folder that holds ours (Program Files): whoever may delete in it may rename our folder
    // away and put another in its place once we let go of it.
    void check_parent(const std::string& what) {
        if (!check_access_) return;
        const std::wstring& path = folder_path();
        size_t cut = path.find_last_of(L"\\/");
        if (cut == std::wstring::npos) return;
        const std::wstring parent = path.substr(0, cut);
        Handle h(open_itself(parent, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
        if (!h.valid()) fail(what, GetLastError());
        auto info = info_of(h.get());
        if (!info) fail(what, GetLastError());
        if (is_link(*info)) throw platform::link_refused(what, narrow(parent));
        if (others_may_change(h.get()))
            throw PlatformError(what + ": programs without administrator rights may change " + narrow(parent) + ".");
    }

    // The folder, made when missing, and held open (without delete sharing, so it cannot be
    // renamed or swapped for a link while the copy is made) after checking it is a real
    // folder owned by administrators.
    Handle open_folder(const std::string& what) {
        const std::wstring& path = folder_path();
        check_parent(what);
        AdministratorsOwned owned;
        if (!CreateDirectoryW(path.c_str(), owned.get())) {
            DWORD err = GetLastError();
            if (err != ERROR_ALREADY_EXISTS) fail(what, err);
        }
        Handle folder(open_itself(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE));
        if (!folder.valid()) fail(what, GetLastError());
        auto info = info_of(folder.get());
        if (!info) fail(what, GetLastError());
        if (is_link(*info)) throw platform::link_refused(what, narrow(path));
        if (!(info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) throw PlatformError(what + ": it is not a folder.");
        if (!owner_ok(folder.get()))
            throw PlatformError(what + ": the folder is not owned by the administrators, so others may be able to change it.");
        if (!access_ok(folder.get()))
            throw PlatformError(what + ": programs without administrator rights may change the folder.");
        return folder;
    }

    // Writes the source's bytes into a new file and returns their digest.
    Digest copy_into(HANDLE source, const std::wstring& temp, const std::string& what) {
        AdministratorsOwned owned;
        Handle out(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, owned.get(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.valid()) fail(what, GetLastError());
        Sha256 hash(what);
        DWORD write_error = ERROR_SUCCESS;
        bool read_ok = read_all(source, [&](const unsigned char* p, DWORD n) {
            hash.add(p, n);
            DWORD written = 0;
            if (!WriteFile(out.get(), p, n, &written, nullptr) || written != n) {
                write_error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
                return false;
            }
            return true;
        });
        if (write_error != ERROR_SUCCESS) fail(what, write_error);
        if (!read_ok) fail(what, GetLastError());
        if (!FlushFileBuffers(out.get())) fail(what, GetLastError());
        return hash.finish();
    }

    bool running_is(const std::wstring& path) {
        Handle running(open_itself(running_program(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
        Handle other(open_itself(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
        if (!running.valid() || !other.valid()) return false;
        auto a = info_of(running.get()), b = info_of(other.get());
        return a && b && same_file(*a, *b);
    }

    // The running program cannot change on disk while it runs, so its digest is taken once.
    Digest running_digest() {
        {
            std::lock_guard lock(mutex_);
            if (running_digest_) return *running_digest_;
        }
        const std::string what = "Cannot read the running program";
        Handle source(open_itself(running_program(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE));
        if (!source.valid()) fail(what, GetLastError());
        Digest d = digest_of(source.get(), what);
        remember_running_digest(d);
        return d;
    }

    void remember_running_digest(const Digest& d) {
        std::lock_guard lock(mutex_);
        running_digest_ = d;
    }

    std::mutex mutex_;
    std::wstring folder_;
    const bool check_owner_;
    const bool check_access_;
    std::optional<Digest> running_digest_;
};

}  // namespace

bool owned_by_administrators(const std::wstring& folder) {
    Handle h(open_itself(folder, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    return h.valid() && trusted_owner_of(h.get());
}

std::unique_ptr<platform::SelfCopy> make_self_copy_in(std::wstring folder, bool check_owner, bool check_access) {
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return std::make_unique<Win32SelfCopy>(std::move(folder), check_owner, check_access);
}

std::unique_ptr<platform::SelfCopy> make_self_copy() {
    return std::make_unique<Win32SelfCopy>(std::wstring(), true, true);
}

std::optional<bool> lets_others_change(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return std::nullopt;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    std::optional<bool> open;
    if (GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) open = others_may_change(present, dacl);
    LocalFree(sd);
    return open;
}

}  // namespace vexlo::win32
