#include "app/tweaks/page_table.h"

#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "app/core/embedded.h"
#include "app/tweaks/catalog_loader.h"

namespace vexlo {

namespace {

constexpr std::string_view kPagesFile = "pages.toml";

// Every key a page may carry and where it lands; a key is either text or a flag.
struct Field {
    std::string_view key;
    std::string PageInfo::*text;
    bool PageInfo::*flag;
};
const Field kFields[] = {
    {"name", &PageInfo::name, nullptr},         {"label", &PageInfo::label, nullptr},
    {"glyph", &PageInfo::glyph, nullptr},       {"section", &PageInfo::section, nullptr},
    {"title", &PageInfo::title, nullptr},       {"subtitle", &PageInfo::subtitle, nullptr},
    {"counted", nullptr, &PageInfo::counted},   {"tweaks", nullptr, &PageInfo::tweaks},
    {"chip", nullptr, &PageInfo::chip},
};

bool letters_and_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

bool code_point(std::string_view s) {
    return s.size() == 4 && std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

PageInfo read_page(const toml::table& t, const std::string& file, const std::string& entry) {
    auto fail = [&](const std::string& what) { throw CatalogError(file + ": entry '" + entry + "': " + what); };
    PageInfo page;
    for (auto& [key, value] : t) {
        const Field* f = nullptr;
        for (auto& candidate : kFields)
            if (candidate.key == key.str()) f = &candidate;
        std::string k(key.str());
        if (!f) fail("unknown field '" + k + "'");
        if (f->text) {
            auto s = value.as_string();
            if (!s) fail(k + " must be text");
            if (s->get().empty()) fail("empty " + k);
            page.*(f->text) = s->get();
        } else {
            auto b = value.as_boolean();
            if (!b) fail(k + " must be true or false");
            page.*(f->flag) = b->get();
        }
    }
    using Named = std::pair<const char*, const std::string*>;
    for (auto [what, field] : {Named{"name", &page.name}, Named{"label", &page.label}, Named{"glyph", &page.glyph}})
        if (field->empty()) fail(std::string("missing ") + what);
    if (!letters_and_digits(page.name)) fail("name must be letters and digits: it names the page's elements");
    if (!code_point(page.glyph)) fail("glyph must be a code point of four hex digits");
    for (auto [what, field] : {Named{"title", &page.title}, Named{"subtitle", &page.subtitle}})
        if (page.tweaks && field->empty()) fail(std::string("a tweak page needs ") + what);
    if (page.title.empty() && (!page.subtitle.empty() || page.chip))
        fail("a page with a subtitle or a counter chip needs a title: they sit in its header");
    return page;
}

}  // namespace

const PageInfo* PageTable::find(std::string_view name) const {
    for (auto& p : pages)
        if (p.name == name) return &p;
    return nullptr;
}

const PageInfo* PageTable::tweak_page(std::string_view name) const {
    const PageInfo* p = find(name);
    return p && p->tweaks ? p : nullptr;
}

std::vector<const PageInfo*> PageTable::tweak_pages() const {
    std::vector<const PageInfo*> out;
    for (auto& p : pages)
        if (p.tweaks) out.push_back(&p);
    return out;
}

PageTable load_page_table(const std::string& file, std::string_view text) {
    toml::parse_result parsed = toml::parse(text, file);
    if (!parsed) {
        const auto& err = parsed.error();
        throw CatalogError(file + ": line " + std::to_string(err.source().begin.line) + ": " +
                           std::string(err.description()));
    }
    const toml::table& root = parsed.table();
    for (auto& [k, v] : root)
        if (k.str() != "page") throw CatalogError(file + ": unknown top-level entry '" + std::string(k.str()) + "'");
    auto list = root["page"].as_array();
    if (!list || list->empty()) throw CatalogError(file + ": no [[page]] entries");
    PageTable table;
    int index = 0;
    for (auto& node : *list) {
        std::string entry = "#" + std::to_string(++index);
        auto t = node.as_table();
        if (!t) throw CatalogError(file + ": entry '" + entry + "': must be a table");
        if (auto name = t->get_as<std::string>("name"); name && !name->get().empty()) entry = name->get();
        PageInfo page = read_page(*t, file, entry);
        if (table.find(page.name)) throw CatalogError(file + ": entry '" + entry + "': duplicate name");
        table.pages.push_back(std::move(page));
    }
    return table;
}

const PageTable& builtin_pages() {
    static const PageTable table = [] {
        auto text = embedded_file(kPagesFile);
        if (!text) throw CatalogError(std::string(kPagesFile) + ": the page table is missing from this build");
        return load_page_table(std::string(kPagesFile), *text);
    }();
    return table;
}

}  // namespace vexlo
