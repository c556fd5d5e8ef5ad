#pragma once
// The seam between the application and Windows. The application reaches the PC only
// through these interfaces; each back end (the real PC, the simulated one) implements all.
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/system_info.h"

namespace vexlo::platform {

class Platform {
public:
    virtual ~Platform() = default;
    virtual Registry& registry() = 0;
    virtual FileSystem& files() = 0;
    virtual NamedObjects& named_objects() = 0;
    virtual Processes& processes() = 0;
    virtual SystemInfo& system() = 0;
    virtual Shell& shell() = 0;
    virtual Clock& clock() = 0;
};

}  // namespace vexlo::platform
