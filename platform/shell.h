#pragma once
// What the application asks of the desktop: opening its window and acting on it, the system
// message box (used only while its own window is not on screen) and the elevated relaunch.
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgIcon { Information, Question, Warning, Error };
enum class MsgResult { Ok, Yes, No, Cancel };

class Shell {
public:
    virtual ~Shell() = default;
    // Opens the application's window on `url`. False when nothing could be opened.
    virtual bool open_app_window(const std::string& url) = 0;
    // Minimises the application's window (the one open_app_window opened). False when none was found.
    virtual bool minimise_app_window() = 0;
    // Brings the application's window to the front (restoring it when minimised). False when none was found.
    virtual bool raise_app_window() = 0;
    // A second start, before it signals the first: lets the first take the foreground.
    virtual void allow_foreground_switch() = 0;
    virtual MsgResult message_box(std::string_view title, std::string_view text, MsgButtons buttons,
                                  MsgIcon icon) = 0;
    // Starts `exe` elevated with `args`, each of which the new process receives unchanged
    // (blanks and quotes included). False when it could not be started (including the user
    // declining).
    virtual bool relaunch_elevated(const std::string& exe, const std::vector<std::string>& args) = 0;
};

}  // namespace vexlo::platform
