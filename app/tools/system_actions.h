#pragma once
// Two actions that one-click buttons and bulk runs share: a restore point before changes, and
// a restart of the network adapters so that changed adapter properties take effect.
#include <functional>
#include <string>
#include <string_view>

#include "app/core/activity_log.h"
#include "app/core/reg.h"
#include "platform/platform.h"

namespace vexlo {

class TweakService;

// Where an action tells the player how it goes.
struct ActionReport {
    std::function<void(std::string_view, LogKind)> log;  // status bar + activity log
    std::function<void()> repaint;                       // lets the window show the line (may be empty)
};

// "Dec 6, 9:05 AM": month abbreviations are English whatever the PC's language.
std::string action_date(const platform::LocalTime& t);

// Turns System Protection on for the system drive, lifts Windows' one-point-a-day limit for
// the time it makes a point named "Vexlo Tweaks" (the limit is put back as it was, made or not). Returns "Created <date>", or the text telling the player
// what to do when Windows refused.
std::string new_restore_point(platform::Platform& pf, Reg& reg, const ActionReport& out);

// Restarts every physical adapter that is not disabled (failures ignored) and tells the tweak
// service their pending property changes are now in effect. Returns "Restarted".
std::string restart_adapters(platform::Platform& pf, TweakService& tweaks, const ActionReport& out);

}  // namespace vexlo
