// What checking the installed core costs the launcher on every start: reads a file in the
// launcher's 64 KiB chunks through one handle and hashes it with the launcher's own SHA-256
// (the same object code). Prints the size, the digest and the time per pass.
//
//   vexlo_launcher_hash_bench.exe [file] [passes] [portable]
// file defaults to VexloTweaks-core.exe beside this program, passes to 20; "portable" leaves the
// processor's SHA extensions unused. The first pass may
// read from disk; the rest read from the file cache, as a start of an installed core does.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "launcher/sha256.h"

namespace vl = vexlo::launcher;

namespace {

unsigned char g_chunk[64 * 1024];

bool hash_once(const std::wstring& path, unsigned char digest[32], unsigned long long* size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    vl::Sha256 hash;
    vl::sha256_begin(&hash);
    *size = 0;
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, g_chunk, sizeof g_chunk, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        vl::sha256_add(&hash, g_chunk, got);
        *size += got;
    }
    CloseHandle(file);
    vl::sha256_end(&hash, digest);
    return ok;
}

double now_ms() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring path;
    if (argc > 1) {
        path = argv[1];
    } else {
        wchar_t own[MAX_PATH * 4];
        DWORD n = GetModuleFileNameW(nullptr, own, MAX_PATH * 4);
        path = std::wstring(own, n);
        path = path.substr(0, path.find_last_of(L'\\') + 1) + L"VexloTweaks-core.exe";
    }
    int passes = argc > 2 ? _wtoi(argv[2]) : 20;
    if (passes < 1) passes = 1;
    bool extensions = vl::sha256_use_cpu_extensions(!(argc > 3 && std::wstring(argv[3]) == L"portable"));

    // CPU time over all passes as well: on a busy machine the wall-clock times mostly show waiting.
    auto cpu_ms = [] {
        FILETIME created, exited, kernel, user;
        GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
        auto ms = [](const FILETIME& t) {
            return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
        };
        return ms(kernel) + ms(user);
    };
    std::vector<double> times;
    double cpu_start = cpu_ms();
    unsigned char digest[32];
    unsigned long long size = 0;
    for (int i = 0; i < passes; ++i) {
        double start = now_ms();
        if (!hash_once(path, digest, &size)) {
            std::fprintf(stderr, "cannot read %ls: error %lu\n", path.c_str(), GetLastError());
            return 1;
        }
        times.push_back(now_ms() - start);
    }
    double cpu_per_pass = (cpu_ms() - cpu_start) / passes;
    char hex[65] = {};
    vl::hex_lower(digest, 32, hex);
    double first = times.front();
    std::sort(times.begin(), times.end());
    double median = times[times.size() / 2];
    std::printf("%ls\n%llu bytes, sha256 %s, %s\n", path.c_str(), size, hex,
                extensions ? "SHA extensions" : "portable rounds");
    std::printf("first pass %.2f ms; over %d passes: min %.2f ms, median %.2f ms (%.0f MB/s), max %.2f ms\n", first,
                passes, times.front(), median, static_cast<double>(size) / 1e6 / (median / 1000.0), times.back());
    std::printf("CPU time per pass %.2f ms (%.0f MB/s)\n", cpu_per_pass,
                static_cast<double>(size) / 1e6 / (cpu_per_pass / 1000.0));
    return 0;
}
