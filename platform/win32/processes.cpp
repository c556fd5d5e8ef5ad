// The running programs, from a Toolhelp snapshot.
#include <windows.h>
#include <tlhelp32.h>

#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

class Win32Processes final : public platform::Processes {
public:
    std::vector<platform::ProcessInfo> list() override {
        std::vector<platform::ProcessInfo> out;
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snap == INVALID_HANDLE_VALUE) return out;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
            out.push_back({uint32_t(entry.th32ProcessID), narrow(entry.szExeFile)});  // file name only
        CloseHandle(snap);
        return out;
    }
};

}  // namespace

std::unique_ptr<platform::Processes> make_processes() { return std::make_unique<Win32Processes>(); }

}  // namespace vexlo::win32
