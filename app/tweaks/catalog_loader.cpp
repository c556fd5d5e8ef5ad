#include "app/tweaks/catalog_loader.h"

#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <set>

#include "app/core/embedded.h"
#include "app/core/reg.h"

namespace vexlo {

namespace {

// Catalog order: pages first, then the advanced extras.
constexpr std::string_view kCatalogFiles[] = {"system.toml"};

constexpr std::string_view kPages[] = {"System", "Latency", "Network", "Fortnite", "Debloat"};
constexpr std::string_view kImpacts[] = {"High", "Med", "Low"};
// Kinds the engine carries out today; data naming any other kind is refused at start.
constexpr Kind kSupportedKinds[] = {Kind::Reg, Kind::Custom};

const std::set<std::string, std::less<>> kTweakKeys = {"id", "page", "group", "title", "desc", "impact", "adv",
                                                       "restart", "no_laptop", "manual", "kind", "reg", "avail",
                                                       "why", "ops"};
const std::set<std::string, std::less<>> kRegKeys = {"p", "n", "v", "t", "o"};

class Checker {
public:
    Checker(const std::string& file) : file_(file) {}
    [[noreturn]] void fail(const std::string& entry, const std::string& what) const {
        throw CatalogError(file_ + ": entry '" + entry + "': " + what);
    }

private:
    const std::string& file_;
};

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
    return nullptr;
}

std::string text_field(const toml::table& t, std::string_view key, const Checker& c, const std::string& entry,
                       bool required) {
    auto node = t.get(key);
    if (!node) {
        if (required) c.fail(entry, "missing " + std::string(key));
        return {};
    }
    auto s = node->as_string();
    if (!s) c.fail(entry, std::string(key) + " must be text");
    if (required && s->get().empty()) c.fail(entry, "empty " + std::string(key));
    return s->get();
}

bool flag_field(const toml::table& t, std::string_view key, const Checker& c, const std::string& entry) {
    auto node = t.get(key);
    if (!node) return false;
    auto b = node->as_boolean();
    if (!b) c.fail(entry, std::string(key) + " must be true or false");
    return b->get();
}

bool valid_id(std::string_view id) {
    if (id.empty()) return false;
    for (char ch : id)
        if (!((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_')) return false;
    return true;
}

RegE parse_reg_entry(const toml::node& node, const Checker& c, const std::string& entry) {
    auto t = node.as_table();
    if (!t) c.fail(entry, "each reg item must be a table { p, n, v, t, o }");
    for (auto& [k, v] : *t)
        if (!kRegKeys.contains(k.str())) c.fail(entry, "unknown reg field '" + std::string(k.str()) + "'");
    RegE e;
    e.p = text_field(*t, "p", c, entry, true);
    if (!parse_reg_path(e.p)) c.fail(entry, "key '" + e.p + "' must begin with HKCU:\\ or HKLM:\\");
    auto n = t->get("n");
    if (!n || !n->as_string()) c.fail(entry, "value name n must be text");
    e.n = n->as_string()->get();
    if (auto tk = t->get("t")) {
        if (!tk->as_string()) c.fail(entry, "kind t must be text");
        auto kind = parse_reg_kind(tk->as_string()->get());
        if (!kind) c.fail(entry, "value kind '" + tk->as_string()->get() + "' is not one of DWord, QWord, String, ExpandString, MultiString, Binary");
        e.t = *kind;
    }
    auto v = t->get("v");
    if (!v) c.fail(entry, "missing value v for " + e.n);
    e.v = toml_to_json(*v);
    try {
        (void)to_reg_value(e.v, e.t);
    } catch (const std::exception& ex) {
        c.fail(entry, "value v of " + e.n + " does not fit " + reg_kind_name(e.t) + ": " + ex.what());
    }
    if (auto o = t->get("o")) {
        e.o = toml_to_json(*o);
        if (!e.deletes_on_fallback()) {
            try {
                (void)to_reg_value(e.o, e.t);
            } catch (const std::exception& ex) {
                c.fail(entry, "fallback o of " + e.n + " does not fit " + reg_kind_name(e.t) + ": " + ex.what());
            }
        }
    }
    return e;
}

}  // namespace

std::string_view kind_name(Kind k) {
    switch (k) {
        case Kind::Reg: return "reg";
        case Kind::Svc: return "svc";
        case Kind::Task: return "task";
        case Kind::Pwr: return "pwr";
        case Kind::Nic: return "nic";
        case Kind::DevPwr: return "devpwr";
        case Kind::Ini: return "ini";
        case Kind::Startup: return "startup";
        case Kind::Custom: return "custom";
    }
    return "?";
}

const Kind* parse_kind(std::string_view name) {
    static const Kind all[] = {Kind::Reg, Kind::Svc, Kind::Task, Kind::Pwr, Kind::Nic,
                               Kind::DevPwr, Kind::Ini, Kind::Startup, Kind::Custom};
    for (const Kind& k : all)
        if (kind_name(k) == name) return &k;
    return nullptr;
}

std::vector<CatalogSource> builtin_catalog_sources() {
    std::vector<CatalogSource> out;
    for (auto name : kCatalogFiles) {
        auto data = embedded_file(name);
        if (!data) throw CatalogError(std::string(name) + ": the catalog file is missing from this build");
        out.push_back({std::string(name), *data});
    }
    return out;
}

Catalog load_catalog(const std::vector<CatalogSource>& sources, const Operations& ops) {
    Catalog cat;
    for (const auto& src : sources) {
        Checker c(src.file);
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
            auto t = node.as_table();
            std::string entry = "#" + std::to_string(index);
            if (!t) c.fail(entry, "must be a table");
            if (auto idn = t->get("id"); idn && idn->as_string()) entry = idn->as_string()->get();
            for (auto& [key, val] : *t)
                if (!kTweakKeys.contains(key.str())) c.fail(entry, "unknown field '" + std::string(key.str()) + "'");

            auto tw = std::make_unique<Tweak>();
            tw->id = text_field(*t, "id", c, entry, true);
            if (!valid_id(tw->id)) c.fail(entry, "id must be lower-case words joined by underscores");
            if (cat.map.contains(tw->id)) c.fail(entry, "duplicate id");
            tw->page = text_field(*t, "page", c, entry, true);
            if (std::find(std::begin(kPages), std::end(kPages), tw->page) == std::end(kPages))
                c.fail(entry, "unknown page '" + tw->page + "'");
            tw->group = text_field(*t, "group", c, entry, true);
            tw->title = text_field(*t, "title", c, entry, true);
            tw->desc = text_field(*t, "desc", c, entry, true);
            if (t->get("impact")) {
                tw->impact = text_field(*t, "impact", c, entry, true);
                if (std::find(std::begin(kImpacts), std::end(kImpacts), tw->impact) == std::end(kImpacts))
                    c.fail(entry, "impact must be High, Med or Low");
            }
            tw->adv = flag_field(*t, "adv", c, entry);
            tw->restart = flag_field(*t, "restart", c, entry);
            tw->no_laptop = flag_field(*t, "no_laptop", c, entry);
            tw->manual = flag_field(*t, "manual", c, entry);

            std::string kind = t->get("kind") ? text_field(*t, "kind", c, entry, true) : "reg";
            const Kind* k = parse_kind(kind);
            if (!k || std::find(std::begin(kSupportedKinds), std::end(kSupportedKinds), *k) == std::end(kSupportedKinds))
                c.fail(entry, "unknown kind '" + kind + "'");
            tw->kind = *k;

            if (tw->kind == Kind::Reg) {
                auto regs = t->get("reg");
                if (!regs || !regs->as_array() || regs->as_array()->empty())
                    c.fail(entry, "a reg tweak needs a non-empty reg list");
                for (auto& r : *regs->as_array()) tw->reg.push_back(parse_reg_entry(r, c, entry));
            } else if (t->get("reg")) {
                c.fail(entry, "reg list on a tweak of kind " + kind);
            }

            if (tw->kind == Kind::Custom) {
                std::string name = text_field(*t, "ops", c, entry, true);
                auto it = ops.customs.find(name);
                if (it == ops.customs.end()) c.fail(entry, "no operations are registered as '" + name + "'");
                tw->check = it->second.check;
                tw->apply = it->second.apply;
                tw->revert = it->second.revert;
            } else if (t->get("ops")) {
                c.fail(entry, "ops on a tweak of kind " + kind);
            }

            if (t->get("avail")) {
                std::string name = text_field(*t, "avail", c, entry, true);
                auto it = ops.predicates.find(name);
                if (it == ops.predicates.end()) c.fail(entry, "no availability test is registered as '" + name + "'");
                tw->avail = it->second;
            }
            tw->why = text_field(*t, "why", c, entry, false);
            if (!tw->why.empty() && !tw->avail) c.fail(entry, "why without avail");

            cat.map.emplace(tw->id, tw.get());
            cat.tweaks.push_back(std::move(tw));
        }
    }
    return cat;
}

}  // namespace vexlo
