#pragma once
// What every kind of tweak provides to the engine and the catalog loader: its payload, how it
// reads that payload from the catalog, and how it tests, applies, reverts and previews a tweak.
// One handler per kind lives in app/tweaks/kinds/; kind_handler() is the one table of them.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/core/reg.h"

namespace vexlo {

namespace platform {
class Platform;
}
class BackupStore;
class IniFile;
class NicCache;
class DevicePowerCache;
class ParseContext;
struct Tweak;

// The order is the order of the handler table.
enum class Kind { Reg, Svc, Task, Pwr, Nic, DevPwr, Ini, Startup, Custom };

// A kind's payload derives from this.
struct KindData {
    virtual ~KindData() = default;
};

// One value a change would write, as shown to the user: "where: now -> next".
struct PlannedChange {
    std::string where, now, next;
    bool operator==(const PlannedChange&) const = default;
};
std::string change_text(const PlannedChange& c);
// The one log line for a backup record whose entries named places outside its tweak.
std::string ignored_places_line(std::string_view id, int ignored);

// Everything a handler may touch.
struct KindContext {
    Reg& reg;
    BackupStore& store;
    platform::Platform& pf;
    IniFile& ini;
    NicCache& nic;
    DevicePowerCache& dev;
    bool& nic_dirty;
    // Task path (lower case) -> state; only during a full state pass, null otherwise.
    const std::unordered_map<std::string, std::string>* task_cache = nullptr;
    // One activity-log line about something a change skipped (a backup record's entry that
    // names a place the tweak does not change); may be empty.
    std::function<void(const std::string&)> warn;
};

class KindHandler {
public:
    virtual ~KindHandler() = default;
    virtual Kind kind() const = 0;
    // "reg", "svc", ...: the only place a kind's name stands.
    virtual std::string_view name() const = 0;
    // The catalog field holding the kind's data ("reg", "ops", ...); empty for a kind that the
    // catalog cannot declare.
    virtual std::string_view data_field() const = 0;
    // The catalog field's data (converted from TOML to JSON) as this kind's payload; bad data
    // ends in ctx.fail(), which does not return.
    virtual std::unique_ptr<KindData> parse(const Json& field, const ParseContext& ctx) const = 0;
    // None when this PC offers the tweak, else the reason it does not. May raise.
    virtual std::optional<std::string> unavailable(const Tweak& t, KindContext& ctx) const;
    // True when the tweak is in effect. Raises what its queries raise.
    virtual bool state(const Tweak& t, KindContext& ctx) const = 0;
    // Raise on failure with a message fit for the activity log.
    // A change keeps its record on disk before its first write and drops it only after its
    // last value is back; a revert that could not put a value back raises and keeps it.
    virtual void apply(const Tweak& t, KindContext& ctx) const = 0;
    virtual void revert(const Tweak& t, KindContext& ctx) const = 0;
    // True while this product holds the originals of a change of the tweak (its backup
    // record, or for kinds that keep none, its own mark): a revert then has something to put
    // back, even when the tweak reads as off (a change cut short).
    virtual bool recorded(const Tweak& t, KindContext& ctx) const;
    // Why a record stored under the tweak's id cannot be one of this kind's, or nullopt.
    virtual std::optional<std::string> record_problem(const Tweak& t, const Json& rec) const;
    // The values apply (or revert) would change, read now: a value that already is what it
    // would become is left out. Changes nothing and writes no backup.
    virtual std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const = 0;
};

// The handler table: a plain array lookup.
const KindHandler& kind_handler(Kind k);
// Every handler, in table order.
const std::vector<const KindHandler*>& kind_handlers();

std::string_view kind_name(Kind k);
// Null when the name is not one of the kinds.
const Kind* parse_kind(std::string_view name);

}  // namespace vexlo
