#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vexlo::platform {

struct ProcessInfo {
    uint32_t pid = 0;
    std::string image;  // file name of the executable, "FortniteClient-Win64-Shipping.exe"
};

class Processes {
public:
    virtual ~Processes() = default;
    // Empty on failure.
    virtual std::vector<ProcessInfo> list() = 0;
};

}  // namespace vexlo::platform
