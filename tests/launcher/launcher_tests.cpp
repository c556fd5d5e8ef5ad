// The launcher, VexloTweaks.exe: its string rules and SHA-256 as functions, and the whole program
// run as a user would, against a fresh LOCALAPPDATA per test. The test launchers beside this
// program carry a probe core (probe_core.cpp) that records how it was started; they are built
// from the product's sources with one difference: each message shown is also appended to the
// file named by VEXLO_TEST_MESSAGES.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "launcher/launch_strings.h"
#include "launcher/sha256.h"

namespace vl = vexlo::launcher;

namespace {

// The messages, exactly as the user sees them (UTF-8 here).
const std::string kNoAppData = "Could not find your AppData folder.";
const std::string kUnpackFailed =
    "Vexlo Tweaks could not unpack its files into %LOCALAPPDATA%\\VexloTweaks.\n\n"
    "Check that your drive is not full and that antivirus is not blocking the folder.";
const std::string kAlreadyRunning =
    "Vexlo Tweaks is already running (check the tray icon by the clock).\n\n"
    "Right-click it and choose Exit, then open Vexlo Tweaks again to finish the update.";
const std::string kSetupFailed =
    "Vexlo Tweaks could not finish setting up on this PC.\n\n"
    "Please send the file %LOCALAPPDATA%\\VexloTweaks\\app\\src\\build.log to support@vexlotweaks.com.";
const std::string kStartFailed = "Vexlo Tweaks could not start. Try running it again, or restart your PC.";

constexpr DWORD kWaitMs = 60000;  // a cap against hangs, not a speed requirement

// ---------------------------------------------------------------------------------------------
// Small helpers

std::string sha256_hex(const std::string& bytes) {
    vl::Sha256 hash;
    vl::sha256_begin(&hash);
    vl::sha256_add(&hash, bytes.data(), bytes.size());
    unsigned char digest[32];
    vl::sha256_end(&hash, digest);
    char hex[64];
    vl::hex_lower(digest, 32, hex);
    return std::string(hex, 64);
}

std::string utf16le(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string utf8(const std::wstring& text) {
    std::string out(text.size() * 4, '\0');
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? n : 0);
    return out;
}

std::wstring in_quotes(const std::wstring& path) { return L"\"" + path + L"\""; }

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::string> read_file(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void write_file(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << utf8(path);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

void remove_tree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

std::vector<std::wstring> list_folder(const std::wstring& path) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::wstring beside_tests(const std::wstring& name) {
    wchar_t own[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, own, MAX_PATH * 4);
    std::wstring path(own, n);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

const std::wstring kLauncherA = L"VexloLauncherTestA.exe";                      // carries VexloProbeA.exe
const std::wstring kLauncherB = L"VexloLauncherTestB.exe";                      // carries VexloProbeB.exe
const std::wstring kLauncherWrongDigest = L"VexloLauncherTestWrongDigest.exe";  // VexloProbeA.exe

// Compares bytes that should be equal; on failure says how, not what (they are binaries).
::testing::AssertionResult same_bytes(const std::optional<std::string>& actual, const std::string& expected) {
    if (!actual) return ::testing::AssertionFailure() << "missing";
    if (*actual != expected) {
        return ::testing::AssertionFailure()
               << actual->size() << " bytes, sha256 " << sha256_hex(*actual) << "; expected " << expected.size()
               << " bytes, sha256 " << sha256_hex(expected);
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult holds(const std::wstring& path, const std::string& expected) {
    return same_bytes(read_file(path), expected) << " (" << utf8(path) << ")";
}

std::string payload_file(const std::wstring& name) {
    std::optional<std::string> bytes = read_file(beside_tests(name));
    EXPECT_TRUE(bytes.has_value()) << "missing beside the tests: " << utf8(name);
    return bytes.value_or(std::string());
}
std::string probe_bytes(wchar_t flavour) { return payload_file(std::wstring(L"VexloProbe") + flavour + L".exe"); }
std::string logo_bytes() { return payload_file(L"launcher-payload\\logo.png"); }
std::string icon_bytes() { return payload_file(L"launcher-payload\\VexloTweaks.ico"); }

// The identifier a launcher carrying this probe must have, derived independently from the
// payload files: "3.1-" and the first 16 hex digits of SHA-256 over the three files' hex digests.
std::wstring expected_build_id(wchar_t flavour) {
    std::string combined = sha256_hex(probe_bytes(flavour)) + sha256_hex(logo_bytes()) + sha256_hex(icon_bytes());
    std::string hex = sha256_hex(combined).substr(0, 16);
    return L"3.1-" + std::wstring(hex.begin(), hex.end());
}

struct ProbeRecord {
    std::wstring flavour, pid, command_line, directory, launcher;
};

// ---------------------------------------------------------------------------------------------
// A fresh LOCALAPPDATA per test, and the means to run a launcher in it.

class LauncherRun : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        root_ = std::wstring(temp, n) + L"vexlo-launcher-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
        local_ = root_ + L"\\local";
        ASSERT_TRUE(CreateDirectoryW(local_.c_str(), nullptr));
        install_root_ = local_ + L"\\VexloTweaks";
        app_ = install_root_ + L"\\app";
        src_ = app_ + L"\\src";
        host_ = app_ + L"\\VexloTweaks-core.exe";
        stamp_ = app_ + L"\\core.version";
        messages_ = root_ + L"\\messages.txt";
        record_ = root_ + L"\\probe.record";
    }

    void TearDown() override {
        for (HANDLE process : keep_running_) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, kWaitMs);
            CloseHandle(process);
        }
        remove_tree(root_);
    }

    // The environment of the test process, with our LOCALAPPDATA (or none when not given) and the
    // files the test launchers and the probe report to.
    std::wstring environment(const std::optional<std::wstring>& local_app_data, const std::wstring& probe_sleep = L"",
                             const std::wstring& pause = L"") const {
        const std::vector<std::wstring> ours = {L"LOCALAPPDATA",      L"VEXLO_TEST_MESSAGES", L"VEXLO_PROBE_RECORD",
                                                L"VEXLO_PROBE_SLEEP", L"VEXLO_LAUNCHER",      L"VEXLO_TEST_PAUSE"};
        auto upper = [](std::wstring s) {
            for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
            return s;
        };
        auto name_of = [&](const std::wstring& entry) { return upper(entry.substr(0, entry.find(L'=', 1))); };
        std::vector<std::wstring> entries;
        wchar_t* block = GetEnvironmentStringsW();
        for (const wchar_t* p = block; *p != 0; p += wcslen(p) + 1) {
            std::wstring entry = p;
            if (std::find(ours.begin(), ours.end(), name_of(entry)) == ours.end()) entries.push_back(entry);
        }
        FreeEnvironmentStringsW(block);
        if (local_app_data) entries.push_back(L"LOCALAPPDATA=" + *local_app_data);
        entries.push_back(L"VEXLO_TEST_MESSAGES=" + messages_);
        entries.push_back(L"VEXLO_PROBE_RECORD=" + record_);
        if (!probe_sleep.empty()) entries.push_back(L"VEXLO_PROBE_SLEEP=" + probe_sleep);
        if (!pause.empty()) entries.push_back(L"VEXLO_TEST_PAUSE=" + pause);
        std::sort(entries.begin(), entries.end(),
                  [&](const std::wstring& a, const std::wstring& b) { return name_of(a) < name_of(b); });
        std::wstring result;
        for (const std::wstring& entry : entries) result += entry + L'\0';
        return result + L'\0';
    }

    // Starts program with exactly this command line; returns its process handle.
    HANDLE start(const std::wstring& program, std::wstring command_line, const std::wstring& env) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::wstring block = env;
        auto create = [&] {
            std::wstring line = command_line;
            return CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                  block.data(), nullptr, &startup, &process);
        };
        BOOL started = create();
        // Wine now and then refuses a start with ERROR_INTERNAL_ERROR before the program runs at
        // all (seen in CI on a loaded machine); a second try is a fresh start.
        for (int attempt = 1; !started && GetLastError() == ERROR_INTERNAL_ERROR && attempt < 3; ++attempt) {
            Sleep(50);
            started = create();
        }
        if (!started) {
            ADD_FAILURE() << "could not start " << utf8(program) << ": error " << GetLastError();
            return nullptr;
        }
        CloseHandle(process.hThread);
        return process.hProcess;
    }

