// Settings-file decoding and key editing on arbitrary bytes, without files.
//
//   scripts/fuzz.sh [--long SECONDS]   builds it into build-fuzz/, runs it from tests/fuzz/corpus/ini
//
// Input: one byte steering the edit, one byte giving the value's length, the value, then
// the file. Checked: decoding never fails, sizes stay sane, encode/decode give the same lines
// back, an edit changes only the lines it may (of a repeated key, the first line in the first
// section: the one reading finds), gives the key its value and is repeatable.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/ini_file.h"
#include "app/core/text.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vexlo;

namespace {

std::string flip_case(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
        else if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    }
    return out;
}

bool lines_equal_except(const std::vector<std::string>& a, const std::vector<std::string>& b, size_t skip_a,
                        size_t skip_b) {
    std::vector<std::string> x = a, y = b;
    if (skip_a < x.size()) x.erase(x.begin() + std::ptrdiff_t(skip_a));
    if (skip_b < y.size()) y.erase(y.begin() + std::ptrdiff_t(skip_b));
    return x == y;
}

size_t first_difference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

// The line of `key` in the first section named `section`, the first when the key repeats.
std::optional<size_t> first_key_line(const std::vector<std::string>& lines, std::string_view section,
                                     std::string_view key) {
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = ini_section_name(lines[i])) {
            if (inside) return std::nullopt;  // the first such section ends without the key
            inside = iequals(*name, section);
        } else if (auto kl = ini_key_line(lines[i]); inside && kl && iequals(kl->key, key)) {
            return i;
        }
    }
    return std::nullopt;
}

void check_round_trip(const IniText& t) {
    IniText back = decode_ini(encode_ini(t));
    CHECK(back.enc == t.enc);
    CHECK(back.lines == t.lines);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    uint8_t steer = size > 0 ? data[0] : 0;
    size_t value_len = size > 1 ? data[1] % 16 : 0;
    in.remove_prefix(std::min<size_t>(2, in.size()));
    std::string value_bytes(in.substr(0, value_len));
    in.remove_prefix(std::min(value_len, in.size()));
    const std::string_view file = in;

    // Decoding: whatever the bytes, lines come out and go back in without loss.
    IniText text = decode_ini(file);
    CHECK(!text.lines.empty());
    std::string encoded = encode_ini(text);
    CHECK(encoded.size() <= 2 * file.size() + 4);
    check_round_trip(text);

    // Names to edit: mostly ones the file has, so that the matching paths are reached.
    std::vector<std::string> sections, keys;
    for (auto& line : text.lines) {
        if (auto name = ini_section_name(line))
            sections.emplace_back(*name);
        else if (auto kl = ini_key_line(line))
            keys.emplace_back(kl->key);
    }
    std::string section = (steer & 1) && !sections.empty() ? sections[(steer >> 1) % sections.size()] : "Fuzz";
    std::string key = (steer & 8) && !keys.empty() ? keys[(steer >> 4) % keys.size()] : "Key";
    if (steer & 0x40) {
        section = flip_case(section);
        key = flip_case(key);
    }
    std::optional<std::string_view> value;
    if (!(steer & 0x80)) value = value_bytes;

    const auto got_before = ini_get(text, section, key);
    if (got_before) CHECK(*got_before == trim(*got_before));

    IniText edited = text;
    try {
        ini_set(edited, section, key, value);
    } catch (const std::invalid_argument&) {
        CHECK(edited.lines == text.lines);
        return 0;
    }
    CHECK(edited.enc == text.enc);
    check_round_trip(edited);

    // Only the lines the edit may touch have changed.
    const auto& a = text.lines;
    const auto& b = edited.lines;
    const std::string key_line = key + "=" + std::string(value.value_or(""));
    auto is_key = [&](const std::string& line) {
        auto kl = ini_key_line(line);
        return !ini_section_name(line) && kl && iequals(kl->key, key);
    };
    size_t i = first_difference(a, b);
    const std::optional<size_t> first = first_key_line(a, section, key);
    if (b.size() == a.size() + 3) {  // a new section at the end
        CHECK(value);
        CHECK(i == a.size());
        CHECK(b[i] == "[" + section + "]" && b[i + 1] == key_line && b[i + 2].empty());
        for (auto& s : sections) CHECK(!iequals(s, section));
    } else if (b.size() == a.size() + 1) {  // a new key line
        CHECK(value);
        CHECK(b[i] == key_line && lines_equal_except(a, b, SIZE_MAX, i));
    } else if (b.size() == a.size()) {  // a key line replaced, or nothing changed
        if (i < a.size()) {
            CHECK(value && b[i] == key_line && is_key(a[i]) && lines_equal_except(a, b, i, i));
            CHECK(first == i);
        }
        if (value && first) CHECK(b[*first] == key_line);
    } else {  // a key line removed
        CHECK(!value && b.size() + 1 == a.size());
        CHECK(is_key(a[i]) && lines_equal_except(a, b, i, SIZE_MAX));
        CHECK(first && lines_equal_except(a, b, *first, SIZE_MAX));
    }
    if (first) CHECK(b.size() == a.size() || b.size() + 1 == a.size());  // an existing line is edited

    if (value) {
        // Reading finds what was written, repeated keys and sections included.
        auto got = ini_get(edited, section, key);
        CHECK(got && *got == trim(*value));
        IniText again = edited;
        ini_set(again, section, key, value);
        CHECK(again.lines == edited.lines);
    }
    return 0;
}
