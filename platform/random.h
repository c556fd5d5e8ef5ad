#pragma once
// Unpredictable bytes from the operating system's cryptographic generator, for secrets such
// as the window server's per-run key.
#include <cstddef>
#include <cstdint>

namespace vexlo::platform {

class Random {
public:
    virtual ~Random() = default;
    // Fills all `size` bytes or throws PlatformError; never hands back weaker bytes instead.
    virtual void fill(uint8_t* out, size_t size) = 0;
};

}  // namespace vexlo::platform
