#pragma once
// The simulated PC's registry: HKCU and HKLM kept in memory and in a readable JSON file of the
// machine folder.
//
// Every successful change is written out at once (temporary file renamed over the old one).
// Reads are answered from memory, after a check for changes made elsewhere:
//  - every SimRegistry of the folder, in any process, counts its writes in a shared word
//    (the start of registry.json.lock, mapped into memory); a read that sees the count move
//    compares a stat of the file (mtime, size, inode) with what it last loaded or wrote and
//    re-reads the file only when it differs. So a change made through another SimMachine
//    (a second instance, a test, a control tool) is seen by the very next read, and a read
//    costs no system call: a syscall alone takes a microsecond or more on some virtual
//    machines, and a full pass reads hundreds of values.
//  - an edit of the file by hand, which counts nothing, is caught by the same stat made at
//    most every kRecheckMs; so it is seen within a few tens of milliseconds.
// Writers of one folder take the lock file, and compare the stat before writing, so that two
// processes never write over each other's change.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/sim_faults.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

// One key, or one value with its key, as a machine image lists them.
struct RegEntry {
    platform::Hive hive = platform::Hive::LocalMachine;
    std::string key;
    std::optional<std::string> name;  // nullopt: the key alone
    platform::RegValue value;
};

class SimRegistry final : public platform::Registry {
public:
    // Loads `file`; a missing file is an empty registry. Throws PlatformError when the file
    // exists but cannot be understood.
    SimRegistry(std::filesystem::path file, Environment environment, Faults& faults);
    ~SimRegistry() override;

    // Replaces the whole content with `entries` and writes it out (seeding a new machine).
    void reset(const std::vector<RegEntry>& entries);

    std::optional<platform::RegValue> get(platform::Hive hive, std::string_view subkey, std::string_view name) override;
    bool key_exists(platform::Hive hive, std::string_view subkey) override;
    void set(platform::Hive hive, std::string_view subkey, std::string_view name, const platform::RegValue& value) override;
    // A write Windows makes on its own behalf (the service manager's Start value): the
    // registry's failure plan does not apply to it, and its caller has announced it
    // (Faults::before_write) as part of its own change.
    void set_for_windows(platform::Hive hive, std::string_view subkey, std::string_view name,
                         const platform::RegValue& value);
    void create_key(platform::Hive hive, std::string_view subkey) override;
    bool remove(platform::Hive hive, std::string_view subkey, std::string_view name) override;
    bool remove_tree(platform::Hive hive, std::string_view subkey) override;
    // Sorted by name without regard to case.
    std::vector<std::string> subkey_names(platform::Hive hive, std::string_view subkey) override;
    std::vector<std::string> value_names(platform::Hive hive, std::string_view subkey) override;
    // %NAME% (any case) from the user's environment; unknown references are left as written.
    std::string expand_environment(std::string_view text) override;

    struct Key;
    using KeyMap = std::unordered_map<std::string, std::unique_ptr<Key>, NameHash, NameEqual>;

private:
    // `programs_write`: a write of the running program, which the failure plan and the write
    // hook see.
    void set_value(platform::Hive hive, std::string_view subkey, std::string_view name, const platform::RegValue& value,
                   bool programs_write);
    // Re-reads the file when another process changed it. Never throws.
    void refresh(bool always_stat = false);
    void map_change_counter();
    void load();     // throws PlatformError
    void persist();  // throws PlatformError
    KeyMap& hive_keys(platform::Hive hive);
    Key* find_key(platform::Hive hive, std::string_view subkey);

    std::filesystem::path file_;
    std::filesystem::path lock_file_;
    Environment env_;
    Faults& faults_;
    std::mutex mu_;
    KeyMap hives_[2];  // by Hive; each holds its root key ""
    FileStamp stamp_;  // of the file as last loaded or written

    static constexpr int64_t kRecheckMs = 10;
    uint64_t* changes_ = nullptr;  // the shared count of writes, or null
    uint64_t seen_changes_ = UINT64_MAX;
    int64_t last_stat_ms_ = 0;
};

}  // namespace vexlo::sim
