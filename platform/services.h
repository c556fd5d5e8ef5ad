#pragma once
// Windows services: running state and start type. The service manager keeps its own copy of
// every start type, read from the registry (the service's Start value) when Windows starts; a
// Start value written by hand waits for the next restart, a start type set here counts at once.
#include <cstdint>
#include <optional>
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
    // The start type the service manager goes by, in the Start value's numbers (0 boot, 1 system,
    // 2 automatic, 3 on demand, 4 disabled); nullopt for an unknown service.
    virtual std::optional<uint32_t> start_type(std::string_view name) = 0;
    // Sets the start type through the service manager, which takes it at once and writes the
    // Start value too. Throws PlatformError when the manager refuses: an unknown service, no
    // right to change it, a number it does not take for this service (boot and system are for
    // drivers only).
    virtual void set_start_type(std::string_view name, uint32_t start) = 0;
};

}  // namespace vexlo::platform
