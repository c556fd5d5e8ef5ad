#pragma once
#include <string>

namespace vexlo {
class App;
}

namespace vexlo::ui {

// Creates the page (collapsed) in the page host and fills it from the catalog, group by group.
void build_tweak_page(App& app, const std::string& page);
// Navigation rail: selecting an entry shows its page.
void wire_navigation(App& app);
void show_page(App& app, const std::string& page);

}  // namespace vexlo::ui
