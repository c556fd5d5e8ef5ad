// VexloTweaks.exe: the program the user starts. It unpacks the core it carries into
// %LOCALAPPDATA%\VexloTweaks\app on the first start (and after an update), then hands over to it
// and exits. Only kernel32 and user32, no C runtime, no heap: all state sits in the fixed buffers
// below, and every way out goes through ExitProcess.
#include <windows.h>

#include "launcher/launch_strings.h"
#include "launcher/sha256.h"
#include "launcher_payload.h"  // generated at build time: kBuildId, kCoreSha256

using namespace vexlo::launcher;

namespace {

constexpr DWORD kPathUnits = 1024;
constexpr DWORD kCommandUnits = 8192;
constexpr DWORD kStampUnits = 128;      // 256 bytes
constexpr DWORD kStampReadBytes = 254;  // leaves at least one zero unit at the end
constexpr DWORD kBuildIdBytes = 40;     // the 20 UTF-16 units of the identifier

wchar_t g_local_data[kPathUnits];
wchar_t g_windows_folder[kPathUnits];
wchar_t g_own_path[kPathUnits];
wchar_t g_install_root[kPathUnits];
wchar_t g_app_folder[kPathUnits];
wchar_t g_source_folder[kPathUnits];
wchar_t g_host_exe[kPathUnits];
wchar_t g_stamp_file[kPathUnits];
wchar_t g_command[kCommandUnits];
wchar_t g_stamp[kStampUnits];
wchar_t g_output_path[kPathUnits];
wchar_t g_message[2 * kPathUnits];
unsigned char g_chunk[64 * 1024];
WIN32_FIND_DATAW g_found;
// The installed core, held open from its check until the core has been started from it.
HANDLE g_core = INVALID_HANDLE_VALUE;
unsigned char g_core_digest[32];
DWORD g_core_error;
char g_log[16 * 1024];
DWORD g_log_length;
char g_utf8[4 * kPathUnits];

constexpr wchar_t kTitle[] = L"Vexlo Tweaks";
constexpr wchar_t kNoAppData[] = L"Could not find your AppData folder.";
constexpr wchar_t kUnpackFailed[] =
    L"Vexlo Tweaks could not unpack its files into %LOCALAPPDATA%\\VexloTweaks.\n\n"
    L"Check that your drive is not full and that antivirus is not blocking the folder.";
constexpr wchar_t kAlreadyRunning[] =
    L"Vexlo Tweaks is already running (check the tray icon by the clock).\n\n"
    L"Right-click it and choose Exit, then open Vexlo Tweaks again to finish the update.";
constexpr wchar_t kSetupFailed[] =
    L"Vexlo Tweaks could not finish setting up on this PC.\n\n"
    L"Please send the file %LOCALAPPDATA%\\VexloTweaks\\app\\src\\build.log to support@vexlotweaks.com.";
constexpr wchar_t kStartFailed[] = L"Vexlo Tweaks could not start. Try running it again, or restart your PC.";
// Followed by the file's name, then kPlantedFileEnd.
constexpr wchar_t kPlantedFile[] =
    L"Vexlo Tweaks did not start: its folder %LOCALAPPDATA%\\VexloTweaks\\app holds a file that it did not put "
    L"there and that Windows could load into Vexlo Tweaks:\n\n";
constexpr wchar_t kPlantedFileEnd[] =
    L"\n\nA program on this PC may have planted it. Scan your PC for malware, delete the file, then open "
    L"Vexlo Tweaks again.";

constexpr wchar_t kCoreName[] = L"VexloTweaks-core.exe";

struct PayloadFile {
    WORD id;
    const wchar_t* name;
};
constexpr PayloadFile kPayload[] = {
    {101, kCoreName},
    {104, L"logo.png"},
    {105, L"VexloTweaks.ico"},
};

void zero_bytes(void* p, SIZE_T size) {
    volatile unsigned char* b = static_cast<volatile unsigned char*>(p);
    while (size-- > 0) *b++ = 0;
}

#ifdef VEXLO_LAUNCHER_TEST_MESSAGES
// Test builds also append each message (UTF-8, then a 0x1E separator) to the file named by
// VEXLO_TEST_MESSAGES, so that tests can read what a user would have been shown.
wchar_t g_message_log[kPathUnits];
char g_message_utf8[4096];

void record_message(const wchar_t* text) {
    DWORD n = GetEnvironmentVariableW(L"VEXLO_TEST_MESSAGES", g_message_log, kPathUnits);
    if (n == 0 || n >= kPathUnits) return;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, g_message_utf8, sizeof g_message_utf8 - 1, nullptr, nullptr);
    if (bytes <= 0) return;
    g_message_utf8[bytes - 1] = 0x1E;  // in place of the terminator
    HANDLE file = CreateFileW(g_message_log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, g_message_utf8, static_cast<DWORD>(bytes), &written, nullptr);
    CloseHandle(file);
}
#endif

