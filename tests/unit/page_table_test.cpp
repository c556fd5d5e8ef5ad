// The page table's reader: a broken page stops start-up with a message naming the file and the entry.
#include <gtest/gtest.h>

#include "app/tweaks/catalog_loader.h"
#include "app/tweaks/page_table.h"

using namespace vexlo;

namespace {

const std::string kHome = "[[page]]\nname = \"Home\"\nlabel = \"Home\"\nglyph = \"E80F\"\nsection = \"OPTIMIZE\"\n";
const std::string kSystem =
    "[[page]]\nname = \"System\"\nlabel = \"System\"\nglyph = \"EC4A\"\ncounted = true\ntweaks = true\n"
    "title = \"System\"\nsubtitle = \"CPU and power.\"\n";

std::string load_error(const std::string& text) {
    try {
        load_page_table("pages.toml", text);
    } catch (const CatalogError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(PageTable, ReadsPagesInRailOrder) {
    PageTable t = load_page_table("pages.toml", kHome + kSystem);
    ASSERT_EQ(t.pages.size(), 2u);
    EXPECT_EQ(t.pages[0].section, "OPTIMIZE");
    EXPECT_FALSE(t.pages[0].counted || t.pages[0].tweaks);
    EXPECT_EQ(t.pages[1].subtitle, "CPU and power.");
    EXPECT_TRUE(t.pages[1].counted);
    EXPECT_EQ(t.tweak_page("System"), &t.pages[1]);
    EXPECT_EQ(t.tweak_page("Home"), nullptr);  // a rail page, not one the catalog fills
    EXPECT_EQ(t.find("Home"), &t.pages[0]);
    EXPECT_EQ(t.tweak_pages(), std::vector<const PageInfo*>{&t.pages[1]});
}

TEST(PageTable, BrokenPagesAreNamed) {
    const std::pair<std::string, std::string> cases[] = {
        {kHome + kHome, "pages.toml: entry 'Home': duplicate name"},
        {kHome + "colour = \"red\"\n", "pages.toml: entry 'Home': unknown field 'colour'"},
        {"[[page]]\nname = \"Home\"\nglyph = \"E80F\"\n", "pages.toml: entry 'Home': missing label"},
        {"[[page]]\nlabel = \"Home\"\nglyph = \"E80F\"\n", "pages.toml: entry '#1': missing name"},
        {kHome + "[[page]]\nname = \"Nav Two\"\nlabel = \"X\"\nglyph = \"E80F\"\n",
         "pages.toml: entry 'Nav Two': name must be letters and digits"},
        {"[[page]]\nname = \"Home\"\nlabel = \"Home\"\nglyph = \"home\"\n", "entry 'Home': glyph must be a code point"},
        {"[[page]]\nname = \"Home\"\nlabel = \"\"\nglyph = \"E80F\"\n", "entry 'Home': empty label"},
        {kHome + "counted = 1\n", "entry 'Home': counted must be true or false"},
        {kHome + "tweaks = true\ntitle = \"Home\"\n", "entry 'Home': a tweak page needs subtitle"},
        {kHome + "subtitle = \"Start here.\"\n", "entry 'Home': a page with a subtitle or a counter chip needs a title"},
        {kHome + "chip = true\n", "entry 'Home': a page with a subtitle or a counter chip needs a title"},
        {"[[page]]\nname = \"Home\"\nlabel = \"Home\"\nglyph = \"E80F\"\nsection = 1\n", "entry 'Home': section must be text"},
        {"[page]\nname = \"Home\"\n", "pages.toml: no [[page]] entries"},
        {"pages = []\n", "pages.toml: unknown top-level entry 'pages'"},
        {"[[page]\n", "pages.toml: line 1"},
    };
    for (auto& [text, expect] : cases) {
        std::string err = load_error(text);
        EXPECT_NE(err.find(expect), std::string::npos) << "expected '" << expect << "' in '" << err << "'";
    }
}
