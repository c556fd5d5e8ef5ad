// What Windows' command-line tools print, read into values (bcdedit here; PowerShell's
// memory-agent output in mmagent_text.h): plain text work with no Windows
// headers, kept apart from the code that runs the tools so that it builds and is fuzzed on Linux
// (tests/fuzz/tool_output_fuzz.cpp).
#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/win32/boot_text.h"

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

}  // namespace vexlo::win32