[[noreturn]] void fail(const wchar_t* text) {
#ifdef VEXLO_LAUNCHER_TEST_MESSAGES
    record_message(text);
#endif
    MessageBoxW(nullptr, text, kTitle, MB_ICONERROR);
    ExitProcess(1);
}

// --- build.log: ASCII/UTF-8 lines kept in memory and written out whole. ---

void log_bytes(const char* text, DWORD size) {
    for (DWORD i = 0; i < size && g_log_length < sizeof g_log; ++i) g_log[g_log_length++] = text[i];
}

void log_text(const char* text) {
    DWORD n = 0;
    while (text[n] != 0) ++n;
    log_bytes(text, n);
}

void log_wide(const wchar_t* text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, g_utf8, sizeof g_utf8, nullptr, nullptr);
    if (bytes > 1) log_bytes(g_utf8, static_cast<DWORD>(bytes - 1));
}

void log_number(DWORD value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) log_bytes(&digits[--n], 1);
}

void log_digest(const unsigned char digest[32]) {
    char hex[64];
    hex_lower(digest, 32, hex);
    log_bytes(hex, 64);
}

void log_end_line() { log_text("\r\n"); }

// --- files ---

bool write_whole_file(const wchar_t* path, const void* data, DWORD size) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, size, &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

void flush_log() {
    if (join_path(g_output_path, kPathUnits, g_source_folder, L"\\build.log")) {
        write_whole_file(g_output_path, g_log, g_log_length);
    }
}

// --- the installed core: checked through the handle it is then started under ---
//
// The app folder belongs to the user, so any program of theirs, not elevated, can replace the
// core in it; we run elevated. So the core is opened so that nobody can write, rename or delete
// it while we hold the handle (share read only), hashed through that handle, and started while
// the handle is still held: what runs is what was checked.

enum CoreCheck { kCoreOk, kCoreMissing, kCoreUnopenable, kCoreLink, kCoreNotPlain, kCoreUnreadable, kCoreMismatch };

void release_core() {
    if (g_core != INVALID_HANDLE_VALUE) CloseHandle(g_core);
    g_core = INVALID_HANDLE_VALUE;
}

CoreCheck check_held_core() {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(g_core, &info)) {
        g_core_error = GetLastError();
        return kCoreUnreadable;
    }
    // Opened with FILE_FLAG_OPEN_REPARSE_POINT, a link is the link itself and says so here.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return kCoreLink;
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ||
        GetFileType(g_core) != FILE_TYPE_DISK) {
        return kCoreNotPlain;
    }
    Sha256 hash;
    sha256_begin(&hash);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(g_core, g_chunk, sizeof g_chunk, &got, nullptr)) {
            g_core_error = GetLastError();
            return kCoreUnreadable;
        }
        if (got == 0) break;
        sha256_add(&hash, g_chunk, got);
    }
    sha256_end(&hash, g_core_digest);
    for (int i = 0; i < 32; ++i) {
        if (g_core_digest[i] != kCoreSha256[i]) return kCoreMismatch;
    }
    return kCoreOk;
}

