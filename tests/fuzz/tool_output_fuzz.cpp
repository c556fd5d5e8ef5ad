// What the real PC's back end reads from Windows' own tools, on arbitrary text: the listing of
// `bcdedit /enum {current}` and what PowerShell prints for the memory manager agent. The tools
// run elevated, but what they print can carry names and descriptions anyone may have set.
//
// Input: the tool's output (the same bytes go to every reader). Checked for bcdedit: nothing
// without a line of dashes; names are non-empty, lower case, without blanks or line feeds, and
// occur in the output; values carry no line end and no blanks around them; LF and CR LF line ends
// read the same; an entry printed back in bcdedit's layout reads back the same. For PowerShell: a
// flag reads the same with blank space, line ends and a byte-order mark around it, and only
// True or False read as one; the change command's marker is found only at the end, on a line of
// its own, wherever the rest of the output came from.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/win32/boot_text.h"
#include "platform/win32/mmagent_text.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vexlo::win32;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool has_dashes_line(std::string_view text) {
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        size_t a = line.find_first_not_of(" \t\r"), b = line.find_last_not_of(" \t\r");
        if (a != std::string_view::npos && line.substr(a, b - a + 1).find_first_not_of('-') == std::string_view::npos)
            return true;
        pos = end + 1;
    }
    return false;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string with_crlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

bool edge_blank(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    return !s.empty() && (blank(s.front()) || blank(s.back()));
}

void check_bcdedit(std::string_view output) {
    const auto entry = parse_bcdedit_entry(output);
    if (!has_dashes_line(output)) CHECK(entry.empty());
    const std::string lowered = lower(output);
    for (const auto& [name, value] : entry) {
        CHECK(!name.empty());
        // (A lone CR inside a line is kept as text, as the tool never prints one.)
        CHECK(name.find_first_of(" \t\n") == std::string::npos && name.front() != '\r');
        CHECK(lower(name) == name);
        CHECK(lowered.find(name) != std::string::npos);
        CHECK(value.find('\n') == std::string::npos && !edge_blank(value));
    }
    CHECK(parse_bcdedit_entry(with_crlf(output)) == entry);

    // Printed back as bcdedit lays an entry out, one setting a line, it reads the same.
    if (!entry.empty()) {
        std::string listing = "Windows Boot Loader\r\n-------------------\r\n";
        for (const auto& [name, value] : entry) listing += name + (value.empty() ? "" : "                  " + value) + "\r\n";
        CHECK(parse_bcdedit_entry(listing) == entry);
    }
}

void check_mmagent(std::string_view output) {
    const auto flag = parse_mmagent_flag(output);
    CHECK(parse_mmagent_flag(" \r\n" + std::string(output) + "\r\n\t ") == flag);
    const size_t start = output.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos || !output.substr(start).starts_with(kBom))
        CHECK(parse_mmagent_flag(std::string(kBom) + std::string(output)) == flag);
    if (flag) {
        std::string word = lower(output);
        word.erase(std::remove_if(word.begin(), word.end(), [](char c) { return std::string_view(" \t\r\n\xEF\xBB\xBF").find(c) != std::string_view::npos; }),
                   word.end());
        CHECK(word == (*flag ? "true" : "false"));
    }

    const std::string marker(kMMAgentDone);
    const bool done = mmagent_change_done(output);
    if (done) CHECK(std::string_view(output).find(marker) != std::string_view::npos);
    CHECK(mmagent_change_done(std::string(output) + "\r\n") == done);
    // Whatever came before, the marker on a line of its own at the end says the change finished;
    // anything after it means the command went on (or failed) after printing it.
    CHECK(mmagent_change_done(std::string(output) + "\r\n" + marker + "\r\n"));
    CHECK(!mmagent_change_done(std::string(output) + "\n" + marker + "x"));
    CHECK(!mmagent_change_done(std::string(output) + "\n" + marker + "\nWrite-Error: failed"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view output(reinterpret_cast<const char*>(data), size);
    check_bcdedit(output);
    check_mmagent(output);
    return 0;
}