    // Runs a test launcher to its end and returns its exit code (-1 if it could not be run).
    int run(const std::wstring& launcher, const std::wstring& arguments = L"") {
        std::wstring command = in_quotes(beside_tests(launcher)) + (arguments.empty() ? L"" : L" " + arguments);
        return run_command(launcher, command, local_);
    }

    // The same with an exact command line and LOCALAPPDATA (nullopt: not set).
    int run_command(const std::wstring& launcher, const std::wstring& command_line,
                    const std::optional<std::wstring>& local_app_data) {
        return finish(start(beside_tests(launcher), command_line, environment(local_app_data)));
    }

    // Waits for a launcher started with start() and returns its exit code (-1 if none).
    static int finish(HANDLE process) {
        if (process == nullptr) return -1;
        if (WaitForSingleObject(process, kWaitMs) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "launcher did not finish";
            TerminateProcess(process, 99);
        }
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        return static_cast<int>(code);
    }

    std::string build_log() const { return read_file(src_ + L"\\build.log").value_or(""); }

    // Messages the test launchers showed since the last call, in order.
    std::vector<std::string> messages() {
        std::vector<std::string> result;
        std::string all = read_file(messages_).value_or("");
        DeleteFileW(messages_.c_str());
        size_t start = 0;
        for (size_t end; (end = all.find('\x1e', start)) != std::string::npos; start = end + 1) {
            result.push_back(all.substr(start, end - start));
        }
        EXPECT_EQ(start, all.size()) << "unterminated message record";
        return result;
    }

