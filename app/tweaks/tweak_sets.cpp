#include "app/tweaks/tweak_sets.h"

#include <algorithm>
#include <array>

#include "app/core/text.h"

namespace vexlo {

namespace {

constexpr std::array<std::string_view, 1> kApplyAllSkip = {"ini_uncap"};
constexpr std::array<std::string_view, 5> kSecurityIds = {"hvci", "spectre", "vbs", "cpu_idle", "fnav"};

template <class Pred>
std::vector<Tweak*> select(const Catalog& cat, Pred pred) {
    std::vector<Tweak*> out;
    for (auto& t : cat.tweaks)
        if (t->kind != Kind::Startup && pred(*t)) out.push_back(t.get());
    return out;
}

bool high_or_med(const Tweak& t) { return t.impact == "High" || t.impact == "Med"; }

}  // namespace

std::vector<Tweak*> recommended_set(const Catalog& cat, std::string_view page, std::string_view group) {
    return select(cat, [&](const Tweak& t) {
        return t.page == page && (group.empty() || t.group == group) && !t.manual && !t.adv;
    });
}

std::vector<Tweak*> page_set(const Catalog& cat, std::string_view page) {
    return select(cat, [&](const Tweak& t) { return t.page == page; });
}

std::vector<Tweak*> real_tweaks(const Catalog& cat) {
    return select(cat, [](const Tweak&) { return true; });
}

bool parse_profile(std::string_view name, Profile& out) {
    for (Profile p : {Profile::Competitive, Profile::Max, Profile::Laptop})
        if (iequals(name, profile_name(p))) {
            out = p;
            return true;
        }
    return false;
}

std::string_view profile_name(Profile p) {
    switch (p) {
        case Profile::Competitive: return "Competitive";
        case Profile::Max: return "Max";
        case Profile::Laptop: return "Laptop";
    }
    return "Competitive";
}

std::string_view profile_description(Profile p) {
    switch (p) {
        case Profile::Competitive: return "Competitive applies every high and medium impact tweak that is safe for any PC.";
        case Profile::Max:
            return "Max FPS applies everything, including ADVANCED tweaks (each is explained on its card). Memory "
                   "Integrity and other manual-only tweaks are never included.";
        case Profile::Laptop: return "Laptop is Competitive without the tweaks that make laptops run hot or drain the battery.";
    }
    return {};
}

std::vector<Tweak*> profile_set(const Catalog& cat, Profile p) {
    return select(cat, [p](const Tweak& t) {
        if (!t.available || t.manual) return false;
        switch (p) {
            case Profile::Competitive: return high_or_med(t) && !t.adv;
            case Profile::Max: return true;
            case Profile::Laptop: return high_or_med(t) && !t.adv && !t.no_laptop;
        }
        return false;
    });
}

bool in_apply_all_skip(std::string_view id) {
    return std::find(kApplyAllSkip.begin(), kApplyAllSkip.end(), id) != kApplyAllSkip.end();
}

bool is_trade_off(std::string_view id) {
    return std::find(kSecurityIds.begin(), kSecurityIds.end(), id) != kSecurityIds.end();
}

ApplyAllPlan apply_all_plan(const Catalog& cat, std::string_view page) {
    ApplyAllPlan plan;
    plan.set = select(cat, [&](const Tweak& t) { return t.page == page && t.available && !in_apply_all_skip(t.id); });
    for (Tweak* t : plan.set) {
        if (t->adv || t->manual) plan.risky.push_back(t);
        if (is_trade_off(t->id)) plan.trade_offs.push_back(t);
    }
    std::string& b = plan.body;
    b = "Turns on all " + std::to_string(plan.set.size()) + " tweaks on this tab";
    if (!plan.risky.empty()) {
        b += ", including " + std::to_string(plan.risky.size()) + " advanced ones:\n";
        for (size_t i = 0; i < plan.risky.size() && i < 14; ++i) b += "\n  -  " + plan.risky[i]->title;
        if (plan.risky.size() > 14) b += "\n  -  and " + std::to_string(plan.risky.size() - 14) + " more";
    } else {
        b += ".";
    }
    if (!plan.trade_offs.empty()) {
        std::vector<std::string> titles;
        for (Tweak* t : plan.trade_offs) titles.push_back(t->title);
        b += "\n\nSecurity / heat trade-offs in this set: " + join(titles, ", ") +
             ". Choose \"Skip trade-offs\" to leave those alone.";
    }
    b += "\n\nEverything stays reversible. A restore point is made first.";
    return plan;
}

}  // namespace vexlo
