#pragma once
// The simulated PC's services, scheduled tasks, power plans, network adapters, devices, boot
// entry, memory manager agent and Defender. Each part is one readable JSON file of the machine
// folder (see sim_store.h for how it is shared and re-read):
//   services.json      running state by service name, and the service manager's own copy of
//                      each start type (the registry's Start values as the last boot read them,
//                      changed since only through the service manager)
//   tasks.json         scheduled tasks by full path, with their state
//   power.json         plans with their AC/DC value indices, and the active plan
//   network.json       physical adapters (properties, interface index and GUID), QoS policies
//                      and the DNS client's cache; DNS servers live in the TCP/IP interface keys
//   devices.json       present devices by class, and the power-management entries
//   boot.json          the current boot entry, as bcdedit lists it
//   memory_agent.json  the memory manager agent's features
//   defender.json      Defender's availability, real-time protection and exclusions
//   restore.json       System Protection by drive, and the restore points made
//   input.json         the live mouse settings (SystemParametersInfo) and how they were last set
//   performance.json   the system timer and the requests held for it, the memory lists and
//                      their purges, processor load
//   echo.json          how ICMP echo targets answer (round trip, losses), or no network at all
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/sim_faults.h"
#include "platform/sim/sim_store.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

class SimRegistry;
class SimFiles;

// ---- What each part holds ----

struct ServiceTable {
    std::map<std::string, bool, NameLess> running;  // installed services, by name
    // The service manager's start types (the Start numbers), by name; a service missing here
    // had no Start value the manager could read.
    std::map<std::string, uint32_t, NameLess> start_types;
};

// The definition of a task that starts a program at sign-in, as register_logon_task made it;
// everything the Task Scheduler would show of it.
struct LogonTaskData {
    std::string program;
    std::string arguments;
    std::string user;                      // the trigger's and the principal's user
    std::string run_level = "Highest";
    std::string logon_type = "Interactive";
    std::string time_limit = "PT0S";       // no execution time limit
    bool allow_start_on_batteries = true;
    bool stop_on_batteries = false;
    int priority = 5;
};

struct TaskTable {
    std::vector<platform::ScheduledTask> tasks;  // in listing order
    // Full path (folder + name) to position in `tasks`; rebuilt by index().
    std::unordered_map<std::string, size_t, NameHash, NameEqual> by_path;
    // Tasks registered through register_logon_task, by full path.
    std::map<std::string, LogonTaskData, NameLess> logon;
    void index();
    platform::ScheduledTask* find(std::string_view path);
};

struct PowerValue {
    int32_t ac = 0;
    int32_t dc = 0;
};

struct PowerPlanData {
    std::string guid;  // lower case
    std::string name;
    std::string description;
    bool is_template = false;  // hidden: only copied, never listed or activated
    // By lower-case subgroup GUID, then lower-case setting GUID.
    std::map<std::string, std::map<std::string, PowerValue>> settings;
};

struct PowerState {
    std::string active;  // GUID of the active plan
    std::vector<PowerPlanData> plans;
    PowerPlanData* find(std::string_view guid);
};

struct AdvancedProperty {
    std::string display_name;
    std::string display_value;
    std::string keyword;
    std::vector<std::string> valid_display_values;  // empty for numeric properties
    int64_t numeric_min = 0;
    int64_t numeric_max = 0;  // 0 when not numeric
    // What the driver stores for each choice, paired with valid_display_values; empty means
    // "0", "1", ... in list order.
    std::vector<std::string> valid_registry_values;

    // The stored form of a display value: its paired registry value, else the text itself.
    std::string registry_value_of(std::string_view display) const;
};

struct NetworkAdapterData {
    std::string name;         // "Ethernet"
    std::string description;  // the driver's name for the device
    std::string status;       // "Up", "Disconnected" or "Disabled"; properties are listed either way
    std::vector<AdvancedProperty> properties;
    int restarts = 0;         // how often restart_adapter restarted it
    uint32_t if_index = 0;    // the interface index
    std::string guid;         // the interface GUID, "{...}", as the TCP/IP interface keys name it
};

struct QosPolicyData {
    std::string name;
    std::string app_path;
    int dscp = 0;
};

