// Services and scheduled tasks of the simulated PC.
#include <set>

#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_world.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using platform::PlatformError;

fs::path world_counter_file(const fs::path& dir) { return dir / "state.lock"; }

// ---- Services ----

namespace {

const char* const kServicesKey = R"(SYSTEM\CurrentControlSet\Services\)";

PlatformError not_installed(std::string_view name) {
    return PlatformError("Service " + std::string(name) + ": The specified service does not exist as an installed service.");
}

}  // namespace

SimServices::SimServices(const fs::path& dir, SimRegistry& registry, Faults& faults)
    : store_(dir / "services.json", world_counter_file(dir), "services"), registry_(registry), faults_(faults) {}

std::optional<uint32_t> SimServices::registry_start_type(std::string_view name) {
    auto v = registry_.get(platform::Hive::LocalMachine, kServicesKey + std::string(name), "Start");
    if (!v || v->kind != platform::RegKind::DWord || v->number > 4) return std::nullopt;
    return uint32_t(v->number);
}

std::vector<std::string> SimServices::depends_on(std::string_view name) {
    auto v = registry_.get(platform::Hive::LocalMachine, kServicesKey + std::string(name), "DependOnService");
    if (!v || v->kind != platform::RegKind::MultiString) return {};
    return v->strings;
}

void SimServices::set_running(std::string_view name, bool running) {
    store_.update([&](ServiceTable& t) {
        auto it = t.running.find(name);
        if (it == t.running.end()) throw not_installed(name);
        it->second = running;
    });
}

void SimServices::boot() {
    // The registry is read outside the store's lock.
    auto installed = store_.read([](const ServiceTable& t) { return t.running; });
    ServiceTable booted;
    for (auto& [name, running] : installed) {
        booted.running[name] = running;
        if (auto start = registry_start_type(name)) booted.start_types[name] = *start;
    }
    for (auto& [name, start] : booted.start_types)
        if (start == 4) booted.running[name] = false;
    for (auto& [name, start] : booted.start_types) {
        if (start > 2) continue;
        try {
            for (auto& s : start_order(booted, name)) booted.running[s] = true;
        } catch (const PlatformError&) {
            // Windows logs an automatic service whose dependency is disabled and boots on
            // without it.
        }
    }
    store_.update([&](ServiceTable& t) { t = std::move(booted); });
}

void SimServices::adopt_missing_start_types() {
    auto known = store_.read([](const ServiceTable& t) { return t; });
    std::map<std::string, uint32_t, NameLess> found;
    for (auto& [name, running] : known.running)
        if (!known.start_types.contains(name))
            if (auto start = registry_start_type(name)) found[name] = *start;
    if (found.empty()) return;
    store_.update([&](ServiceTable& t) {
        for (auto& [name, start] : found)
            if (t.running.contains(name)) t.start_types.emplace(name, start);
    });
}

bool SimServices::is_running(std::string_view name) {
    return store_.read([&](const ServiceTable& t) {
        auto it = t.running.find(name);
        return it != t.running.end() && it->second;
    });
}

std::optional<uint32_t> SimServices::start_type(std::string_view name) {
    return store_.read([&](const ServiceTable& t) -> std::optional<uint32_t> {
        auto it = t.start_types.find(name);
        if (it == t.start_types.end()) return std::nullopt;
        return it->second;
    });
}

void SimServices::set_start_type(std::string_view name, uint32_t start) {
    const std::string what = "Cannot change the start type of service " + std::string(name);
    auto installed = store_.read([&](const ServiceTable& t) { return t.running.contains(name); });
    if (!installed) throw PlatformError(what + ": The specified service does not exist as an installed service.");
    auto type = registry_.get(platform::Hive::LocalMachine, kServicesKey + std::string(name), "Type");
    // Kernel and file system drivers (and recognizers) may start with the system; others not.
    const bool driver = type && type->kind == platform::RegKind::DWord && (type->number & 0x0B) != 0;
    if (start > 4 || (start < 2 && !driver)) throw PlatformError(what + ": The parameter is incorrect.");
    faults_.check_service_change(name);
    const std::string target = std::string(name) + ": " + std::to_string(start);
    faults_.before_write({"service start type", target});
    registry_.set_for_windows(platform::Hive::LocalMachine, kServicesKey + std::string(name), "Start",
                              platform::RegValue::dword(start));
    store_.update_announced([&](ServiceTable& t) {
        auto it = t.running.find(name);
        if (it != t.running.end()) t.start_types.insert_or_assign(it->first, start);
    });
}

