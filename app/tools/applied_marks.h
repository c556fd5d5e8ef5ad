#pragma once
// The list of tweaks the user turned on, kept in the settings key so that a Windows update
// that resets them can be noticed.
#include <string>
#include <string_view>
#include <vector>

#include "app/core/reg.h"
#include "app/tweaks/tweak.h"

namespace vexlo {

std::vector<std::string> get_applied_ids(Reg& reg);
// Removes every occurrence of the id, appends it when `on`; deletes the value when the list
// is empty. Registry failures are raised.
void set_applied_mark(Reg& reg, std::string_view id, bool on);
// Seeds the list from the tweaks that are on, once, when the value does not exist.
void initialize_applied_marks(Reg& reg, const Catalog& cat);
// Tweaks marked applied that are available and now off, in the list's order.
std::vector<Tweak*> get_reverted_tweaks(Reg& reg, const Catalog& cat);

}  // namespace vexlo
