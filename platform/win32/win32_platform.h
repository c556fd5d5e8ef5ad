#pragma once
// The real Windows PC behind the seam.
#include <memory>

#include "platform/platform.h"

namespace vexlo::win32 {

std::unique_ptr<platform::Platform> make_platform();

}  // namespace vexlo::win32