    // Waits for the probe's record and for the probe to exit; the record is removed so that the
    // next run can be waited for in turn.
    std::optional<ProbeRecord> probe_record() {
        for (DWORD waited = 0; !exists(record_) && waited < kWaitMs; waited += 20) Sleep(20);
        std::optional<std::string> bytes = read_file(record_);
        if (!bytes) return std::nullopt;
        DeleteFileW(record_.c_str());
        std::wstring text(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / sizeof(wchar_t));
        std::vector<std::wstring> fields;
        for (size_t start = 0, end; (end = text.find(L'\0', start)) != std::wstring::npos; start = end + 1) {
            fields.push_back(text.substr(start, end - start));
        }
        if (fields.size() != 5) {
            ADD_FAILURE() << "malformed probe record";
            return std::nullopt;
        }
        ProbeRecord record{fields[0], fields[1], fields[2], fields[3], fields[4]};
        HANDLE probe = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(record.pid));
        if (probe != nullptr) {
            WaitForSingleObject(probe, kWaitMs);
            CloseHandle(probe);
        }
        return record;
    }

    // Lays out an installed app folder by hand: the host (a copy of a probe) and a stamp.
    void arrange_install(std::optional<wchar_t> host_flavour, const std::optional<std::string>& stamp) {
        CreateDirectoryW(install_root_.c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(app_.c_str(), nullptr));
        if (host_flavour) {
            ASSERT_TRUE(CopyFileW(beside_tests(std::wstring(L"VexloProbe") + *host_flavour + L".exe").c_str(),
                                  host_.c_str(), TRUE));
        }
        if (stamp) write_file(stamp_, *stamp);
    }

    // What every successful build leaves: the payload unpacked, the host installed and checked,
    // the current stamp, and the probe A core started from the host.
    void expect_built_and_started(const std::wstring& expected_command_line) {
        EXPECT_TRUE(holds(src_ + L"\\VexloTweaks-core.exe", probe_bytes(L'A')));
        EXPECT_TRUE(holds(src_ + L"\\logo.png", logo_bytes()));
        EXPECT_TRUE(holds(src_ + L"\\VexloTweaks.ico", icon_bytes()));
        EXPECT_TRUE(holds(host_, probe_bytes(L'A')));
        EXPECT_EQ(read_file(stamp_), utf16le(expected_build_id(L'A')));
        std::optional<ProbeRecord> record = probe_record();
        ASSERT_TRUE(record.has_value()) << "the core was not started";
        EXPECT_EQ(record->flavour, L"A");
        EXPECT_EQ(utf8(record->command_line), utf8(expected_command_line));
        EXPECT_EQ(utf8(record->directory), utf8(app_));
        EXPECT_EQ(utf8(record->launcher), utf8(beside_tests(kLauncherA)));
    }

    std::wstring root_, local_, install_root_, app_, src_, host_, stamp_, messages_, record_;
    std::vector<HANDLE> keep_running_;
};

// ---------------------------------------------------------------------------------------------
// Pure functions

TEST(LauncherCommandTail, SkipsTheProgramTokenAndTheBlanksAfterIt) {
    struct Case {
        const wchar_t* command_line;
        const wchar_t* tail;
    };
    const Case cases[] = {
        {L"\"C:\\Program Files\\Vexlo\\VexloTweaks.exe\" --tray", L"--tray"},
        {L"C:\\Vexlo\\VexloTweaks.exe   \"a b\"", L"\"a b\""},
        {L"\"C:\\Vexlo\\VexloTweaks.exe\"", L""},
        {L"\"C:\\Vexlo\\VexloTweaks.exe\" ", L""},
        {L"C:\\Vexlo\\VexloTweaks.exe", L""},
        {L"", L""},
        // Characters glued to the closing quote belong to the tail.
        {L"\"C:\\Vexlo\\VexloTweaks.exe\"--tray x", L"--tray x"},
        {L"\"C:\\Vexlo\\VexloTweaks.exe\"\"q\" r", L"\"q\" r"},
        // Tabs count as blanks around the program token; the rest is passed on unchanged.
        {L"\"C:\\a b\\VexloTweaks.exe\"\t \t--tray\t x ", L"--tray\t x "},
        {L"VexloTweaks.exe\t--tray", L"--tray"},
        {L"VexloTweaks.exe a  b", L"a  b"},
        // An unquoted token may contain quotes; a quoted one without an end swallows everything.
        {L"Vexlo\"Tweaks.exe --tray", L"--tray"},
        {L"\"C:\\Vexlo\\VexloTweaks.exe --tray", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8(vl::command_tail(c.command_line)), utf8(c.tail)) << utf8(c.command_line);
    }
}

TEST(LauncherCommandTail, ComposesQuotedHostThenBlankThenTail) {
    wchar_t out[64];
    ASSERT_TRUE(vl::compose_command(out, 64, L"C:\\A b\\core.exe", L"--tray \"x y\""));
    EXPECT_EQ(utf8(out), "\"C:\\A b\\core.exe\" --tray \"x y\"");
    ASSERT_TRUE(vl::compose_command(out, 64, L"C:\\core.exe", L""));
    EXPECT_EQ(utf8(out), "\"C:\\core.exe\" ");
}

TEST(LauncherCommandTail, BoundedBuffersRefuseWhatDoesNotFitAndNeverOverrun) {
    // "p" + "ab" as a command is "\"p\" ab": 6 units and the terminator.
    wchar_t out[16];
    std::fill(std::begin(out), std::end(out), L'#');
    EXPECT_TRUE(vl::compose_command(out, 7, L"p", L"ab"));
    EXPECT_EQ(utf8(out), "\"p\" ab");
    std::fill(std::begin(out), std::end(out), L'#');
    EXPECT_FALSE(vl::compose_command(out, 6, L"p", L"ab"));
    EXPECT_EQ(out[0], L'\0');
    EXPECT_EQ(out[6], L'#');

    std::fill(std::begin(out), std::end(out), L'#');
    EXPECT_TRUE(vl::join_path(out, 8, L"C:\\ab", L"\\c"));  // 7 units and the terminator
    EXPECT_EQ(utf8(out), "C:\\ab\\c");
    std::fill(std::begin(out), std::end(out), L'#');
    EXPECT_FALSE(vl::join_path(out, 7, L"C:\\ab", L"\\c"));
    EXPECT_EQ(out[0], L'\0');
    EXPECT_EQ(out[7], L'#');
    EXPECT_FALSE(vl::join_path(out, 8, L"C:\\ab", L"\\", L"cd"));  // three parts: 8 units do not fit in 8
    EXPECT_TRUE(vl::join_path(out, 9, L"C:\\ab", L"\\", L"cd"));
    EXPECT_EQ(utf8(out), "C:\\ab\\cd");
}

