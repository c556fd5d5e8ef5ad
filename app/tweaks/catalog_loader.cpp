#include "app/tweaks/catalog_loader.h"

#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "app/core/embedded.h"
#include "app/core/nic_cache.h"
#include "app/core/reg.h"
#include "app/tweaks/page_table.h"

namespace vexlo {

namespace {

// Every file embedded under this folder is part of the catalog. They load in name order, and each
// name begins with its place ("10-system.toml" before "40-fortnite.toml"), so a new file is placed
// by how it is named, not by a list here.
constexpr std::string_view kCatalogFolder = "catalog/";

constexpr std::string_view kImpacts[] = {"High", "Med", "Low"};
// Startup entries are built from the PC's own startup list, never declared as data.
constexpr Kind kDeclaredKinds[] = {Kind::Reg, Kind::Svc, Kind::Task, Kind::Pwr, Kind::Nic,
                                   Kind::DevPwr, Kind::Ini, Kind::Custom};
constexpr std::string_view kDeviceClasses[] = {"USB", "HIDClass", "Bluetooth", "Net"};

const std::set<std::string, std::less<>> kTweakKeys = {"id",     "page",   "group",  "title",     "desc",
                                                       "impact", "adv",    "restart", "no_laptop", "manual",
                                                       "kind",   "reg",    "avail",  "why",       "ops",
                                                       "svc",    "task",   "pwr",    "nic",       "devpwr",
                                                       "ini"};
// The data field each kind needs; every other kind's field is refused.
const std::pair<Kind, std::string_view> kDataField[] = {{Kind::Reg, "reg"},   {Kind::Svc, "svc"},
                                                        {Kind::Task, "task"}, {Kind::Pwr, "pwr"},
                                                        {Kind::Nic, "nic"},   {Kind::DevPwr, "devpwr"},
                                                        {Kind::Ini, "ini"},   {Kind::Custom, "ops"}};
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

std::string substitute(std::string text, const std::map<std::string, std::string>& vars) {
    for (auto& [name, value] : vars) {
        std::string mark = "{" + name + "}";
        for (size_t p = 0; (p = text.find(mark, p)) != std::string::npos; p += value.size()) text.replace(p, mark.size(), value);
    }
    return text;
}

bool valid_guid(std::string_view g) {
    static constexpr int groups[] = {8, 4, 4, 4, 12};
    size_t pos = 0;
    for (int gi = 0; gi < 5; ++gi) {
        for (int i = 0; i < groups[gi]; ++i, ++pos)
            if (pos >= g.size() || !std::isxdigit(static_cast<unsigned char>(g[pos]))) return false;
        if (gi < 4 && (pos >= g.size() || g[pos++] != '-')) return false;
    }
    return pos == g.size();
}

const toml::table& sub_table(const toml::table& t, std::string_view key, const Checker& c, const std::string& entry,
                             std::initializer_list<std::string_view> allowed) {
    auto node = t.get(key);
    if (!node || !node->as_table()) c.fail(entry, std::string(key) + " must be a table");
    for (auto& [k, v] : *node->as_table())
        if (std::find(allowed.begin(), allowed.end(), k.str()) == allowed.end())
            c.fail(entry, "unknown " + std::string(key) + " field '" + std::string(k.str()) + "'");
    return *node->as_table();
}

int64_t int_field(const toml::table& t, std::string_view key, const Checker& c, const std::string& entry,
                  std::string_view what) {
    auto node = t.get(key);
    if (!node || !node->as_integer()) c.fail(entry, std::string(what) + " needs a whole number " + std::string(key));
    return node->as_integer()->get();
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

void parse_kind_data(const toml::table& t, Tweak& tw, const Checker& c, const std::string& entry, const Operations& ops,
                     const std::map<std::string, std::string>& vars) {
    switch (tw.kind) {
        case Kind::Reg: {
            auto regs = t.get("reg")->as_array();
            if (!regs || regs->empty()) c.fail(entry, "a reg tweak needs a non-empty reg list");
            for (auto& r : *regs) tw.reg.push_back(parse_reg_entry(r, c, entry));
            break;
        }
        case Kind::Svc: {
            auto& sv = sub_table(t, "svc", c, entry, {"n", "s"});
            tw.svc.n = text_field(sv, "n", c, entry, true);
            if (tw.svc.n.find('\\') != std::string::npos) c.fail(entry, "service name must not contain a backslash");
            tw.svc.s = int(int_field(sv, "s", c, entry, "svc"));
            if (tw.svc.s < 2 || tw.svc.s > 4) c.fail(entry, "service start type must be 2, 3 or 4");
            break;
        }
        case Kind::Task: {
            tw.task = text_field(t, "task", c, entry, true);
            if (tw.task.front() != '\\' || tw.task.back() == '\\') c.fail(entry, "task path must begin with a backslash and name a task");
            break;
        }
        case Kind::Pwr: {
            auto& pw = sub_table(t, "pwr", c, entry, {"sub", "set", "v", "def"});
            tw.pwr.sub = text_field(pw, "sub", c, entry, true);
            tw.pwr.set = text_field(pw, "set", c, entry, true);
            for (auto* g : {&tw.pwr.sub, &tw.pwr.set})
                if (!valid_guid(*g)) c.fail(entry, "'" + *g + "' is not a GUID");
            tw.pwr.v = int32_t(int_field(pw, "v", c, entry, "pwr"));
            tw.pwr.def = int32_t(int_field(pw, "def", c, entry, "pwr"));
            break;
        }
        case Kind::Nic: {
            auto& n = sub_table(t, "nic", c, entry, {"kw", "rx", "target"});
            tw.nic.kw = text_field(n, "kw", c, entry, false);
            tw.nic.rx = text_field(n, "rx", c, entry, false);
            tw.nic.target = text_field(n, "target", c, entry, true);
            if (tw.nic.kw.empty() && tw.nic.rx.empty()) c.fail(entry, "a nic tweak needs kw or rx");
            try {
                if (!tw.nic.rx.empty()) tw.nic.rx_re = make_pattern(tw.nic.rx);
                if (tw.nic.target != "MAX") tw.nic.target_re = make_pattern(tw.nic.target);
            } catch (const std::regex_error& e) {
                c.fail(entry, std::string("bad pattern: ") + e.what());
            }
            break;
        }
        case Kind::DevPwr: {
            auto list = t.get("devpwr")->as_array();
            if (!list || list->empty()) c.fail(entry, "devpwr needs a list of device classes");
            for (auto& e : *list) {
                auto s = e.as_string();
                if (!s || std::find(std::begin(kDeviceClasses), std::end(kDeviceClasses), s->get()) == std::end(kDeviceClasses))
                    c.fail(entry, "device classes are USB, HIDClass, Bluetooth or Net");
                tw.devpwr.push_back(s->get());
            }
            break;
        }
        case Kind::Ini: {
            auto list = t.get("ini")->as_array();
            if (!list || list->empty()) c.fail(entry, "an ini tweak needs a non-empty ini list");
            for (auto& e : *list) {
                auto it = e.as_table();
                if (!it) c.fail(entry, "each ini item must be a table { s, k, v, o }");
                for (auto& [key, v] : *it)
                    if (key.str() != "s" && key.str() != "k" && key.str() != "v" && key.str() != "o")
                        c.fail(entry, "unknown ini field '" + std::string(key.str()) + "'");
                IniE ie;
                ie.s = text_field(*it, "s", c, entry, true);
                ie.k = text_field(*it, "k", c, entry, true);
                auto v = it->get("v");
                if (!v || !v->as_string()) c.fail(entry, "ini value v must be text");
                ie.v = substitute(v->as_string()->get(), vars);
                if (auto o = it->get("o")) {
                    if (!o->as_string()) c.fail(entry, "ini fallback o must be text");
                    ie.o = substitute(o->as_string()->get(), vars);
                }
                tw.ini.push_back(std::move(ie));
            }
            break;
        }
        case Kind::Custom: {
            std::string name = text_field(t, "ops", c, entry, true);
            auto it = ops.customs.find(name);
            if (it == ops.customs.end()) c.fail(entry, "no operations are registered as '" + name + "'");
            tw.check = it->second.check;
            tw.apply = it->second.apply;
            tw.revert = it->second.revert;
            break;
        }
        default:
            break;
    }
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
            if (!builtin_pages().tweak_page(tw->page)) c.fail(entry, "unknown page '" + tw->page + "'");
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
            if (!k || std::find(std::begin(kDeclaredKinds), std::end(kDeclaredKinds), *k) == std::end(kDeclaredKinds))
                c.fail(entry, "unknown kind '" + kind + "'");
            tw->kind = *k;
            for (auto& [fk, field] : kDataField) {
                bool present = t->get(field) != nullptr;
                if (fk == tw->kind && !present) c.fail(entry, "a " + kind + " tweak needs " + std::string(field));
                if (fk != tw->kind && present) c.fail(entry, std::string(field) + " on a tweak of kind " + kind);
            }
            tw->title = substitute(tw->title, vars);
            parse_kind_data(*t, *tw, c, entry, ops, vars);

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
