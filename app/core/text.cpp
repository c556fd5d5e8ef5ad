#include "app/core/text.h"

#include <charconv>
#include <cstdio>

namespace vexlo {

std::string to_lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return std::string(s.substr(b, e - b));
}

std::vector<std::string> split(std::string_view s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(sep, start);
        out.emplace_back(s.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start));
        if (pos == std::string_view::npos) break;
        start = pos + 1;
    }
    return out;
}

std::string join(const std::vector<std::string>& parts, std::string_view sep) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += sep;
        out += parts[i];
    }
    return out;
}

std::optional<int64_t> parse_int64(std::string_view s) {
    std::string t = trim(s);
    std::string_view v = t;
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    if (v.empty()) return std::nullopt;
    int64_t n = 0;
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc() || p != v.data() + v.size()) return std::nullopt;
    return n;
}

std::optional<double> parse_double(std::string_view s) {
    std::string t = trim(s);
    std::string_view v = t;
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    if (v.empty()) return std::nullopt;
    double d = 0;
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
    if (ec != std::errc() || p != v.data() + v.size()) return std::nullopt;
    return d;
}

std::string format_invariant(double v) {
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, ec == std::errc() ? p : buf);
}

std::string path_join(std::string_view a, std::string_view b) {
    std::string out(a);
    while (!out.empty() && (out.back() == '\\' || out.back() == '/')) out.pop_back();
    while (!b.empty() && (b.front() == '\\' || b.front() == '/')) b.remove_prefix(1);
    out += '\\';
    out += b;
    return out;
}

}  // namespace vexlo
