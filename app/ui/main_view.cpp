#include "app/ui/main_view.h"

#include <algorithm>
#include <map>
#include <string>

#include "app/core/text.h"
#include "app/tweaks/page_table.h"
#include "app/tweaks/score.h"
#include "app/ui/cards.h"

namespace vexlo::ui {

namespace {

// The window's side of a bulk run: the progress panel and the activity log.
class WindowBulkFront final : public BulkFront {
public:
    WindowBulkFront(MainView& view, const ViewDeps& d) : view_(view), d_(d) {}
    void log(std::string_view message, LogKind kind) override { d_.ui.log(message, kind); }
    // Straight to the log file: the status bar keeps the run's progress.
    void failure(std::string_view line) override { d_.activity.append(line); }
    void progress_begin(std::string_view title) override {
        d_.ui.set_busy(true);
        d_.ui.show_progress(title);
    }
    void progress(size_t i, size_t n, std::string_view text) override { d_.ui.update_progress(int(i), int(n), text); }
    void restart_adapters() override {
        if (d_.restart_adapters) d_.restart_adapters();
    }
    void refresh_all() override { view_.refresh_all(); }

private:
    MainView& view_;
    const ViewDeps& d_;
};

// Code points, not bytes: "é" is one character of a query.
size_t characters(std::string_view s) {
    return size_t(std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// One code point of UTF-8 text and its length in bytes. A byte that starts no well-formed
// sequence stands for itself, as a value above every code point, so it matches only itself.
struct CodePoint {
    char32_t cp;
    size_t len;
};

CodePoint decode(std::string_view s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const auto cont = [&](size_t k) { return i + k < s.size() && (byte(k) & 0xC0) == 0x80; };
    const unsigned char b = byte(0);
    if (b < 0x80) return {b, 1};
    if (b >= 0xC2 && b <= 0xDF && cont(1)) return {char32_t((b & 0x1F) << 6 | (byte(1) & 0x3F)), 2};
    if (b >= 0xE0 && b <= 0xEF && cont(1) && cont(2)) {
        char32_t cp = char32_t((b & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F));
        if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) return {cp, 3};
    } else if (b >= 0xF0 && b <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        char32_t cp = char32_t((b & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F));
        if (cp >= 0x10000 && cp <= 0x10FFFF) return {cp, 4};
    }
    return {char32_t(0x110000 + b), 1};
}

// An upper-case letter at an even code point, its lower case right after it (or the reverse).
char32_t pair_even(char32_t c) { return c % 2 == 0 ? c + 1 : c; }
char32_t pair_odd(char32_t c) { return c % 2 == 1 ? c + 1 : c; }

// Simple case folding (one code point to one, as Unicode's CaseFolding.txt gives it with status
// C and S) for Basic Latin, Latin-1 Supplement, Latin Extended-A, Latin Extended Additional,
// Greek and Coptic, Cyrillic and Cyrillic Supplement, and the Ohm, Kelvin and Angstrom signs.
// Letters elsewhere compare as they are; nothing expands ("ß" does not match "ss").
char32_t fold(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if (c < 0x100) {
        if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;  // À..Þ but the multiplication sign
        return c == 0xB5 ? 0x3BC : c;                              // the micro sign is Greek mu
    }
    if (c < 0x180) {
        if (c == 0x130 || c == 0x138) return c;  // İ and ĸ have no simple folding
        if (c == 0x178) return 0xFF;
        if (c == 0x17F) return 's';
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return pair_odd(c);
        return pair_even(c);
    }
    if (c < 0x370) return c == 0x345 ? 0x3B9 : c;
    if (c < 0x400) {
        if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
        if (c >= 0x3D8 && c <= 0x3EF) return pair_even(c);
        switch (c) {
            case 0x370: case 0x372: case 0x376: case 0x3F7: case 0x3FA: return c + 1;
            case 0x37F: return 0x3F3;
            case 0x386: return 0x3AC;
            case 0x388: case 0x389: case 0x38A: return c + 37;
            case 0x38C: return 0x3CC;
            case 0x38E: case 0x38F: return c + 63;
            case 0x3C2: return 0x3C3;
            case 0x3CF: return 0x3D7;
            case 0x3D0: return 0x3B2;
            case 0x3D1: case 0x3F4: return 0x3B8;
            case 0x3D5: return 0x3C6;
            case 0x3D6: return 0x3C0;
            case 0x3F0: return 0x3BA;
            case 0x3F1: return 0x3C1;
            case 0x3F5: return 0x3B5;
            case 0x3F9: return 0x3F2;
            case 0x3FD: case 0x3FE: case 0x3FF: return c - 130;
            default: return c;
        }
    }
    if (c < 0x530) {
        if (c < 0x410) return c + 80;
        if (c < 0x430) return c + 32;
        if (c == 0x4C0) return 0x4CF;
        if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0) return pair_even(c);
        if (c >= 0x4C1 && c <= 0x4CE) return pair_odd(c);
        return c;
    }
    if (c >= 0x1E00 && c <= 0x1EFF) {
        if (c == 0x1E9B) return 0x1E61;
        if (c == 0x1E9E) return 0xDF;
        return c <= 0x1E95 || c >= 0x1EA0 ? pair_even(c) : c;
    }
    switch (c) {
        case 0x2126: return 0x3C9;
        case 0x212A: return 'k';
        case 0x212B: return 0xE5;
        default: return c;
    }
}

// Beyond ASCII: decoded and folded out of line, so that the ASCII path stays small.
[[gnu::noinline]] char32_t folded_beyond_ascii(std::string_view s, size_t& i) {
    const CodePoint c = decode(s, i);
    i += c.len;
    return fold(c.cp);
}

// The next code point of `s` from `i`, folded; `i` moves past it.
inline char32_t next_folded(std::string_view s, size_t& i) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b >= 0x80) return folded_beyond_ascii(s, i);
    ++i;
    return unsigned(b - 'A') < 26u ? b + 32u : b;
}

}  // namespace