void SimServices::stop(std::string_view name) {
    // The services to stop: the one named and, transitively, the running services that
    // depend on it. The dependencies come from the registry, which is read outside the
    // store's lock.
    auto installed = store_.read([](const ServiceTable& t) { return t.running; });
    auto named = installed.find(name);
    if (named == installed.end()) throw not_installed(name);
    if (!named->second) return;

    std::map<std::string, std::vector<std::string>, NameLess> dependencies;
    for (auto& [service, running] : installed)
        if (running) dependencies[service] = depends_on(service);
    std::set<std::string, NameLess> to_stop{named->first};
    for (bool grew = true; grew;) {
        grew = false;
        for (auto& [service, needs] : dependencies) {
            if (to_stop.count(service)) continue;
            for (auto& need : needs) {
                if (to_stop.count(need)) {
                    to_stop.insert(service);
                    grew = true;
                    break;
                }
            }
        }
    }
    for (auto& service : to_stop) faults_.check_service_stop(service);
    store_.update([&](ServiceTable& t) {
        for (auto& service : to_stop)
            if (auto it = t.running.find(service); it != t.running.end()) it->second = false;
    });
}

std::vector<std::string> SimServices::start_order(const ServiceTable& t, std::string_view name) {
    // The named service and the installed services it needs, dependencies first. Services
    // the machine does not list (the core of Windows: RpcSs, DcomLaunch...) always run.
    std::vector<std::string> order;
    std::set<std::string, NameLess> seen;
    auto visit = [&](auto&& self, std::string_view service, bool required) -> void {
        auto it = t.running.find(service);
        if (it == t.running.end()) {
            if (required) throw not_installed(service);
            return;
        }
        if (!seen.insert(it->first).second || it->second) return;
        for (auto& need : depends_on(it->first)) self(self, need, false);
        auto start = t.start_types.find(it->first);
        if (start != t.start_types.end() && start->second == 4) {
            if (iequals(it->first, name))
                throw PlatformError("Cannot start service " + it->first +
                                    ": The service cannot be started, either because it is disabled or because it "
                                    "has no enabled devices associated with it.");
            throw PlatformError("Cannot start service " + std::string(name) +
                                ": The dependency service or group failed to start.");
        }
        order.push_back(it->first);
    };
    visit(visit, name, true);
    return order;
}

void SimServices::start(std::string_view name) {
    auto table = store_.read([](const ServiceTable& t) { return t; });
    auto order = start_order(table, name);
    if (order.empty()) return;
    store_.update([&](ServiceTable& t) {
        for (auto& service : order)
            if (auto it = t.running.find(service); it != t.running.end()) it->second = true;
    });
}

// ---- Scheduled tasks ----

void TaskTable::index() {
    by_path.clear();
    for (size_t i = 0; i < tasks.size(); ++i) by_path.insert_or_assign(tasks[i].folder + tasks[i].name, i);
}

platform::ScheduledTask* TaskTable::find(std::string_view path) {
    auto it = by_path.find(path);
    return it == by_path.end() ? nullptr : &tasks[it->second];
}

namespace {

std::string task_path(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '\\') path += '\\';
    path += name;
    return path;
}

PlatformError no_task(std::string_view path) {
    return PlatformError("The task " + std::string(path) + " does not exist: The system cannot find the file specified.");
}

}  // namespace

