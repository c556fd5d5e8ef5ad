#include "app/ui/main_window.h"

#include "app/tweaks/page_table.h"
#include "app/ui/layout_helpers.h"

namespace vexlo::ui {

namespace {

constexpr const char* kSupportHandle = "@vexlotweaks";

void build_sidebar(Element& side, const std::string& logo_url, const std::string& version) {
    Element& brand = row(side, {{"margin", "24px 24px 14px 20px"}}, "Brand");
    Element& logo = brand.add("image", "LogoImg");
    logo.set("src", logo_url);
    styled(logo, {{"width", "44px"}, {"height", "44px"}});
    Element& words = box(brand, {{"margin-left", "12px"}});
    text(words, "VEXLO", {}, "", "BrandWord");
    text(words, "T W E A K S   P R O", {}, "", "BrandSub");

    Element& nav = box(side, {{"flex", "1"}, {"overflow-y", "auto"}});
    for (const PageInfo& p : builtin_pages().pages) {
        if (!p.section.empty()) text(nav, p.section, {}, "", "NavSection");
        Element& item = nav.add("nav", "Nav_" + p.name, "Nav");
        item.tag = p.name;
        Element& content = row(item, {{"width", "178px"}});
        glyph(content, p.glyph, {}, "", "NavIcon");
        text(content, p.label, {{"flex", "1"}}, "", "NavText");
        if (p.counted) text(content, "", {}, "NavCount_" + p.name, "NavCount");
        if (p.name == "Home") item.set_checked(true);
    }

    Element& bottom = box(side, {{"margin", "0 20px 20px 20px"}});
    Element& card = box(bottom, {}, "ReadinessCard");
    Element& head = row(card);
    text(head, "READINESS", {{"flex", "1"}}, "", "ReadinessLabel");
    text(head, "0%", {}, "SideScore");
    Element& track = box(card, {}, "", "SideTrack");
    box(track, {{"width", "0px"}}, "SideBar", "AccentFill");
    text(card, "", {}, "SideFortnite");
    text(bottom, "v" + version + "  \u00B7  " + kSupportHandle, {}, "VersionText");
}

void build_top_bar(Element& main) {
    Element& top = row(main, {{"height", "68px"}, {"padding", "14px 12px 0 32px"}, {"box-sizing", "border-box"}},
                       "TopBar");
    Element& search = row(top, {}, "SearchField");
    glyph(search, "E721", {}, "", "SearchGlyph");
    text(search, "Search tweaks: ping, mouse, wifi, fps, edit...", {}, "SearchHint");
    Element& box_ = search.add("textbox", "SearchBox");
    box_.set("value", "");
    box(top, {{"flex", "1"}});
    Element& pill = row(top, {}, "RestartPill");
    glyph(pill, "E7E8", {{"font-size", "11px"}});
    text(pill, "Restart to finish", {{"margin-left", "6px"}});
    pill.set_visible(false);
    Element& min = top.add("button", "BtnMin", "Chrome");
    glyph(min, "E921");
    Element& close = top.add("button", "BtnClose", "Chrome ChromeClose");
    glyph(close, "E8BB");
    styled(close, {{"margin-left", "4px"}});
}

void section(Element& parent, std::string_view label) { text(parent, label, {}, "", "Section"); }

void build_home(Element& host) {
    Element& page = host.add("scroll", "Page_Home");
    Element& content = box(page, {{"margin", "0 16px 30px 0"}});

    box(content, {{"margin-top", "8px"}}, "Banners");

    Element& hero = row(content, {}, "Hero");
    Element& ring = box(hero, {{"width", "164px"}, {"height", "164px"}, {"position", "relative"}, {"flex", "none"}});
    Element& canvas = ring.add("canvas", "RingCanvas");
    styled(canvas, {{"width", "164px"}, {"height", "164px"}, {"position", "absolute"}});
    Element& track = canvas.add("path");
    track.set("d", "M 82 5 A 77 77 0 1 1 81.99 5");
    track.set("stroke", "rgba(10,10,10,0.13)");
    track.set("stroke-width", 14);
    track.set("fill", "none");
    Element& arc = canvas.add("path", "RingArc");
    arc.set("stroke", "#0A0A0A");
    arc.set("stroke-width", 14);
    arc.set("fill", "none");
    arc.set("linecap", "round");
    Element& centre = box(ring, {{"position", "absolute"}, {"inset", "0"}, {"align-items", "center"},
                                 {"justify-content", "center"}});
    text(centre, "0", {}, "TxtScore");
    text(centre, "READINESS", {}, "", "HeroRingLabel");

    Element& right = box(hero, {{"margin-left", "30px"}, {"flex", "1"}});
    text(right, "FORTNITE MODE", {}, "TxtHeroKicker");
    text(right, "Get your PC match-ready.", {}, "TxtHeroTitle");
    text(right, "", {}, "TxtHeroSub");
    Element& buttons = row(right, {{"flex-wrap", "wrap"}, {"margin-top", "18px"}, {"gap", "10px"}});
    struct HeroButton {
        const char* name;
        const char* cls;
        const char* glyph;
        const char* label;
        const char* label_name;
    };
    const HeroButton hb[] = {
        {"BtnProfileComp", "Btn BtnBlack", "E945", "Competitive", ""},
        {"BtnProfileMax", "Btn BtnBlack", "EC4A", "Max FPS", ""},
        {"BtnProfileLaptop", "Btn BtnBlack", "E7F8", "Laptop", ""},
        {"BtnBoosterHero", "Btn BtnOutlineDark", "E945", "Game Booster: OFF", "TxtBoosterHero"},
        {"BtnShareHero", "Btn BtnOutlineDark", "E72D", "Share rig card", ""},
        {"BtnRestoreHero", "Btn BtnOutlineDark", nullptr, "Restore point", ""},
    };
    for (auto& b : hb) {
        Element& btn = buttons.add("button", b.name, b.cls);
        Element& inner = row(btn);
        if (b.glyph) glyph(inner, b.glyph, {{"margin-right", "8px"}});
        text(inner, b.label, {}, b.label_name);
    }

    section(content, "LIVE");
    Element& tiles = row(content, {{"gap", "10px"}, {"align-items", "stretch"}});
    struct Tile {
        const char* label;
        const char* value;
        const char* sub_name;
        const char* sub;
    };
    const Tile live[] = {
        {"PING  \u00B7  1.1.1.1", "TilePing", "TilePingSub", "measuring"},
        {"JITTER", "TileJitter", "TileJitterSub", "ping variation"},
        {"CPU LOAD", "TileCpu", "TileCpuSub", ""},
        {"MEMORY", "TileRam", "TileRamSub", ""},
    };
    for (auto& t : live) {
        Element& card = box(tiles, {{"flex", "1"}, {"min-width", "0"}}, "", "Card");
        text(card, t.label, {}, "", "TileLabel");
        text(card, "--", {}, t.value, "TileValue");
        text(card, t.sub, {}, t.sub_name, "TileSub");
        if (std::string_view(t.value) == "TilePing") {
            Element& spark = card.add("canvas", "SparkCanvas");
            styled(spark, {{"height", "28px"}, {"margin-top", "10px"}, {"width", "100%"}, {"overflow", "hidden"}});
            Element& line = spark.add("path", "SparkLine");
            line.set("stroke", "AccentGrad");
            line.set("stroke-width", 2);
            line.set("fill", "none");
        }
    }

    section(content, "BENCHMARK");
    box(content, {}, "BenchHost");

    Element& wins_head = row(content, {{"margin", "24px 0 10px 0"}});
    text(wins_head, "BIGGEST WINS LEFT", {{"flex", "1"}}, "", "WinsHead");
    text(wins_head, "High-impact tweaks you have not turned on yet", {}, "", "WinsSub");
    box(content, {}, "List_Wins");

    section(content, "YOUR RIG");
    Element& grid = box(content, {{"display", "grid"}, {"grid-template-columns", "1fr 1fr 1fr"}, {"gap", "10px"}});
    const std::pair<const char*, std::pair<const char*, const char*>> rig[] = {
        {"E9D9", {"PROCESSOR", "StatCpu"}}, {"E7F4", {"GRAPHICS", "StatGpu"}}, {"E7B8", {"MEMORY", "StatRam"}},
        {"E770", {"WINDOWS", "StatOs"}},    {"E7F4", {"DISPLAY", "StatHz"}},  {"E945", {"POWER PLAN", "StatPower"}},
    };
    for (auto& [g, lv] : rig) {
        Element& card = row(box(grid, {}, "", "Card"), {});
        glyph(card, g, {{"width", "34px"}, {"flex", "none"}}, "", "SpecIcon");
        Element& col = box(card, {{"min-width", "0"}, {"flex", "1"}});
        text(col, lv.first, {}, "", "SpecLabel");
        text(col, "...", {}, lv.second, "SpecValue");
    }
}

void build_status_bar(Element& main) {
    Element& bar = row(main, {}, "StatusBar");
    box(bar, {}, "StatusDot");
    text(bar, "Ready", {{"flex", "1"}}, "StatusText");
    text(bar, "", {{"margin-right", "16px"}}, "TxtTotals");
    glyph(bar, "E73E", {{"font-size", "10px"}, {"color", "#FBBE24"}, {"margin-right", "6px"}});
    text(bar, "Administrator", {}, "", "StatusAdmin");
}

void build_overlays(Element& frame) {
    Element& toast = row(frame, {}, "ToastHost");
    toast.set_opacity(0);
    glyph(toast, "E73E", {}, "", "ToastGlyph");
    text(toast, "", {}, "ToastText");

    Element& layer = box(frame, {}, "DialogLayer");
    layer.set_visible(false);
    Element& card = box(layer, {}, "DialogCard");
    Element& head = row(card, {{"align-items", "flex-start"}});
    Element& tile = box(head, {}, "DlgIconTile");
    glyph(tile, "E946", {}, "DlgIcon");
    text(head, "", {}, "DlgTitle");
    Element& body_scroll = box(card, {}, "DlgBodyScroll");
    text(body_scroll, "", {}, "DlgBody");
    Element& progress = box(card, {}, "DlgProgress");
    progress.set_visible(false);
    Element& track = box(progress, {}, "DlgTrack");
    box(track, {{"width", "0px"}}, "DlgBar", "AccentFill");
    text(progress, "", {}, "DlgStep");
    row(card, {{"justify-content", "flex-end"}, {"margin-top", "22px"}}, "DlgButtons");
}

}  // namespace

Element& build_main_window(Tree& tree, const std::string& logo_url, const std::string& version) {
    Element& win = tree.root().add("window", "Main");
    win.set_visible(false);
    win.set("title", "Vexlo Tweaks");
    Element& frame = box(win, {}, "Frame");
    Element& columns = row(frame, {{"align-items", "stretch"}, {"height", "100%"}});
    Element& side = box(columns, {}, "Sidebar");
    build_sidebar(side, logo_url, version);
    Element& main = box(columns, {{"flex", "1"}, {"min-width", "0"}}, "MainArea");
    build_top_bar(main);
    Element& host = box(main, {}, "HostGrid");
    build_home(host);
    build_status_bar(main);
    build_overlays(frame);
    return win;
}

}  // namespace vexlo::ui
