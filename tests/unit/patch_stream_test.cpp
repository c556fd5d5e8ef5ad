// What the renderer draws: the patches it is streamed, applied in order to an empty tree, must
// give the very tree a newly connected renderer gets whole. Checked on the real window from its
// first splash to "Ready" and through the things a user does afterwards, on the tree's own
// corner cases (elements not sent yet that are changed, removed, faded or hold inserts that
// are counted by later ones) and on random edits. Also: the text the renderer gets is the JSON
// of the same patches, byte for byte.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>

#include "app/app.h"
#include "app/ui/main_view.h"
#include "dialog_answers.h"
#include "test_machine.h"

using namespace vexlo;
using ui::Json;

namespace {

// The renderer's view of the tree, kept the way renderer.js keeps it: nodes by id, children by
// index (an index past the end appends), a null property is no property, a fade leaves its end
// opacity. A patch that names an element the renderer does not have is a fault of the stream.
class Replica {
public:
    Replica() { reset(Json{{"id", 0}, {"type", "root"}, {"props", Json::object()}, {"children", Json::array()}}); }

    void apply_text(const std::string& text) { apply(Json::parse(text)); }

    void apply(const Json& ops) {
        ASSERT_TRUE(ops.is_array());
        for (const Json& op : ops) apply_op(op);
    }

    // What the renderer keeps of the user's typing before the application hears of it.
    void typed(int id, const std::string& text) {
        auto it = index_.find(id);
        if (it != index_.end()) it->second->props["value"] = text;
    }

    // The tree as Tree::node() writes it.
    Json tree() const { return to_json(*root_); }

private:
    struct Node {
        int id = 0;
        std::string type, name;
        std::map<std::string, Json> props;
        std::vector<std::unique_ptr<Node>> children;
        Node* parent = nullptr;
    };

    void reset(const Json& root) {
        index_.clear();
        root_ = build(root, nullptr);
    }

    std::unique_ptr<Node> build(const Json& j, Node* parent) {
        auto n = std::make_unique<Node>();
        n->id = j.at("id").get<int>();
        n->type = j.at("type").get<std::string>();
        n->name = j.value("name", "");
        n->parent = parent;
        for (auto& [k, v] : j.at("props").items())
            if (!v.is_null()) n->props[k] = v;
        for (const Json& c : j.at("children")) n->children.push_back(build(c, n.get()));
        EXPECT_FALSE(index_.contains(n->id)) << "element " << n->id << " sent twice";
        index_[n->id] = n.get();
        return n;
    }

    Node* at(const Json& id, const Json& op) {
        auto it = index_.find(id.get<int>());
        if (it == index_.end()) {
            ADD_FAILURE() << "a patch names an element the renderer does not have: " << op.dump();
            return nullptr;
        }
        return it->second;
    }

    void forget(Node& n) {
        for (auto& c : n.children) forget(*c);
        index_.erase(n.id);
    }

    void apply_op(const Json& op) {
        const std::string kind = op.at("op");
        if (kind == "snapshot") {
            reset(op.at("root"));
        } else if (kind == "set") {
            if (Node* n = at(op.at("id"), op)) {
                if (op.at("value").is_null())
                    n->props.erase(op.at("prop"));
                else
                    n->props[op.at("prop")] = op.at("value");
            }
        } else if (kind == "insert") {
            Node* p = at(op.at("parent"), op);
            if (!p) return;
            size_t i = op.at("index").get<size_t>();
            EXPECT_LE(i, p->children.size()) << op.dump().substr(0, 200);
            i = std::min(i, p->children.size());
            p->children.insert(p->children.begin() + long(i), build(op.at("node"), p));
        } else if (kind == "remove") {
            Node* n = at(op.at("id"), op);
            if (!n || !n->parent) return;
            forget(*n);
            auto& sibs = n->parent->children;
            std::erase_if(sibs, [&](auto& c) { return c.get() == n; });
        } else if (kind == "fade") {
            if (Node* n = at(op.at("id"), op)) n->props["opacity"] = op.at("to");
        } else if (kind == "scrolltop") {
            at(op.at("id"), op);
        } else if (kind != "activate" && kind != "close") {
            ADD_FAILURE() << "unknown patch " << op.dump();
        }
    }

    static Json to_json(const Node& n) {
        Json props = Json::object();
        for (auto& [k, v] : n.props) props[k] = v;
        Json j = {{"id", n.id}, {"type", n.type}, {"props", props}, {"children", Json::array()}};
        if (!n.name.empty()) j["name"] = n.name;
        for (auto& c : n.children) j["children"].push_back(to_json(*c));
        return j;
    }