// On kCoreOk the core stays held in g_core; on anything else nothing is held.
CoreCheck hold_core() {
    release_core();
    g_core = CreateFileW(g_host_exe, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (g_core == INVALID_HANDLE_VALUE) {
        g_core_error = GetLastError();
        return g_core_error == ERROR_FILE_NOT_FOUND || g_core_error == ERROR_PATH_NOT_FOUND ? kCoreMissing
                                                                                            : kCoreUnopenable;
    }
    CoreCheck result = check_held_core();
    if (result != kCoreOk) release_core();
    return result;
}

// What was wrong with the installed core, for build.log (no line end).
void log_core_check(CoreCheck check) {
    switch (check) {
        case kCoreOk: log_text("installed core matches the carried digest"); break;
        case kCoreMissing: log_text("installed core is missing"); break;
        case kCoreUnopenable:
            log_text("installed core could not be opened for checking: error ");
            log_number(g_core_error);
            break;
        case kCoreLink: log_text("installed core is a link"); break;
        case kCoreNotPlain: log_text("installed core is not a plain file"); break;
        case kCoreUnreadable:
            log_text("installed core could not be read for checking: error ");
            log_number(g_core_error);
            break;
        case kCoreMismatch: log_text("installed core did not match the carried digest"); break;
    }
}

// --- the steps ---

void fill_paths() {
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", g_local_data, kPathUnits);
    if (n == 0 || n >= kPathUnits) fail(kNoAppData);
    n = GetEnvironmentVariableW(L"WINDIR", g_windows_folder, kPathUnits);
    if (n == 0 || n >= kPathUnits) join_path(g_windows_folder, kPathUnits, L"C:\\Windows", L"");
    GetModuleFileNameW(nullptr, g_own_path, kPathUnits);
    // A LOCALAPPDATA so long that our folders would not fit is reported like any other place we
    // cannot unpack into.
    if (!join_path(g_install_root, kPathUnits, g_local_data, L"\\VexloTweaks") ||
        !join_path(g_app_folder, kPathUnits, g_install_root, L"\\app") ||
        !join_path(g_source_folder, kPathUnits, g_app_folder, L"\\src") ||
        !join_path(g_host_exe, kPathUnits, g_app_folder, L"\\VexloTweaks-core.exe") ||
        !join_path(g_stamp_file, kPathUnits, g_app_folder, L"\\core.version")) {
        fail(kUnpackFailed);
    }
}

bool installed_core_is_current() {
    if (!exists(g_host_exe)) return false;
    HANDLE file = CreateFileW(g_stamp_file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    zero_bytes(g_stamp, sizeof g_stamp);
    DWORD got = 0;
    ReadFile(file, g_stamp, kStampReadBytes, &got, nullptr);
    CloseHandle(file);
    return wide_equal(g_stamp, kBuildId);
}

bool unpack(const PayloadFile& file) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(file.id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (found == nullptr) {
        log_text("resource ");
        log_number(file.id);
        log_text(" not found");
        log_end_line();
        return false;
    }
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    DWORD size = SizeofResource(nullptr, found);
    if (data == nullptr || size == 0) {
        log_text("resource ");
        log_number(file.id);
        log_text(" is empty or unreadable");
        log_end_line();
        return false;
    }
    if (!join_path(g_output_path, kPathUnits, g_source_folder, L"\\", file.name)) {
        log_text("path too long for ");
        log_wide(file.name);
        log_end_line();
        return false;
    }
    if (!write_whole_file(g_output_path, data, size)) {
        log_text("could not write ");
        log_wide(g_output_path);
        log_text(": error ");
        log_number(GetLastError());
        log_end_line();
        return false;
    }
    log_text("unpacked ");
    log_wide(file.name);
    log_text(" (");
    log_number(size);
    log_text(" bytes)");
    log_end_line();
    return true;
}

[[noreturn]] void setup_failed() {
    if (exists(g_host_exe)) {
        if (DeleteFileW(g_host_exe)) {
            log_text("removed the bad host executable");
        } else {
            log_text("could not remove the bad host executable: error ");
            log_number(GetLastError());
        }
        log_end_line();
    }
    log_text("setup failed");
    log_end_line();
    flush_log();
    fail(kSetupFailed);
}

void install_core() {
    if (!join_path(g_output_path, kPathUnits, g_source_folder, L"\\VexloTweaks-core.exe")) setup_failed();
    log_text("install ");
    log_wide(g_output_path);
    log_text(" -> ");
    log_wide(g_host_exe);
    log_end_line();
    if (!CopyFileW(g_output_path, g_host_exe, FALSE)) {
        log_text("copy failed: error ");
        log_number(GetLastError());
        log_end_line();
        setup_failed();
    }
    // The check that the hand-off relies on: from here the installed core stays held until it
    // has been started.
    CoreCheck check = hold_core();
    if (check == kCoreMismatch) {
        log_text("VexloTweaks-core.exe: SHA-256 mismatch: expected ");
        log_digest(kCoreSha256);
        log_text(" got ");
        log_digest(g_core_digest);
        log_end_line();
        setup_failed();
    }
    if (check != kCoreOk) {
        log_core_check(check);
        log_text(" after install");
        log_end_line();
        setup_failed();
    }
    log_text("VexloTweaks-core.exe: SHA-256 ok ");
    log_digest(g_core_digest);
    log_end_line();
}

void build() {
    log_text("Vexlo Tweaks ");
    log_wide(kBuildId);
    log_text(" setting up in ");
    log_wide(g_app_folder);
    log_end_line();

    CreateDirectoryW(g_install_root, nullptr);
    CreateDirectoryW(g_app_folder, nullptr);
    CreateDirectoryW(g_source_folder, nullptr);

    for (const PayloadFile& file : kPayload) {
        if (!unpack(file)) {
            flush_log();
            fail(kUnpackFailed);
        }
    }

    DWORD host_attributes = GetFileAttributesW(g_host_exe);
    if (host_attributes != INVALID_FILE_ATTRIBUTES) {
        // A folder (or a link to one) where the core belongs is no running core: removing it
        // takes away only an empty folder or the link itself, never what a link points to.
        bool folder = (host_attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!(folder ? RemoveDirectoryW(g_host_exe) : DeleteFileW(g_host_exe))) {
            log_text("could not remove the previous host executable (still running?): error ");
            log_number(GetLastError());
            log_end_line();
            flush_log();
            fail(kAlreadyRunning);
        }
        log_text("removed the previous host executable");
        log_end_line();
    }
    DeleteFileW(g_stamp_file);

    install_core();

    // A stamp that cannot be written only costs a rebuild on the next start.
    if (write_whole_file(g_stamp_file, kBuildId, kBuildIdBytes)) {
        log_text("version stamp written");
    } else {
        log_text("could not write the version stamp: error ");
        log_number(GetLastError());
    }
    log_end_line();
    flush_log();
}

#ifdef VEXLO_LAUNCHER_TEST_PAUSE
// Test builds: with VEXLO_TEST_PAUSE=<name> the launcher, holding the checked core, signals the
// event <name>.held and waits (a minute at most) for <name>.go before it starts the core, so that
// tests can try to change the core in between.
wchar_t g_pause_name[128];
wchar_t g_event_name[160];

void test_pause() {
    DWORD n = GetEnvironmentVariableW(L"VEXLO_TEST_PAUSE", g_pause_name, 128);
    if (n == 0 || n >= 128) return;
    if (join_path(g_event_name, 160, g_pause_name, L".held")) {
        HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, g_event_name);
        if (held != nullptr) {
            SetEvent(held);
            CloseHandle(held);
        }
    }
    if (join_path(g_event_name, 160, g_pause_name, L".go")) {
        HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, g_event_name);
        if (go != nullptr) {
            WaitForSingleObject(go, 60000);
            CloseHandle(go);
        }
    }
}
#endif

