#pragma once
// Microsoft Defender preferences.
#include <optional>
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

    // Defender's antimalware service is on (false while another antivirus is in charge).
    virtual bool antimalware_service_enabled() = 0;
    // The average CPU load, in percent, that a scan may use; nullopt when it cannot be read.
    virtual std::optional<int> scan_cpu_load_factor() = 0;
    // Whether scheduled scans run at low CPU priority; nullopt when it cannot be read.
    virtual std::optional<bool> low_cpu_priority() = 0;
    // Throw PlatformError (Defender accepts a load factor from 5 to 100 only).
    virtual void set_scan_cpu_load_factor(int percent) = 0;
    virtual void set_low_cpu_priority(bool on) = 0;
};

}  // namespace vexlo::platform
