#include "platform/win32/win32_platform.h"

#include <windows.h>

#include "platform/win32/parts.h"

namespace vexlo::win32 {

bool running_under_wine() {
    static const bool wine = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

namespace {

class Win32Platform final : public platform::Platform {
public:
    platform::Registry& registry() override { return *registry_; }
    platform::FileSystem& files() override { return *files_; }
    platform::NamedObjects& named_objects() override { return *named_; }
    platform::Processes& processes() override { return *processes_; }
    platform::SystemInfo& system() override { return *system_; }
    platform::Shell& shell() override { return *shell_; }
    platform::Clock& clock() override { return *clock_; }
    platform::Random& random() override { return *random_; }
    platform::Services& services() override { return *services_; }
    platform::TaskScheduler& tasks() override { return *tasks_; }
    platform::Power& power() override { return *power_; }
    platform::Network& network() override { return *network_; }
    platform::Devices& devices() override { return *devices_; }
    platform::BootConfig& boot() override { return *boot_; }
    platform::MemoryAgent& memory_agent() override { return *memory_; }
    platform::Defender& defender() override { return *defender_; }
    platform::SystemRestore& restore() override { return *restore_; }
    platform::Input& input() override { return *input_; }
    platform::Performance& performance() override { return *performance_; }
    platform::Echo& echo() override { return *echo_; }
    platform::Tray& tray() override { return *tray_; }
    platform::SelfCopy& self_copy() override { return *self_copy_; }

private:
    std::unique_ptr<platform::Registry> registry_ = make_registry();
    std::unique_ptr<platform::FileSystem> files_ = make_file_system();
    std::unique_ptr<platform::NamedObjects> named_ = make_named_objects();
    std::unique_ptr<platform::Processes> processes_ = make_processes();
    std::unique_ptr<platform::SystemInfo> system_ = make_system_info();
    std::unique_ptr<platform::Shell> shell_ = make_shell();
    std::unique_ptr<platform::Clock> clock_ = make_clock();
    std::unique_ptr<platform::Random> random_ = make_random();
    std::unique_ptr<platform::Services> services_ = make_services();
    std::unique_ptr<platform::TaskScheduler> tasks_ = make_task_scheduler();
    std::unique_ptr<platform::Power> power_ = make_power();
    std::unique_ptr<platform::Network> network_ = make_network();
    std::unique_ptr<platform::Devices> devices_ = make_devices();
    std::unique_ptr<platform::BootConfig> boot_ = make_boot_config();
    std::unique_ptr<platform::MemoryAgent> memory_ = make_memory_agent();
    std::unique_ptr<platform::Defender> defender_ = make_defender();
    std::unique_ptr<platform::SystemRestore> restore_ = make_system_restore();
    std::unique_ptr<platform::Input> input_ = make_input();
    std::unique_ptr<platform::Performance> performance_ = make_performance();
    std::unique_ptr<platform::Echo> echo_ = make_echo();
    std::unique_ptr<platform::Tray> tray_ = make_tray();
    std::unique_ptr<platform::SelfCopy> self_copy_ = make_self_copy();
};

}  // namespace

std::unique_ptr<platform::Platform> make_platform() { return std::make_unique<Win32Platform>(); }

}  // namespace vexlo::win32