// What one machine-policy refresh handed the QoS service: the policies by name, and the
// "Do not use NLA" value beside them ("" when absent), which it reads only then.
struct QosRefreshData {
    std::vector<std::string> policies;
    std::string no_nla;
};

struct NetworkState {
    std::vector<NetworkAdapterData> adapters;
    std::vector<QosPolicyData> qos_policies;
    std::vector<QosRefreshData> qos_refreshes;  // oldest first
    std::vector<std::string> dns_cache;  // names the DNS client holds answers for
    int dns_flushes = 0;                 // how often the cache was emptied
    // The global offload settings; both enabled, as Windows ships.
    bool receive_segment_coalescing = true;
    bool packet_coalescing_filter = true;
};

struct DeviceData {
    std::string instance_id;  // upper case, as Windows reports it
    std::string device_class;
    std::string name;
    bool present = true;
};

struct DeviceState {
    std::vector<DeviceData> devices;
    std::vector<platform::DevicePower> power;  // MSPower_DeviceEnable instances
};

struct BootEntry {
    std::map<std::string, std::string> values;  // element names in lower case
};

struct MemoryAgentState {
    bool application_launch_prefetching = true;
    bool application_pre_launch = true;
    int max_operation_api_files = 512;
    bool memory_compression = true;
    bool operation_api = true;
    bool page_combining = true;
};

struct DefenderState {
    bool available = true;
    bool realtime_protection = true;
    std::string active_antivirus = "Microsoft Defender Antivirus";
    std::vector<std::string> exclusion_paths;
    bool antimalware_service = true;  // off while another antivirus is registered
    int scan_cpu_load_factor = 50;    // Windows' defaults
    bool low_cpu_priority = false;
};

// The mouse settings Windows is using now: set by SystemParametersInfo, loaded from the user's
// profile at sign-in.
struct InputState {
    platform::MouseParameters mouse = {6, 10, 1};  // Windows' defaults
    int mouse_sets = 0;                            // how often SPI_SETMOUSE was called
    uint32_t last_flags = 0;                       // the flags of the last call
};

struct RestorePointData {
    std::string description;
    std::string type;  // "MODIFY_SETTINGS"
    std::string time;  // local time, "2026-12-10T14:03:59"
};

struct RestoreState {
    std::map<std::string, bool> protection = {{"C:\\", true}};  // by drive root, upper case
    std::vector<RestorePointData> points;                       // oldest first
};

// A request for the system timer resolution, made by a process of the host: the simulated PC's
// programs are the host's, so a request outlives nothing but its process.
struct TimerRequestData {
    uint32_t pid = 0;         // the host's process id
    uint64_t started = 0;     // its start time (/proc/<pid>/stat), so a reused pid is not it
    std::string image;        // its program name
    uint32_t value = 0;       // 100 ns units
};

struct PerformanceState {
    bool native_calls = true;  // false: the booster's kernel calls cannot be bound
    uint32_t timer_minimum = 5000;
    uint32_t timer_maximum = 156250;
    std::vector<TimerRequestData> timer_requests;  // oldest first
    uint64_t free_bytes = 0;
    uint64_t standby_bytes = 0;
    bool refuse_purge = false;        // the purge fails as without the privilege
    int purges = 0;                   // purges done
    bool memory_lists_readable = true;
    double processor_load = 12;       // percent
    bool system_counters_readable = true;  // processor load and memory in use
};

// Free and standby memory a machine of that size shows a while after start-up.
PerformanceState performance_for_memory(uint64_t total_memory_bytes);

struct EchoTarget {
    std::string address;  // "1.1.1.1"
    uint32_t ms = 0;      // round trip
    int loss = 0;         // percent of echoes lost, spread evenly
};

struct EchoState {
    bool offline = false;  // no network: every echo fails
    std::vector<EchoTarget> targets;
    const EchoTarget* find(std::string_view address) const;
};

// "c:\\" as the protection map keys it, "C:\\"; nullopt for anything but a drive root.
std::optional<std::string> drive_root(std::string_view text);

