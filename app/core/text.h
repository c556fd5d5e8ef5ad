#pragma once
// Small text helpers: case-insensitive comparison (ASCII, as the product's names are),
// invariant-culture numbers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo {

inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

inline bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

std::string to_lower(std::string_view s);
std::string trim(std::string_view s);
std::vector<std::string> split(std::string_view s, char sep);
std::string join(const std::vector<std::string>& parts, std::string_view sep);

// Whole decimal number with optional sign and surrounding blanks; nullopt otherwise.
std::optional<int64_t> parse_int64(std::string_view s);
// Floating-point number in the invariant culture; nullopt otherwise.
std::optional<double> parse_double(std::string_view s);
// Shortest round-trip form, "." as decimal point.
std::string format_invariant(double v);

// Joins Windows path parts with one backslash.
std::string path_join(std::string_view a, std::string_view b);

}  // namespace vexlo