bool search_matches(std::string_view haystack, std::string_view query) {
    if (query.empty()) return true;
    // The query folded once, on the stack unless it is very long (pasted text); the haystack is
    // decoded and folded as it is read.
    constexpr size_t kOnStack = 64;
    char32_t on_stack[kOnStack];
    std::u32string on_heap;
    char32_t* q = on_stack;
    if (query.size() > kOnStack) {
        on_heap.resize(query.size());
        q = on_heap.data();
    }
    size_t qn = 0;
    for (size_t j = 0; j < query.size();) q[qn++] = next_folded(query, j);

    const size_t n = haystack.size();
    auto rest_matches = [&](size_t k) {
        size_t j = 1;
        while (j < qn && k < n && next_folded(haystack, k) == q[j]) ++j;
        return j == qn;
    };
    const char32_t first = q[0];
    // An ASCII first character that nothing beyond ASCII folds to (the long s and the Kelvin
    // sign do): a plain scan of the bytes finds where a match can start.
    if (first < 0x80 && first != 's' && first != 'k') {
        const unsigned char lower = static_cast<unsigned char>(first);
        const unsigned char upper = first - 'a' < 26u ? static_cast<unsigned char>(first - 32) : lower;
        for (size_t start = 0; start < n; ++start) {
            const unsigned char b = static_cast<unsigned char>(haystack[start]);
            if ((b == lower || b == upper) && rest_matches(start + 1)) return true;
        }
        return false;
    }
    for (size_t start = 0; start < n;) {
        size_t next = start;
        if (next_folded(haystack, next) == first && rest_matches(next)) return true;
        start = next;
    }
    return false;
}

MainView::MainView(ViewDeps deps) : d_(std::move(deps)) {
    search_timer_ = d_.loop.add_timer(std::chrono::milliseconds(220), [this] { run_search(); });
}

MainView::~MainView() { d_.loop.remove_timer(search_timer_); }

