#pragma once
#include <string>

#include "app/ui/element.h"

namespace vexlo::ui {

// Builds the main window (collapsed until start-up shows it) under the tree's root.
// `logo_url` is where the renderer finds the logo; `version` is the application version.
Element& build_main_window(Tree& tree, const std::string& logo_url, const std::string& version);

// The navigation entries: element name suffix (page), glyph, label, whether it has a count.
struct NavEntry {
    const char* section;  // non-null on the first entry of a section
    const char* page;
    const char* glyph;
    const char* label;
    bool count;
};
extern const NavEntry kNavEntries[11];

}  // namespace vexlo::ui