TEST(LauncherCommandTail, IdentifierComparisonIsExactAndCaseSensitive) {
    EXPECT_TRUE(vl::wide_equal(L"3.1-00ab", L"3.1-00ab"));
    EXPECT_FALSE(vl::wide_equal(L"3.1-00ab", L"3.1-00AB"));
    EXPECT_FALSE(vl::wide_equal(L"3.1-00ab", L"3.1-00a"));
    EXPECT_FALSE(vl::wide_equal(L"3.1-00a", L"3.1-00ab"));
    EXPECT_FALSE(vl::wide_equal(L"", L"3"));
}

TEST(LauncherSha256, MatchesKnownDigests) {
    struct Case {
        std::string message;
        const char* digest;
    };
    const Case cases[] = {
        // FIPS 180-4 examples.
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
         "mnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        // Lengths around the padding boundary (55 fits one block, 56 needs a second).
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
    };
    // Both ways of compressing a block: the portable rounds and, where the processor has them, the
    // SHA extensions. Fed whole, and one byte at a time (never a whole block straight from the input).
    for (const bool extensions : {false, true}) {
        const bool used = vl::sha256_use_cpu_extensions(extensions);
        if (extensions && !used) std::printf("this processor has no SHA extensions: portable rounds only\n");
        for (const Case& c : cases) {
            EXPECT_EQ(sha256_hex(c.message), c.digest) << c.message.size() << " bytes, extensions " << used;
            vl::Sha256 hash;
            vl::sha256_begin(&hash);
            for (char byte : c.message) vl::sha256_add(&hash, &byte, 1);
            unsigned char digest[32];
            vl::sha256_end(&hash, digest);
            char hex[64];
            vl::hex_lower(digest, 32, hex);
            EXPECT_EQ(std::string(hex, 64), c.digest) << c.message.size() << " bytes a byte at a time";
        }
    }
    vl::sha256_use_cpu_extensions(true);
}