void MainView::add_actions() {
    actions_.add({"a_nicrestart", "Network", "Restart", "Restart network adapters",
                  "Applies adapter changes right away. You will be offline for a few seconds.",
                  [this] { return d_.restart_adapters ? d_.restart_adapters() : std::string(); }});
    actions_.add({"a_restore", "Backup", "Create", "Create restore point",
                  "A full Windows snapshot you can roll back to from System Restore if anything ever goes wrong.",
                  [this] { return d_.new_restore_point ? d_.new_restore_point() : std::string(); }});
    actions_.add({"a_revertall", "Backup", "Revert all", "Revert every tweak",
                  "Turns every Vexlo Tweaks change off and puts back your original values. Startup apps are left as "
                  "they are.",
                  [this]() -> std::string {
                      if (d_.ui.ask("Turn off every Vexlo Tweaks change and restore your original settings?",
                                    "Vexlo Tweaks", "YesNo", "Question") != "Yes")
                          return "Cancelled";
                      invoke_bulk(real_tweaks(d_.tweaks.catalog()), BulkMode::Revert, /*quiet=*/true);
                      return "Reverted";
                  }});
    actions_.add({"a_recheck", "Backup", "Re-check", "Re-check everything",
                  "Big Windows updates sometimes reset settings. This re-reads the real state of every tweak.",
                  [this] {
                      refresh_all();
                      build_wins();
                      return std::string("Up to date");
                  }});
}

void MainView::build() {
    add_actions();
    PageHandlers h;
    h.on_toggle = [this](Element& sw) { on_toggle(sw); };
    h.on_action = [this](Element& b) { run_action(d_.ui, actions_, b); };
    h.apply_recommended = [this](const std::string& page) { invoke_page_bulk(page, BulkMode::Apply); };
    h.revert_page = [this](const std::string& page) { invoke_page_bulk(page, BulkMode::Revert); };
    h.apply_everything = [this](const std::string& page) { invoke_page_all(page); };
    h.apply_group = [this](const std::string& page, const std::string& group) {
        invoke_bulk(recommended_set(d_.tweaks.catalog(), page, group), BulkMode::Apply);
    };
    h.rescan_startup = [this] { rescan_startup(); };
    pages_ = std::make_unique<PageSet>(d_.ui, d_.tweaks.catalog(), d_.switches, actions_, std::move(h));
    pages_->create_all();
    for (const char* page : {"System", "Latency", "Network", "Fortnite", "Debloat", "Cleanup", "Backup"})
        pages_->build_tweak_page(page);
    pages_->build_fortnite_guide();
    pages_->build_startup_page();  // from the entries start-up scanned and checked
    wire_chrome();
}

void MainView::wire_chrome() {
    Ui& ui = d_.ui;
    for (const PageInfo& p : builtin_pages().pages) {
        Element* nav = ui.find("Nav_" + p.name);
        if (!nav) continue;
        nav->on("click", [this](Element& e, const Json&) {
            // The entry already selected does nothing, also while search results show.
            if (e.tag == last_page_) return;
            show_page(e.tag);
        });
    }
    if (Element* box = ui.find("SearchBox"))
        box->on("input", [this](Element&, const Json& v) { search_text_changed(v.is_string() ? v.get<std::string>() : ""); });
    if (Element* b = ui.find("BtnMin"))
        b->on("click", [this](Element&, const Json&) {
            if (d_.minimise_window) d_.minimise_window();
        });
    auto click = [&](const char* name, std::function<void()> f) {
        if (Element* b = ui.find(name)) b->on("click", [f = std::move(f)](Element&, const Json&) { f(); });
    };
    click("BtnProfileComp", [this] { invoke_profile(Profile::Competitive); });
    click("BtnProfileMax", [this] { invoke_profile(Profile::Max); });
    click("BtnProfileLaptop", [this] { invoke_profile(Profile::Laptop); });
    click("BtnRestoreHero", [this] {
        d_.ui.set_busy(true);
        if (d_.new_restore_point) d_.new_restore_point();
        d_.ui.set_busy(false);
    });
    click("BtnBoosterHero", [this] { show_page("Booster"); });
}

// ---- Counters, score, wins ------------------------------------------------------------

