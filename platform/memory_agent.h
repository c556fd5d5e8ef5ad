#pragma once
// The memory manager agent's features.
#include <optional>

namespace vexlo::platform {

enum class MemoryFeature { Compression, PageCombining, ApplicationPreLaunch };

class MemoryAgent {
public:
    virtual ~MemoryAgent() = default;
    virtual std::optional<bool> enabled(MemoryFeature feature) = 0;  // nullopt when it cannot be read
    virtual void set_enabled(MemoryFeature feature, bool on) = 0;    // throws PlatformError
};

}  // namespace vexlo::platform
