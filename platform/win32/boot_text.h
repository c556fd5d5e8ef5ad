#pragma once
// Reading what `bcdedit /enum {current}` prints.
#include <map>
#include <string>
#include <string_view>

namespace vexlo::win32 {

// Name to value of the settings of the first entry in bcdedit's listing: a title line, a line
// of dashes, then one "name   value" line per setting, where a line that starts with blank
// space carries one more value of the setting above (joined with a space). Names are lower-cased.
std::map<std::string, std::string> parse_bcdedit_entry(std::string_view output);

}  // namespace vexlo::win32
