#pragma once
// The advanced properties of the physical network adapters, read once and refreshed after
// every change, and the targets an adapter tweak aims at.
#include <string>
#include <unordered_map>
#include <vector>

#include "app/tweaks/tweak.h"
#include "platform/network.h"

namespace vexlo {

struct NicTarget {
    std::string adapter;
    std::string display_name;
    std::string current;
    std::string want;
    std::vector<std::string> valid;
};

class NicCache {
public:
    explicit NicCache(platform::Network& net) : net_(net) {}
    void refresh();
    // One target per matching property that has a wanted value, in cache order. Worked out
    // once per reading of the adapters for each keyword, pattern and target: a state pass asks
    // for every adapter entry twice, and matching the patterns is most of its work. The list
    // stays valid until the next refresh.
    const std::vector<NicTarget>& targets(const NicData& d) const;
    const std::vector<platform::AdapterProperty>& properties() const { return props_; }

private:
    std::vector<NicTarget> match(const NicData& d) const;
    platform::Network& net_;
    std::vector<platform::AdapterProperty> props_;
    mutable std::unordered_map<std::string, std::vector<NicTarget>> targets_;
};

// A case-insensitive, unanchored pattern. Throws std::regex_error for a bad one.
std::regex make_pattern(const std::string& pattern);

}  // namespace vexlo
