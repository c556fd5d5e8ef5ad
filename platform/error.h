#pragma once
#include <stdexcept>
#include <string>

namespace vexlo::platform {

// Any refusal of the operating system to make a change. The message is fit to show.
struct PlatformError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace vexlo::platform
