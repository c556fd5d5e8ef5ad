// The mouse settings the "enhance pointer precision" switch stands for, read and set the way the
// Control Panel does: through SystemParametersInfo, so that the running session takes them at
// once and, with the profile flag, the next sign-in finds them too.
#include <windows.h>

#include "platform/win32/parts.h"

namespace vexlo::win32 {

namespace {

class Win32Input final : public platform::Input {
public:
    std::optional<platform::MouseParameters> mouse_parameters() override {
        int values[3] = {};
        if (!SystemParametersInfoW(SPI_GETMOUSE, 0, values, 0)) return std::nullopt;
        return platform::MouseParameters{values[0], values[1], values[2]};
    }

    bool set_mouse_parameters(const platform::MouseParameters& values, uint32_t flags) override {
        int copy[3] = {values[0], values[1], values[2]};
        return SystemParametersInfoW(SPI_SETMOUSE, 0, copy, flags) != FALSE;
    }
};

}  // namespace

std::unique_ptr<platform::Input> make_input() { return std::make_unique<Win32Input>(); }

}  // namespace vexlo::win32
