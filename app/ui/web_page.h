#pragma once
// The renderer's page as one self-contained document: index.html with theme.css and
// renderer.js inlined, so the window needs exactly one request and no outside resources.
#include <string>

namespace vexlo::ui {

// Built from the embedded files of app/ui/web/. Throws std::runtime_error when a file or one of
// its markers is missing (a broken build, caught at start).
std::string compose_index_html();

}  // namespace vexlo::ui
