#include <gtest/gtest.h>

#include "app/tweaks/catalog_loader.h"

using namespace vexlo;

namespace {

Operations test_ops() {
    Operations ops;
    ops.predicates["windows11"] = [] { return true; };
    ops.customs["plan"] = {[] { return false; }, [] {}, [] {}};
    return ops;
}

std::string load_error(const std::string& toml) {
    try {
        load_catalog({{"test.toml", toml}}, test_ops());
    } catch (const CatalogError& e) {
        return e.what();
    }
    return "";
}

const char* kGood = R"(
[[tweak]]
id = "one"
page = "System"
group = "G"
title = "One"
desc = "D"
reg = [ { p = 'HKLM:\SOFTWARE\X', n = "A", v = 1 } ]
)";

std::string with(const std::string& extra_tweak) { return std::string(kGood) + "\n[[tweak]]\n" + extra_tweak; }

}  // namespace

TEST(CatalogData, BuiltInCatalogLoadsAndIsOrdered) {
    Operations ops;
    ops.predicates["windows11"] = [] { return true; };
    Catalog cat = load_catalog(builtin_catalog_sources(), ops);
    ASSERT_FALSE(cat.tweaks.empty());
    EXPECT_EQ(cat.tweaks.front()->id, "pthrottle");
    EXPECT_EQ(cat.map.size(), cat.tweaks.size());
    const Tweak* hvci = cat.find("hvci");
    ASSERT_TRUE(hvci);
    EXPECT_TRUE(hvci->adv && hvci->restart && hvci->manual);
    const Tweak* mm = cat.find("mmgames");
    ASSERT_TRUE(mm);
    ASSERT_EQ(mm->reg.size(), 4u);
    EXPECT_EQ(mm->reg[1].t, platform::RegKind::String);
    EXPECT_EQ(mm->reg[1].o, "Medium");
    const Tweak* mpo = cat.find("mpo");
    EXPECT_TRUE(mpo->reg[0].deletes_on_fallback());
    EXPECT_EQ(mpo->kind, Kind::Reg);
    EXPECT_EQ(mpo->impact, "Med");
}

TEST(CatalogData, DefaultsOfAnEntry) {
    Catalog cat = load_catalog({{"test.toml", kGood}}, test_ops());
    const Tweak& t = *cat.tweaks.at(0);
    EXPECT_EQ(t.kind, Kind::Reg);
    EXPECT_EQ(t.impact, "Low");
    EXPECT_FALSE(t.adv || t.restart || t.manual || t.no_laptop);
    EXPECT_EQ(t.reg[0].t, platform::RegKind::DWord);
    EXPECT_TRUE(t.reg[0].deletes_on_fallback());
}

// Each broken entry stops loading with a message naming the file and the entry.
TEST(CatalogData, BrokenEntriesAreNamed) {
    struct Case {
        std::string text;
        std::string expect;
    };
    const std::string base = "page = \"System\"\ngroup = \"G\"\ntitle = \"T\"\ndesc = \"D\"\n";
    const std::string reg = "reg = [ { p = 'HKLM:\\SOFTWARE\\X', n = \"A\", v = 1 } ]\n";
    const Case cases[] = {
        {with("id = \"one\"\n" + base + reg), "test.toml: entry 'one': duplicate id"},
        {with("id = \"two\"\nkind = \"magic\"\n" + base + reg), "entry 'two': unknown kind 'magic'"},
        {with("id = \"two\"\n" + base + "reg = [ { p = 'HKCR:\\X', n = \"A\", v = 1 } ]\n"),
         "entry 'two': key 'HKCR:\\X' must begin with HKCU:\\ or HKLM:\\"},
        {with("id = \"two\"\n" + base + "reg = [ { p = 'HKEY_LOCAL_MACHINE\\X', n = \"A\", v = 1 } ]\n"),
         "must begin with HKCU:\\ or HKLM:\\"},
        {with("id = \"two\"\n" + base + "reg = [ { p = 'HKLM:\\X', n = \"A\", v = 1, t = \"Word\" } ]\n"),
         "entry 'two': value kind 'Word' is not one of"},
        {with("id = \"two\"\npage = \"System\"\ngroup = \"G\"\ndesc = \"D\"\n" + reg), "entry 'two': missing title"},
        {with("id = \"two\"\npage = \"System\"\ngroup = \"G\"\ntitle = \"\"\ndesc = \"D\"\n" + reg), "entry 'two': empty title"},
        {with("id = \"two\"\n" + base + "reg = [ { p = 'HKLM:\\X', n = \"A\", v = \"abc\" } ]\n"), "does not fit DWord"},
        {with("id = \"two\"\n" + base + "reg = []\n"), "needs a non-empty reg list"},
        {with("id = \"two\"\n" + base + reg + "avail = \"nope\"\n"), "no availability test is registered as 'nope'"},
        {with("id = \"two\"\n" + base + reg + "impact = \"Huge\"\n"), "impact must be High, Med or Low"},
        {with("id = \"two\"\n" + base + reg + "restrat = true\n"), "unknown field 'restrat'"},
        {with("id = \"Two-Words\"\n" + base + reg), "id must be lower-case"},
        {with("id = \"two\"\npage = \"Elsewhere\"\ngroup = \"G\"\ntitle = \"T\"\ndesc = \"D\"\n" + reg), "unknown page"},
        {with("id = \"two\"\n" + base + "kind = \"custom\"\nops = \"unknown\"\n"), "no operations are registered as 'unknown'"},
        {"[[tweak]\nid = 1", "test.toml: line 1"},
    };
    for (auto& c : cases) {
        std::string err = load_error(c.text);
        EXPECT_NE(err.find(c.expect), std::string::npos) << "expected '" << c.expect << "' in '" << err << "'";
    }
}

TEST(CatalogData, ProviderFormAndCustomOpsAreAccepted) {
    Catalog cat = load_catalog(
        {{"test.toml", with("id = \"two\"\npage = \"System\"\ngroup = \"G\"\ntitle = \"T\"\ndesc = \"D\"\n"
                            "reg = [ { p = 'Registry::HKEY_CURRENT_USER\\Software\\X', n = \"A\", v = 1 } ]\n"
                            "[[tweak]]\nid = \"three\"\npage = \"System\"\ngroup = \"G\"\ntitle = \"T\"\n"
                            "desc = \"D\"\nkind = \"custom\"\nops = \"plan\"\n")}},
        test_ops());
    EXPECT_EQ(cat.tweaks.size(), 3u);
    EXPECT_TRUE(cat.find("three")->check != nullptr);
}
