#pragma once
// The user's live mouse settings, as SystemParametersInfo reads and sets them.
#include <array>
#include <cstdint>
#include <optional>

namespace vexlo::platform {

// SPI_SETMOUSE's three integers, in order: first threshold, second threshold, acceleration.
using MouseParameters = std::array<int, 3>;

// SystemParametersInfo flags.
constexpr uint32_t kSpiUpdateIniFile = 1;  // write to the user profile
constexpr uint32_t kSpiSendChange = 2;     // broadcast the change

class Input {
public:
    virtual ~Input() = default;
    // SystemParametersInfo(SPI_GETMOUSE); nullopt when Windows gave nothing.
    virtual std::optional<MouseParameters> mouse_parameters() = 0;
    // SystemParametersInfo(SPI_SETMOUSE, 0, values, flags). False when Windows refused.
    virtual bool set_mouse_parameters(const MouseParameters& values, uint32_t flags) = 0;
};

}  // namespace vexlo::platform
