#pragma once
// Microsoft Defender preferences.
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

class Defender {
public:
    virtual ~Defender() = default;
    // Defender's preferences can be read at all (it is installed and answers).
    virtual bool available() = 0;
    virtual bool realtime_protection_enabled() = 0;
    virtual std::vector<std::string> exclusion_paths() = 0;  // empty on failure
    // Throw PlatformError.
    virtual void add_exclusion_path(std::string_view path) = 0;
    virtual void remove_exclusion_path(std::string_view path) = 0;
};

}  // namespace vexlo::platform
