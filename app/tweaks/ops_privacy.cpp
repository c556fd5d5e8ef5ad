// The custom operations of the Debloat page's privacy and quality-of-life groups: the classic
// right-click menu of Windows 11.
#include "app/tweaks/ops_privacy.h"

#include "app/core/reg.h"
#include "app/tweaks/custom_ops.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/operations.h"

namespace vexlo {

namespace {

using platform::RegKind;

// ---- Classic right-click menu ----

// Windows 11 draws its compact menu through this COM class; a per-user registration with an
// empty server makes Explorer fall back to the full menu of Windows 10.
constexpr const char* kMenuClass = "HKCU:\\Software\\Classes\\CLSID\\{86ca1aa0-34aa-4e8b-a509-50c905bae2a2}";
const std::string kMenuServer = std::string(kMenuClass) + "\\InprocServer32";

// Every value at or below `key`, as deletions: what removing the key takes with it.
void deletions_below(Reg& reg, const std::string& key, std::vector<RegWrite>& out) {
    auto path = parse_reg_path(key);
    if (!path) return;
    for (auto& name : reg.registry().value_names(path->hive, path->subkey)) out.push_back({key, name, std::nullopt});
    for (auto& sub : reg.registry().subkey_names(path->hive, path->subkey)) deletions_below(reg, key + "\\" + sub, out);
}

CustomOps classic_menu_ops(Reg& reg) {
    const RegWrite empty_server = {kMenuServer, "", Json(""), RegKind::String};
    return {
        [&reg] { return reg.key_exists(kMenuServer); },
        [&reg, empty_server] { write_reg(reg, empty_server); },
        [&reg] {
            try {
                (void)reg.remove_tree(kMenuClass);
            } catch (const std::exception&) {
                // Deliberately ignored: a key that cannot be deleted leaves the tweak showing
                // as on, and the user can try again.
            }
        },
        [&reg, empty_server](bool apply) {
            if (apply) return describe_reg_writes(reg, {empty_server});
            std::vector<RegWrite> gone;
            deletions_below(reg, kMenuClass, gone);
            return describe_reg_writes(reg, gone);
        },
        {},  // no record of its own: the revert removes the whole class, and the engine marks the change
        {},
    };
}

}  // namespace

void register_privacy_operations(Operations& ops, const OpsContext& ctx) {
    // Availability "Windows 11 only." is the shared windows11 test.
    ops.customs["classicmenu"] = classic_menu_ops(ctx.reg);
}

}  // namespace vexlo
