#pragma once
// Advanced properties of the physical network adapters.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

struct AdapterProperty {
    std::string adapter;        // adapter name, "Ethernet"
    std::string display_name;   // "Interrupt Moderation"
    std::string display_value;  // "Enabled"
    std::string keyword;        // registry keyword, "*InterruptModeration"
    std::vector<std::string> valid_display_values;  // may be empty (numeric properties)
    int64_t numeric_max = 0;    // 0 when not numeric
};

// A physical adapter as the network settings list it.
struct AdapterStatus {
    std::string name;    // "Ethernet"
    std::string status;  // "Up", "Disconnected" or "Disabled"
};

class Network {
public:
    virtual ~Network() = default;
    // Every advanced property of every physical adapter; empty on failure.
    virtual std::vector<AdapterProperty> adapter_properties() = 0;
    // Sets a property by display value, without restarting the adapter (takes effect at the next
    // restart). Throws PlatformError.
    virtual void set_adapter_property(std::string_view adapter, std::string_view display_name,
                                      std::string_view display_value) = 0;
    // The physical adapters and their status; empty on failure.
    virtual std::vector<AdapterStatus> physical_adapters() = 0;
    // Restarts one adapter (disable, then enable), so that changed properties take effect; the
    // connection drops for a few seconds. Throws PlatformError.
    virtual void restart_adapter(std::string_view name) = 0;
};

}  // namespace vexlo::platform
