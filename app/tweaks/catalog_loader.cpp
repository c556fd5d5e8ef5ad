#include "app/tweaks/catalog_loader.h"

#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "app/core/embedded.h"
#include "app/tweaks/page_table.h"

namespace vexlo {

namespace {

// Every file embedded under this folder is part of the catalog. They load in name order, and each
// name begins with its place ("10-system.toml" before "40-fortnite.toml"), so a new file is placed
// by how it is named, not by a list here.
constexpr std::string_view kCatalogFolder = "catalog/";

constexpr std::string_view kImpacts[] = {"High", "Med", "Low"};
constexpr std::string_view kCommonKeys[] = {"id",        "page",   "group", "title", "desc", "impact", "adv",
                                            "restart",   "no_laptop", "manual", "kind", "avail", "why"};

// Every field an entry may have: the common ones and each kind's data field.
const std::set<std::string, std::less<>>& tweak_keys() {
    static const std::set<std::string, std::less<>> keys = [] {
        std::set<std::string, std::less<>> out(std::begin(kCommonKeys), std::end(kCommonKeys));
        for (const KindHandler* h : kind_handlers())
            if (!h->data_field().empty()) out.emplace(h->data_field());
        return out;
    }();
    return keys;
}

Json toml_to_json(const toml::node& n) {
    if (auto v = n.as_integer()) return v->get();
    if (auto v = n.as_floating_point()) return v->get();
    if (auto v = n.as_string()) return v->get();
    if (auto v = n.as_boolean()) return v->get();
    if (auto a = n.as_array()) {
        Json out = Json::array();
        for (auto& e : *a) out.push_back(toml_to_json(e));
        return out;
    }
    if (auto t = n.as_table()) {
        Json out = Json::object();
        for (auto& [k, v] : *t) out[std::string(k.str())] = toml_to_json(v);
        return out;
    }
    return nullptr;
}

bool valid_id(std::string_view id) {
    if (id.empty()) return false;
    for (char ch : id)
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_')) return false;
    return true;
}

template <class List>
bool one_of(const List& list, std::string_view s) {
    return std::find(std::begin(list), std::end(list), s) != std::end(list);
}

std::unique_ptr<Tweak> parse_tweak(const Json& e, ParseContext& ctx, const Catalog& cat, const Operations& ops) {
    for (auto& [key, val] : e.items())
        if (!tweak_keys().contains(key)) ctx.fail("unknown field '" + key + "'");

    auto tw = std::make_unique<Tweak>();
    tw->id = ctx.text(e, "id", true);
    if (!valid_id(tw->id)) ctx.fail("id must be letters and digits, words joined by underscores");
    if (cat.map.contains(tw->id)) ctx.fail("duplicate id");
    tw->page = ctx.text(e, "page", true);
    if (!builtin_pages().tweak_page(tw->page)) ctx.fail("unknown page '" + tw->page + "'");
    tw->group = ctx.text(e, "group", true);
    tw->title = ctx.text(e, "title", true);
    tw->desc = ctx.text(e, "desc", true);
    if (e.contains("impact")) {
        tw->impact = ctx.text(e, "impact", true);
        if (!one_of(kImpacts, tw->impact)) ctx.fail("impact must be High, Med or Low");
    }
    tw->adv = ctx.flag(e, "adv");
    tw->restart = ctx.flag(e, "restart");
    tw->no_laptop = ctx.flag(e, "no_laptop");
    tw->manual = ctx.flag(e, "manual");

    // Without a kind an entry is a registry tweak; a kind without a data field cannot be declared.
    std::string kind = e.contains("kind") ? ctx.text(e, "kind", true) : std::string(kind_name(Kind::Reg));
    const Kind* k = parse_kind(kind);
    if (!k || kind_handler(*k).data_field().empty()) ctx.fail("unknown kind '" + kind + "'");
    tw->kind = *k;
    for (const KindHandler* h : kind_handlers()) {
        std::string_view field = h->data_field();
        if (field.empty()) continue;
        const bool present = e.contains(field);
        if (h->kind() == tw->kind && !present) ctx.fail("a " + kind + " tweak needs " + std::string(field));
        if (h->kind() != tw->kind && present) ctx.fail(std::string(field) + " on a tweak of kind " + kind);
    }
    tw->title = ctx.substitute(tw->title);
    const KindHandler& handler = kind_handler(tw->kind);
    tw->data = handler.parse(e.at(std::string(handler.data_field())), ctx);

    if (e.contains("avail")) {
        std::string name = ctx.text(e, "avail", true);
        auto it = ops.predicates.find(name);
        if (it == ops.predicates.end()) ctx.fail("no availability test is registered as '" + name + "'");
        tw->avail = it->second;
    }
    tw->why = ctx.text(e, "why", false);
    if (!tw->why.empty() && !tw->avail) ctx.fail("why without avail");
    return tw;
}

// Fills the placeholders "{0}", "{1}", ... (up to three digits) of every text in `j` from `row`. A text that is one
// placeholder alone takes the row's value as it is, so a number stays a number.
void fill_row(Json& j, const Json& row, ParseContext& ctx) {
    if (j.is_object() || j.is_array()) {
        for (auto& v : j) fill_row(v, row, ctx);
        return;
    }
    if (!j.is_string()) return;
    const std::string text = j.get<std::string>();
    std::string out;
    for (size_t i = 0; i < text.size();) {
        size_t close = text.find('}', i + 1);
        bool placeholder = text[i] == '{' && close != std::string::npos && close > i + 1 && close - i <= 4 &&
                           std::all_of(text.begin() + long(i) + 1, text.begin() + long(close),
                                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
        if (!placeholder) {
            out += text[i++];
            continue;
        }
        size_t n = std::stoul(text.substr(i + 1, close - i - 1));
        if (n >= row.size()) ctx.fail("{" + std::to_string(n) + "} names a field the rows of each do not have");
        if (i == 0 && close + 1 == text.size()) {
            j = row[n];
            return;
        }
        out += row[n].is_string() ? row[n].get<std::string>() : row[n].dump();
        i = close + 1;
    }
    j = std::move(out);
}

// An entry with "each" stands for one entry per row, made from the rest of it: a table kept in
// one place in the data (service names with their labels, numbered tasks) gives exactly the
// entries it lists, in its order. A row is a value or a list of values, all rows alike.
std::vector<Json> expand_each(const Json& e, ParseContext& ctx) {
    auto each = e.find("each");
    if (each == e.end()) return {e};
    if (!each->is_array() || each->empty()) ctx.fail("each must be a list of rows");
    std::vector<Json> out;
    for (const Json& r : *each) {
        Json row = r.is_array() ? r : Json::array({r});
        if (row.empty() || std::any_of(row.begin(), row.end(), [](const Json& v) { return v.is_object() || v.is_array(); }))
            ctx.fail("a row of each is a text, a number or a list of them");
        if (row.size() != (each->front().is_array() ? each->front().size() : 1))
            ctx.fail("every row of each has the same number of fields");
        Json one = e;
        one.erase("each");
        fill_row(one, row, ctx);
        out.push_back(std::move(one));
    }
    return out;
}

}  // namespace

std::vector<CatalogSource> builtin_catalog_sources() {
    std::vector<CatalogSource> out;
    for (auto& f : embedded_files()) {
        if (!f.name.starts_with(kCatalogFolder)) continue;
        std::string name(f.name.substr(kCatalogFolder.size()));
        // A name without its place would sort behind every numbered file, wherever it belongs.
        if (name.size() < 3 || !std::isdigit(static_cast<unsigned char>(name[0])) ||
            !std::isdigit(static_cast<unsigned char>(name[1])) || name[2] != '-')
            throw CatalogError(name + ": a catalog file's name begins with its place in the catalog, as in 10-system.toml");
        out.push_back({std::move(name), f.data});
    }
    if (out.empty()) throw CatalogError("the catalog's files are missing from this build");
    std::sort(out.begin(), out.end(), [](const CatalogSource& a, const CatalogSource& b) { return a.file < b.file; });
    return out;
}

Catalog load_catalog(const std::vector<CatalogSource>& sources, const Operations& ops,
                     const std::map<std::string, std::string>& vars) {
    Catalog cat;
    for (const auto& src : sources) {
        toml::parse_result parsed = toml::parse(src.text, src.file);
        if (!parsed) {
            const auto& err = parsed.error();
            throw CatalogError(src.file + ": line " + std::to_string(err.source().begin.line) + ": " +
                               std::string(err.description()));
        }
        const toml::table& root = parsed.table();
        for (auto& [k, v] : root)
            if (k.str() != "tweak") throw CatalogError(src.file + ": unknown top-level entry '" + std::string(k.str()) + "'");
        auto list = root["tweak"].as_array();
        if (!list) continue;
        int index = 0;
        for (auto& node : *list) {
            ++index;
            std::string number = "#";
            number += std::to_string(index);  // (not "#" + ...: MinGW's GCC 12 warns of a false overlap)
            ParseContext ctx(src.file, std::move(number), ops, vars);
            if (!node.as_table()) ctx.fail("must be a table");
            for (Json& entry : expand_each(toml_to_json(node), ctx)) {
                if (auto id = entry.find("id"); id != entry.end() && id->is_string()) ctx.rename(id->get<std::string>());
                auto tw = parse_tweak(entry, ctx, cat, ops);
                cat.map.emplace(tw->id, tw.get());
                cat.tweaks.push_back(std::move(tw));
            }
        }
    }
    return cat;
}

}  // namespace vexlo
