#include "app/ui/web_page.h"

#include <stdexcept>
#include <string_view>

#include "app/core/embedded.h"

namespace vexlo::ui {
namespace {

std::string_view web_file(std::string_view name) {
    auto f = embedded_file(name);
    if (!f) throw std::runtime_error("renderer file missing from the build: " + std::string(name));
    return *f;
}

// Inline text must not end its own element early: "</style" or "</script" inside it would.
std::string guard_inline(std::string_view text, std::string_view closer) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lt = text.find("</", pos);
        if (lt == std::string_view::npos) break;
        out.append(text, pos, lt - pos);
        std::string_view rest = text.substr(lt + 2, closer.size());
        bool closes = rest.size() == closer.size();
        for (size_t i = 0; closes && i < closer.size(); ++i)
            closes = (rest[i] | 0x20) == closer[i];
        out += closes ? "<\\/" : "</";
        pos = lt + 2;
    }
    out.append(text, pos, std::string_view::npos);
    return out;
}

void fill(std::string& page, std::string_view marker, const std::string& content) {
    size_t at = page.find(marker);
    if (at == std::string::npos)
        throw std::runtime_error("index.html lacks the marker " + std::string(marker));
    page.replace(at, marker.size(), content);
}

}  // namespace

std::string compose_index_html() {
    std::string page(web_file("index.html"));
    fill(page, "<!--VEXLO:STYLE-->", "<style>\n" + guard_inline(web_file("theme.css"), "style") + "</style>");
    fill(page, "<!--VEXLO:SCRIPT-->", "<script>\n" + guard_inline(web_file("renderer.js"), "script") + "</script>");
    return page;
}

}  // namespace vexlo::ui
