#include "app/tools/system_actions.h"

#include <cctype>
#include <exception>
#include <optional>

#include "app/tweaks/tweak_service.h"

namespace vexlo {

namespace {

constexpr const char* kRestoreKey = "HKLM:\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";
constexpr const char* kFrequency = "SystemRestorePointCreationFrequency";
constexpr const char* kRestoreFailed = "Failed. Turn on System Protection for your C: drive and try again.";

void say(const ActionReport& out, std::string_view message, LogKind kind) {
    if (out.log) out.log(message, kind);
}

// The line goes out before work that keeps the application thread busy for seconds.
void announce(const ActionReport& out, std::string_view message) {
    say(out, message, LogKind::Info);
    if (out.repaint) out.repaint();
}

// The root of %SystemDrive%. The seam has no environment, but ProgramData always lives on the
// system drive, so its drive letter is the one; "C:\" when the folder reads oddly.
std::string system_drive_root(platform::FileSystem& files) {
    std::string folder = files.known_folder(platform::KnownFolder::ProgramData);
    if (folder.size() >= 2 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':')
        return folder.substr(0, 2) + "\\";
    return "C:\\";
}

// The interval between restore points back as it was before the click: its old value, or none.
void put_back_interval(Reg& reg, const std::optional<platform::RegValue>& interval, const ActionReport& out) {
    auto path = parse_reg_path(kRestoreKey);
    try {
        if (interval) reg.registry().set(path->hive, path->subkey, kFrequency, *interval);
        else reg.registry().remove(path->hive, path->subkey, kFrequency);
    } catch (const std::exception& e) {
        // The point itself is unaffected; the player is told that Windows keeps no interval now.
        say(out, std::string("Could not put back the interval between restore points: ") + e.what(), LogKind::Err);
    }
}

}  // namespace

std::string action_date(const platform::LocalTime& t) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* month = t.month >= 1 && t.month <= 12 ? kMonths[t.month - 1] : "???";
    int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    std::string minute = (t.minute < 10 ? "0" : "") + std::to_string(t.minute);
    return std::string(month) + " " + std::to_string(t.day) + ", " + std::to_string(hour12) + ":" + minute +
           (t.hour < 12 ? " AM" : " PM");
}

std::string new_restore_point(platform::Platform& pf, Reg& reg, const ActionReport& out) {
    announce(out, "Creating a Windows restore point. This can take up to a minute...");
    try {
        pf.restore().enable(system_drive_root(pf.files()));
    } catch (const std::exception&) {
        // Protection may already be on, or be turned on by the player; whether a point can be
        // made is what counts, and creating it below says why when it cannot.
    }
    // Windows makes at most one point a day unless the interval is 0: without it a second click
    // would silently create nothing. The interval is the player's (or their administrator's)
    // setting, so it is lifted for this one point and then put back as it was.
    const std::optional<platform::RegValue> interval = reg.get_raw(kRestoreKey, kFrequency);
    bool lifted = false;
    std::optional<std::string> failure;
    try {
        reg.set(kRestoreKey, kFrequency, 0, platform::RegKind::DWord);
        lifted = true;
        pf.restore().create_point("Vexlo Tweaks");
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (lifted) put_back_interval(reg, interval, out);
    if (failure) {
        say(out, "Could not create a restore point: " + *failure, LogKind::Err);
        return kRestoreFailed;
    }
    say(out, "Restore point created.", LogKind::Ok);
    return "Created " + action_date(pf.clock().local_now());
}

std::string restart_adapters(platform::Platform& pf, TweakService& tweaks, const ActionReport& out) {
    announce(out, "Restarting network adapters (a few seconds offline)...");
    platform::Network& net = pf.network();
    for (const platform::AdapterStatus& a : net.physical_adapters()) {
        if (a.status == "Disabled") continue;  // the player turned it off: keep it off
        try {
            net.restart_adapter(a.name);
        } catch (const std::exception&) {
            // An adapter that will not restart keeps its old settings until the next reboot;
            // that must not keep the others from restarting.
        }
    }
    tweaks.adapters_restarted();
    say(out, "Network adapters restarted.", LogKind::Ok);
    return "Restarted";
}

}  // namespace vexlo
