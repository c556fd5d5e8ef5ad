#pragma once
// The advanced properties of the physical network adapters, read once and refreshed after
// every change, and the targets an adapter tweak aims at.
#include <string>
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
    // One target per matching property that has a wanted value, in cache order.
    std::vector<NicTarget> targets(const NicData& d) const;
    const std::vector<platform::AdapterProperty>& properties() const { return props_; }

private:
    platform::Network& net_;
    std::vector<platform::AdapterProperty> props_;
};

// A case-insensitive, unanchored pattern. Throws std::regex_error for a bad one.
std::regex make_pattern(const std::string& pattern);

}  // namespace vexlo
