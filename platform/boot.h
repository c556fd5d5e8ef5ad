#pragma once
// Settings of the current boot entry.
#include <map>
#include <string>
#include <string_view>

namespace vexlo::platform {

class BootConfig {
public:
    virtual ~BootConfig() = default;
    // Name to value of the current entry's settings ("disabledynamictick" -> "Yes"); empty on failure.
    virtual std::map<std::string, std::string> current_entry() = 0;
    // Throw PlatformError.
    virtual void set_value(std::string_view name, std::string_view value) = 0;
    virtual void delete_value(std::string_view name) = 0;
};

}  // namespace vexlo::platform
