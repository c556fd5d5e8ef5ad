#pragma once
// The application's icon in the notification area, with its menu and balloons.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

struct TrayEvent {
    enum class Kind { MenuChoice, DoubleClick };
    Kind kind = Kind::MenuChoice;
    std::string item;  // the menu entry's text, for a choice
};

struct TrayIconSpec {
    // The application's own icon (the one built into the executable) is shown; when it cannot
    // be loaded, the system's generic application icon.
    std::string tooltip;
    std::vector<std::string> menu;  // in order; an empty text is a separator
};

class Tray {
public:
    virtual ~Tray() = default;
    // Shows the icon, creating it the first time; later calls make it visible again and keep
    // the first spec and handler. Events reach `on_event` on any thread (the caller posts them
    // to its own). False when the icon could not be shown.
    virtual bool show(const TrayIconSpec& spec, std::function<void(const TrayEvent&)> on_event) = 0;
    // Hides and removes the icon, so no stale icon stays behind. Nothing when not shown.
    virtual void remove() = 0;
    // A balloon with the information icon over the icon, for about `timeout_ms`. False when it
    // could not be shown (no icon, the shell refused).
    virtual bool balloon(std::string_view title, std::string_view text, unsigned timeout_ms) = 0;
    virtual bool shown() = 0;
};

}  // namespace vexlo::platform
