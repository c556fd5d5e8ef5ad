#pragma once
// Read-only facts about the PC. Every query fails quietly into a default.
#include <cstdint>
#include <string>
#include <vector>

namespace vexlo::platform {

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    virtual uint32_t windows_build() = 0;          // 0 when unknown
    virtual uint64_t total_memory_bytes() = 0;     // 0 when unknown
    virtual int refresh_hz() = 0;                  // 60 when unknown
    virtual bool has_battery() = 0;
    virtual std::vector<std::string> cpu_names() = 0;
    virtual std::vector<std::string> gpu_names() = 0;
    virtual std::string os_caption() = 0;          // "Microsoft Windows 11 Pro"
    virtual bool is_elevated() = 0;
};

}  // namespace vexlo::platform
