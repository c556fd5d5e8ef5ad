#pragma once
// A simulated Windows PC that lives in a folder, so the application can be developed, tested
// and demonstrated on Linux. The folder holds everything the PC is:
//   machine.json     facts (Windows build, memory, CPUs, GPUs...) and the user's environment
//   registry.json    HKCU and HKLM, readable and editable by hand
//   registry.json.lock  taken by writers; its first 8 bytes count the registry's changes
//   processes.json   the programs running
//   files/C/...      the drives
//   objects/         named mutexes and events, shared by the processes that open the folder
//   shell.log        what the application asked of the desktop
// Several processes may open the same folder at once; changes made by one are seen by the
// others.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/sim_faults.h"

namespace vexlo::sim {

class SimRegistry;
class SimFiles;
class SimNamedObjects;
class SimProcesses;
class SimSystemInfo;
class SimShell;
class SimClock;

class SimMachine final : public platform::Platform {
public:
    // Opens the machine kept in `dir` (created when missing). A new or empty folder is seeded
    // from the named built-in image; an existing machine is loaded as it was left and `image`
    // is ignored. Throws PlatformError for an unknown image, a folder that is neither empty
    // nor a machine, or a machine whose files are damaged.
    static std::unique_ptr<SimMachine> open(const std::filesystem::path& dir, std::string_view image = "desktop11");
    static std::vector<std::string> image_names();

    ~SimMachine() override;
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    // Where a Windows path of this machine lives on the host
    // ("C:\\Users\\Player\\x" -> dir/files/C/Users/Player/x). Throws PlatformError for a path
    // the machine refuses (relative, "..").
    std::filesystem::path host_path(std::string_view windows_path) const;
    const std::filesystem::path& dir() const;
    // The image the machine was seeded from.
    const std::string& image() const;
    Faults& faults();

    // Changing the simulated world, for tests and tools. The process list is kept in the
    // folder (other processes see it); the rest belongs to this object.
    void start_process(std::string image);
    void stop_process(std::string_view image);  // every process of that image, any case
    void set_fixed_time(std::optional<platform::LocalTime> time);
    void set_elevated(bool elevated);  // also kept in the folder for later opens
    void script_message_box(platform::MsgResult answer);  // queued answers for message_box
    std::vector<std::string> shell_log() const;            // what this object's shell recorded

    platform::Registry& registry() override;
    platform::FileSystem& files() override;
    platform::NamedObjects& named_objects() override;
    platform::Processes& processes() override;
    platform::SystemInfo& system() override;
    platform::Shell& shell() override;
    platform::Clock& clock() override;

private:
    SimMachine();
    void save_machine_file() const;

    std::filesystem::path dir_;
    std::string image_;
    Faults faults_;
    std::unique_ptr<SimRegistry> registry_;
    std::unique_ptr<SimFiles> files_;
    std::unique_ptr<SimNamedObjects> objects_;
    std::unique_ptr<SimProcesses> processes_;
    std::unique_ptr<SimSystemInfo> system_;
    std::unique_ptr<SimShell> shell_;
    std::unique_ptr<SimClock> clock_;
    std::vector<std::pair<std::string, std::string>> environment_;
};

}  // namespace vexlo::sim