void MainView::update_counters() {
    Ui& ui = d_.ui;
    const Catalog& cat = d_.tweaks.catalog();
    for (const PageInfo* p : builtin_pages().tweak_pages()) {
        Count c = page_count(cat, p->name);
        if (Element* chip = ui.find("Counter_" + p->name))
            chip->set_text(std::to_string(c.on) + " / " + std::to_string(c.available) + " active");
        if (Element* nav = ui.find("NavCount_" + p->name))
            nav->set_text(std::to_string(c.on) + "/" + std::to_string(c.available));
    }
    // One pass for every group counter.
    std::map<std::string, Count, std::less<>> groups;
    for (auto& t : cat.tweaks) {
        if (!t->available) continue;
        Count& c = groups[t->page + "|" + t->group];
        ++c.available;
        if (t->state) ++c.on;
    }
    for (auto& [key, counter] : pages_->group_counters()) {
        auto it = groups.find(key);
        Count c = it == groups.end() ? Count{} : it->second;
        counter->set_text(std::to_string(c.on) + "/" + std::to_string(c.available));
    }
    StartupCount sc = startup_count(cat);
    if (Element* chip = ui.find("Counter_Startup"))
        chip->set_text(std::to_string(sc.blocked) + " of " + std::to_string(sc.total) + " blocked");
    if (Element* nav = ui.find("NavCount_Startup")) nav->set_text(std::to_string(sc.total - sc.blocked));

    int score = readiness_score(cat);
    if (Element* e = ui.find("TxtScore")) e->set_text(std::to_string(score));
    if (Element* arc = ui.find("RingArc")) {
        std::string d = ring_path(score);
        if (d.empty())
            arc->set("d", nullptr);
        else
            arc->set("d", d);
    }
    if (Element* e = ui.find("SideScore")) e->set_text(std::to_string(score) + "%");
    if (Element* e = ui.find("SideBar")) e->css("width", std::to_string(side_bar_width(score)) + "px");
    Totals tot = totals(cat);
    if (Element* e = ui.find("TxtHeroTitle")) e->set_text(hero_title(score));
    if (Element* e = ui.find("TxtHeroSub")) e->set_text(hero_sub(tot));
    if (Element* e = ui.find("TxtTotals")) e->set_text(totals_line(tot));
    if (d_.power_plan_name)
        if (auto name = d_.power_plan_name(); name && !name->empty())
            if (Element* e = ui.find("StatPower")) e->set_text(*name);
}

void MainView::build_wins() {
    Element* list = d_.ui.find("List_Wins");
    if (!list) return;
    clear_cards(*list, d_.switches);
    auto wins = biggest_wins(d_.tweaks.catalog());
    if (wins.empty()) {
        new_tip_card(*list, "Every high-impact tweak is on",
                     "Nice. Check the pro in-game settings on the Fortnite page, and play on Ethernet if you can.");
        return;
    }
    for (Tweak* t : wins) new_tweak_card(*list, *t, d_.switches, [this](Element& sw) { on_toggle(sw); });
}

void MainView::refresh_all() {
    d_.ui.log("Checking the current state of every tweak...", LogKind::Info);
    d_.ui.update_ui();
    d_.tweaks.refresh_all();
    update_counters();
    d_.ui.log("Ready.", LogKind::Info);
}

// ---- Navigation -------------------------------------------------------------------------

void MainView::show_page(const std::string& name) {
    Ui& ui = d_.ui;
    Element* target = name == "Home" ? ui.find("Page_Home") : (pages_->page(name) ? pages_->page(name)->scroll : nullptr);
    if (!target) return;
    for (Element* p : ui("HostGrid").children()) p->set_visible(p == target);
    if (name == "Home")
        build_wins();
    else
        target->scroll_to_top();
    target->fade(0, 1, 170);
    if (name == "Apps" && !apps_loaded_) {
        apps_loaded_ = true;
        if (d_.load_apps) d_.load_apps();
    }
    if (name == "Search") return;
    last_page_ = name;
    for (const PageInfo& p : builtin_pages().pages)
        if (Element* nav = ui.find("Nav_" + p.name)) nav->set_checked(p.name == name);
    if (Element* box = ui.find("SearchBox"); box && box->get("value").is_string() && !box->get("value").get<std::string>().empty()) {
        box->set("value", "");
        if (Element* hint = ui.find("SearchHint")) hint->set_visible(true);
        d_.loop.stop_timer(search_timer_);
    }
}

