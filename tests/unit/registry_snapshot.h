#pragma once
// Every value of both hives, for comparing a whole simulated PC before and after.
#include <map>
#include <string>

#include "platform/registry.h"

namespace vexlo::testkit {

using RegSnapshot = std::map<std::string, platform::RegValue>;

inline void walk(platform::Registry& r, platform::Hive h, const std::string& key, RegSnapshot& out) {
    for (auto& n : r.value_names(h, key))
        if (auto v = r.get(h, key, n)) out[(h == platform::Hive::CurrentUser ? "HKCU\\" : "HKLM\\") + key + "|" + n] = *v;
    for (auto& sub : r.subkey_names(h, key)) walk(r, h, key.empty() ? sub : key + "\\" + sub, out);
}

inline RegSnapshot snapshot(platform::Registry& r) {
    RegSnapshot out;
    walk(r, platform::Hive::CurrentUser, "", out);
    walk(r, platform::Hive::LocalMachine, "", out);
    return out;
}

}  // namespace vexlo::testkit
