#pragma once
// What is handed to Windows PowerShell 5.1 and how its printed streams are read back. Plain
// text work without Windows headers, so that the Linux tests check it as well.
//
// PowerShell 5.1 started with its streams on pipes writes records it cannot show on a console
// (progress such as "Preparing modules for first use.", and sometimes errors) to standard error
// as serialized objects: a "#< CLIXML" line, then <Objs ...>...</Objs>. Progress is switched off
// in every script, but a reader must still never take such a block for output.
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::win32 {

// powershell.exe's arguments for one script, with progress records switched off first.
inline std::vector<std::wstring> powershell_arguments(std::wstring_view script) {
    return {L"-NoProfile", L"-NonInteractive", L"-ExecutionPolicy", L"Bypass", L"-Command",
            L"$ProgressPreference='SilentlyContinue'; " + std::wstring(script)};
}

namespace powershell_detail {

inline constexpr std::string_view kMarker = "#< CLIXML";

// Whether an <Objs> tag starts at `at`.
inline bool objs_at(std::string_view text, size_t at) {
    if (text.compare(at, 5, "<Objs") != 0) return false;
    char after = at + 5 < text.size() ? text[at + 5] : '\0';
    return after == ' ' || after == '>';
}

// Where the next serialized block starts at or after `from`: the marker line or an <Objs> tag.
inline size_t next_block(std::string_view text, size_t from) {
    size_t marker = text.find(kMarker, from);
    for (size_t at = text.find("<Objs", from); at != std::string_view::npos; at = text.find("<Objs", at + 1))
        if (objs_at(text, at)) return std::min(marker, at);
    return marker;
}

// The length of the line end at `at` (CR LF or LF), 0 when none is there.
inline size_t line_end_at(std::string_view text, size_t at) {
    if (text.compare(at, 2, "\r\n") == 0) return 2;
    return at < text.size() && text[at] == '\n' ? 1 : 0;
}

// The end of the block that starts at `at`. PowerShell writes the marker on a line of its own
// and each block on one line (line ends inside its strings are escaped), so a block never runs
// past its line: one without its </Objs> there (cut off, or no block at all) ends at its line
// end. A block that stood on its own line (`own_line`) takes its line end with it; one inside a
// line leaves the line end to the text around it, so that text keeps its line breaks.
inline size_t block_end(std::string_view text, size_t at, bool own_line) {
    size_t end;
    if (text.compare(at, kMarker.size(), kMarker) == 0) {
        end = at + kMarker.size();
        const size_t eol = line_end_at(text, end);
        if (own_line || (eol > 0 && objs_at(text, end + eol))) end += eol;
        return end;
    }
    const size_t close = text.find("</Objs>", at);
    const size_t line = text.find('\n', at);
    if (close != std::string_view::npos && (line == std::string_view::npos || close < line)) {
        end = close + 7;
    } else {
        end = line == std::string_view::npos ? text.size() : line;
        if (end > at && end < text.size() && text[end - 1] == '\r') --end;
    }
    if (own_line) end += line_end_at(text, end);
    return end;
}

inline int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline void append_utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// A serialized string's text: XML entities, and PowerShell's _xHHHH_ for characters XML cannot
// carry (line ends among them).
inline std::string decode_serialized(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (s[i] == '_' && i + 7 <= s.size() && s[i + 1] == 'x' && s[i + 6] == '_') {
            unsigned cp = 0;
            bool hex = true;
            for (size_t k = 2; k < 6 && hex; ++k) {
                int d = hex_digit(s[i + k]);
                hex = d >= 0;
                cp = cp * 16 + unsigned(d < 0 ? 0 : d);
            }
            if (hex) {
                append_utf8(out, cp);
                i += 7;
                continue;
            }
        }
        if (s[i] == '&') {
            static constexpr std::pair<std::string_view, char> kEntities[] = {
                {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
            bool matched = false;
            for (auto& [entity, c] : kEntities) {
                if (s.compare(i, entity.size(), entity) == 0) {
                    out += c;
                    i += entity.size();
                    matched = true;
                    break;
                }
            }
            if (matched) continue;
        }
        out += s[i++];
    }
    return out;
}

}  // namespace powershell_detail

// The text with every serialized block (and the line end after it) left out: what PowerShell
// printed as output, wherever such blocks stood before, between or after it.
inline std::string strip_clixml(std::string_view text) {
    using namespace powershell_detail;
    std::string out;
    size_t pos = 0;
    for (size_t at; (at = next_block(text, pos)) != std::string_view::npos;) {
        out.append(text.substr(pos, at - pos));
        pos = block_end(text, at, /*own_line=*/out.empty() || out.back() == '\n');
    }
    if (pos < text.size()) out.append(text.substr(pos));
    return out;
}

// What standard error says to a person: the plain text, plus the error records of serialized
// blocks (<S S="Error">...</S>), decoded; progress and other records are left out.
inline std::string powershell_error_text(std::string_view errors) {
    using namespace powershell_detail;
    std::string out = strip_clixml(errors);
    for (size_t at; (at = next_block(errors, 0)) != std::string_view::npos;) {
        size_t end = block_end(errors, at, /*own_line=*/at == 0 || errors[at - 1] == '\n');
        std::string_view block = errors.substr(at, end - at);
        constexpr std::string_view open = "<S S=\"Error\">";
        for (size_t p = block.find(open); p != std::string_view::npos; p = block.find(open, p)) {
            p += open.size();
            size_t close = block.find("</S>", p);
            if (close == std::string_view::npos) close = block.size();
            out += decode_serialized(block.substr(p, close - p));
        }
        errors.remove_prefix(end);
    }
    return out;
}

}  // namespace vexlo::win32
