#pragma once
#include <string>

#include "app/ui/element.h"

namespace vexlo::ui {

// Builds the main window (collapsed until start-up shows it) under the tree's root; its rail
// lists the pages of builtin_pages().
// `logo_url` is where the renderer finds the logo; `version` is the application version.
Element& build_main_window(Tree& tree, const std::string& logo_url, const std::string& version);

}  // namespace vexlo::ui
