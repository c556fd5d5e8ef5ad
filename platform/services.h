#pragma once
// Windows services: running state. Start types live in the registry (the service's Start value).
#include <string_view>

namespace vexlo::platform {

class Services {
public:
    virtual ~Services() = default;
    virtual bool is_running(std::string_view name) = 0;  // false when unknown
    // Stops the service and the services that depend on it. Throws PlatformError when it refuses.
    virtual void stop(std::string_view name) = 0;
    // Throws PlatformError when it cannot be started (disabled, unknown).
    virtual void start(std::string_view name) = 0;
};

}  // namespace vexlo::platform
