#include "platform/sim/sim_machine.h"

#include <nlohmann/json.hpp>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_images.h"
#include "platform/sim/sim_objects.h"
#include "platform/sim/sim_performance.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_tray.h"
#include "platform/sim/sim_util.h"
#include "platform/sim/sim_world.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::PlatformError;

namespace {

json facts_to_json(const MachineFacts& f) {
    return {{"windows_build", f.windows_build}, {"total_memory_bytes", f.total_memory_bytes},
            {"refresh_hz", f.refresh_hz},       {"battery", f.battery},
            {"cpus", f.cpus},                   {"gpus", f.gpus},
            {"os_caption", f.os_caption},       {"elevated", f.elevated},
            {"desktop_user", f.desktop_user}};
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
    f.desktop_user = j.value("desktop_user", std::string());
    return f;
}

void write_machine_file(const fs::path& dir, const std::string& image, const MachineFacts& facts,
                        const std::vector<std::pair<std::string, std::string>>& environment) {
    json env = json::object();
    for (auto& [name, value] : environment) env[name] = value;
    json j = {{"image", image}, {"facts", facts_to_json(facts)}, {"environment", env}};
    write_file_atomically(dir / "machine.json", j.dump(1, '\t') + "\n");
}

std::string env_value(const std::vector<std::pair<std::string, std::string>>& vars, std::string_view name) {
    for (auto& [n, value] : vars)
        if (iequals(n, name)) return value;
    return {};
}

Environment to_environment(const std::vector<std::pair<std::string, std::string>>& vars) {
    Environment env;
    for (auto& [name, value] : vars) env.insert_or_assign(name, value);
    return env;
}

// Writes a new machine into the empty folder `dir`; machine.json comes last, so a folder
// without it was never finished. The parts of sim_world.h follow when the machine is opened.
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
        std::string parent = path.substr(0, path.rfind('\\'));
        if (parent.size() == 2) parent += '\\';  // a file at the root of the drive
        files.create_directories(parent);
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
    std::optional<MachineImage> made;  // the image, once needed
    if (!fs::exists(machine_file)) {
        if (!fs::is_empty(dir, ec))
            throw PlatformError("The folder " + dir.string() + " is not empty and holds no simulated PC.");
        made = make_image(image);
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
    m->system_ = std::make_unique<SimSystemInfo>(std::move(facts), env_value(m->environment_, "USERNAME"));
    m->shell_ = std::make_unique<SimShell>(dir / "shell.log");
    m->clock_ = std::make_unique<SimClock>();
    m->random_ = std::make_unique<SimRandom>();
    m->services_ = std::make_unique<SimServices>(dir, *m->registry_, m->faults_);
    m->tasks_ = std::make_unique<SimTasks>(dir, m->faults_);
    m->power_ = std::make_unique<SimPower>(dir, *m->registry_, *m->files_, m->faults_);
    m->network_ = std::make_unique<SimNetwork>(dir, *m->registry_, m->faults_);
    m->devices_ = std::make_unique<SimDevices>(dir);
    m->boot_ = std::make_unique<SimBoot>(dir);
    m->memory_agent_ = std::make_unique<SimMemoryAgent>(dir);
    m->defender_ = std::make_unique<SimDefender>(dir);
    m->restore_ = std::make_unique<SimRestore>(dir, *m->clock_, m->faults_);
    m->input_ = std::make_unique<SimInput>(dir, *m->registry_, m->faults_);
    m->performance_ = std::make_unique<SimPerformance>(dir, *m->system_);
    m->echo_ = std::make_unique<SimEcho>(dir, *m->clock_);
    m->tray_ = std::make_unique<SimTray>(dir);
    m->self_copy_ = std::make_unique<SimSelfCopy>(*m->files_, env_value(m->environment_, "LOCALAPPDATA"),
                                                  env_value(m->environment_, "ProgramFiles"));

    // A part whose file is missing (a new machine, or one made before the part existed)
    // starts as the image has it; an unknown image leaves it empty.
    auto open_part = [&](auto& store, const auto WorldSeed::*member) {
        store.watch(&m->faults_);
        if (store.exists()) return store.load();
        if (!made) made = make_image(m->image_);
        store.reset(made ? (*made).world.*member : std::remove_cvref_t<decltype((*made).world.*member)>{});
    };
    open_part(m->services_->store(), &WorldSeed::services);
    open_part(m->tasks_->store(), &WorldSeed::tasks);
    open_part(m->power_->store(), &WorldSeed::power);
    open_part(m->network_->store(), &WorldSeed::network);
    open_part(m->devices_->store(), &WorldSeed::devices);
    open_part(m->boot_->store(), &WorldSeed::boot);
    open_part(m->memory_agent_->store(), &WorldSeed::memory_agent);
    open_part(m->defender_->store(), &WorldSeed::defender);
    open_part(m->restore_->store(), &WorldSeed::restore);
    open_part(m->input_->store(), &WorldSeed::input);
    open_part(m->echo_->store(), &WorldSeed::echo);
    if (m->performance_->store().exists()) {
        m->performance_->store().watch(&m->faults_);
        m->performance_->store().load();
    } else {
        // Also for a machine made before the part existed: its lists follow its memory size.
        m->performance_->store().watch(&m->faults_);
        m->performance_->store().reset(performance_for_memory(m->system_->total_memory_bytes()));
    }
    // The service manager's start types of a new machine, or of one made before it kept them,
    // are what its registry says, as after a boot.
    m->services_->adopt_missing_start_types();
    return m;
}

std::vector<std::string> SimMachine::image_names() { return sim::image_names(); }

fs::path SimMachine::host_path(std::string_view windows_path) const { return files_->host_path(windows_path); }
const fs::path& SimMachine::dir() const { return dir_; }
const std::string& SimMachine::image() const { return image_; }
Faults& SimMachine::faults() { return faults_; }

uint32_t SimMachine::start_process(std::string image, platform::PriorityClass priority, bool refuses_changes) {
    return processes_->start(std::move(image), priority, refuses_changes);
}
void SimMachine::stop_process(std::string_view image) { processes_->stop(image); }
std::vector<SimMachine::ProcessState> SimMachine::process_list() {
    std::vector<ProcessState> out;
    for (auto& p : processes_->entries()) out.push_back({p.pid, p.image, p.priority, p.refuses_changes});
    return out;
}
void SimMachine::set_process_priority(uint32_t pid, platform::PriorityClass priority) {
    processes_->force_priority(pid, priority);
}
void SimMachine::set_fixed_time(std::optional<platform::LocalTime> time) { clock_->set_fixed(time); }
void SimMachine::freeze_clock() { clock_->freeze(); }
void SimMachine::advance_clock(std::chrono::milliseconds by) { clock_->advance(by); }
void SimMachine::script_message_box(platform::MsgResult answer) { shell_->script(answer); }
std::vector<std::string> SimMachine::shell_log() const { return shell_->log(); }

void SimMachine::set_service_running(std::string_view name, bool running) { services_->set_running(name, running); }
void SimMachine::reboot() { services_->boot(); }
void SimMachine::set_task_state(std::string_view path, std::string_view state) { tasks_->set_state(path, state); }
void SimMachine::delete_plan(std::string_view guid) { power_->delete_plan(guid); }

std::optional<SimMachine::PowerIndices> SimMachine::power_indices(std::string_view plan, std::string_view subgroup,
                                                                  std::string_view setting) {
    auto v = power_->value(plan, subgroup, setting);
    if (!v) return std::nullopt;
    return PowerIndices{v->ac, v->dc};
}

void SimMachine::set_defender(bool available, bool realtime_protection) {
    defender_->store().update([&](DefenderState& d) {
        d.available = available;
        d.realtime_protection = realtime_protection;
    });
}

void SimMachine::set_system_protection(bool on) { restore_->set_protection(on); }

std::vector<SimMachine::RestorePoint> SimMachine::restore_points() {
    std::vector<RestorePoint> out;
    for (auto& p : restore_->points()) out.push_back({p.description, p.type, p.time});
    return out;
}

void SimMachine::set_adapter_status(std::string_view adapter, std::string_view status) {
    network_->set_status(adapter, status);
}
int SimMachine::adapter_restarts(std::string_view adapter) { return network_->restarts(adapter); }
std::vector<std::string> SimMachine::dns_cache() { return network_->dns_cache(); }
int SimMachine::dns_flushes() { return network_->dns_flushes(); }
std::vector<SimMachine::QosPolicyInfo> SimMachine::qos_policies() {
    std::vector<QosPolicyInfo> out;
    for (auto& q : network_->qos_policies()) out.push_back({q.name, q.app_path, q.dscp});
    return out;
}
std::vector<SimMachine::QosRefresh> SimMachine::qos_refreshes() {
    std::vector<QosRefresh> out;
    for (auto& r : network_->qos_refreshes()) out.push_back({r.policies, r.no_nla});
    return out;
}
SimMachine::MouseState SimMachine::mouse_state() {
    auto in = input_->state();
    return {in.mouse, in.mouse_sets, in.last_flags};
}

std::vector<SimMachine::TimerRequest> SimMachine::timer_requests() {
    std::vector<TimerRequest> out;
    for (auto& r : performance_->requests()) out.push_back({r.pid, r.image, r.value, r.alive});
    return out;
}

void SimMachine::set_booster_available(bool available) {
    performance_->store().update([&](PerformanceState& p) { p.native_calls = available; });
}

SimMachine::MemoryState SimMachine::memory_state() {
    auto p = performance_->state();
    return {p.free_bytes,      p.standby_bytes, p.refuse_purge, p.purges, p.memory_lists_readable, p.processor_load,
            p.system_counters_readable};
}

void SimMachine::set_memory_lists(uint64_t free_bytes, uint64_t standby_bytes) {
    performance_->store().update([&](PerformanceState& p) {
        p.free_bytes = free_bytes;
        p.standby_bytes = standby_bytes;
    });
}
void SimMachine::set_purge_refused(bool refused) {
    performance_->store().update([&](PerformanceState& p) { p.refuse_purge = refused; });
}
void SimMachine::set_memory_lists_readable(bool readable) {
    performance_->store().update([&](PerformanceState& p) { p.memory_lists_readable = readable; });
}
void SimMachine::set_processor_load(double percent) {
    if (!(percent >= 0 && percent <= 100)) throw PlatformError("A processor load is 0 to 100 percent.");
    performance_->store().update([&](PerformanceState& p) { p.processor_load = percent; });
}
void SimMachine::set_system_counters_readable(bool readable) {
    performance_->store().update([&](PerformanceState& p) { p.system_counters_readable = readable; });
}

void SimMachine::set_echo_target(std::string_view address, uint32_t ms, int loss_percent) {
    if (!is_ipv4(address)) throw PlatformError("\"" + std::string(address) + "\" is not an IPv4 address.");
    if (loss_percent < 0 || loss_percent > 100) throw PlatformError("A loss is 0 to 100 percent.");
    echo_->store().update([&](EchoState& e) {
        for (auto& t : e.targets)
            if (t.address == address) {
                t.ms = ms;
                t.loss = loss_percent;
                return;
            }
        e.targets.push_back({std::string(address), ms, loss_percent});
    });
}
bool SimMachine::remove_echo_target(std::string_view address) {
    bool listed = echo_->store().read([&](const EchoState& e) { return e.find(address) != nullptr; });
    if (!listed) return false;
    echo_->store().update([&](EchoState& e) {
        std::erase_if(e.targets, [&](const EchoTarget& t) { return t.address == address; });
    });
    return true;
}
void SimMachine::clear_echo_targets() {
    echo_->store().update([](EchoState& e) { e.targets.clear(); });
}
std::vector<SimMachine::EchoTargetState> SimMachine::echo_targets() {
    return echo_->store().read([](const EchoState& e) {
        std::vector<EchoTargetState> out;
        for (auto& t : e.targets) out.push_back({t.address, t.ms, t.loss});
        return out;
    });
}
void SimMachine::set_network_offline(bool offline) {
    echo_->store().update([&](EchoState& e) { e.offline = offline; });
}
bool SimMachine::network_offline() {
    return echo_->store().read([](const EchoState& e) { return e.offline; });
}

SimMachine::TrayState SimMachine::tray_state() {
    auto s = tray_->state();
    TrayState out{s.shown, s.owner_pid, s.tooltip, s.menu, {}};
    for (auto& b : s.balloons) out.balloons.push_back({b.title, b.text, b.timeout_ms});
    return out;
}
void SimMachine::tray_choose(std::string_view item) { tray_->choose(item); }
void SimMachine::tray_double_click() { tray_->double_click(); }

std::optional<SimMachine::LogonTaskSettings> SimMachine::logon_task_settings(std::string_view name) {
    auto d = tasks_->logon_definition(name);
    if (!d) return std::nullopt;
    return LogonTaskSettings{d->program,    d->arguments,  d->user, d->run_level, d->logon_type, d->time_limit,
                             d->allow_start_on_batteries, d->stop_on_batteries, d->priority};
}

std::string SimMachine::running_core_path() { return self_copy_->running(); }

void SimMachine::place_running_core(std::string_view bytes) {
    std::string path = running_core_path();
    files_->create_directories(path.substr(0, path.rfind('\\')));
    files_->write(path, bytes.empty() ? placeholder_exe("VexloTweaks-core.exe") : std::string(bytes));
}

void SimMachine::set_elevated(bool elevated) {
    system_->set_elevated(elevated);
    save_machine_file();
}

void SimMachine::set_desktop_user(std::string user) {
    system_->set_desktop_user(std::move(user));
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
platform::Random& SimMachine::random() { return *random_; }
platform::Services& SimMachine::services() { return *services_; }
platform::TaskScheduler& SimMachine::tasks() { return *tasks_; }
platform::Power& SimMachine::power() { return *power_; }
platform::Network& SimMachine::network() { return *network_; }
platform::Devices& SimMachine::devices() { return *devices_; }
platform::BootConfig& SimMachine::boot() { return *boot_; }
platform::MemoryAgent& SimMachine::memory_agent() { return *memory_agent_; }
platform::Defender& SimMachine::defender() { return *defender_; }
platform::SystemRestore& SimMachine::restore() { return *restore_; }
platform::Input& SimMachine::input() { return *input_; }
platform::Performance& SimMachine::performance() { return *performance_; }
platform::Echo& SimMachine::echo() { return *echo_; }
platform::Tray& SimMachine::tray() { return *tray_; }
platform::SelfCopy& SimMachine::self_copy() { return *self_copy_; }

}  // namespace vexlo::sim
