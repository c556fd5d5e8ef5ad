#pragma once
// DNS server lists as Windows writes them, shared by every layer that reads or checks one.
#include <charconv>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

// Dotted-decimal IPv4, four parts of 0..255 ("1.1.1.1"); nothing shorter, no names, no IPv6.
inline bool is_ipv4_address(std::string_view s) {
    int parts = 0;
    size_t i = 0;
    while (i <= s.size()) {
        size_t end = s.find('.', i);
        if (end == std::string_view::npos) end = s.size();
        std::string_view part = s.substr(i, end - i);
        unsigned v = 0;
        auto [p, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
        if (part.empty() || part.size() > 3 || ec != std::errc() || p != part.data() + part.size() || v > 255) return false;
        ++parts;
        i = end + 1;
    }
    return parts == 4;
}

// "1.1.1.1,1.0.0.1" (a NameServer value) or "192.168.1.1 192.168.1.2" (DhcpNameServer): the
// addresses in order, empty parts dropped.
inline std::vector<std::string> split_server_list(std::string_view text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!cur.empty()) out.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(std::move(cur));
    return out;
}

}  // namespace vexlo::platform
