// Wall-clock time of the PC's time zone, and a monotonic millisecond count.
#include <windows.h>

#include "platform/win32/parts.h"

namespace vexlo::win32 {
namespace {

class Win32Clock final : public platform::Clock {
public:
    Win32Clock() {
        LARGE_INTEGER f{};
        frequency_ = QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 0;
    }

    platform::LocalTime local_now() override {
        SYSTEMTIME st{};
        GetLocalTime(&st);
        return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
    }

    // The performance counter, finer than the 10-16 ms steps of GetTickCount64.
    int64_t steady_ms() override {
        LARGE_INTEGER c{};
        if (!frequency_ || !QueryPerformanceCounter(&c)) return int64_t(GetTickCount64());
        // Split so that counts * 1000 cannot overflow after long uptimes.
        return (c.QuadPart / frequency_) * 1000 + (c.QuadPart % frequency_) * 1000 / frequency_;
    }

private:
    int64_t frequency_ = 0;
};

}  // namespace

std::unique_ptr<platform::Clock> make_clock() { return std::make_unique<Win32Clock>(); }

}  // namespace vexlo::win32