// Everything of the above, as a machine image starts it.
struct WorldSeed {
    ServiceTable services;
    TaskTable tasks;
    PowerState power;
    NetworkState network;
    DeviceState devices;
    BootEntry boot;
    MemoryAgentState memory_agent;
    DefenderState defender;
    RestoreState restore;
    InputState input;
    EchoState echo;
};

std::string encode_state(const ServiceTable&);
void decode_state(std::string_view, ServiceTable&);
std::string encode_state(const TaskTable&);
void decode_state(std::string_view, TaskTable&);
std::string encode_state(const PowerState&);
void decode_state(std::string_view, PowerState&);
std::string encode_state(const NetworkState&);
void decode_state(std::string_view, NetworkState&);
std::string encode_state(const DeviceState&);
void decode_state(std::string_view, DeviceState&);
std::string encode_state(const BootEntry&);
void decode_state(std::string_view, BootEntry&);
std::string encode_state(const MemoryAgentState&);
void decode_state(std::string_view, MemoryAgentState&);
std::string encode_state(const DefenderState&);
void decode_state(std::string_view, DefenderState&);
std::string encode_state(const RestoreState&);
void decode_state(std::string_view, RestoreState&);
std::string encode_state(const InputState&);
void decode_state(std::string_view, InputState&);
std::string encode_state(const PerformanceState&);
void decode_state(std::string_view, PerformanceState&);
std::string encode_state(const EchoState&);
void decode_state(std::string_view, EchoState&);

// ---- The parts ----

class SimServices final : public platform::Services {
public:
    SimServices(const std::filesystem::path& dir, SimRegistry& registry, Faults& faults);
    Stored<ServiceTable>& store() { return store_; }

    // Control for tests and tools: sets the state without any of the checks. Throws
    // PlatformError for a service that is not installed.
    void set_running(std::string_view name, bool running);
    // What a restart of Windows does to the services: the service manager reads every start
    // type from the registry again, a disabled service is not running, and each automatic one
    // (boot, system or automatic) runs with what it needs unless one of those is disabled. The
    // ones started on demand stay as they were: the simulated PC has no triggers to start them.
    void boot();
    // Takes from the registry the start type of every service the manager has none for (a
    // machine made before it kept its own); writes only when it found one.
    void adopt_missing_start_types();

    bool is_running(std::string_view name) override;
    // Also stops the running services that depend on it; stopping a stopped service does
    // nothing, as Stop-Service does.
    void stop(std::string_view name) override;
    // Also starts the installed services it depends on; starting a running one does nothing.
    // The service manager's start types decide, not the registry's.
    void start(std::string_view name) override;
    std::optional<uint32_t> start_type(std::string_view name) override;
    // Writes the Start value and the manager's copy as one write (the manager's, which a kill
    // of the program that asked cannot split). Refuses boot and system for a service that is
    // not a driver, as Windows does.
    void set_start_type(std::string_view name, uint32_t start) override;

private:
    std::optional<uint32_t> registry_start_type(std::string_view name);
    std::vector<std::string> depends_on(std::string_view name);
    // The services starting `name` starts, dependencies first, given the installed ones and
    // the manager's start types. Throws PlatformError as start() refuses.
    std::vector<std::string> start_order(const ServiceTable& t, std::string_view name);
    Stored<ServiceTable> store_;
    SimRegistry& registry_;
    Faults& faults_;
};

class SimTasks final : public platform::TaskScheduler {
public:
    SimTasks(const std::filesystem::path& dir, Faults& faults);
    Stored<TaskTable>& store() { return store_; }

    // Control: `path` is folder and name ("\\Microsoft\\Windows\\Maps\\MapsUpdateTask"). Throws
    // PlatformError for a missing task or a state the Task Scheduler does not report.
    void set_state(std::string_view path, std::string_view state);

    std::vector<platform::ScheduledTask> list() override;
    std::optional<platform::ScheduledTask> find(std::string_view folder, std::string_view name) override;
    // Disabling makes the state "Disabled"; enabling makes a disabled task "Ready" and leaves
    // a task that runs running.
    void set_enabled(std::string_view folder, std::string_view name, bool enabled) override;
    // A new task is Ready; one replaced keeps nothing of the old. Throws as Faults says.
    void register_logon_task(const platform::LogonTask& task) override;
    std::optional<platform::LogonTask> logon_task(std::string_view name) override;
    void delete_task(std::string_view name) override;
    // Control: the whole definition of a task registered through register_logon_task.
    std::optional<LogonTaskData> logon_definition(std::string_view name);

private:
    Stored<TaskTable> store_;
    Faults& faults_;
};