SimTasks::SimTasks(const fs::path& dir, Faults& faults)
    : store_(dir / "tasks.json", world_counter_file(dir), "scheduled tasks"), faults_(faults) {}

std::vector<platform::ScheduledTask> SimTasks::list() {
    return store_.read([](const TaskTable& t) { return t.tasks; });
}

std::optional<platform::ScheduledTask> SimTasks::find(std::string_view folder, std::string_view name) {
    std::string path = task_path(folder, name);
    return store_.read([&](const TaskTable& t) -> std::optional<platform::ScheduledTask> {
        auto it = t.by_path.find(path);
        if (it == t.by_path.end()) return std::nullopt;
        return t.tasks[it->second];
    });
}

void SimTasks::set_enabled(std::string_view folder, std::string_view name, bool enabled) {
    std::string path = task_path(folder, name);
    store_.update([&](TaskTable& t) {
        platform::ScheduledTask* task = t.find(path);
        if (!task) throw no_task(path);
        faults_.check_task_change(path);
        if (!enabled) task->state = "Disabled";
        else if (task->state == "Disabled") task->state = "Ready";
    });
}

void SimTasks::set_state(std::string_view path, std::string_view state) {
    static const char* const known[] = {"Ready", "Running", "Disabled", "Queued", "Unknown"};
    const char* canonical = nullptr;
    for (const char* k : known)
        if (iequals(k, state)) canonical = k;
    if (!canonical) throw PlatformError("\"" + std::string(state) + "\" is not a task state.");
    store_.update([&](TaskTable& t) {
        platform::ScheduledTask* task = t.find(path);
        if (!task) throw no_task(path);
        task->state = canonical;
    });
}

void SimTasks::register_logon_task(const platform::LogonTask& task) {
    if (task.name.empty() || task.name.find('\\') != std::string::npos)
        throw PlatformError("\"" + task.name + "\" is not a task name: The parameter is incorrect.");
    if (task.program.empty()) throw PlatformError("The task " + task.name + " has no program to start.");
    std::string path = task_path("\\", task.name);
    faults_.check_task_register(path);
    store_.update([&](TaskTable& t) {
        if (t.find(path)) {
            // Replacing needs the right to change the old one.
            faults_.check_task_change(path);
            std::erase_if(t.tasks, [&](const platform::ScheduledTask& x) { return iequals(x.folder + x.name, path); });
            t.logon.erase(path);
        }
        t.tasks.push_back({"\\", task.name, "Ready"});
        LogonTaskData d;
        d.program = task.program;
        d.arguments = task.arguments;
        d.user = task.user;
        t.logon.insert_or_assign(path, std::move(d));
        t.index();
    });
}

std::optional<platform::LogonTask> SimTasks::logon_task(std::string_view name) {
    std::string path = task_path("\\", name);
    return store_.read([&](const TaskTable& t) -> std::optional<platform::LogonTask> {
        auto it = t.logon.find(path);
        auto at = t.by_path.find(path);
        if (it == t.logon.end() || at == t.by_path.end()) return std::nullopt;
        const LogonTaskData& d = it->second;
        return platform::LogonTask{t.tasks[at->second].name, d.program, d.arguments, d.user};
    });
}

std::optional<LogonTaskData> SimTasks::logon_definition(std::string_view name) {
    std::string path = task_path("\\", name);
    return store_.read([&](const TaskTable& t) -> std::optional<LogonTaskData> {
        auto it = t.logon.find(path);
        if (it == t.logon.end()) return std::nullopt;
        return it->second;
    });
}

void SimTasks::delete_task(std::string_view name) {
    std::string path = task_path("\\", name);
    // A missing task writes nothing, as every removal of what is missing.
    if (!find("\\", name)) return;
    store_.update([&](TaskTable& t) {
        if (!t.find(path)) return;
        faults_.check_task_change(path);
        std::erase_if(t.tasks, [&](const platform::ScheduledTask& x) { return iequals(x.folder + x.name, path); });
        t.logon.erase(path);
        t.index();
    });
}

}  // namespace vexlo::sim
