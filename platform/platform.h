#pragma once
// The seam between the application and Windows. The application reaches the PC only
// through these interfaces; each back end (the real PC, the simulated one) implements all.
#include "platform/boot.h"
#include "platform/clock.h"
#include "platform/defender.h"
#include "platform/devices.h"
#include "platform/echo.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/instance.h"
#include "platform/memory_agent.h"
#include "platform/network.h"
#include "platform/performance.h"
#include "platform/power.h"
#include "platform/processes.h"
#include "platform/random.h"
#include "platform/registry.h"
#include "platform/restore.h"
#include "platform/self_copy.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/system_info.h"
#include "platform/tasks.h"
#include "platform/tray.h"

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
    virtual Random& random() = 0;
    virtual Services& services() = 0;
    virtual TaskScheduler& tasks() = 0;
    virtual Power& power() = 0;
    virtual Network& network() = 0;
    virtual Devices& devices() = 0;
    virtual BootConfig& boot() = 0;
    virtual MemoryAgent& memory_agent() = 0;
    virtual Defender& defender() = 0;
    virtual SystemRestore& restore() = 0;
    virtual Input& input() = 0;
    virtual Performance& performance() = 0;
    virtual Echo& echo() = 0;
    virtual Tray& tray() = 0;
    virtual SelfCopy& self_copy() = 0;
};

}  // namespace vexlo::platform