    std::unique_ptr<Node> root_;
    std::map<int, Node*> index_;
};

// A switch shows "off" for a "checked" of false and for none: a click on a switch that never
// held one is answered with false.
void unchecked_is_none(Json& node) {
    Json& props = node["props"];
    if (props.contains("checked") && props["checked"] == false) props.erase("checked");
    for (Json& c : node["children"]) unchecked_is_none(c);
}

// The tree a new renderer gets, checked against the one the stream built so far.
void expect_same_tree(const ui::Tree& tree, const Replica& replica) {
    Json snap = Json::parse(tree.snapshot_text());
    ASSERT_EQ(snap, tree.snapshot()) << "the snapshot's text is its JSON";
    Json want = snap.at(0).at("root");
    Json got = replica.tree();
    unchecked_is_none(want);
    unchecked_is_none(got);
    if (got != want) {
        // Name the first difference, not two trees of thousands of elements.
        Json diff = Json::diff(want, got);
        FAIL() << "the patch stream and the snapshot differ: " << diff.dump().substr(0, 2000);
    }
}

// The window on a fresh simulated PC with every patch batch it flushes kept, from the first.
struct StreamedWindow : ::testing::Test {
    testkit::TempMachine pc;
    std::unique_ptr<App> app;
    std::vector<std::string> batches;
    std::vector<std::string> answers;
    Replica replica;

    void SetUp() override {
        pc->freeze_clock();
        StartOptions opts;
        opts.on_patches = [this](const std::string& text) { batches.push_back(text); };
        app = std::make_unique<App>(*pc, opts);
        app->start_up();
        testkit::answer_dialogs(app->window(), answers);
    }
    ui::Ui& u() { return app->window(); }
    ui::Tree& tree() { return u().tree(); }
    void click(std::string_view name, Json value = nullptr) { tree().dispatch(u()(name).id(), "click", value); }
    void type(const std::string& text) {
        int box = u()("SearchBox").id();
        replica.typed(box, text);
        tree().dispatch(box, "input", text);
    }
    // Flushes what is pending and applies every batch not applied yet.
    void catch_up() {
        u().update_ui();
        for (auto& b : batches) replica.apply_text(b);
        batches.clear();
    }
};

}  // namespace

TEST_F(StreamedWindow, StartUpStreamBuildsTheSnapshotsTree) {
    ASSERT_GT(batches.size(), 3u) << "the splash's stages are flushed one by one";
    catch_up();
    expect_same_tree(tree(), replica);
    // The whole catalog is there: every tweak has its switch in the streamed tree too.
    Json streamed = replica.tree();
    size_t toggles = 0;
    std::function<void(const Json&)> count = [&](const Json& n) {
        if (n["type"] == "toggle") ++toggles;
        for (auto& c : n["children"]) count(c);
    };
    count(streamed);
    EXPECT_GE(toggles, app->tweaks().catalog().tweaks.size());
}

TEST_F(StreamedWindow, WhatTheUserDoesAfterwardsKeepsTheStreamInStep) {
    catch_up();
    // Pages, a filter and back, a folded group, a switch, search results typed over twice
    // before a flush, a dialog answered, a rescan that rebuilds a page.
    click("Nav_System", true);
    click("Filter_System_Highimpact", true);
    catch_up();
    click("Filter_System_All", true);
    const ui::GroupBlock& first = app->view().pages().blocks("System").front();
    tree().dispatch(first.header->id(), "mouseup", nullptr);
    Tweak* t = app->tweaks().find("pthrottle");
    ASSERT_NE(t, nullptr);
    tree().dispatch(app->switches().of(t->id).front()->id(), "click", !t->state);
    catch_up();
    expect_same_tree(tree(), replica);

    type("power");
    app->view().run_search();
    type("disable");
    app->view().run_search();  // the first results go before the renderer ever got them
    catch_up();
    expect_same_tree(tree(), replica);

    answers = {"No"};
    click("BtnRevert_System");  // a dialog's buttons come and go
    click("BtnRescan_Startup");
    click("Nav_Home", true);
    catch_up();
    expect_same_tree(tree(), replica);
}

// The cases where a fresh element's insert meets later patches.
TEST(PatchStream, FreshElementsMeetLaterPatches) {
    ui::Tree tree;
    Replica replica;
    auto flush = [&] { replica.apply_text(tree.take_patches_text()); };
    ui::Element& list = tree.root().add("box", "List");
    list.add("text").set_text("a");
    list.add("text").set_text("b");
    flush();
    expect_same_tree(tree, replica);

    // Inserted, then counted by later inserts, then removed before any flush.
    ui::Element& gone = list.insert(0, "box");
    gone.add("text").set_text("inside");
    ui::Element& after = list.insert(2, "text");  // between a and b, counting `gone`
    after.set_text("after");
    list.remove_child(gone);
    // Faded while fresh, then set: the set must win over the fade's end value.
    ui::Element& panel = list.add("box", "Panel");
    panel.fade(0, 1, 150);
    panel.set_opacity(0.5);
    panel.add("text").set_text("later child");
    // A fresh card's children come and go before it is sent.
    ui::Element& card = list.add("box");
    ui::Element& tmp = card.add("text");
    card.add("toggle").set_checked(true);
    card.remove_child(tmp);
    card.css("color", "#FFF");
    card.css({{"margin", "1px"}, {"color", "#000"}});
    // A sent element that is removed while an insert into it still waits.
    ui::Element& old = *list.children()[1];
    old.add("text").set_text("never seen");
    list.remove_child(old);
    flush();
    expect_same_tree(tree, replica);

    // A switch the renderer has: clicks go out as patches again.
    ui::Element& sw = *card.children().back();
    tree.dispatch(sw.id(), "click", false);
    sw.set_enabled(false);
    list.clear();
    flush();
    expect_same_tree(tree, replica);
    EXPECT_TRUE(list.children().empty());
}