class SimPower final : public platform::Power {
public:
    SimPower(const std::filesystem::path& dir, SimRegistry& registry, SimFiles& files, Faults& faults);
    Stored<PowerState>& store() { return store_; }

    // Control: removes a plan that is not active. Throws PlatformError otherwise.
    void delete_plan(std::string_view guid);
    // Both indices of a setting of any plan, templates included (the seam reads only the
    // active plan's AC index); nullopt when absent.
    std::optional<PowerValue> value(std::string_view plan, std::string_view subgroup, std::string_view setting);

    std::optional<platform::PowerPlan> active_plan() override;
    std::vector<platform::PowerPlan> plans() override;
    std::optional<std::string> duplicate_plan(std::string_view guid) override;
    bool rename_plan(std::string_view guid, std::string_view name, std::string_view description) override;
    bool set_active(std::string_view guid) override;
    std::optional<int32_t> ac_index(std::string_view subgroup, std::string_view setting) override;
    void set_ac_index(std::string_view subgroup, std::string_view setting, int32_t value) override;
    std::optional<int32_t> plan_ac_index(std::string_view plan, std::string_view subgroup,
                                         std::string_view setting) override;
    void set_plan_ac_index(std::string_view plan, std::string_view subgroup, std::string_view setting,
                           int32_t value) override;
    void set_hibernation(bool on) override;

private:
    Stored<PowerState> store_;
    SimRegistry& registry_;
    SimFiles& files_;
    Faults& faults_;
};

class SimNetwork final : public platform::Network {
public:
    SimNetwork(const std::filesystem::path& dir, SimRegistry& registry, Faults& faults);
    Stored<NetworkState>& store() { return store_; }

    // Control: sets an adapter's status ("Up", "Disconnected" or "Disabled") without any of the
    // checks; one enabled again gets a new interface index. Throws PlatformError for an adapter
    // the machine does not have.
    void set_status(std::string_view adapter, std::string_view status);
    // How often the adapter was restarted; 0 for one the machine does not have.
    int restarts(std::string_view adapter);

    std::vector<platform::AdapterProperty> adapter_properties() override;
    void set_adapter_property(std::string_view adapter, std::string_view display_name,
                              std::string_view display_value) override;
    std::vector<platform::AdapterStatus> physical_adapters() override;
    // A disabled adapter stays disabled and throws, as restarting it in Windows fails. A restart
    // gives the adapter a new interface index, as disabling and enabling it does in Windows.
    void restart_adapter(std::string_view name) override;

    // DNS servers live where Windows keeps them: the static list in the interface key's
    // NameServer (comma-separated), the list DHCP gave in DhcpNameServer (blank-separated).
    // A disabled adapter has no interface to read or change.
    std::vector<std::string> dns_servers(uint32_t if_index) override;
    void set_dns_servers(uint32_t if_index, const std::vector<std::string>& servers) override;
    void reset_dns_servers(uint32_t if_index) override;
    void flush_dns_cache() override;
    bool qos_policy_exists(std::string_view name) override;
    void create_qos_policy(const platform::QosPolicy& policy) override;
    bool remove_qos_policy(std::string_view name) override;
    void refresh_qos_policies() override;
    std::optional<bool> offload_global(platform::OffloadGlobal setting) override;
    void set_offload_global(platform::OffloadGlobal setting, bool enabled) override;

    // Control: what the DNS client holds, and how often it was emptied.
    std::vector<std::string> dns_cache();
    int dns_flushes();
    std::vector<QosPolicyData> qos_policies();
    std::vector<QosRefreshData> qos_refreshes();

private:
    // The interface key of an adapter that is not disabled. Throws PlatformError otherwise.
    std::string interface_key(uint32_t if_index);
    Stored<NetworkState> store_;
    SimRegistry& registry_;
    Faults& faults_;
};

