#include "platform/sim/sim_machine.h"

#include <nlohmann/json.hpp>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_images.h"
#include "platform/sim/sim_objects.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::PlatformError;

namespace {

json facts_to_json(const MachineFacts& f) {
    return {{"windows_build", f.windows_build}, {"total_memory_bytes", f.total_memory_bytes},
            {"refresh_hz", f.refresh_hz},       {"battery", f.battery},
            {"cpus", f.cpus},                   {"gpus", f.gpus},
            {"os_caption", f.os_caption},       {"elevated", f.elevated}};
}

MachineFacts facts_from_json(const json& j) {
    MachineFacts f;
    f.windows_build = j.value("windows_build", 0u);
    f.total_memory_bytes = j.value("total_memory_bytes", uint64_t(0));
    f.refresh_hz = j.value("refresh_hz", 60);
    f.battery = j.value("battery", false);
    f.cpus = j.value("cpus", std::vector<std::string>{});
    f.gpus = j.value("gpus", std::vector<std::string>{});
    f.os_caption = j.value("os_caption", std::string());
    f.elevated = j.value("elevated", true);
    return f;
}

void write_machine_file(const fs::path& dir, const std::string& image, const MachineFacts& facts,
                        const std::vector<std::pair<std::string, std::string>>& environment) {
    json env = json::object();
    for (auto& [name, value] : environment) env[name] = value;
    json j = {{"image", image}, {"facts", facts_to_json(facts)}, {"environment", env}};
    write_file_atomically(dir / "machine.json", j.dump(1, '\t') + "\n");
}

Environment to_environment(const std::vector<std::pair<std::string, std::string>>& vars) {
    Environment env;
    for (auto& [name, value] : vars) env.insert_or_assign(name, value);
    return env;
}

// Writes a new machine into the empty folder `dir`; machine.json comes last, so a folder
// without it was never finished.
void seed(const fs::path& dir, const MachineImage& image) {
    Environment env = to_environment(image.environment);
    Faults no_faults;
    std::error_code ec;
    fs::create_directories(dir / "files" / "C", ec);
    fs::create_directories(dir / "objects", ec);
    if (ec) throw PlatformError("Cannot make the machine in " + dir.string() + ": " + ec.message());
    SimFiles files(dir / "files", env, no_faults);
    for (auto& folder : image.folders) files.create_directories(folder);
    for (auto& [path, content] : image.files) {
        files.create_directories(path.substr(0, path.rfind('\\')));
        files.write(path, content);
    }
    SimRegistry(dir / "registry.json", env, no_faults).reset(image.registry);
    SimProcesses(dir / "processes.json").reset(image.processes);
    write_machine_file(dir, image.name, image.facts, image.environment);
}

}  // namespace

SimMachine::SimMachine() = default;
SimMachine::~SimMachine() = default;

std::unique_ptr<SimMachine> SimMachine::open(const fs::path& dir, std::string_view image) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw PlatformError("Cannot make the folder " + dir.string() + ": " + ec.message());
    fs::path machine_file = dir / "machine.json";
    if (!fs::exists(machine_file)) {
        if (!fs::is_empty(dir, ec))
            throw PlatformError("The folder " + dir.string() + " is not empty and holds no simulated PC.");
        auto made = make_image(image);
        if (!made) throw PlatformError("There is no machine image named \"" + std::string(image) + "\".");
        seed(dir, *made);
    }

    auto text = read_whole_file(machine_file);
    if (!text) throw PlatformError("Cannot read " + machine_file.string());
    std::unique_ptr<SimMachine> m(new SimMachine());
    m->dir_ = dir;
    MachineFacts facts;
    try {
        json j = json::parse(*text);
        m->image_ = j.value("image", std::string());
        facts = facts_from_json(j.value("facts", json::object()));
        json env = j.value("environment", json::object());
        for (auto& [name, value] : env.items())
            m->environment_.emplace_back(name, value.get<std::string>());
    } catch (const json::exception& e) {
        throw PlatformError("The file " + machine_file.string() + " is damaged: " + e.what());
    }
    Environment env = to_environment(m->environment_);
    m->registry_ = std::make_unique<SimRegistry>(dir / "registry.json", env, m->faults_);
    m->files_ = std::make_unique<SimFiles>(dir / "files", env, m->faults_);
    m->objects_ = std::make_unique<SimNamedObjects>(dir / "objects");
    m->processes_ = std::make_unique<SimProcesses>(dir / "processes.json");
    m->system_ = std::make_unique<SimSystemInfo>(std::move(facts));
    m->shell_ = std::make_unique<SimShell>(dir / "shell.log");
    m->clock_ = std::make_unique<SimClock>();
    return m;
}

std::vector<std::string> SimMachine::image_names() { return sim::image_names(); }

fs::path SimMachine::host_path(std::string_view windows_path) const { return files_->host_path(windows_path); }
const fs::path& SimMachine::dir() const { return dir_; }
const std::string& SimMachine::image() const { return image_; }
Faults& SimMachine::faults() { return faults_; }

void SimMachine::start_process(std::string image) { processes_->start(std::move(image)); }
void SimMachine::stop_process(std::string_view image) { processes_->stop(image); }
void SimMachine::set_fixed_time(std::optional<platform::LocalTime> time) { clock_->set_fixed(time); }
void SimMachine::script_message_box(platform::MsgResult answer) { shell_->script(answer); }
std::vector<std::string> SimMachine::shell_log() const { return shell_->log(); }

void SimMachine::set_elevated(bool elevated) {
    system_->set_elevated(elevated);
    save_machine_file();
}

void SimMachine::save_machine_file() const { write_machine_file(dir_, image_, system_->facts(), environment_); }

platform::Registry& SimMachine::registry() { return *registry_; }
platform::FileSystem& SimMachine::files() { return *files_; }
platform::NamedObjects& SimMachine::named_objects() { return *objects_; }
platform::Processes& SimMachine::processes() { return *processes_; }
platform::SystemInfo& SimMachine::system() { return *system_; }
platform::Shell& SimMachine::shell() { return *shell_; }
platform::Clock& SimMachine::clock() { return *clock_; }

}  // namespace vexlo::sim
