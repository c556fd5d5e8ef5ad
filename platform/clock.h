#pragma once
#include <cstdint>

namespace vexlo::platform {

struct LocalTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime local_now() = 0;
    // Monotonic milliseconds for timers and measurements.
    virtual int64_t steady_ms() = 0;
};

}  // namespace vexlo::platform
