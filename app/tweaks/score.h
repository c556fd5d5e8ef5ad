#pragma once
// What the counters, the readiness score and the list of biggest wins say about the catalog's
// current readings. Pure functions of the tweaks' `available` and `state`: the window and the
// command line show the same numbers.
#include <string>
#include <string_view>
#include <vector>

#include "app/tweaks/tweak.h"

namespace vexlo {

struct Count {
    size_t on = 0, available = 0;
};

// The page's real tweaks (startup entries aside): available ones, and of those the ones on.
Count page_count(const Catalog& cat, std::string_view page);
// Every tweak of the page and group, startup entries included (the Startup groups count blocked).
Count group_count(const Catalog& cat, std::string_view page, std::string_view group);

struct StartupCount {
    size_t total = 0, blocked = 0;
};
StartupCount startup_count(const Catalog& cat);

struct Totals {
    size_t active = 0, available = 0, tweaks = 0, settings = 0;
};
// `settings`: registry values and settings-file keys count one each, every other kind one.
Totals totals(const Catalog& cat);
size_t settings_count(const Catalog& cat);

int impact_weight(std::string_view impact);  // High 3, Med 2, anything else 1
// 100 x weight on / weight of the available, non-manual real tweaks, rounded half to even;
// 0 when nothing counts.
int readiness_score(const Catalog& cat);
// Rounds half to even (62.5 -> 62, 63.5 -> 64).
long round_half_even(double v);

std::string hero_title(int score);
// "12 of 40 tweaks active on this PC (131 tweaks, 380 individual settings in total). ..."
std::string hero_sub(const Totals& t);
// "12 active  ·  40 available  ·  131 tweaks  ·  380 settings"
std::string totals_line(const Totals& t);
// The Home ring's arc as SVG path data; empty (no arc) at 0.5 % or less.
std::string ring_path(double percent);
// Width of the sidebar's bar, 176 at 100.
long side_bar_width(int score);

// The biggest wins left: high-impact, available, off, not manual-only; non-ADVANCED first; at
// most `limit`.
std::vector<Tweak*> biggest_wins(const Catalog& cat, size_t limit = 6);

}  // namespace vexlo
