#include "app/tweaks/nic_cache.h"

#include "app/core/text.h"

namespace vexlo {

std::regex make_pattern(const std::string& pattern) {
    return std::regex(pattern, std::regex::ECMAScript | std::regex::icase | std::regex::optimize);
}

void NicCache::refresh() {
    targets_.clear();
    try {
        props_ = net_.adapter_properties();
    } catch (...) {
        // Adapters that cannot be read leave nothing to target: the adapter tweaks find no
        // property to change rather than stop the start or the apply that refreshes them.
        props_.clear();
    }
}

namespace {

// The shared "switch it off" pattern of the catalog's adapter entries.
constexpr std::string_view kOffPattern = "^(Disabled|Off|Disable)$";

// On Windows in another language the driver's choices are translated ("Deaktiviert"), so the
// English pattern finds nothing. The standardized keywords (those beginning with '*') store
// "disabled" as "0" whatever the language: that choice is the wanted one.
std::string stored_off(const NicData& d, const platform::AdapterProperty& p) {
    if (d.target != kOffPattern || d.kw.empty() || d.kw[0] != '*' || !iequals(p.keyword, d.kw)) return {};
    for (size_t i = 0; i < p.valid_display_values.size() && i < p.valid_registry_values.size(); ++i)
        if (p.valid_registry_values[i] == "0") return p.valid_display_values[i];
    return {};
}

}  // namespace

const std::vector<NicTarget>& NicCache::targets(const NicData& d) const {
    std::string key = d.kw + '\x1f' + d.rx + '\x1f' + d.target;
    auto known = targets_.find(key);
    if (known != targets_.end()) return known->second;
    return targets_.emplace(std::move(key), match(d)).first->second;
}

std::vector<NicTarget> NicCache::match(const NicData& d) const {
    std::vector<NicTarget> out;
    const bool max = d.target == "MAX";
    for (const auto& p : props_) {
        bool hit = (!d.kw.empty() && iequals(p.keyword, d.kw)) ||
                   (d.rx_re && std::regex_search(p.display_name, *d.rx_re));
        if (!hit) continue;
        std::string want;
        if (max) {
            if (!p.valid_display_values.empty())
                want = p.valid_display_values.back();
            else if (p.numeric_max != 0)
                want = std::to_string(p.numeric_max);
        } else if (d.target_re) {
            for (auto& v : p.valid_display_values)
                if (std::regex_search(v, *d.target_re)) {
                    want = v;
                    break;
                }
            if (want.empty()) want = stored_off(d, p);
        }
        if (want.empty()) continue;
        out.push_back({p.adapter, p.display_name, p.display_value, want, p.valid_display_values});
    }
    return out;
}

}  // namespace vexlo
