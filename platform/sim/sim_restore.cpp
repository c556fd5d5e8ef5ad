// System Restore of the simulated PC: which drives have System Protection on, and the restore
// points made, so that a test can see a point was asked for and a player's PC that has the
// protection turned off can be played out.
#include <cctype>
#include <cstdio>

#include "platform/sim/sim_world.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using platform::PlatformError;

namespace {

constexpr const char* kSystemDrive = "C:\\";

std::string stamp(const platform::LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

}  // namespace

std::optional<std::string> drive_root(std::string_view text) {
    if (text.size() != 3 || !std::isalpha(static_cast<unsigned char>(text[0])) || text[1] != ':' || text[2] != '\\')
        return std::nullopt;
    return std::string(1, char(std::toupper(static_cast<unsigned char>(text[0])))) + ":\\";
}

SimRestore::SimRestore(const fs::path& dir, platform::Clock& clock, Faults& faults)
    : store_(dir / "restore.json", world_counter_file(dir), "system restore"),
      drives_(dir / "files"),
      clock_(clock),
      faults_(faults) {}

void SimRestore::set_protection(bool on) {
    store_.update([&](RestoreState& r) { r.protection[kSystemDrive] = on; });
}

std::vector<RestorePointData> SimRestore::points() {
    return store_.read([](const RestoreState& r) { return r.points; });
}

void SimRestore::enable(std::string_view root) {
    auto key = drive_root(root);
    if (!key) throw PlatformError("\"" + std::string(root) + "\" is not a drive root such as C:\\.");
    std::error_code ec;
    if (!fs::is_directory(drives_ / key->substr(0, 1), ec))
        throw PlatformError("Cannot turn on System Protection for " + *key + ": the drive does not exist.");
    if (faults_.restore_enable_fails())
        throw PlatformError("Cannot turn on System Protection for " + *key +
                            ": the System Restore service is disabled.");
    bool on = store_.read([&](const RestoreState& r) {
        auto it = r.protection.find(*key);
        return it != r.protection.end() && it->second;
    });
    if (on) return;  // already on: writes nothing, as creating a key that exists writes nothing
    store_.update([&](RestoreState& r) { r.protection[*key] = true; });
}

void SimRestore::create_point(std::string_view description) {
    if (faults_.restore_point_fails())
        throw PlatformError("The restore point could not be created: the shadow copy of C:\\ failed.");
    std::string time = stamp(clock_.local_now());
    store_.update([&](RestoreState& r) {
        auto it = r.protection.find(kSystemDrive);
        if (it == r.protection.end() || !it->second)
            throw PlatformError("System Protection is turned off for C:\\.");
        r.points.push_back({std::string(description), "MODIFY_SETTINGS", time});
    });
}

}  // namespace vexlo::sim
