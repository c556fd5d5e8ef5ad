#pragma once
// The physical network adapters: their advanced properties, status, DNS servers, and the QoS
// policies that tag traffic.
#include <cstdint>
#include <optional>
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
    // What the driver stores: the current value ("0") and, paired with valid_display_values,
    // each choice's stored form. Display texts follow Windows' language; these do not.
    std::string registry_value;
    std::vector<std::string> valid_registry_values;
};

// A physical adapter as the network settings list it.
struct AdapterStatus {
    std::string name;       // "Ethernet"
    std::string status;     // "Up", "Disconnected" or "Disabled"
    uint32_t if_index = 0;  // the interface index; 0 when Windows gave none (a disabled adapter)
    std::string guid;       // the interface GUID as the TCP/IP keys name it, "{4E1F...}"; may be empty
};

// The Windows-wide offload settings (Get-NetOffloadGlobalSetting) that hold back or merge
// packets for every adapter, whatever their drivers say.
enum class OffloadGlobal { ReceiveSegmentCoalescing, PacketCoalescingFilter };

// A QoS policy that marks an application's packets with a DSCP value, on every network
// profile, for TCP and UDP alike.
struct QosPolicy {
    std::string name;      // "VexloTweaks Fortnite"
    std::string app_path;  // the program, by file name or full path
    int dscp = 0;          // 0..63
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

    // The IPv4 DNS servers an interface uses, in order: its static ones, else those DHCP gave.
    // Empty when it has none or cannot be read.
    virtual std::vector<std::string> dns_servers(uint32_t if_index) = 0;
    // Gives the interface these static IPv4 DNS servers, in order. Throws PlatformError.
    virtual void set_dns_servers(uint32_t if_index, const std::vector<std::string>& servers) = 0;
    // Back to the servers DHCP gives (no static ones). Throws PlatformError.
    virtual void reset_dns_servers(uint32_t if_index) = 0;
    // Empties the DNS client's cache. Throws PlatformError.
    virtual void flush_dns_cache() = 0;

    // Whether a QoS policy of that name (any case) exists; false when it cannot be read.
    virtual bool qos_policy_exists(std::string_view name) = 0;
    // Creates the policy, replacing one of the same name; it is in force from the next
    // refresh_qos_policies (or Windows' own periodic refresh). Throws PlatformError.
    virtual void create_qos_policy(const QosPolicy& policy) = 0;
    // Removes the policy, likewise until the next refresh; false when there was none. Throws
    // PlatformError.
    virtual bool remove_qos_policy(std::string_view name) = 0;
    // Has Windows apply the machine's policies now, so that the QoS service rereads its policies
    // and the TCP/IP QoS values that steer them. Call it after the last of those changes. Never
    // throws: what was written waits for Windows' next periodic refresh when this fails.
    virtual void refresh_qos_policies() = 0;

    // Whether the global offload setting is enabled; nullopt when it cannot be read.
    virtual std::optional<bool> offload_global(OffloadGlobal setting) = 0;
    // Enables or disables it for every adapter. Throws PlatformError.
    virtual void set_offload_global(OffloadGlobal setting, bool enabled) = 0;
};

}  // namespace vexlo::platform
