#include "app/core/tray_icon.h"

#include <exception>
#include <mutex>
#include <string>

namespace vexlo {

// Shared with the shell's callback, which may outlive this object (the shell keeps the first
// handler it was given): once the owner is gone, events go nowhere.
struct TrayIcon::Mailbox {
    std::mutex mu;
    TrayIcon* owner = nullptr;
};

TrayIcon::TrayIcon(EventLoop& loop, platform::Tray& tray, ActivityLog& log, Actions actions)
    : loop_(loop), tray_(tray), log_(log), actions_(std::move(actions)), mailbox_(std::make_shared<Mailbox>()) {
    mailbox_->owner = this;
}

TrayIcon::~TrayIcon() {
    std::lock_guard lk(mailbox_->mu);
    mailbox_->owner = nullptr;
}

bool TrayIcon::show() {
    platform::TrayIconSpec spec;
    spec.tooltip = std::string(kTooltip);
    spec.menu = {std::string(kOpen), std::string(kCleanMemory), "", std::string(kExit)};
    auto on_event = [mb = mailbox_](const platform::TrayEvent& event) {
        std::lock_guard lk(mb->mu);
        if (!mb->owner) return;
        mb->owner->loop_.post([mb, event] {
            TrayIcon* owner = nullptr;
            {
                std::lock_guard inner(mb->mu);
                owner = mb->owner;
            }
            if (owner) owner->handle(event);
        });
    };
    try {
        if (tray_.show(spec, on_event)) return showing_ = true;
        log_.append("The notification-area icon could not be shown.");
    } catch (const std::exception& e) {
        log_.append(std::string("The notification-area icon could not be shown: ") + e.what());
    }
    return false;
}

void TrayIcon::remove() {
    showing_ = false;
    try {
        tray_.remove();
    } catch (const std::exception& e) {
        // At worst the shell drops the stale icon when the mouse passes over it.
        log_.append(std::string("The notification-area icon could not be removed: ") + e.what());
    }
}

bool TrayIcon::balloon(std::string_view title, std::string_view text, unsigned timeout_ms) {
    try {
        return tray_.shown() && tray_.balloon(title, text, timeout_ms);
    } catch (const std::exception& e) {
        log_.append(std::string("A notification could not be shown: ") + e.what());
        return false;
    }
}

bool TrayIcon::shown() {
    try {
        return tray_.shown();
    } catch (const std::exception& e) {
        log_.append(std::string("The notification-area icon could not be asked for its state: ") + e.what());
        return false;
    }
}

void TrayIcon::handle(const platform::TrayEvent& event) {
    const std::function<void()>* action = nullptr;
    if (event.kind == platform::TrayEvent::Kind::DoubleClick || event.item == kOpen)
        action = &actions_.open;
    else if (event.item == kCleanMemory)
        action = &actions_.clean_memory;
    else if (event.item == kExit)
        action = &actions_.exit;
    if (action && *action) (*action)();
}

}  // namespace vexlo
