// What Windows' command-line tools print, read into values: plain text work with no Windows
// headers, kept apart from the code that runs the tools so that it builds and is fuzzed on Linux
// (tests/fuzz/tool_output_fuzz.cpp).
#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/win32/boot_text.h"
#include "platform/win32/mmagent_text.h"

namespace vexlo::win32 {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// bcdedit's lines: without the blanks and the CR around them.
std::string_view trim(std::string_view s) {
    while (!s.empty() && (is_blank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (is_blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// PowerShell's output: without the blank space and line ends around it.
std::string_view trim_space(std::string_view s) {
    auto space = [](char c) { return is_blank(c) || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return s;
}

bool iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

}  // namespace

std::map<std::string, std::string> parse_bcdedit_entry(std::string_view output) {
    std::vector<std::string_view> lines;
    for (size_t pos = 0; pos <= output.size();) {
        size_t end = std::min(output.find('\n', pos), output.size());
        std::string_view line = output.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!trim(line).empty()) lines.push_back(line);
        pos = end + 1;
    }
    auto dashes = [&](size_t i) {
        std::string_view t = trim(lines[i]);
        return t.find_first_not_of('-') == std::string_view::npos;
    };
    // The entry runs from the line after the first dashes to the title of the next entry (the
    // line before the next dashes), or to the end.
    size_t first = 0;
    while (first < lines.size() && !dashes(first)) ++first;
    if (first == lines.size()) return {};
    size_t stop = first + 1;
    while (stop < lines.size() && !dashes(stop)) ++stop;
    if (stop < lines.size()) --stop;

    std::map<std::string, std::string> entry;
    std::string last;
    for (size_t i = first + 1; i < stop; ++i) {
        std::string_view raw = lines[i], line = trim(raw);
        if (is_blank(raw.front())) {
            // One more value of the setting above (a list such as displayorder).
            if (!last.empty()) {
                std::string& value = entry[last];
                if (!value.empty()) value += ' ';
                value += line;
            }
            continue;
        }
        size_t gap = line.find_first_of(" \t");
        last = lower(line.substr(0, gap));
        entry[last] = gap == std::string_view::npos ? std::string() : std::string(trim(line.substr(gap)));
    }
    return entry;
}

std::optional<bool> parse_mmagent_flag(std::string_view output) {
    std::string_view text = trim_space(output);
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text = trim_space(text.substr(3));
    if (iequal(text, "True")) return true;
    if (iequal(text, "False")) return false;
    return std::nullopt;
}

bool mmagent_change_done(std::string_view output) {
    // The marker on a line of its own at the end: the command prints it only once the cmdlet has
    // finished without an error.
    std::string_view text = trim_space(output);
    return text.size() >= kMMAgentDone.size() && text.substr(text.size() - kMMAgentDone.size()) == kMMAgentDone &&
           (text.size() == kMMAgentDone.size() || text[text.size() - kMMAgentDone.size() - 1] == '\n');
}

}  // namespace vexlo::win32
