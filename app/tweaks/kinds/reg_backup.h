#pragma once
// Registry values that tweaks write (reg and svc), their backup under the tweak's id, the
// restore from that backup or from the catalog's fallbacks, and the preview of such writes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/backup_store.h"
#include "app/core/reg.h"
#include "app/tweaks/kind.h"

namespace vexlo {

// One registry value a tweak writes.
struct RegE {
    std::string p;                 // key path
    std::string n;                 // value name
    Json v;                        // value written on apply
    platform::RegKind t = platform::RegKind::DWord;
    Json o = "<del>";              // value written on revert without a backup; "<del>" deletes

    bool deletes_on_fallback() const { return o.is_string() && o.get<std::string>() == "<del>"; }
};

// One write to the registry: a value set with its kind, or (without a value) deleted.
struct RegWrite {
    std::string p, n;
    std::optional<Json> v;
    platform::RegKind t = platform::RegKind::DWord;
};

// Records the prior state of every entry under `id`, unless a record exists (the first wins).
void backup_reg(BackupStore& store, std::string_view id, const std::vector<RegE>& entries, Reg& reg);
// What restore_reg writes: the recorded values when there is a record, else each entry's fallback.
std::vector<RegWrite> restore_writes(const BackupStore& store, std::string_view id, const std::vector<RegE>& entries);
// Puts values back from the backup (then removes it), or from each entry's fallback.
// Throws on the first write that fails; the record stays then, so nothing is lost.
void restore_reg(BackupStore& store, std::string_view id, const std::vector<RegE>& entries, Reg& reg);

// The entries' on-values as writes.
std::vector<RegWrite> apply_writes(const std::vector<RegE>& entries);
// Throws what the registry write throws; a delete never throws.
void write_reg(Reg& reg, const RegWrite& w);
// The writes that would change the registry, as "key\name: 1 (DWord) -> 0 (DWord)"; a value
// equal in kind and data to what it would get is left out.
std::vector<PlannedChange> describe_reg_writes(Reg& reg, const std::vector<RegWrite>& writes);
// A registry value as shown in a preview: "1 (DWord)", "Off (String)", bytes as hex pairs.
std::string reg_value_shown(const platform::RegValue& v);

}  // namespace vexlo
