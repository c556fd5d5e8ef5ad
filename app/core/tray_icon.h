#pragma once
// The application's icon in the notification area: made on first need, then reused; its menu
// choices and double clicks arrive on whatever thread the shell uses and are carried onto the
// application thread. Every failure of the icon is logged and otherwise ignored: the product
// works without it.
#include <functional>
#include <memory>
#include <string_view>

#include "app/core/activity_log.h"
#include "app/core/event_loop.h"
#include "platform/tray.h"

namespace vexlo {

class TrayIcon {
public:
    static constexpr std::string_view kTooltip = "Vexlo Tweaks";
    static constexpr std::string_view kOpen = "Open Vexlo Tweaks";
    static constexpr std::string_view kCleanMemory = "Clean memory now";
    static constexpr std::string_view kExit = "Exit";

    // What the menu and a double click do; each runs on the application thread.
    struct Actions {
        std::function<void()> open;          // "Open Vexlo Tweaks" and a double click
        std::function<void()> clean_memory;  // "Clean memory now"
        std::function<void()> exit;          // "Exit"
    };

    TrayIcon(EventLoop& loop, platform::Tray& tray, ActivityLog& log, Actions actions);
    // Events still on their way are dropped; the icon itself is left to remove().
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Makes the icon visible, creating it the first time. False when the shell refused.
    bool show();
    // Hides and removes the icon, so that no stale icon stays behind.
    void remove();
    // A balloon with the information icon, when the icon is shown. False when none was shown.
    bool balloon(std::string_view title, std::string_view text, unsigned timeout_ms);
    bool shown();
    // This object made the icon visible and has not removed it since (asks nothing of the shell).
    bool showing() const { return showing_; }

    // One menu choice or double click, as the application thread gets it.
    void handle(const platform::TrayEvent& event);

private:
    struct Mailbox;
    EventLoop& loop_;
    platform::Tray& tray_;
    ActivityLog& log_;
    Actions actions_;
    std::shared_ptr<Mailbox> mailbox_;
    bool showing_ = false;
};

}  // namespace vexlo
