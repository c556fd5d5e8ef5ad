#pragma once
// One renderer message, checked before the application acts on it. The socket is reachable by
// any program on the PC that obtains the session, and the core is elevated: a message that is
// not exactly one of the shapes below is dropped, never half-used.
//
//   {"ev":"click","id":N,"value":null|true|false}
//   {"ev":"input","id":N,"value":"text"}
//   {"ev":"mouseup","id":N,"value":B}            B the button released, 0 .. 4 as the DOM
//                                                 numbers them (0 the main, left one)
//   {"ev":"size","id":N,"value":W}               W the element's laid-out width in CSS
//                                                 pixels, a whole number 1 .. kMaxReportedWidth
//   {"ev":"rendered"}
//   {"ev":"key","value":"Escape"|"Ctrl+F"}
//
// N is an element id, 1 .. INT_MAX. No other members are allowed.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vexlo::ui {

struct UiMessage {
    std::string ev;          // one of the events above
    int id = 0;              // the element, for click, input and mouseup; 0 otherwise
    nlohmann::json value;    // null, a boolean (click), a string (input, key), a button (mouseup)
                             // or a width (size)
};

inline constexpr size_t kMaxInputChars = 16 * 1024;  // a search box needs far less
inline constexpr unsigned kMaxReportedWidth = 100000;  // far beyond any screen

// The message, or nullopt with the reason in *why (a short sentence without the message's
// text in it). Never throws.
std::optional<UiMessage> parse_ui_message(std::string_view text, std::string* why = nullptr);

// Keeps a flood of bad messages out of the activity log: the first few are logged with their
// reason, later ones are counted and reported as one line when a good message arrives or
// every kSummaryEvery drops, whichever comes first.
class DroppedMessages {
public:
    static constexpr int kLoggedInFull = 5;
    static constexpr int kSummaryEvery = 1000;

    // A message was dropped for `why`; returns the line to log, if any.
    std::optional<std::string> dropped(std::string_view why);
    // A good message arrived; returns the summary of the drops not yet reported, if any.
    std::optional<std::string> flush();

private:
    long long total_ = 0;
    long long unreported_ = 0;
};

}  // namespace vexlo::ui