TEST(LauncherSha256, PiecewiseInputGivesTheSameDigest) {
    // One million 'a' (FIPS 180-4), fed in uneven pieces as the launcher reads a file in chunks,
    // through both ways of compressing a block.
    for (const bool extensions : {false, true}) {
        const bool used = vl::sha256_use_cpu_extensions(extensions);
        std::string piece(997, 'a');
        vl::Sha256 hash;
        vl::sha256_begin(&hash);
        size_t left = 1000000;
        for (size_t i = 0; left > 0; ++i) {
            size_t take = std::min(left, (i % 3 == 0) ? size_t{1} : piece.size());
            vl::sha256_add(&hash, piece.data(), take);
            left -= take;
        }
        unsigned char digest[32];
        vl::sha256_end(&hash, digest);
        char hex[64];
        vl::hex_lower(digest, 32, hex);
        EXPECT_EQ(std::string(hex, 64), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0")
            << "extensions " << used;
    }
    vl::sha256_use_cpu_extensions(true);
}

// ---------------------------------------------------------------------------------------------
// The launcher's resources

class LauncherResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(beside_tests(kLauncherA).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override { FreeLibrary(module_); }

    // The resource's bytes in US English, nullopt when there is none.
    std::optional<std::string> resource(const wchar_t* type, WORD id) const {
        HRSRC found =
            FindResourceExW(module_, type, MAKEINTRESOURCEW(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        if (found == nullptr) return std::nullopt;
        const char* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(data, SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

TEST_F(LauncherResources, CarryThePayloadInUsEnglish) {
    EXPECT_TRUE(same_bytes(resource(RT_RCDATA, 101), probe_bytes(L'A')));
    EXPECT_TRUE(same_bytes(resource(RT_RCDATA, 104), logo_bytes()));
    EXPECT_TRUE(same_bytes(resource(RT_RCDATA, 105), icon_bytes()));
}

TEST_F(LauncherResources, ManifestAsksForAdministratorOnWindows10AndLater) {
    std::string manifest = resource(RT_MANIFEST, 1).value_or("");
    for (const char* part : {"<assemblyIdentity version=\"3.1.0.0\" name=\"VexloTweaks.launcher\" type=\"win32\"/>",
                             "<description>Vexlo Tweaks</description>",
                             "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>",
                             "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

TEST_F(LauncherResources, IconHasSevenImages) {
    std::string group = resource(RT_GROUP_ICON, 1).value_or("");
    ASSERT_GE(group.size(), 6u);
    EXPECT_EQ(static_cast<unsigned char>(group[4]) | static_cast<unsigned char>(group[5]) << 8, 7);
}

TEST_F(LauncherResources, VersionBlockNamesTheProduct) {
    std::wstring path = beside_tests(kLauncherA);
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::string info(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 3));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileVersion", L"3.1.0.0"},
        {L"ProductVersion", L"3.1.0.0"},
        {L"ProductName", L"Vexlo Tweaks"},
        {L"CompanyName", L"Vexlo Tweaks"},
        {L"FileDescription", L"Vexlo Tweaks - PC optimizer for Fortnite"},
        {L"InternalName", L"VexloTweaks"},
        {L"OriginalFilename", L"VexloTweaks.exe"},
        {L"LegalCopyright", L"Copyright (C) 2026 Vexlo Tweaks"},
    };
    for (const auto& [name, expected] : strings) {
        wchar_t* value = nullptr;
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << utf8(name);
        EXPECT_EQ(utf8(value), utf8(expected)) << utf8(name);
    }
    DWORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(*translation, MAKELONG(0x409, 1200));
}

// ---------------------------------------------------------------------------------------------
// The program

using LauncherInstall = LauncherRun;

TEST_F(LauncherInstall, FreshInstallUnpacksInstallsStampsAndHandsOff) {
    EXPECT_EQ(run(kLauncherA, L"--tray"), 0);
    EXPECT_TRUE(messages().empty());
    expect_built_and_started(in_quotes(host_) + L" --tray");
    EXPECT_EQ(read_file(stamp_).value_or("").size(), 40u);

    std::string log = read_file(src_ + L"\\build.log").value_or("");
    EXPECT_NE(log.find("VexloTweaks-core.exe: SHA-256 ok " + sha256_hex(probe_bytes(L'A')) + "\r\n"), std::string::npos)
        << log;
    for (size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 1)) {
        EXPECT_TRUE(at > 0 && log[at - 1] == '\r') << "lines end in CR LF";
    }
}

TEST_F(LauncherInstall, SecondStartTakesTheFastPath) {
    ASSERT_EQ(run(kLauncherA, L"--tray"), 0);
    ASSERT_TRUE(probe_record().has_value());
    for (const std::wstring& name : list_folder(src_)) ASSERT_TRUE(DeleteFileW((src_ + L"\\" + name).c_str()));

    // No arguments: the core's command line ends in the blank after the quoted host.
    EXPECT_EQ(run(kLauncherA), 0);
    EXPECT_TRUE(messages().empty());
    std::optional<ProbeRecord> record = probe_record();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(utf8(record->command_line), utf8(in_quotes(host_) + L" "));
    EXPECT_TRUE(list_folder(src_).empty()) << "nothing is unpacked again";
    EXPECT_EQ(read_file(stamp_), utf16le(expected_build_id(L'A')));
}

TEST_F(LauncherInstall, ArgumentsReachTheCoreAsWritten) {
    // Unquoted launcher path, extra blanks and a quoted argument: everything after the blanks
    // that follow the program token is passed on unchanged.
    std::wstring launcher = beside_tests(kLauncherA);
    ASSERT_EQ(launcher.find(L' '), std::wstring::npos) << "this case needs a path without blanks";
    EXPECT_EQ(run_command(kLauncherA, launcher + L" \t  \"a b\"  c\t", local_), 0);
    std::optional<ProbeRecord> record = probe_record();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(utf8(record->command_line), utf8(in_quotes(host_) + L" \"a b\"  c\t"));

    // Text glued to the closing quote of the program token stays.
    EXPECT_EQ(run_command(kLauncherA, in_quotes(launcher) + L"--tray", local_), 0);
    record = probe_record();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(utf8(record->command_line), utf8(in_quotes(host_) + L" --tray"));
}

TEST_F(LauncherInstall, DifferentPayloadsCarryDifferentIdentifiers) {
    ASSERT_EQ(run(kLauncherA), 0);
    ASSERT_TRUE(probe_record().has_value());
    std::string stamp_a = read_file(stamp_).value_or("");

    ASSERT_EQ(run(kLauncherB), 0);  // another payload: the stamp no longer matches, B rebuilds
    std::optional<ProbeRecord> record = probe_record();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->flavour, L"B");
    std::string stamp_b = read_file(stamp_).value_or("");

    EXPECT_EQ(stamp_a, utf16le(expected_build_id(L'A')));
    EXPECT_EQ(stamp_b, utf16le(expected_build_id(L'B')));
    EXPECT_NE(stamp_a, stamp_b);
    std::wstring id(reinterpret_cast<const wchar_t*>(stamp_b.data()), stamp_b.size() / 2);
    EXPECT_EQ(id.size(), 20u);
    EXPECT_EQ(id.substr(0, 4), L"3.1-");
    EXPECT_EQ(id.find_first_not_of(L"0123456789abcdef", 4), std::wstring::npos);
}

TEST_F(LauncherInstall, WrongCoreDigestFailsSetupAndLeavesNoInstall) {
    EXPECT_EQ(run(kLauncherWrongDigest), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{kSetupFailed});
    std::string log = read_file(src_ + L"\\build.log").value_or("");
    const std::string mismatch = "VexloTweaks-core.exe: SHA-256 mismatch: expected ";
    size_t at = log.find(mismatch);
    ASSERT_NE(at, std::string::npos) << log;
    std::string expected = log.substr(at + mismatch.size(), 64);
    EXPECT_EQ(expected.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(expected, sha256_hex(probe_bytes(L'A')));
    EXPECT_EQ(log.substr(at + mismatch.size() + 64, 5 + 64), " got " + sha256_hex(probe_bytes(L'A')));
    EXPECT_FALSE(exists(host_)) << "the bad host is removed";
    EXPECT_FALSE(exists(stamp_));
    EXPECT_FALSE(exists(record_)) << "the core was started";
}

TEST_F(LauncherInstall, UnpackFailureIsReported) {
    // A file where the source folder belongs: nothing can be unpacked into it.
    arrange_install(std::nullopt, std::nullopt);
    write_file(src_, "in the way");
    EXPECT_EQ(run(kLauncherA), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{kUnpackFailed});
    EXPECT_FALSE(exists(host_));
    EXPECT_FALSE(exists(stamp_));
    EXPECT_FALSE(exists(record_));
}

TEST_F(LauncherInstall, HostHeldOpenWithoutDeleteSharingReportsAlreadyRunning) {
    const std::string stale = utf16le(L"3.1-0000000000000000");
    arrange_install(L'B', stale);
    HANDLE held = CreateFileW(host_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    int code = run(kLauncherA);
    CloseHandle(held);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(messages(), std::vector<std::string>{kAlreadyRunning});
    EXPECT_TRUE(holds(host_, probe_bytes(L'B')));
    EXPECT_EQ(read_file(stamp_), stale) << "the stamp is only touched after the host is gone";
    EXPECT_FALSE(exists(record_));
}

TEST_F(LauncherInstall, RunningCoreReportsAlreadyRunning) {
    const std::string stale = utf16le(L"3.1-0000000000000000");
    arrange_install(L'B', stale);
    HANDLE core = start(host_, in_quotes(host_), environment(local_, L"600000"));
    ASSERT_NE(core, nullptr);
    keep_running_.push_back(core);
    for (DWORD waited = 0; !exists(record_) && waited < kWaitMs; waited += 20) Sleep(20);
    ASSERT_TRUE(DeleteFileW(record_.c_str())) << "the core did not start";

    EXPECT_EQ(run(kLauncherA), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{kAlreadyRunning});
    EXPECT_TRUE(holds(host_, probe_bytes(L'B')));
    EXPECT_FALSE(exists(record_));
}

TEST_F(LauncherInstall, CommandLineLongerThanTheBufferIsRefused) {
    // 8192 units hold the quoted host and a blank before the arguments; these do not fit.
    EXPECT_EQ(run(kLauncherA, std::wstring(8192, L'x')), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{kStartFailed});
    EXPECT_FALSE(exists(record_));
}

// ---------------------------------------------------------------------------------------------
// The version stamp decides between the fast path and a rebuild

struct StampCase {
    const char* name;
    bool host_present;
    // The stamp file's bytes for the launcher's identifier; nullopt: no stamp file.
    std::optional<std::string> (*stamp)(const std::wstring& id);
    bool rebuilds;
};

const StampCase kStampCases[] = {
    {"Current", true, [](const std::wstring& id) -> std::optional<std::string> { return utf16le(id); }, false},
    {"CurrentThenZeroUnit", true,
     [](const std::wstring& id) -> std::optional<std::string> { return utf16le(id) + std::string(2, '\0'); }, false},
    {"CurrentThenZeroUnitThenMore", true,
     [](const std::wstring& id) -> std::optional<std::string> {
         return utf16le(id) + std::string(2, '\0') + utf16le(L"junk");
     },
     false},
    {"CurrentThenCrLf", true,
     [](const std::wstring& id) -> std::optional<std::string> { return utf16le(id + L"\r\n"); }, true},
    {"CurrentInUtf8", true, [](const std::wstring& id) -> std::optional<std::string> { return utf8(id); }, true},
    {"CurrentThenMoreUnits", true,
     [](const std::wstring& id) -> std::optional<std::string> { return utf16le(id + L"x"); }, true},
    {"CurrentTruncated", true,
     [](const std::wstring& id) -> std::optional<std::string> { return utf16le(id.substr(0, 19)); }, true},
    {"OtherIdentifier", true,
     [](const std::wstring&) -> std::optional<std::string> { return utf16le(L"3.1-0123456789abcdef"); }, true},
    {"Empty", true, [](const std::wstring&) -> std::optional<std::string> { return std::string(); }, true},
    {"Missing", true, [](const std::wstring&) -> std::optional<std::string> { return std::nullopt; }, true},
    {"CurrentButHostMissing", false, [](const std::wstring& id) -> std::optional<std::string> { return utf16le(id); },
     true},
};

void PrintTo(const StampCase& c, std::ostream* out) { *out << c.name; }

class LauncherStamp : public LauncherRun, public ::testing::WithParamInterface<StampCase> {};

TEST_P(LauncherStamp, DecidesBetweenFastPathAndRebuild) {
    const StampCase& c = GetParam();
    const std::optional<std::string> stamp = c.stamp(expected_build_id(L'A'));
    // The installed host is launcher A's own core, so only the stamp decides; a rebuild is told
    // from the fast path by the unpacked source folder and the rewritten stamp.
    arrange_install(c.host_present ? std::optional<wchar_t>(L'A') : std::nullopt, stamp);

    ASSERT_EQ(run(kLauncherA, L"--tray"), 0);
    EXPECT_TRUE(messages().empty());
    if (c.rebuilds) {
        expect_built_and_started(in_quotes(host_) + L" --tray");
        EXPECT_EQ(build_log().find("installed core"), std::string::npos) << "a stale stamp alone is no alarm";
    } else {
        std::optional<ProbeRecord> record = probe_record();
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->flavour, L"A") << "the installed core runs";
        EXPECT_EQ(utf8(record->command_line), utf8(in_quotes(host_) + L" --tray"));
        EXPECT_EQ(read_file(stamp_), stamp);
        EXPECT_FALSE(exists(src_)) << "the fast path writes nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LauncherStamp, ::testing::ValuesIn(kStampCases),
                         [](const ::testing::TestParamInfo<StampCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// The installed core is checked on every start: anything else under its name is replaced

struct TamperCase {
    const char* name;
    // Puts something other than launcher A's core where the core belongs.
    void (*plant)(const std::wstring& host);
    const char* log_line;  // what build.log says about it, up to ": reinstalling"
};

const TamperCase kTamperCases[] = {
    {"OtherExecutable",
     [](const std::wstring& host) { write_file(host, probe_bytes(L'B')); },
     "installed core did not match the carried digest"},
    {"CoreLessItsLastByte",
     [](const std::wstring& host) {
         std::string core = probe_bytes(L'A');
         core.pop_back();
         write_file(host, core);
     },
     "installed core did not match the carried digest"},
    {"CoreAndOneMoreByte", [](const std::wstring& host) { write_file(host, probe_bytes(L'A') + '\0'); },
     "installed core did not match the carried digest"},
    {"EmptyFile", [](const std::wstring& host) { write_file(host, ""); },
     "installed core did not match the carried digest"},
    // A folder cannot be opened as a file at all; it is removed and the core installed.
    {"Folder", [](const std::wstring& host) { ASSERT_TRUE(CreateDirectoryW(host.c_str(), nullptr)); },
     "installed core could not be opened for checking: error "},
};

void PrintTo(const TamperCase& c, std::ostream* out) { *out << c.name; }

class LauncherTamperedCore : public LauncherRun, public ::testing::WithParamInterface<TamperCase> {};

TEST_P(LauncherTamperedCore, IsReplacedAndTheCarriedCoreRuns) {
    const TamperCase& c = GetParam();
    // A current stamp: before the check, this was the fast path that ran whatever stood there.
    arrange_install(std::nullopt, utf16le(expected_build_id(L'A')));
    c.plant(host_);

    ASSERT_EQ(run(kLauncherA, L"--tray"), 0);
    EXPECT_TRUE(messages().empty());
    expect_built_and_started(in_quotes(host_) + L" --tray");
    std::string log = build_log();
    size_t at = log.find(c.log_line);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(at, 0u) << "the reason comes first";
    const std::string line = log.substr(at, log.find("\r\n", at) - at);
    const std::string tail = ": reinstalling";
    EXPECT_TRUE(line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0) << line;
}

INSTANTIATE_TEST_SUITE_P(Cases, LauncherTamperedCore, ::testing::ValuesIn(kTamperCases),
                         [](const ::testing::TestParamInfo<TamperCase>& info) { return info.param.name; });

TEST_F(LauncherInstall, LinkInPlaceOfTheCoreIsReplacedEvenWhenItLeadsToTheCore) {
    // The link leads to a genuine copy of the core: the content would pass, the link must not.
    arrange_install(std::nullopt, utf16le(expected_build_id(L'A')));
    const std::wstring target = root_ + L"\\genuine-core.exe";
    write_file(target, probe_bytes(L'A'));
    if (!CreateSymbolicLinkW(host_.c_str(), target.c_str(), 0) ||
        (GetFileAttributesW(host_.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
        GetFileAttributesW(host_.c_str()) == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        DeleteFileW(host_.c_str());
        GTEST_SKIP() << "cannot make a file symbolic link here: CreateSymbolicLinkW failed (error " << error
                     << ") or left no reparse point (Wine 8.0 fails it with error 2)";
    }

    ASSERT_EQ(run(kLauncherA), 0);
    EXPECT_TRUE(messages().empty());
    expect_built_and_started(in_quotes(host_) + L" ");
    EXPECT_EQ(GetFileAttributesW(host_.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "a plain file now";
    EXPECT_NE(build_log().find("installed core is a link: reinstalling\r\n"), std::string::npos) << build_log();
    EXPECT_TRUE(holds(target, probe_bytes(L'A'))) << "what the link led to is left alone";
}

TEST_F(LauncherInstall, CoreCannotBeChangedWhileTheLauncherHoldsIt) {
    // Twice: the start that installs the core, then the fast path.
    for (const bool fresh : {true, false}) {
        SCOPED_TRACE(fresh ? "after a build" : "fast path");
        const std::wstring pause = L"vexlo-launcher-test-" + std::to_wstring(GetCurrentProcessId()) +
                                   (fresh ? L"-fresh" : L"-fast");
        HANDLE held = CreateEventW(nullptr, TRUE, FALSE, (pause + L".held").c_str());
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, (pause + L".go").c_str());
        ASSERT_TRUE(held != nullptr && go != nullptr);
        HANDLE launcher = start(beside_tests(kLauncherA), in_quotes(beside_tests(kLauncherA)),
                                environment(local_, L"", pause));
        ASSERT_NE(launcher, nullptr);
        bool paused = WaitForSingleObject(held, kWaitMs) == WAIT_OBJECT_0;
        EXPECT_TRUE(paused) << "the launcher never reached the start of the core";
        if (paused) {
            HANDLE writer = CreateFileW(host_.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "opened for writing";
            if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
            EXPECT_FALSE(CopyFileW(beside_tests(L"VexloProbeB.exe").c_str(), host_.c_str(), FALSE)) << "overwritten";
            EXPECT_FALSE(MoveFileExW(host_.c_str(), (host_ + L".old").c_str(), 0)) << "renamed";
            EXPECT_FALSE(DeleteFileW(host_.c_str())) << "deleted";
        }
        SetEvent(go);
        EXPECT_EQ(finish(launcher), 0);
        CloseHandle(held);
        CloseHandle(go);
        EXPECT_TRUE(messages().empty());
        std::optional<ProbeRecord> record = probe_record();
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->flavour, L"A");
        EXPECT_TRUE(holds(host_, probe_bytes(L'A')));
        EXPECT_FALSE(exists(host_ + L".old"));
    }
}

TEST_F(LauncherInstall, RunningCoreDoesNotKeepTheFastPathFromCheckingAndStartingAnother) {
    // The everyday second start while the application runs: the running core has its executable
    // mapped, and the launcher's share-read handle must still open, hash and start it.
    ASSERT_EQ(finish(start(beside_tests(kLauncherA), in_quotes(beside_tests(kLauncherA)), environment(local_, L"600000"))),
              0);
    for (DWORD waited = 0; !exists(record_) && waited < kWaitMs; waited += 20) Sleep(20);
    std::optional<std::string> first = read_file(record_);
    ASSERT_TRUE(first.has_value()) << "the first core did not start";
    ASSERT_TRUE(DeleteFileW(record_.c_str()));
    std::wstring first_text(reinterpret_cast<const wchar_t*>(first->data()), first->size() / sizeof(wchar_t));
    std::wstring first_pid = first_text.substr(first_text.find(L'\0') + 1);
    first_pid = first_pid.substr(0, first_pid.find(L'\0'));
    HANDLE running = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, std::stoul(first_pid));
    ASSERT_NE(running, nullptr);
    keep_running_.push_back(running);
    ASSERT_EQ(WaitForSingleObject(running, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the first core is still running";
    for (const std::wstring& name : list_folder(src_)) ASSERT_TRUE(DeleteFileW((src_ + L"\\" + name).c_str()));

    EXPECT_EQ(run(kLauncherA), 0);
    EXPECT_TRUE(messages().empty());
    std::optional<ProbeRecord> record = probe_record();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->flavour, L"A");
    EXPECT_NE(record->pid, first_pid);
    EXPECT_TRUE(list_folder(src_).empty()) << "the fast path, not a reinstall";
}

// ---------------------------------------------------------------------------------------------
// Files in the app folder that Windows' loader could load into the core

TEST(LauncherPlantedNames, LoaderMayLoadTheseNames) {
    for (const wchar_t* name : {L"iphlpapi.dll", L"WS2_32.DLL", L"a.Dll", L".dll", L"VexloTweaks-core.exe.local",
                                L"VexloTweaks-core.exe.manifest", L"VexloTweaks-core.exe.config", L"x.MANIFEST",
                                L"IPHLPA~1.DLL"}) {
        EXPECT_TRUE(vl::loader_may_load(name)) << utf8(name);
    }
    for (const wchar_t* name : {L"VexloTweaks-core.exe", L"core.version", L"src", L"assets", L"dll", L"x.dll.txt",
                                L"x.dl", L"local", L"x.locals", L"", L"logo.png"}) {
        EXPECT_FALSE(vl::loader_may_load(name)) << utf8(name);
    }
}

std::string planted_message(const std::string& name) {
    return "Vexlo Tweaks did not start: its folder %LOCALAPPDATA%\\VexloTweaks\\app holds a file that it did not put "
           "there and that Windows could load into Vexlo Tweaks:\n\n" +
           name +
           "\n\nA program on this PC may have planted it. Scan your PC for malware, delete the file, then open "
           "Vexlo Tweaks again.";
}

TEST_F(LauncherInstall, FileTheLoaderCouldUseInTheAppFolderStopsTheStart) {
    ASSERT_EQ(run(kLauncherA), 0);
    ASSERT_TRUE(probe_record().has_value());

    struct Plant {
        const wchar_t* name;
        bool folder;
    };
    for (const Plant& plant : {Plant{L"iphlpapi.dll", false}, Plant{L"VexloTweaks-core.exe.local", true},
                               Plant{L"VexloTweaks-core.exe.local", false}, Plant{L"VexloTweaks-core.exe.manifest", false},
                               Plant{L"BCRYPT.DLL", false}}) {
        SCOPED_TRACE(utf8(plant.name));
        const std::wstring path = app_ + L"\\" + plant.name;
        if (plant.folder) {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        } else {
            write_file(path, "MZ planted");
        }
        EXPECT_EQ(run(kLauncherA), 1);
        EXPECT_EQ(messages(), std::vector<std::string>{planted_message(utf8(plant.name))});
        EXPECT_FALSE(exists(record_)) << "the core was started";
        EXPECT_TRUE(exists(path)) << "the elevated launcher deletes nothing it did not put there";
        if (plant.folder) {
            RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileW(path.c_str());
        }
    }

    // Other files do not stop it, and without the planted one it starts again.
    write_file(app_ + L"\\notes.txt", "mine");
    ASSERT_TRUE(CreateDirectoryW((app_ + L"\\assets").c_str(), nullptr));
    EXPECT_EQ(run(kLauncherA), 0);
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(probe_record().has_value());
}

TEST_F(LauncherInstall, PlantedFileStopsTheStartAfterABuildToo) {
    arrange_install(std::nullopt, std::nullopt);
    write_file(app_ + L"\\version.dll", "MZ planted");
    EXPECT_EQ(run(kLauncherA), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{planted_message("version.dll")});
    EXPECT_TRUE(holds(host_, probe_bytes(L'A'))) << "installed, just not started";
    EXPECT_FALSE(exists(record_));
}

// ---------------------------------------------------------------------------------------------
// LOCALAPPDATA

struct AppDataCase {
    const char* name;
    std::optional<std::wstring> value;  // nullopt: not set
    const std::string* message;
};

void PrintTo(const AppDataCase& c, std::ostream* out) { *out << c.name; }

class LauncherAppData : public LauncherRun, public ::testing::WithParamInterface<AppDataCase> {};

TEST_P(LauncherAppData, UnusableFolderIsReported) {
    const AppDataCase& c = GetParam();
    EXPECT_EQ(run_command(kLauncherA, in_quotes(beside_tests(kLauncherA)), c.value), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{*c.message});
    EXPECT_FALSE(exists(record_));
}

// "C:\" and x's: 1023 units fill the 1024-unit buffer exactly, but "\VexloTweaks\app\..." no
// longer fits behind them; 1024 units do not fit the buffer at all.
std::wstring long_folder(size_t units) { return L"C:\\" + std::wstring(units - 3, L'x'); }

const AppDataCase kAppDataCases[] = {
    {"Missing", std::nullopt, &kNoAppData},
    {"Empty", std::wstring(), &kNoAppData},
    {"LongerThanTheBuffer", long_folder(1024), &kNoAppData},
    {"FarLongerThanTheBuffer", long_folder(5000), &kNoAppData},
    {"FitsButItsSubfoldersDoNot", long_folder(1023), &kUnpackFailed},
    {"HostPathDoesNotFit", long_folder(1000), &kUnpackFailed},
};

INSTANTIATE_TEST_SUITE_P(Cases, LauncherAppData, ::testing::ValuesIn(kAppDataCases),
                         [](const ::testing::TestParamInfo<AppDataCase>& info) { return info.param.name; });

}  // namespace
