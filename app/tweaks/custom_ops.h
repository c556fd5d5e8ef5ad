#pragma once
// The C++ operations that catalog entries name: availability tests and custom tweaks.
#include "app/core/backup_store.h"
#include "app/core/ini_file.h"
#include "app/core/reg.h"
#include "app/core/system_facts.h"
#include "app/tweaks/catalog_loader.h"
#include "platform/platform.h"

namespace vexlo {

// What the operations may use; every reference must outlive the operations.
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
