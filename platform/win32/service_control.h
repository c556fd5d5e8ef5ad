#pragma once
// Services through the Service Control Manager, with the wait for a stop or start made explicit
// so that a test can use a short one.
#include <chrono>
#include <memory>

#include "platform/services.h"

namespace vexlo::win32 {

// How long stop() and start() wait for each service to reach its new state.
std::unique_ptr<platform::Services> make_services(std::chrono::milliseconds wait_limit);

}  // namespace vexlo::win32
