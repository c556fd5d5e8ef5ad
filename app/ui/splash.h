#pragma once
#include <string>

#include "app/ui/element.h"

namespace vexlo::ui {

// The splash window shown while the application starts.
void build_splash(Tree& tree, const std::string& logo_url, bool visible);
// Status text, and the bar at max(0, 338 x percent / 100) units of its track.
void set_splash(Tree& tree, const std::string& text, double percent);

}  // namespace vexlo::ui
