#pragma once
// The real PC's implementation of each part of the seam, one factory per part.
#include <memory>

#include "platform/platform.h"

namespace vexlo::win32 {

std::unique_ptr<platform::Registry> make_registry();
std::unique_ptr<platform::FileSystem> make_file_system();
std::unique_ptr<platform::NamedObjects> make_named_objects();
std::unique_ptr<platform::Processes> make_processes();
std::unique_ptr<platform::SystemInfo> make_system_info();
std::unique_ptr<platform::Shell> make_shell();
std::unique_ptr<platform::Clock> make_clock();
std::unique_ptr<platform::Random> make_random();
std::unique_ptr<platform::Services> make_services();
std::unique_ptr<platform::TaskScheduler> make_task_scheduler();
std::unique_ptr<platform::Power> make_power();
std::unique_ptr<platform::Network> make_network();
std::unique_ptr<platform::Devices> make_devices();
std::unique_ptr<platform::BootConfig> make_boot_config();
std::unique_ptr<platform::MemoryAgent> make_memory_agent();
std::unique_ptr<platform::Defender> make_defender();
std::unique_ptr<platform::SystemRestore> make_system_restore();
std::unique_ptr<platform::Input> make_input();
std::unique_ptr<platform::Performance> make_performance();
std::unique_ptr<platform::Echo> make_echo();
std::unique_ptr<platform::Tray> make_tray();
std::unique_ptr<platform::SelfCopy> make_self_copy();

// True when running under Wine, whose power API crashes the process.
bool running_under_wine();

}  // namespace vexlo::win32
