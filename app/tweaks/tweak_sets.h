#pragma once
// The sets of tweaks the bulk buttons, the profiles and "Apply everything" hand to a bulk run,
// as rules over the catalog. Startup entries belong to none of them.
#include <string>
#include <string_view>
#include <vector>

#include "app/tweaks/tweak.h"

namespace vexlo {

// "Apply recommended" and "Apply group": neither manual-only nor ADVANCED.
std::vector<Tweak*> recommended_set(const Catalog& cat, std::string_view page, std::string_view group = {});
// Every tweak of the page ("Revert page").
std::vector<Tweak*> page_set(const Catalog& cat, std::string_view page);
// Every tweak that is not a startup entry ("Revert every tweak").
std::vector<Tweak*> real_tweaks(const Catalog& cat);

enum class Profile { Competitive, Max, Laptop };
// The profile of an internal name ("Competitive", "Max", "Laptop", any case); false when the
// name is none of them.
bool parse_profile(std::string_view name, Profile& out);
std::string_view profile_name(Profile p);           // "Competitive", "Max", "Laptop"
std::string_view profile_description(Profile p);
// Available, not manual-only, not a startup entry, and the profile's own rule.
std::vector<Tweak*> profile_set(const Catalog& cat, Profile p);

// The ids "Apply everything" never includes, and the security or heat trade-offs it names.
bool in_apply_all_skip(std::string_view id);
bool is_trade_off(std::string_view id);

struct ApplyAllPlan {
    std::vector<Tweak*> set;        // available, not startup, not skipped; already-on ones too
    std::vector<Tweak*> risky;      // ADVANCED or manual-only members, in set order
    std::vector<Tweak*> trade_offs; // members that are security or heat trade-offs
    std::string body;               // the confirmation's text
};
ApplyAllPlan apply_all_plan(const Catalog& cat, std::string_view page);

}  // namespace vexlo
