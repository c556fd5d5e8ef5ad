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
unsigned char g_chunk[64 * 1024];
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

bool hash_file(const wchar_t* path, unsigned char digest[32]) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    Sha256 hash;
    sha256_begin(&hash);
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, g_chunk, sizeof g_chunk, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        sha256_add(&hash, g_chunk, got);
    }
    CloseHandle(file);
    sha256_end(&hash, digest);
    return ok;
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
    if (!exists(g_host_exe)) {
        log_text("host executable missing after install");
        log_end_line();
        setup_failed();
    }
    unsigned char digest[32];
    if (!hash_file(g_host_exe, digest)) {
        log_text("could not read the host executable: error ");
        log_number(GetLastError());
        log_end_line();
        setup_failed();
    }
    bool same = true;
    for (int i = 0; i < 32; ++i) same = same && digest[i] == kCoreSha256[i];
    log_text("VexloTweaks-core.exe: SHA-256 ");
    if (!same) {
        log_text("mismatch: expected ");
        log_digest(kCoreSha256);
        log_text(" got ");
        log_digest(digest);
        log_end_line();
        setup_failed();
    }
    log_text("ok ");
    log_digest(digest);
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

    if (exists(g_host_exe)) {
        if (!DeleteFileW(g_host_exe)) {
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

[[noreturn]] void hand_off() {
    SetEnvironmentVariableW(L"VEXLO_LAUNCHER", g_own_path);
    if (!compose_command(g_command, kCommandUnits, g_host_exe, command_tail(GetCommandLineW()))) {
        fail(kStartFailed);
    }
    STARTUPINFOW startup;
    zero_bytes(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    zero_bytes(&process, sizeof process);
    if (!CreateProcessW(g_host_exe, g_command, nullptr, nullptr, FALSE, 0, nullptr, g_app_folder, &startup, &process)) {
        fail(kStartFailed);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ExitProcess(0);
}

}  // namespace

// The process entry point (linked with -e, no C runtime start-up code).
extern "C" [[noreturn]] void VexloLauncherEntry() {
    fill_paths();
    if (!installed_core_is_current()) build();
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
