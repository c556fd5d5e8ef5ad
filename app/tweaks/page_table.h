#pragma once
// The window's pages as data (pages.toml): the navigation rail, and which pages the catalog
// fills. The loader, the window and the start-up all read this one table.
#include <string>
#include <string_view>
#include <vector>

namespace vexlo {

struct PageInfo {
    std::string name;      // Nav_<name>, Page_<name>; the page a catalog entry names
    std::string label;     // rail text
    std::string title;     // header title; empty for Home, which has no header
    std::string subtitle;  // header subtitle
    std::string glyph;     // rail icon, a code point in hex
    std::string section;   // heading above this rail entry; empty when it opens no section
    bool counted = false;  // the rail entry shows a count
    bool tweaks = false;   // the page is built from catalog entries
    bool chip = false;     // the header shows a counter chip
};

struct PageTable {
    std::vector<PageInfo> pages;  // rail order

    const PageInfo* find(std::string_view name) const;
    // Null unless `name` is a page the catalog fills.
    const PageInfo* tweak_page(std::string_view name) const;
    std::vector<const PageInfo*> tweak_pages() const;  // rail order
};

// Parses and checks a page table. Throws CatalogError naming the file and the entry.
PageTable load_page_table(const std::string& file, std::string_view text);

// The table compiled into the program, read on first use.
const PageTable& builtin_pages();

}  // namespace vexlo