// ---- Search -----------------------------------------------------------------------------

void MainView::search_text_changed(const std::string& text) {
    if (Element* box = d_.ui.find("SearchBox")) box->set("value", text);
    if (Element* hint = d_.ui.find("SearchHint")) hint->set_visible(text.empty());
    d_.loop.stop_timer(search_timer_);
    d_.loop.start_timer(search_timer_);
}

void MainView::run_search() {
    d_.loop.stop_timer(search_timer_);
    Ui& ui = d_.ui;
    Element* box = ui.find("SearchBox");
    std::string query = trim(box && box->get("value").is_string() ? box->get("value").get<std::string>() : "");
    PageRecord* page = pages_->page("Search");
    if (!page) return;
    if (characters(query) < 2) {
        if (page->scroll->visible()) show_page(last_page_);
        return;
    }
    clear_cards(*page->list, d_.switches);
    std::vector<const Tweak*> tweak_hits;
    std::string haystack;
    for (auto& t : d_.tweaks.catalog().tweaks) {
        if (tweak_hits.size() >= kSearchTweakHits) break;
        haystack.clear();
        haystack.append(t->title).append(" ").append(t->desc).append(" ").append(t->group).append(" ").append(t->page);
        if (search_matches(haystack, query)) tweak_hits.push_back(t.get());
    }
    std::vector<Action*> action_hits;
    for (Action* a : actions_.all()) {
        if (action_hits.size() >= kSearchActionHits) break;
        if (search_matches(a->title + " " + a->desc, query)) action_hits.push_back(a);
    }
    page->sub->set_text(std::to_string(tweak_hits.size() + action_hits.size()) + " results for \"" + query + "\"");
    for (const Tweak* t : tweak_hits) new_tweak_card(*page->list, *t, d_.switches, [this](Element& sw) { on_toggle(sw); });
    for (Action* a : action_hits)
        new_action_card(*page->list, *a, [this](Element& b) { run_action(d_.ui, actions_, b); });
    if (tweak_hits.empty() && action_hits.empty())
        new_tip_card(*page->list, "No matches", "Try words like ping, mouse, wifi, fps, edit, controller or startup.");
    for (Element* p : ui("HostGrid").children()) p->set_visible(p == page->scroll);
}

// ---- Changes ----------------------------------------------------------------------------

void MainView::on_toggle(Element& toggle) {
    Tweak* t = d_.tweaks.find(toggle.tag);
    if (!t) return;
    bool want = toggle.checked();
    d_.ui.set_busy(true);
    d_.tweaks.toggle(*t, want, d_.front);
    d_.ui.set_busy(false);
    update_counters();
}

void MainView::invoke_bulk(const std::vector<Tweak*>& list, BulkMode mode, bool quiet) {
    WindowBulkFront front(*this, d_);
    BulkResult r;
    try {
        r = d_.tweaks.bulk(list, mode, front);
    } catch (const std::exception& e) {
        // Failures of single tweaks are counted inside the run; this is the run itself (the
        // re-read, the store). The panel must not stay up holding the window's input.
        d_.ui.hide_progress();
        d_.ui.set_busy(false);
        d_.ui.log(std::string("Failed: ") + e.what(), LogKind::Err);
        return;
    }
    if (r.nothing_to_do) {
        if (!quiet) {
            std::string body = "Everything here is already set.";
            if (mode == BulkMode::Revert && r.set_before > 0) body += "\n\n" + set_before_line(r.set_before);
            d_.ui.ask(body, "Done", "OK", "Information");
        }
        return;
    }
    build_wins();
    d_.ui.hide_progress();
    d_.ui.set_busy(false);
    std::string headline = bulk_headline(r, mode);
    d_.ui.log(headline, LogKind::Ok);
    if (quiet)
        d_.ui.show_toast(headline);
    else
        d_.ui.ask(bulk_summary(r, mode, d_.tweaks.restart_pending()), "Done", "OK", "Information");
}

