#pragma once
// The window as a tree of elements owned by the application thread. The renderer draws it;
// every change made here becomes a small patch that is streamed to the renderer.
//
// An element the renderer has not been sent yet is "fresh": it goes out whole, with its
// properties and children as they are at the next flush, in the one insert that brings it. What
// is done to it before then (properties set, children added or removed) records no patch of its
// own; building a card of twenty elements costs one insert, not sixty patches.
//
// Wire format (JSON), server to renderer, sent as arrays of operations:
//   {"op":"snapshot","root":NODE}                 whole tree, to a newly connected renderer
//   {"op":"set","id":N,"prop":P,"value":V}        one property
//   {"op":"insert","parent":N,"index":I,"node":NODE}
//   {"op":"remove","id":N}
//   {"op":"fade","id":N,"from":A,"to":B,"ms":T}   opacity animation; B holds afterwards
//   {"op":"scrolltop","id":N}                     scroll a scroll area to its top
//   {"op":"activate"}                             bring the window to the front
//   {"op":"close","note":S?}                      the window is closed: the application has
//                                                 ended, or goes on without it (S says so)
//   NODE = {"id":N,"type":T,"name":S?,"props":{...},"children":[NODE...]}
// Renderer to server, one JSON object per message (checked by parse_ui_message, ui_message.h):
//   {"id":N,"ev":E,"value":V}  E = "click" (value: new checked state for toggles and chips),
//                              "input" (text), "mouseup" (header lines), "size" (the
//                              laid-out width of an element with report_size)
//   {"ev":"rendered"}          the main window has drawn its content
//   {"ev":"key","value":K}     a key the window handles ("Escape", "Ctrl+F")
//
// Element types: window, box, scroll, text, glyph, image, button, toggle, chip, chipcheck,
// nav, textbox, path. Props: text, cls (style keys as space-separated classes), css (object of
// CSS declarations), visible (false = collapsed), opacity, checked, enabled, src, glyph, tag,
// placeholder, value, d (path data), cursor, report_size (true: the renderer reports the
// element's width with "size" events).
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace vexlo::ui {

using Json = nlohmann::json;
class Tree;

class Element {
public:
    using Handler = std::function<void(Element&, const Json&)>;

    int id() const { return id_; }
    const std::string& type() const { return type_; }
    const std::string& name() const { return name_; }
    Element* parent() const { return parent_; }
    const std::vector<Element*>& children() const { return children_; }
    Tree& tree() const { return *tree_; }

    // Properties. set() records a patch only when the value changes.
    void set(std::string_view prop, Json value);
    const Json& get(std::string_view prop) const;
    bool has(std::string_view prop) const;

    void set_text(std::string text) { set("text", std::move(text)); }
    std::string text() const;
    void set_visible(bool v) { set("visible", v); }
    bool visible() const;  // true unless collapsed
    void set_checked(bool v) { set("checked", v); }
    bool checked() const;
    void set_enabled(bool v) { set("enabled", v); }
    bool enabled() const;  // true unless disabled
    void set_opacity(double v) { set("opacity", v); }
    void css(std::string_view property, Json value);  // one CSS declaration
    // Several declarations at once, as one change of the "css" property.
    void css(std::initializer_list<std::pair<const char*, const char*>> declarations);

    // Opacity animation in the renderer; the end value is kept in the tree.
    void fade(double from, double to, int ms);
    // Scrolls a scroll area back to its top in the renderer. Counted for tests.
    void scroll_to_top();
    int scrolled_to_top() const { return scrolled_to_top_; }

    // Children. The tree owns every element; remove() destroys the element and its subtree.
    Element& add(std::string_view type, std::string_view name = {}, std::string_view cls = {});
    Element& insert(size_t index, std::string_view type, std::string_view name = {}, std::string_view cls = {});
    void remove_child(Element& child);
    void clear();

    // Events sent by the renderer, and ones the application raises itself (tests, keys).
    void on(std::string_view event, Handler handler);
    bool fire(std::string_view event, const Json& value = nullptr);

    // Application-side tag (never sent): a text tag ("cpu_park", "System|Power & CPU") and
    // an element tag (a tweak card's switch).
    std::string tag;
    Element* tag_element = nullptr;

private:
    friend class Tree;
    Element(Tree* tree, int id, std::string type, std::string name)
        : tree_(tree), id_(id), type_(std::move(type)), name_(std::move(name)) {}
    Json node() const;
    void write_node(std::string& out) const;
    // The subtree has been sent as it is now: later changes are patches again.
    void mark_sent();
    // The element's "css" object (made empty when it holds none), to change in place.
    Json& css_object();
    void css_changed();

    Tree* tree_;
    int id_;
    std::string type_;
    std::string name_;
    Element* parent_ = nullptr;
    std::vector<Element*> children_;
    Json props_ = Json::object();
    std::vector<std::pair<std::string, Handler>> handlers_;
    int scrolled_to_top_ = 0;
    bool fresh_ = true;       // not sent yet: it goes out inside a pending insert
    int pending_insert_ = -1; // the queued insert that sends it (and what lies inside it)
};

class Tree {
public:
    Tree();
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    Element& root() { return *root_; }
    // Lookup by name; null when no live element has it.
    Element* find(std::string_view name) const;
    Element* by_id(int id) const;

    // A renderer event, on the application thread. Unknown ids are ignored, and so is an event
    // for an element outside the modal root. Returns whether the event reached the element.
    bool dispatch(int id, std::string_view event, const Json& value);

    // While a modal root is set (a dialog, a progress panel), renderer events reach only that
    // element and what lies inside it, as with a modal window; 0 lets every element take them.
    // Returns the root it replaces, so that a nested modal can put it back. When the modal
    // element is removed from the tree, the tree takes input everywhere again.
    int set_modal_root(int id);
    void clear_modal_root() { modal_root_ = 0; }
    int modal_root() const { return modal_root_; }
    // Whether a renderer event for element `id` gets past the modal root.
    bool takes_input(int id) const;

    Json snapshot() const;
    // The same as JSON text, as the renderer gets it.
    std::string snapshot_text() const;
    bool has_patches() const { return !ops_.empty(); }
    // The patches since the last take, as JSON or as the text the renderer gets. Fresh elements
    // are written as they are now, and are no longer fresh afterwards.
    Json take_patches();
    std::string take_patches_text();
    void push_op(Json op);  // window-level operations: activate, close

    // Called once when the first patch after a flush is recorded.
    void set_dirty_hook(std::function<void()> hook) { dirty_hook_ = std::move(hook); }
    size_t size() const { return by_id_.size(); }

private:
    friend class Element;
    // One queued patch. An insert keeps its element until the flush writes it.
    struct Op {
        enum class Kind : unsigned char { set, insert, remove, fade, scrolltop, raw };
        Kind kind;
        int id = 0;                // the element; for an insert, the parent
        size_t index = 0;          // insert
        Element* node = nullptr;   // insert not written yet
        std::string prop;          // set
        Json value;                // set: the value; insert: the node once written; fade: [from, to, ms]; raw: the op
    };
    Element* make(std::string_view type, std::string_view name);
    void destroy(Element* e);
    // Takes a child out of the tree: a patch when the renderer has it, then its end.
    void drop(Element& e);
    void record(Op op);
    void record_set(const Element& e, std::string_view prop, const Json& value);
    // Writes the pending insert that carries `e` now, so that what follows may refer to it.
    void seal(Element& e);
    void seal_op(Op& op);
    static Json op_json(Op& op);

    std::unique_ptr<Element> root_owner_;
    Element* root_;
    std::unordered_map<int, std::unique_ptr<Element>> by_id_;
    std::unordered_map<std::string, Element*> by_name_;
    int next_id_ = 1;
    int modal_root_ = 0;
    std::vector<Op> ops_;
    std::function<void()> dirty_hook_;
};

// Makes an element the modal root while it lives, then puts back the one before.
class ModalScope {
public:
    explicit ModalScope(Element& e) : tree_(e.tree()), previous_(tree_.set_modal_root(e.id())) {}
    ~ModalScope() { tree_.set_modal_root(previous_); }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    Tree& tree_;
    int previous_;
};

}  // namespace vexlo::ui
