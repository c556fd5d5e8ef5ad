#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "app/tweaks/catalog_loader.h"
#include "app/tweaks/page_table.h"
#include "app/tweaks/custom_ops.h"
#include "headless_app.h"
#include "app/tweaks/kinds/custom_kind.h"
#include "app/tweaks/kinds/ini_kind.h"
#include "app/tweaks/kinds/pwr_kind.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "app/tweaks/kinds/svc_kind.h"
#include "app/tweaks/kinds/task_kind.h"

using namespace vexlo;

namespace {

Operations test_ops() {
    Operations ops;
    ops.predicates["windows11"] = [] { return true; };
    ops.customs["plan"] = {[] { return false; }, [] {}, [] {}, {}};
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

// Stand-ins for every operation the built-in files name; whether the real ones are all
// registered is shown by every test that starts the application.
Operations stand_in_ops() {
    Operations ops;
    for (auto name : {"windows11", "ram16", "has_fortnite", "ini_exists", "defender_for_fortnite", "more_than_4gb",
                      "defender_active"})
        ops.predicates[name] = [] { return true; };
    for (auto name : {"power_plan", "hibernation", "dynamic_tick", "memory_compression", "dx_windowed_optimizations",
                      "dx_vrr", "fortnite_gpu", "fortnite_fso", "fortnite_defender", "ini_lock", "mouse", "qos", "nagle",
                      "dns", "svchost", "pagecombine", "prelaunch", "def_cpu", "def_lowprio", "classicmenu", "rsc_global",
                      "pcf_global", "netbios"})
        ops.customs[name] = {[] { return false; }, [] {}, [] {}, {}};
    return ops;
}

TEST(CatalogData, BuiltInCatalogLoadsInPageOrder) {
    Catalog cat = load_catalog(builtin_catalog_sources(), stand_in_ops(), {{"hz", "165"}});
    EXPECT_EQ(cat.map.size(), cat.tweaks.size());
    std::set<std::string> ids;
    for (auto& t : cat.tweaks) EXPECT_TRUE(ids.insert(t->id).second) << "id twice: " << t->id;
    for (auto& t : cat.tweaks) EXPECT_TRUE(builtin_pages().tweak_page(t->page)) << t->id << " on " << t->page;
    EXPECT_EQ(cat.tweaks.front()->id, "power");  // the plan switch comes before the settings written into it

    const Tweak* hvci = cat.find("hvci");
    ASSERT_TRUE(hvci);
    EXPECT_TRUE(hvci->adv && hvci->restart && hvci->manual);
    const Tweak* mm = cat.find("mmgames");
    const auto& mm_reg = mm->data_as<RegData>().entries;
    ASSERT_EQ(mm_reg.size(), 4u);
    EXPECT_EQ(mm_reg[1].t, platform::RegKind::String);
    EXPECT_EQ(mm_reg[1].o, "Medium");
    EXPECT_TRUE(cat.find("mpo")->data_as<RegData>().entries[0].deletes_on_fallback());

    const Tweak* park = cat.find("cpu_park");
    EXPECT_EQ(park->kind, Kind::Pwr);
    EXPECT_EQ(park->data_as<PwrData>().set, "0cc5b647-c1df-4637-891a-dec35c318583");
    EXPECT_EQ(park->data_as<PwrData>().v, 100);
    EXPECT_EQ(park->data_as<PwrData>().def, 10);
    EXPECT_TRUE(park->no_laptop);

    const Tweak* cap = cat.find("ini_cap");
    EXPECT_EQ(cap->title, "Cap FPS at your refresh rate (165 Hz)");
    ASSERT_EQ(cap->data_as<IniData>().entries.size(), 1u);
    EXPECT_EQ(cap->data_as<IniData>().entries[0].v, "165.000000");
    EXPECT_EQ(cat.find("ini_uncap")->data_as<IniData>().entries[0].o, std::optional<std::string>("165.000000"));
    EXPECT_EQ(cat.find("ini_fs")->data_as<IniData>().entries.size(), 3u);

    const Tweak* sysmain = cat.find("svc_sysmain");
    EXPECT_EQ(sysmain->kind, Kind::Svc);
    EXPECT_EQ(sysmain->data_as<SvcData>().n, "SysMain");
    EXPECT_EQ(sysmain->data_as<SvcData>().s, 4);
    const Tweak* maps = cat.find("task_maps1");
    EXPECT_EQ(maps->data_as<TaskData>().path, "\\Microsoft\\Windows\\Maps\\MapsUpdateTask");
}

// Every rail entry shows its own page, and only that one, with its entry selected; every tweak
// page has its header's bulk buttons.
TEST(CatalogData, EveryPageIsReachableFromTheRail) {
    testkit::Headless h;
    ui::Ui& u = h.app->window();
    for (const PageInfo& page : builtin_pages().pages) {
        const std::string other = page.name == "Home" ? "System" : "Home";
        u.tree().dispatch(u("Nav_" + other).id(), "click", true);
        ui::Element* nav = u.find("Nav_" + page.name);
        ASSERT_TRUE(nav) << "no rail entry for " << page.name;
        u.tree().dispatch(nav->id(), "click", true);
        for (ui::Element* p : u("HostGrid").children())
            EXPECT_EQ(p->visible(), p->name() == "Page_" + page.name) << page.name << ": " << p->name();
        for (const PageInfo& q : builtin_pages().pages)
            EXPECT_EQ(u("Nav_" + q.name).checked(), q.name == page.name) << page.name << ": " << q.name;
        if (page.tweaks) EXPECT_TRUE(u.find("BtnRecommended_" + page.name)) << page.name;
    }
}

// The product registers exactly the operations and tests the catalog names: start-up refuses a
// name nobody registered, and a registration no entry reaches is dead code. Stand-ins under the
// registered names record which ones the loaded entries call.
TEST(CatalogData, EveryRegisteredOperationIsNamedByAnEntry) {
    testkit::Headless h;  // start-up loads the built-in catalog against the real registrations
    Reg reg = h.reg();
    BackupStore store(h.pc->files(), h.paths().backup_file);
    IniFile ini = h.ini();
    SystemFacts facts = h.facts();
    Operations ops;
    register_operations(ops, OpsContext{*h.pc, reg, store, ini, facts});
    std::set<std::string> registered, reached;
    Operations recorders;
    for (auto& [name, f] : ops.predicates) {
        registered.insert("avail " + name);
        recorders.predicates[name] = [&reached, n = "avail " + name] {
            reached.insert(n);
            return true;
        };
    }
    for (auto& [name, f] : ops.customs) {
        registered.insert("ops " + name);
        auto check = [&reached, n = "ops " + name] {
            reached.insert(n);
            return false;
        };
        recorders.customs[name] = {check, [] {}, [] {}, {}};
    }
    Catalog cat = load_catalog(builtin_catalog_sources(), recorders);
    for (auto& t : cat.tweaks) {
        if (t->avail) t->avail();
        if (t->kind == Kind::Custom && t->data_as<CustomData>().ops.check) t->data_as<CustomData>().ops.check();
    }
    EXPECT_EQ(reached, registered);
}

TEST(CatalogData, DefaultsOfAnEntry) {
    Catalog cat = load_catalog({{"test.toml", kGood}}, test_ops());
    const Tweak& t = *cat.tweaks.at(0);
    EXPECT_EQ(t.kind, Kind::Reg);
    EXPECT_EQ(t.impact, "Low");
    EXPECT_FALSE(t.adv || t.restart || t.manual || t.no_laptop);
    EXPECT_EQ(t.data_as<RegData>().entries[0].t, platform::RegKind::DWord);
    EXPECT_TRUE(t.data_as<RegData>().entries[0].deletes_on_fallback());
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
        {with("id = \"two\"\n" + base + reg + "avail = \"nope\"\n"),
         "test.toml: entry 'two': no availability test is registered as 'nope'"},
        {with("id = \"two\"\n" + base + reg + "impact = \"Huge\"\n"), "impact must be High, Med or Low"},
        {with("id = \"two\"\n" + base + reg + "restrat = true\n"), "unknown field 'restrat'"},
        {with("id = \"Two-Words\"\n" + base + reg), "id must be letters and digits"},
        {with("id = \"two words\"\n" + base + reg), "id must be letters and digits"},
        {with("id = \"two\"\npage = \"Elsewhere\"\ngroup = \"G\"\ntitle = \"T\"\ndesc = \"D\"\n" + reg), "unknown page"},
        {with("id = \"two\"\n" + base + "kind = \"custom\"\nops = \"unknown\"\n"),
         "test.toml: entry 'two': no operations are registered as 'unknown'"},
        {"[[tweak]\nid = 1", "test.toml: line 1"},
        {with("id = \"p\"\n" + base + "kind = \"pwr\"\npwr = { sub = \"54533251-82be-4824-96c1-47b60b740d0\", set = \"0cc5b647-c1df-4637-891a-dec35c318583\", v = 1, def = 2 }\n"),
         "entry 'p': '54533251-82be-4824-96c1-47b60b740d0' is not a GUID"},
        {with("id = \"p\"\n" + base + "kind = \"pwr\"\npwr = { sub = \"54533251-82be-4824-96c1-47b60b740d00\", set = \"0cc5b647-c1df-4637-891a-dec35c318583\", v = 1 }\n"),
         "entry 'p': pwr needs a whole number def"},
        {with("id = \"q\"\n" + base + "kind = \"ini\"\nini = [ { s = \"S\", v = \"1\" } ]\n"), "entry 'q': missing k"},
        {with("id = \"q\"\n" + base + "kind = \"ini\"\nini = [ { k = \"K\", v = \"1\" } ]\n"), "entry 'q': missing s"},
        {with("id = \"t\"\n" + base + "kind = \"task\"\ntask = 'Microsoft\\Windows\\X'\n"), "entry 't': task path must begin with a backslash"},
        {with("id = \"s\"\n" + base + "kind = \"svc\"\nsvc = { s = 4 }\n"), "entry 's': missing n"},
        {with("id = \"s\"\n" + base + "kind = \"svc\"\nsvc = { n = \"\", s = 4 }\n"), "entry 's': empty n"},
        {with("id = \"s\"\n" + base + "kind = \"svc\"\n" + reg), "reg on a tweak of kind svc"},
        {with("id = \"n\"\n" + base + "kind = \"nic\"\nnic = { target = \"MAX\" }\n"), "needs kw or rx"},
        {with("id = \"n\"\n" + base + "kind = \"nic\"\nnic = { rx = \"(\", target = \"MAX\" }\n"), "bad pattern"},
        {with("id = \"d\"\n" + base + "kind = \"devpwr\"\ndevpwr = [\"Printers\"]\n"), "device classes are"},
        {with("id = \"u\"\n" + base + "kind = \"startup\"\n"), "unknown kind 'startup'"},
        // Entries made from a table.
        {with("id = \"s_{0}\"\n" + base + "kind = \"svc\"\nsvc = { n = \"{1}\", s = 4 }\neach = [[\"a\", \"A\"], [\"b\"]]\n"),
         "every row of each has the same number of fields"},
        {with("id = \"s_{0}\"\n" + base + "kind = \"svc\"\nsvc = { n = \"{1}\", s = 4 }\neach = [\"a\"]\n"),
         "{1} names a field the rows of each do not have"},
        {with("id = \"s_{0}\"\n" + base + "kind = \"svc\"\nsvc = { n = \"x\", s = 4 }\neach = []\n"), "each must be a list of rows"},
        {with("id = \"s_{0}\"\n" + base + "kind = \"svc\"\nsvc = { n = \"x\", s = 4 }\neach = [\"a\", \"a\"]\n"),
         "entry 's_a': duplicate id"},
    };
    for (auto& c : cases) {
        std::string err = load_error(c.text);
        EXPECT_NE(err.find(c.expect), std::string::npos) << "expected '" << c.expect << "' in '" << err << "'";
    }
}

// One entry with a table of rows stands for one entry per row, in the table's order: texts get
// the row's fields, and a field that is one placeholder alone keeps the row's value as it is.
TEST(CatalogData, EntriesMadeFromATable) {
    Catalog cat = load_catalog(
        {{"test.toml", with("id = \"t_{0}\"\npage = \"Debloat\"\ngroup = \"G\"\ntitle = \"Report {0} of {hz}\"\n"
                            "desc = \"Same for all {12345678901234567890}.\"\nkind = \"svc\"\nsvc = { n = \"Svc{0}_{{x}}\", s = \"{1}\" }\n"
                            "each = [[\"one\", 4], [\"two\", 3]]\n")}},
        test_ops(), {{"hz", "165"}});
    ASSERT_EQ(cat.tweaks.size(), 3u);
    EXPECT_EQ(cat.tweaks[1]->id, "t_one");
    EXPECT_EQ(cat.tweaks[2]->id, "t_two");
    EXPECT_EQ(cat.tweaks[2]->title, "Report two of 165");
    EXPECT_EQ(cat.tweaks[2]->desc, "Same for all {12345678901234567890}.");  // too long to name a field
    EXPECT_EQ(cat.tweaks[1]->data_as<SvcData>().n, "Svcone_{{x}}");
    EXPECT_EQ(cat.tweaks[1]->data_as<SvcData>().s, 4);
    EXPECT_EQ(cat.tweaks[2]->data_as<SvcData>().s, 3);
}

TEST(CatalogData, ProviderFormAndCustomOpsAreAccepted) {
    Catalog cat = load_catalog(
        {{"test.toml", with("id = \"two\"\npage = \"System\"\ngroup = \"G\"\ntitle = \"T\"\ndesc = \"D\"\n"
                            "reg = [ { p = 'Registry::HKEY_CURRENT_USER\\Software\\X', n = \"A\", v = 1 } ]\n"
                            "[[tweak]]\nid = \"three\"\npage = \"System\"\ngroup = \"G\"\ntitle = \"T\"\n"
                            "desc = \"D\"\nkind = \"custom\"\nops = \"plan\"\n")}},
        test_ops());
    EXPECT_EQ(cat.tweaks.size(), 3u);
    EXPECT_TRUE(cat.find("three")->data_as<CustomData>().ops.check != nullptr);
}
