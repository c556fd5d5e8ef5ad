#include "app/tweaks/score.h"

#include <cmath>

#include "app/core/text.h"
#include "app/tweaks/kinds/ini_kind.h"
#include "app/tweaks/kinds/reg_kind.h"

namespace vexlo {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool real(const Tweak& t) { return t.kind != Kind::Startup; }

}  // namespace

Count page_count(const Catalog& cat, std::string_view page) {
    Count c;
    for (auto& t : cat.tweaks) {
        if (!real(*t) || t->page != page || !t->available) continue;
        ++c.available;
        if (t->state) ++c.on;
    }
    return c;
}

Count group_count(const Catalog& cat, std::string_view page, std::string_view group) {
    Count c;
    for (auto& t : cat.tweaks) {
        if (t->page != page || t->group != group || !t->available) continue;
        ++c.available;
        if (t->state) ++c.on;
    }
    return c;
}

StartupCount startup_count(const Catalog& cat) {
    StartupCount c;
    for (auto& t : cat.tweaks) {
        if (real(*t)) continue;
        ++c.total;
        if (t->state) ++c.blocked;
    }
    return c;
}

size_t settings_count(const Catalog& cat) {
    size_t n = 0;
    for (auto& t : cat.tweaks) {
        if (!real(*t)) continue;
        if (t->kind == Kind::Reg)
            n += t->data_as<RegData>().entries.size();
        else if (t->kind == Kind::Ini)
            n += t->data_as<IniData>().entries.size();
        else
            ++n;
    }
    return n;
}

Totals totals(const Catalog& cat) {
    Totals out;
    for (auto& t : cat.tweaks) {
        if (!real(*t)) continue;
        ++out.tweaks;
        if (t->available) ++out.available;
        if (t->state) ++out.active;
    }
    out.settings = settings_count(cat);
    return out;
}

int impact_weight(std::string_view impact) {
    if (impact == "High") return 3;
    if (impact == "Med") return 2;
    return 1;
}

long round_half_even(double v) { return std::lrint(v); }  // the default rounding mode: to even

int readiness_score(const Catalog& cat) {
    long total = 0, got = 0;
    for (auto& t : cat.tweaks) {
        if (!real(*t) || !t->available || t->manual) continue;
        int w = impact_weight(t->impact);
        total += w;
        if (t->state) got += w;
    }
    if (total == 0) return 0;
    // Exact halves are decided on integers: 100 * got / total is a half exactly when
    // 200 * got is an odd multiple of total.
    long num = 100 * got, q = num / total, r = num % total;
    if (2 * r > total || (2 * r == total && (q % 2) == 1)) ++q;
    return int(q);
}

std::string hero_title(int score) {
    if (score < 35) return "Your PC is running stock Windows.";
    if (score < 75) return "Getting there. Big wins still left.";
    if (score < 95) return "Almost tuned. A few left.";
    return "Tuned. You are match-ready.";
}

std::string hero_sub(const Totals& t) {
    return std::to_string(t.active) + " of " + std::to_string(t.available) + " tweaks active on this PC (" +
           std::to_string(t.tweaks) + " tweaks, " + std::to_string(t.settings) +
           " individual settings in total). Pick a profile to apply a tested set in one click, or tune each tweak "
           "by hand.";
}

std::string totals_line(const Totals& t) {
    const char* sep = "  \u00B7  ";
    return std::to_string(t.active) + " active" + sep + std::to_string(t.available) + " available" + sep +
           std::to_string(t.tweaks) + " tweaks" + sep + std::to_string(t.settings) + " settings";
}

std::string ring_path(double pct) {
    if (pct <= 0.5) return {};
    if (pct > 99.9) pct = 99.9;
    double a = 2 * kPi * pct / 100;
    double x = 82 + 70 * std::sin(a), y = 82 - 70 * std::cos(a);
    auto two = [](double v) { return format_invariant(std::round(v * 100) / 100); };
    return "M 82,12 A 70,70 0 " + std::string(pct > 50 ? "1" : "0") + " 1 " + two(x) + "," + two(y);
}

long side_bar_width(int score) {
    // 176 x score / 100, halves to even, on integers as the score itself.
    long num = 176L * score, q = num / 100, r = num % 100;
    if (2 * r > 100 || (2 * r == 100 && (q % 2) == 1)) ++q;
    return q;
}

std::vector<Tweak*> biggest_wins(const Catalog& cat, size_t limit) {
    std::vector<Tweak*> plain, advanced;
    for (auto& t : cat.tweaks) {
        if (!real(*t) || !t->available || t->state || t->manual || t->impact != "High") continue;
        (t->adv ? advanced : plain).push_back(t.get());
    }
    plain.insert(plain.end(), advanced.begin(), advanced.end());
    if (plain.size() > limit) plain.resize(limit);
    return plain;
}

}  // namespace vexlo
