#include "app/core/ini_file.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "app/core/temp_files.h"
#include "app/core/text.h"

namespace vexlo {

using platform::PlatformError;

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr char32_t kReplacement = 0xFFFD;

// The blanks trim() removes, so that keys and values agree on what surrounds them.
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_blank_line(std::string_view line) {
    for (char c : line)
        if (!is_blank(c)) return false;
    return true;
}

std::string_view trim_view(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

void append_utf16le(std::string& out, char32_t cp) {
    auto unit = [&](uint32_t u) {
        out += char(u & 0xFF);
        out += char(u >> 8);
    };
    if (cp < 0x10000) {
        unit(cp);
    } else {
        cp -= 0x10000;
        unit(0xD800 | (cp >> 10));
        unit(0xDC00 | (cp & 0x3FF));
    }
}

std::string utf16le_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    auto unit_at = [&](size_t i) { return uint32_t(uint8_t(bytes[i])) | uint32_t(uint8_t(bytes[i + 1])) << 8; };
    size_t i = 0;
    while (i + 1 < bytes.size()) {
        uint32_t u = unit_at(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < bytes.size()) {
            uint32_t low = unit_at(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        append_utf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : char32_t(u));
    }
    if (i < bytes.size()) append_utf8(out, kReplacement);  // a byte short of a unit
    return out;
}

// The code point of the UTF-8 sequence at s[i] and its length; nullopt when the bytes there
// are not UTF-8 (overlong forms and surrogates included).
struct Utf8Char {
    char32_t cp;
    size_t len;
};
std::optional<Utf8Char> utf8_char_at(std::string_view s, size_t i) {
    uint8_t b = uint8_t(s[i]);
    if (b < 0x80) return Utf8Char{b, 1};
    size_t len = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return std::nullopt;
    char32_t cp = b & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k) {
        uint8_t c = uint8_t(s[i + k]);
        if ((c & 0xC0) != 0x80) return std::nullopt;
        cp = cp << 6 | (c & 0x3F);
    }
    bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return std::nullopt;
    return Utf8Char{cp, len};
}

// Bytes that do not form UTF-8 become U+FFFD, one for each such byte.
std::string utf8_to_utf16le(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 2);
    for (size_t i = 0; i < s.size();) {
        auto c = utf8_char_at(s, i);
        append_utf16le(out, c ? c->cp : kReplacement);
        i += c ? c->len : 1;
    }
    return out;
}

bool has_line_break(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool is_utf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        auto c = utf8_char_at(s, i);
        if (!c) return false;
        i += c->len;
    }
    return true;
}

// Text we write must be UTF-8, or a UTF-16 file would not get it as given.
void check_writable(std::string_view section, std::string_view key, std::optional<std::string_view> value) {
    if (section.empty() || has_line_break(section) || !is_utf8(section))
        throw std::invalid_argument("Not a section name for a settings file: \"" + std::string(section) + "\".");
    if (value && (has_line_break(*value) || !is_utf8(*value)))
        throw std::invalid_argument("A value in a settings file must be UTF-8 text without line breaks.");
    // The line must read back as this very key (and not, say, as a section header).
    std::string line = std::string(key) + "=" + std::string(value.value_or(""));
    auto parsed = has_line_break(key) || !is_utf8(key) || ini_section_name(line) ? std::nullopt : ini_key_line(line);
    if (!parsed || parsed->key != key)
        throw std::invalid_argument("Not a key name for a settings file: \"" + std::string(key) + "\".");
}

}  // namespace