void MainView::invoke_page_bulk(const std::string& page, BulkMode mode) {
    const Catalog& cat = d_.tweaks.catalog();
    if (mode == BulkMode::Apply) {
        invoke_bulk(recommended_set(cat, page), BulkMode::Apply);
        return;
    }
    if (d_.ui.ask("Restore original settings for every tweak on this page?", "Confirm", "YesNo", "Question") != "Yes")
        return;
    invoke_bulk(page_set(cat, page), BulkMode::Revert);
}

void MainView::invoke_page_all(const std::string& page) {
    ApplyAllPlan plan = apply_all_plan(d_.tweaks.catalog(), page);
    if (plan.set.empty()) return;
    std::vector<std::string> buttons = plan.trade_offs.empty()
                                           ? std::vector<std::string>{"Apply everything", "Cancel"}
                                           : std::vector<std::string>{"Apply everything", "Skip trade-offs", "Cancel"};
    std::string answer = confirm_with_changes("Apply everything on this tab?", plan.body, buttons, "Warning", plan.set);
    if (answer != "Apply everything" && answer != "Skip trade-offs") return;
    std::vector<Tweak*> set = plan.set;
    if (answer == "Skip trade-offs")
        std::erase_if(set, [&](Tweak* t) { return std::find(plan.trade_offs.begin(), plan.trade_offs.end(), t) != plan.trade_offs.end(); });
    if (d_.new_restore_point) d_.new_restore_point();
    invoke_bulk(set, BulkMode::Apply);
}

void MainView::invoke_profile(Profile p) {
    auto set = profile_set(d_.tweaks.catalog(), p);
    size_t off = size_t(std::count_if(set.begin(), set.end(), [](Tweak* t) { return !t->state; }));
    std::string name(profile_name(p));
    if (off == 0) {
        d_.ui.ask("Every tweak in the " + name + " profile is already active.", "Done", "OK", "Information");
        return;
    }
    std::string body = std::string(profile_description(p)) + "\n\n" + std::to_string(off) +
                       " tweaks will change.\n\nCreate a Windows restore point first? (Recommended)";
    std::string answer = confirm_with_changes(name, body, {"Yes", "No", "Cancel"}, "Question", set);
    if (answer != "Yes" && answer != "No") return;
    if (answer == "Yes" && d_.new_restore_point) d_.new_restore_point();
    invoke_bulk(set, BulkMode::Apply);
}

std::string MainView::changes_text(const std::vector<Tweak*>& set) {
    std::string out;
    size_t tweaks = 0, values = 0;
    for (Tweak* t : set) {
        if (!t->available || t->state) continue;
        std::vector<PlannedChange> plan;
        std::string error;
        try {
            plan = d_.tweaks.plan(*t, /*apply=*/true);
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (plan.empty() && error.empty()) continue;
        ++tweaks;
        out += (out.empty() ? "" : "\n\n") + t->title;
        if (!error.empty()) out += "\n  could not be read: " + error;
        for (auto& c : plan) {
            out += "\n  " + change_text(c);
            ++values;
        }
    }
    if (tweaks == 0) return "Nothing on this PC would change.";
    return std::to_string(values) + " values in " + std::to_string(tweaks) + " tweaks would change:\n\n" + out;
}

std::string MainView::confirm_with_changes(const std::string& title, const std::string& body,
                                           std::vector<std::string> buttons, const std::string& icon,
                                           const std::vector<Tweak*>& set) {
    // "Show changes" stands before the last (safe) button, which stays the answer of Escape.
    buttons.insert(buttons.end() - 1, "Show changes");
    for (;;) {
        std::string answer = d_.ui.show_dialog(title, body, buttons, icon);
        if (answer != "Show changes") return answer;
        d_.ui.show_dialog("What would change", changes_text(set), {"Back"}, "Information");
    }
}

void MainView::rescan_startup() {
    if (d_.rescan_startup_items) d_.rescan_startup_items();
    pages_->build_startup_page();
    update_counters();
    d_.ui.log("Startup apps rescanned.", LogKind::Ok);
}

}  // namespace vexlo::ui