class SimDevices final : public platform::Devices {
public:
    explicit SimDevices(const std::filesystem::path& dir);
    Stored<DeviceState>& store() { return store_; }

    std::vector<std::string> present_instance_ids(std::string_view device_class) override;
    std::vector<platform::DevicePower> power_entries() override;
    void set_power_enable(std::string_view instance_name, bool enable) override;

private:
    Stored<DeviceState> store_;
};

class SimBoot final : public platform::BootConfig {
public:
    explicit SimBoot(const std::filesystem::path& dir);
    Stored<BootEntry>& store() { return store_; }

    std::map<std::string, std::string> current_entry() override;
    // Names are taken in any case and kept in lower case, as bcdedit lists them; yes/no
    // elements read back "Yes"/"No", and the choices of the few enumerated ones keep their
    // listed spelling. Unknown names are accepted (bcdedit knows far more than listed here).
    void set_value(std::string_view name, std::string_view value) override;
    // Throws for a name the entry does not hold, as bcdedit fails with "Element not found.".
    void delete_value(std::string_view name) override;

private:
    Stored<BootEntry> store_;
};

class SimMemoryAgent final : public platform::MemoryAgent {
public:
    explicit SimMemoryAgent(const std::filesystem::path& dir);
    Stored<MemoryAgentState>& store() { return store_; }

    std::optional<bool> enabled(platform::MemoryFeature feature) override;
    void set_enabled(platform::MemoryFeature feature, bool on) override;

private:
    Stored<MemoryAgentState> store_;
};

class SimDefender final : public platform::Defender {
public:
    explicit SimDefender(const std::filesystem::path& dir);
    Stored<DefenderState>& store() { return store_; }

    bool available() override;
    bool realtime_protection_enabled() override;
    std::vector<std::string> exclusion_paths() override;
    // Paths compare without regard to case: adding one already there changes nothing, and
    // removing a missing one is no error, as Defender does. Both throw while Defender is not
    // available.
    void add_exclusion_path(std::string_view path) override;
    void remove_exclusion_path(std::string_view path) override;
    bool antimalware_service_enabled() override;
    // Read as Get-MpPreference does while Defender answers; the changes throw as the
    // exclusions' do, and a load factor outside 5..100 is refused.
    std::optional<int> scan_cpu_load_factor() override;
    std::optional<bool> low_cpu_priority() override;
    void set_scan_cpu_load_factor(int percent) override;
    void set_low_cpu_priority(bool on) override;

private:
    Stored<DefenderState> store_;
};

class SimRestore final : public platform::SystemRestore {
public:
    SimRestore(const std::filesystem::path& dir, platform::Clock& clock, Faults& faults);
    Stored<RestoreState>& store() { return store_; }

    // Control: System Protection of the system drive, on or off, without any of the checks.
    void set_protection(bool on);
    std::vector<RestorePointData> points();

    // Takes "C:\\" in any case; throws for a drive the machine does not have.
    void enable(std::string_view root) override;
    // Points go to the system drive C:, which must have System Protection on.
    void create_point(std::string_view description) override;

private:
    Stored<RestoreState> store_;
    std::filesystem::path drives_;  // <machine>/files
    platform::Clock& clock_;
    Faults& faults_;
};

class SimInput final : public platform::Input {
public:
    SimInput(const std::filesystem::path& dir, SimRegistry& registry, Faults& faults);
    Stored<InputState>& store() { return store_; }

    std::optional<platform::MouseParameters> mouse_parameters() override;
    // With kSpiUpdateIniFile the user's profile gets the values too, as Windows writes them:
    // MouseThreshold1, MouseThreshold2 and MouseSpeed under HKCU\Control Panel\Mouse.
    bool set_mouse_parameters(const platform::MouseParameters& values, uint32_t flags) override;
    InputState state();

private:
    Stored<InputState> store_;
    SimRegistry& registry_;
    Faults& faults_;
};

// <machine>/state.lock: the parts' shared change counter and their writers' lock.
std::filesystem::path world_counter_file(const std::filesystem::path& dir);

}  // namespace vexlo::sim