IniText decode_ini(std::string_view bytes) {
    IniText out;
    std::string text;
    if (bytes.substr(0, 2) == kUtf16LeMark) {
        out.enc = IniEncoding::Utf16LeBom;
        text = utf16le_to_utf8(bytes.substr(2));
    } else if (bytes.substr(0, 3) == kUtf8Mark) {
        out.enc = IniEncoding::Utf8Bom;
        text = bytes.substr(3);
    } else {
        out.enc = IniEncoding::Utf8;
        text = bytes;
    }
    // Only the mark itself is dropped: a second U+FEFF after it is content and is written back.
    std::string_view rest = text;
    for (;;) {
        size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        if (lf == std::string_view::npos) {
            out.lines.emplace_back(line);
            break;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out.lines.emplace_back(line);
        rest.remove_prefix(lf + 1);
    }
    return out;
}

std::string encode_ini(const IniText& text) {
    std::string joined = join(text.lines, "\r\n");
    switch (text.enc) {
        case IniEncoding::Utf16LeBom: return std::string(kUtf16LeMark) + utf8_to_utf16le(joined);
        case IniEncoding::Utf8Bom: return std::string(kUtf8Mark) + joined;
        case IniEncoding::Utf8: break;
    }
    return joined;
}

std::optional<std::string_view> ini_section_name(std::string_view line) {
    std::string_view t = trim_view(line);
    if (t.size() < 3 || t.front() != '[' || t.back() != ']') return std::nullopt;
    return t.substr(1, t.size() - 2);
}

std::optional<IniKeyLine> ini_key_line(std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string_view key = trim_view(line.substr(0, eq));
    if (key.empty() || key.find(';') != std::string_view::npos) return std::nullopt;
    return IniKeyLine{key, line.substr(eq + 1)};
}

std::optional<std::string> ini_get(const IniText& text, std::string_view section, std::string_view key) {
    bool inside = false;
    for (const std::string& line : text.lines) {
        if (auto name = ini_section_name(line)) {
            inside = iequals(*name, section);
        } else if (inside) {
            auto kl = ini_key_line(line);
            if (kl && iequals(kl->key, key)) return std::string(trim_view(kl->value));
        }
    }
    return std::nullopt;
}

void ini_set(IniText& text, std::string_view section, std::string_view key, std::optional<std::string_view> value) {
    check_writable(section, key, value);
    auto& lines = text.lines;
    // The first section named `section` runs from `start` to the next header, `end`.
    std::optional<size_t> start, end, found;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = ini_section_name(lines[i])) {
            if (start && !end) end = i;
            if (!start && iequals(*name, section)) start = i;
        } else if (start && !end) {
            auto kl = ini_key_line(lines[i]);
            // The first one, as ini_get reads it: the game's files repeat some keys.
            if (kl && iequals(kl->key, key) && !found) found = i;
        }
    }
    std::string new_line = value ? std::string(key) + "=" + std::string(*value) : std::string();
    if (found) {
        if (value)
            lines[*found] = std::move(new_line);
        else
            lines.erase(lines.begin() + std::ptrdiff_t(*found));
    } else if (value) {
        if (!start) {
            lines.push_back("[" + std::string(section) + "]");
            lines.push_back(std::move(new_line));
            lines.emplace_back();
        } else {
            // After the section's last non-blank line, before the blank lines that part it
            // from what follows.
            size_t at = end.value_or(lines.size());
            while (at > *start + 1 && is_blank_line(lines[at - 1])) --at;
            lines.insert(lines.begin() + std::ptrdiff_t(at), std::move(new_line));
        }
    }
}

namespace {

// Never written in place: a crash half way would lose the player's settings, or leave a
// partial original copy that is never made again. A killed run leaves at most the temporary
// file, which the next start removes (temp_files.h).
template <class WriteTemporary>
void replace_through_temporary(platform::FileSystem& files, const std::string& target, WriteTemporary write) {
    const std::string tmp = temporary_path_for(target);
    try {
        write(tmp);
        files.replace(tmp, target);
    } catch (...) {
        // Whatever failed, the half-written copy goes and the caller hears the first failure.
        try {
            files.remove(tmp);
        } catch (const PlatformError&) {
            // The first failure is the one worth reporting.
        }
        throw;
    }
}

}  // namespace

IniFile::IniFile(platform::FileSystem& files, std::string path, std::string original_copy_path)
    : files_(files), path_(std::move(path)), original_copy_path_(std::move(original_copy_path)) {}

bool IniFile::exists() { return files_.exists(path_) && !files_.is_directory(path_); }

IniText IniFile::read() {
    auto bytes = files_.read(path_);
    if (!bytes) {
        // Not followed: the core would act on, and copy out, whatever the link points at.
        if (files_.is_link(path_)) throw platform::link_refused("Cannot read " + path_, path_);
        if (!files_.exists(path_)) throw PlatformError("Cannot read " + path_ + ": The file does not exist.");
        throw PlatformError("Cannot read " + path_ + ": The file cannot be opened.");
    }
    return decode_ini(*bytes);
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) {
    try {
        auto bytes = files_.read(path_);
        if (!bytes) return std::nullopt;
        return ini_get(decode_ini(*bytes), section, key);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void IniFile::set(std::string_view section, std::string_view key, std::optional<std::string_view> value) {
    IniText text = read();
    ini_set(text, section, key, value);
    std::string bytes = encode_ini(text);

    bool read_only = files_.is_read_only(path_);
    if (read_only) files_.set_read_only(path_, false);
    replace_through_temporary(files_, path_, [&](const std::string& tmp) { files_.write(tmp, bytes); });
    if (read_only) files_.set_read_only(path_, true);
}

void IniFile::backup_once() {
    if (!exists() || files_.exists(original_copy_path_)) return;
    size_t sep = original_copy_path_.find_last_of("\\/");
    if (sep != std::string::npos) {
        std::string folder = original_copy_path_.substr(0, sep);
        if (!folder.empty() && folder.back() == ':') folder += '\\';  // "C:\\x" lives in "C:\\"
        if (!files_.is_directory(folder)) files_.create_directories(folder);
    }
    replace_through_temporary(files_, original_copy_path_, [&](const std::string& tmp) { files_.copy(path_, tmp); });
}

bool ini_equal(const std::optional<std::string>& current, std::string_view wanted) {
    if (!current) return false;
    auto a = parse_double(*current), b = parse_double(wanted);
    if (a && b) return *a == *b || std::fabs(*a - *b) < 0.001;
    return iequals(*current, wanted);
}

}  // namespace vexlo