// Windows' loader looks in a program's own folder for every DLL that is not a KnownDLL before it
// looks in System32, and it may honour redirection files there. The app folder is the user's to
// write, so such a file in it would run inside the elevated core: refuse to start, naming it.
void refuse_planted_files() {
    if (!join_path(g_output_path, kPathUnits, g_app_folder, L"\\*")) fail(kStartFailed);
    HANDLE search = FindFirstFileExW(g_output_path, FindExInfoStandard, &g_found, FindExSearchNameMatch, nullptr, 0);
    // We hold the core in this folder, so it cannot be empty: a folder we cannot list is refused.
    if (search == INVALID_HANDLE_VALUE) fail(kStartFailed);
    bool planted = false;
    do {
        planted = loader_may_load(g_found.cFileName) || loader_may_load(g_found.cAlternateFileName);
    } while (!planted && FindNextFileW(search, &g_found));
    FindClose(search);
    if (!planted) return;
    if (!join_path(g_message, 2 * kPathUnits, kPlantedFile, g_found.cFileName, kPlantedFileEnd)) fail(kStartFailed);
    fail(g_message);
}

// Starts the core held in g_core (checked), while still holding it.
[[noreturn]] void hand_off() {
    SetEnvironmentVariableW(L"VEXLO_LAUNCHER", g_own_path);
    if (!compose_command(g_command, kCommandUnits, g_host_exe, command_tail(GetCommandLineW()))) {
        fail(kStartFailed);
    }
#ifdef VEXLO_LAUNCHER_TEST_PAUSE
    test_pause();
#endif
    refuse_planted_files();
    STARTUPINFOW startup;
    zero_bytes(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    zero_bytes(&process, sizeof process);
    if (!CreateProcessW(g_host_exe, g_command, nullptr, nullptr, FALSE, 0, nullptr, g_app_folder, &startup, &process)) {
        fail(kStartFailed);
    }
    // The new process has mapped its image by now: the file can no longer change under it.
    release_core();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ExitProcess(0);
}

}  // namespace

// The process entry point (linked with -e, no C runtime start-up code).
extern "C" [[noreturn]] void VexloLauncherEntry() {
    fill_paths();
    if (installed_core_is_current()) {
        CoreCheck check = hold_core();
        if (check == kCoreOk) hand_off();
        // Whatever stands there now is not the core we carry: treated like a missing build.
        log_core_check(check);
        log_text(": reinstalling");
        log_end_line();
    }
    build();
    hand_off();
}

// GCC may emit calls to these for block copies and clears even in freestanding code.
extern "C" void* memset(void* dest, int value, size_t size) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(dest);
    while (size-- > 0) *p++ = static_cast<unsigned char>(value);
    return dest;
}

extern "C" void* memcpy(void* dest, const void* src, size_t size) {
    volatile unsigned char* d = static_cast<volatile unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    while (size-- > 0) *d++ = *s++;
    return dest;
}
