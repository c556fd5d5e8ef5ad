#include "platform/win32/tool_process.h"

#include <algorithm>
#include <memory>

#include "platform/error.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

// A tool that prints more than this is not one of those this file runs; stop keeping it.
constexpr size_t kMaxOutput = 4 * 1024 * 1024;

struct Handle {
    HANDLE h = nullptr;
    Handle() = default;
    explicit Handle(HANDLE v) : h(v == INVALID_HANDLE_VALUE ? nullptr : v) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void close() {
        if (h) CloseHandle(h);
        h = nullptr;
    }
};

struct Reader {
    HANDLE pipe = nullptr;
    std::string bytes;
};

DWORD WINAPI read_all(void* param) {
    auto* r = static_cast<Reader*>(param);
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(r->pipe, buf, sizeof buf, &got, nullptr) && got > 0)
        if (r->bytes.size() < kMaxOutput) r->bytes.append(buf, got);
    return 0;
}

// Waits for a reader to see its pipe close; a process the tool started may still hold the
// pipe, so after a moment the read is cancelled.
void finish_reading(HANDLE reading) {
    if (WaitForSingleObject(reading, 5000) != WAIT_OBJECT_0)
        while (WaitForSingleObject(reading, 500) == WAIT_TIMEOUT) CancelSynchronousIo(reading);
}

bool looks_like_utf16(std::string_view b) {
    if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xFE) return true;
    if (b.size() < 4 || b.size() % 2) return false;
    // ASCII text in UTF-16LE has a zero in every odd byte; OEM text has none.
    size_t pairs = std::min<size_t>(b.size() / 2, 64), zeros = 0;
    for (size_t i = 0; i < pairs; ++i) zeros += b[2 * i + 1] == '\0';
    return zeros * 4 >= pairs * 3;
}

}  // namespace

std::wstring system_tool(std::wstring_view relative) {
    wchar_t dir[MAX_PATH];
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    std::wstring path(dir, n < MAX_PATH ? n : 0);
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + std::wstring(relative);
}

std::string decode_tool_output(std::string_view bytes) {
    if (bytes.empty()) return {};
    if (looks_like_utf16(bytes)) {
        std::wstring_view w(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
        if (!w.empty() && w.front() == 0xFEFF) w.remove_prefix(1);
        return narrow(w);
    }
    int n = MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), int(bytes.size()), w.data(), n);
    return narrow(w);
}

std::string tool_message(std::string_view output) {
    std::string out;
    bool space = false;
    for (char c : output) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    }
    return out;
}

std::string tool_message(const ToolRun& run) { return tool_message(run.output + "\n" + run.errors); }

ToolRun run_tool(const std::wstring& program, const std::vector<std::wstring>& args, std::chrono::milliseconds limit) {
    const std::string name = narrow(program.substr(program.find_last_of(L'\\') + 1));
    auto cannot = [&](DWORD err) { fail("Cannot run " + name, err); };

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    // One pipe per stream: the tool may write to both at once, so each has its own reader and
    // neither can fill up while the other is being waited on.
    auto make_pipe = [&](Handle& read_pipe, Handle& write_pipe) {
        HANDLE read_end = nullptr, write_end = nullptr;
        if (!CreatePipe(&read_end, &write_end, &inherit, 0)) cannot(GetLastError());
        read_pipe.h = read_end;
        write_pipe.h = write_end;
        SetHandleInformation(read_pipe.h, HANDLE_FLAG_INHERIT, 0);
    };
    Handle out_read, out_write, err_read, err_write;
    make_pipe(out_read, out_write);
    make_pipe(err_read, err_write);
    Handle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
    if (!nul.h) cannot(GetLastError());

    // Only the pipes and NUL reach the tool: handles that other threads make inheritable at the
    // same moment must not, or a pipe could stay open after the tool ends.
    HANDLE inherited[] = {out_write.h, err_write.h, nul.h};
    SIZE_T list_size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
    auto list_buf = std::make_unique<char[]>(list_size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_buf.get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &list_size)) cannot(GetLastError());
    struct ListGuard {
        LPPROC_THREAD_ATTRIBUTE_LIST l;
        ~ListGuard() { DeleteProcThreadAttributeList(l); }
    } list_guard{list};
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited, nullptr, nullptr))
        cannot(GetLastError());

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.StartupInfo.wShowWindow = SW_HIDE;
    si.StartupInfo.hStdInput = nul.h;
    si.StartupInfo.hStdOutput = out_write.h;
    si.StartupInfo.hStdError = err_write.h;
    si.lpAttributeList = list;

    std::wstring cmd = quote_argument(program);
    if (!args.empty()) cmd += L' ' + join_arguments(args);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                        nullptr, nullptr, &si.StartupInfo, &pi))
        cannot(GetLastError());
    Handle process(pi.hProcess), thread(pi.hThread);
    // The tool holds the only write ends now: its exit ends the reading.
    out_write.close();
    err_write.close();
    nul.close();

    Reader out_reader{out_read.h, {}}, err_reader{err_read.h, {}};
    Handle out_thread(CreateThread(nullptr, 0, read_all, &out_reader, 0, nullptr));
    Handle err_thread(out_thread.h ? CreateThread(nullptr, 0, read_all, &err_reader, 0, nullptr) : nullptr);
    if (!out_thread.h || !err_thread.h) {
        DWORD err = GetLastError();
        TerminateProcess(process.h, 1);
        if (out_thread.h) finish_reading(out_thread.h);  // the reader uses this frame's buffer
        cannot(err);
    }

    DWORD waited = WaitForSingleObject(process.h, DWORD(std::max<long long>(0, limit.count())));
    bool timed_out = waited != WAIT_OBJECT_0;
    if (timed_out) {
        TerminateProcess(process.h, 1);
        WaitForSingleObject(process.h, 5000);
    }
    finish_reading(out_thread.h);
    finish_reading(err_thread.h);
    if (timed_out) {
        auto seconds = std::max<long long>(1, (limit.count() + 999) / 1000);
        throw platform::PlatformError(name + " did not finish within " + std::to_string(seconds) +
                                      (seconds == 1 ? " second." : " seconds."));
    }
    ToolRun run;
    if (!GetExitCodeProcess(process.h, &run.exit_code)) cannot(GetLastError());
    run.output = decode_tool_output(out_reader.bytes);
    run.errors = decode_tool_output(err_reader.bytes);
    return run;
}

}  // namespace vexlo::win32
