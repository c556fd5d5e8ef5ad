#pragma once
// Registry values that tweaks write (reg and svc), their backup under the tweak's id, the
// restore from that backup or from the catalog's fallbacks, and the preview of such writes.
#include <functional>
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

// The prior state of every entry, appended to `list` as backup_reg records it.
void backup_reg_into(Json& list, const std::vector<RegE>& entries, Reg& reg);
// Records the prior state of every entry under `id`, unless a record exists (the first wins).
// Throws BackupError when the record cannot be saved; nothing is written then.
void backup_reg(BackupStore& store, std::string_view id, const std::vector<RegE>& entries, Reg& reg);
// What restore_reg writes: the recorded values when there is a record, else each entry's fallback.
// Only the places the entries name are written: a recorded value anywhere else (backup.json is
// the user's to edit, and so anyone's) is left out and counted in `ignored`.
std::vector<RegWrite> restore_writes(const BackupStore& store, std::string_view id, const std::vector<RegE>& entries,
                                     int* ignored = nullptr);
// Puts values back from the backup (then removes it), or from each entry's fallback.
// Throws on the first write that fails; the record stays then, so nothing is lost. `warn`
// gets one line when the record named places outside the entries.
void restore_reg(BackupStore& store, std::string_view id, const std::vector<RegE>& entries, Reg& reg,
                 const std::function<void(const std::string&)>& warn = {});
// Why a stored record cannot be a registry backup, or nullopt when it can.
std::optional<std::string> reg_record_problem(const Json& rec);
// Whether the key path and value name are the entry's (paths compared by hive and subkey).
bool same_place(const RegE& e, const std::string& p, const std::string& n);

// The entries' on-values as writes.
std::vector<RegWrite> apply_writes(const std::vector<RegE>& entries);
// Throws what the registry write throws, and when a delete left the value in place.
void write_reg(Reg& reg, const RegWrite& w);
// The writes that would change the registry, as "key\name: 1 (DWord) -> 0 (DWord)"; a value
// equal in kind and data to what it would get is left out.
std::vector<PlannedChange> describe_reg_writes(Reg& reg, const std::vector<RegWrite>& writes);
// A registry value as shown in a preview: "1 (DWord)", "Off (String)", bytes as hex pairs.
std::string reg_value_shown(const platform::RegValue& v);

}  // namespace vexlo
