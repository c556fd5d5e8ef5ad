#pragma once
// System Restore: the safety net a player can roll Windows back to after changing settings.
#include <string_view>

#include "platform/error.h"

namespace vexlo::platform {

class SystemRestore {
public:
    virtual ~SystemRestore() = default;
    // Turns System Protection on for a drive root ("C:\\"). Throws PlatformError.
    virtual void enable(std::string_view drive_root) = 0;
    // Creates a restore point (type MODIFY_SETTINGS). Throws PlatformError with Windows' reason.
    virtual void create_point(std::string_view description) = 0;
};

}  // namespace vexlo::platform
