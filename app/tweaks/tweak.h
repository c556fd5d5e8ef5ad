#pragma once
// The catalog record of one tweak and the catalog itself.
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/core/backup_store.h"

namespace vexlo {

enum class Kind { Reg, Svc, Task, Pwr, Nic, DevPwr, Ini, Startup, Custom };

std::string_view kind_name(Kind k);
// Null when the name is not one of the nine kinds.
const Kind* parse_kind(std::string_view name);

// One key of the game's settings file that a tweak writes.
struct IniE {
    std::string s;                 // section, without brackets
    std::string k;                 // key
    std::string v;                 // text written on apply
    std::optional<std::string> o;  // text written on revert without a backup; none leaves the key
};

struct SvcData {
    std::string n;  // service name
    int s = 4;      // start type to set: 4 disabled, 3 on demand
};

struct PwrData {
    std::string sub, set;  // subgroup and setting GUIDs
    int32_t v = 0;         // AC value index set on apply
    int32_t def = 0;       // index set on revert without a usable backup
};

struct NicData {
    std::string kw;                  // registry keyword (may be empty)
    std::string rx;                  // pattern on the display name (may be empty)
    std::string target;              // "MAX" or a pattern on the valid display values
    std::optional<std::regex> rx_re, target_re;
};

struct StartupData {
    std::string app;   // StartupApproved key path
    std::string name;  // value name there
    bool keep = false; // hardware vendor entry
};

struct Tweak {
    std::string id, page, group, title, desc;
    std::string impact = "Low";  // "High", "Med" or "Low"
    bool adv = false, restart = false, no_laptop = false, manual = false;
    Kind kind = Kind::Reg;
    std::vector<RegE> reg;  // kind reg
    SvcData svc;            // kind svc
    std::string task;       // kind task: full path, "\Microsoft\Windows\Maps\MapsUpdateTask"
    PwrData pwr;            // kind pwr
    NicData nic;            // kind nic
    std::vector<std::string> devpwr;  // kind devpwr: device classes
    std::vector<IniE> ini;  // kind ini
    StartupData startup;    // kind startup

    // Custom operations (kind custom) and the optional availability predicate (any kind).
    std::function<bool()> check;
    std::function<void()> apply;
    std::function<void()> revert;
    std::function<bool()> avail;
    std::string why;

    // Run-time state, written by the engine's tests.
    bool available = true;
    std::string reason;
    bool state = false;
};

struct Catalog {
    std::vector<std::unique_ptr<Tweak>> tweaks;  // catalog order
    std::unordered_map<std::string, Tweak*> map;

    Tweak* find(std::string_view id) const {
        auto it = map.find(std::string(id));
        return it == map.end() ? nullptr : it->second;
    }
};

}  // namespace vexlo
