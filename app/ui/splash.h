#pragma once
#include <optional>
#include <string>

#include "app/ui/element.h"

namespace vexlo::ui {

// The splash window shown while the application starts.
void build_splash(Tree& tree, const std::string& logo_url, bool visible);
// Status text, and the bar at max(0, 338 x percent / 100) units of its track.
void set_splash(Tree& tree, const std::string& text, double percent);

// The splash step shown while every tweak is checked: every 15th of n entries, the count at
// 70 + 20 x i / n percent; nothing in between.
struct SplashStep {
    std::string text;
    double percent;
};
std::optional<SplashStep> checking_step(size_t i, size_t n);

}  // namespace vexlo::ui
