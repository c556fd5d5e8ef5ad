#pragma once
// Kind svc: a service's start type (set through the service manager, which keeps the Start value
// too), and stopping a disabled service at once.
#include <string>

#include "app/tweaks/kind.h"

namespace vexlo {

inline constexpr const char* kSvcRoot = "HKLM:\\SYSTEM\\CurrentControlSet\\Services";

struct SvcData final : KindData {
    SvcData() = default;
    SvcData(std::string name, int start) : n(std::move(name)), s(start) {}
    std::string n;  // service name
    int s = 4;      // start type to set: 4 disabled, 3 on demand
};

const KindHandler& svc_handler();

}  // namespace vexlo
