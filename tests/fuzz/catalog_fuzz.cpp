// The catalog loader on arbitrary text, as `vexlo catalog check FILE` gives it a file from
// anywhere: a fault in the file is a CatalogError naming the file, never a crash, a hang or
// another exception, and what is accepted keeps the catalog's promises.
//
// Input: the text of one catalog file. Checked: only CatalogError is thrown, its message starts
// with the file's name; an accepted catalog has unique ids of lower-case words, every entry on a
// page the catalog fills, with a title, description, group, impact and payload, a reason only
// beside an availability test, and no placeholder left in a title; loading is repeatable, and the
// same entries in a second file are refused as duplicates naming that file.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include "app/tweaks/catalog_loader.h"
#include "app/tweaks/page_table.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vexlo;

namespace {

const std::map<std::string, std::string> kVars = {{"hz", "144"}};

// The operations the built-in catalog names, each registered under its name. The loader only
// looks them up; nothing here runs them.
const Operations& catalog_operations() {
    static const Operations ops = [] {
        Operations out;
        for (const CatalogSource& src : builtin_catalog_sources()) {
            toml::parse_result parsed = toml::parse(src.text, src.file);
            CHECK(parsed);
            auto list = parsed.table()["tweak"].as_array();
            if (!list) continue;
            for (auto& node : *list) {
                auto* entry = node.as_table();
                if (!entry) continue;
                if (auto avail = (*entry)["avail"].value<std::string>()) out.predicates[*avail] = [] { return true; };
                if (auto name = (*entry)["ops"].value<std::string>()) out.customs[*name] = CustomOps{};
            }
        }
        CHECK(!out.predicates.empty() && !out.customs.empty());
        // The built-in catalog loads with these, so entries like it are accepted here too.
        CHECK(!load_catalog(builtin_catalog_sources(), out, kVars).tweaks.empty());
        return out;
    }();
    return ops;
}

// Ids are ASCII letters (either case, as in perm_broadFileSystemAccess), digits and underscores.
bool id_words(std::string_view id) {
    if (id.empty()) return false;
    for (char c : id)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

void check_accepted(const Catalog& cat) {
    CHECK(cat.map.size() == cat.tweaks.size());
    std::set<std::string> ids;
    for (const auto& tw : cat.tweaks) {
        CHECK(tw);
        CHECK(id_words(tw->id));
        CHECK(ids.insert(tw->id).second);
        CHECK(cat.find(tw->id) == tw.get());
        CHECK(builtin_pages().tweak_page(tw->page));
        CHECK(!tw->title.empty() && !tw->desc.empty() && !tw->group.empty());
        CHECK(tw->title.find("{hz}") == std::string::npos);
        CHECK(tw->impact == "High" || tw->impact == "Med" || tw->impact == "Low");
        CHECK(tw->data);
        CHECK(tw->why.empty() || tw->avail);
        CHECK(parse_kind(kind_name(tw->kind)) && *parse_kind(kind_name(tw->kind)) == tw->kind);
    }
}

bool starts_with_file(const CatalogError& e, std::string_view file) {
    return std::string_view(e.what()).starts_with(std::string(file) + ": ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Operations& ops = catalog_operations();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const CatalogSource src{"60-fuzz.toml", text};

    Catalog cat;
    try {
        cat = load_catalog({src}, ops, kVars);
    } catch (const CatalogError& e) {
        CHECK(starts_with_file(e, src.file));
        return 0;
    }
    check_accepted(cat);

    // The same text gives the same catalog.
    Catalog again = load_catalog({src}, ops, kVars);
    CHECK(again.tweaks.size() == cat.tweaks.size());
    for (size_t i = 0; i < cat.tweaks.size(); ++i) CHECK(again.tweaks[i]->id == cat.tweaks[i]->id);

    // A second file with the same entries repeats their ids: refused, naming the second file.
    if (!cat.tweaks.empty()) {
        const CatalogSource copy{"61-copy.toml", text};
        bool refused = false;
        try {
            load_catalog({src, copy}, ops, kVars);
        } catch (const CatalogError& e) {
            refused = true;
            CHECK(starts_with_file(e, copy.file));
            CHECK(std::string_view(e.what()).find("duplicate id") != std::string_view::npos);
        }
        CHECK(refused);
    }
    return 0;
}
