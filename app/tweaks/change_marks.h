#pragma once
// Lists of tweak ids kept as one MultiString value under the settings key, and the one list
// that says which record-less custom tweaks this product changed: "Changed" is set just before
// such a tweak's apply writes anything and cleared once its revert is done, so it marks exactly
// the changes a bulk revert must undo. (The applied list cannot serve: it also adopts the
// tweaks that were on before the product's first start.)
#include <string>
#include <string_view>
#include <vector>

#include "app/core/reg.h"

namespace vexlo {

// The ids of the list (empty texts skipped); a single String value counts as a list of one.
std::vector<std::string> id_list(Reg& reg, const char* value_name);
// Removes every occurrence of the id, appends it when `on`; deletes the value when the list is
// empty. Registry failures are raised.
void set_in_id_list(Reg& reg, const char* value_name, std::string_view id, bool on);

bool has_change_mark(Reg& reg, std::string_view id);
void set_change_mark(Reg& reg, std::string_view id, bool on);

}  // namespace vexlo