// Random edits of a small tree, flushed at random (as JSON or as text): after every flush the
// stream and the snapshot agree.
TEST(PatchStream, RandomEditsKeepTheStreamInStep) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(rng)); };
        ui::Tree tree;
        Replica replica;
        auto all = [&] {
            std::vector<ui::Element*> out;
            std::function<void(ui::Element&)> walk = [&](ui::Element& e) {
                out.push_back(&e);
                for (auto* c : e.children()) walk(*c);
            };
            walk(tree.root());
            return out;
        };
        const char* types[] = {"box", "text", "toggle"};
        const char* props[] = {"text", "cls", "visible", "checked", "enabled"};
        for (int step = 0; step < 400; ++step) {
            auto elements = all();
            ui::Element& e = *elements[pick(elements.size())];
            switch (pick(10)) {
                case 0:
                case 1:
                    e.insert(pick(e.children().size() + 2), types[pick(3)]);
                    break;
                case 2: {
                    // text and cls hold text; visible, checked and enabled a yes or no
                    size_t p = pick(5);
                    Json v = pick(4) == 0 ? Json(nullptr) : p < 2 ? Json("v" + std::to_string(pick(5))) : Json(bool(pick(2)));
                    e.set(props[p], v);
                    break;
                }
                case 3:
                    if (pick(2))
                        e.css("color", pick(3) ? Json("#" + std::to_string(pick(3))) : Json(nullptr));
                    else
                        e.css({{"margin", pick(2) ? "1px" : "2px"}, {"flex", "1"}});
                    break;
                case 4:
                    if (e.parent() && pick(2)) e.parent()->remove_child(e);
                    break;
                case 5:
                    if (pick(4) == 0) e.clear();
                    break;
                case 6: e.fade(0, pick(2) ? 1.0 : 0.25, 100); break;
                case 7: e.set_opacity(pick(2) ? 0.5 : 1.0); break;
                case 8:
                    if (pick(2))
                        tree.dispatch(e.id(), "click", bool(pick(2)));
                    else
                        e.scroll_to_top();
                    break;
                case 9:
                    if (pick(2))
                        replica.apply_text(tree.take_patches_text());
                    else
                        replica.apply(tree.take_patches());
                    expect_same_tree(tree, replica);
                    if (::testing::Test::HasFailure()) FAIL() << "seed " << seed << ", step " << step;
                    break;
            }
        }
        replica.apply_text(tree.take_patches_text());
        expect_same_tree(tree, replica);
        if (::testing::Test::HasFailure()) FAIL() << "seed " << seed;
    }
}

// The text the renderer gets is what Json::dump makes of the same patches: escapes, text that
// is not UTF-8, numbers and window operations included.
TEST(PatchStream, TextIsTheJsonOfThePatches) {
    const std::string odd[] = {
        "plain", "quote \" and back\\slash", "tab\tnew\nline\rcr\bbs\fff", std::string("nul\0x", 5), "\x01\x1f\x7f",
        "caf\xC3\xA9 \xE2\x80\xA2 \xF0\x9F\x98\x80", "broken \xC3 end", "\xED\xA0\x80 surrogate", "\xC0\xAF overlong",
        "\xF4\x90\x80\x80 too high", "cut \xE2\x80", "",
    };
    ui::Tree a, b;
    auto build = [&](ui::Tree& t) {
        ui::Element& sent = t.root().add("box", "Sent \xC3\xA9");
        t.take_patches();
        for (auto& s : odd) {
            ui::Element& e = sent.add("text", s, s);
            e.set_text(s);
            e.css(s, s);
            sent.set("tag", s);
        }
        sent.set_opacity(0.6);
        sent.fade(0, 1, 160);
        sent.set("n", -42);
        sent.set("u", Json(7u));
        sent.scroll_to_top();
        t.push_op({{"op", "activate"}});
    };
    build(a);
    build(b);
    EXPECT_EQ(a.snapshot_text(), b.snapshot().dump(-1, ' ', false, Json::error_handler_t::replace));
    EXPECT_EQ(a.take_patches_text(), b.take_patches().dump(-1, ' ', false, Json::error_handler_t::replace));
}
