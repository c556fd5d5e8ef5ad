#pragma once
// Shorthands for building parts of the window.
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "app/core/text.h"
#include "app/ui/element.h"

namespace vexlo::ui {

inline std::string format_px(double v) { return format_invariant(v) + "px"; }

using Css = std::initializer_list<std::pair<const char*, const char*>>;

inline Element& styled(Element& e, Css css) {
    e.css(css);
    return e;
}

inline Element& box(Element& parent, Css css = {}, std::string_view name = {}, std::string_view cls = {}) {
    return styled(parent.add("box", name, cls), css);
}

inline Element& row(Element& parent, Css css = {}, std::string_view name = {}) {
    Element& e = parent.add("box", name);
    styled(e, {{"flex-direction", "row"}, {"align-items", "center"}});
    return styled(e, css);
}

inline Element& text(Element& parent, std::string_view t, Css css = {}, std::string_view name = {},
                     std::string_view cls = {}) {
    Element& e = parent.add("text", name, cls);
    e.set_text(std::string(t));
    return styled(e, css);
}

inline Element& glyph(Element& parent, std::string_view code, Css css = {}, std::string_view name = {},
                      std::string_view cls = {}) {
    Element& e = parent.add("glyph", name, cls);
    e.set("glyph", std::string(code));
    return styled(e, css);
}

}  // namespace vexlo::ui
