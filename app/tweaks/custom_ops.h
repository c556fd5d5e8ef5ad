#pragma once
// The C++ operations that catalog entries name: availability tests and custom tweaks.
namespace vexlo {

namespace platform {
class Platform;
}
class Reg;
class BackupStore;
class IniFile;
struct SystemFacts;
struct Operations;

// What the operations read and change. They keep references to each, so all must outlive them.
struct OpsContext {
    platform::Platform& pf;
    Reg& reg;
    BackupStore& store;
    IniFile& ini;
    const SystemFacts& facts;
};

// Registers every predicate and custom operation into `ops`.
void register_operations(Operations& ops, const OpsContext& ctx);

}  // namespace vexlo
