#include "app/ui/element.h"

#include <algorithm>

namespace vexlo::ui {

namespace {
const Json& null_json() {
    static const Json n;
    return n;
}
}  // namespace

// ---- Element ----

void Element::set(std::string_view prop, Json value) {
    std::string key(prop);
    auto it = props_.find(key);
    if (it != props_.end() && *it == value) return;
    if (value.is_null()) {
        if (it == props_.end()) return;
        props_.erase(key);
    } else {
        props_[key] = value;
    }
    tree_->record({{"op", "set"}, {"id", id_}, {"prop", std::move(key)}, {"value", std::move(value)}});
}

const Json& Element::get(std::string_view prop) const {
    auto it = props_.find(std::string(prop));
    return it == props_.end() ? null_json() : *it;
}

bool Element::has(std::string_view prop) const { return props_.contains(std::string(prop)); }

std::string Element::text() const {
    auto& t = get("text");
    return t.is_string() ? t.get<std::string>() : std::string();
}

bool Element::visible() const {
    auto& v = get("visible");
    return !v.is_boolean() || v.get<bool>();
}

bool Element::checked() const {
    auto& v = get("checked");
    return v.is_boolean() && v.get<bool>();
}

bool Element::enabled() const {
    auto& v = get("enabled");
    return !v.is_boolean() || v.get<bool>();
}

void Element::css(std::string_view property, Json value) {
    Json cur = get("css");
    if (!cur.is_object()) cur = Json::object();
    std::string key(property);
    if (value.is_null()) {
        if (!cur.contains(key)) return;
        cur.erase(key);
    } else {
        if (cur.contains(key) && cur[key] == value) return;
        cur[key] = std::move(value);
    }
    set("css", std::move(cur));
}

void Element::fade(double from, double to, int ms) {
    // The tree keeps the end value quietly; the renderer animates towards it.
    props_["opacity"] = to;
    tree_->record({{"op", "fade"}, {"id", id_}, {"from", from}, {"to", to}, {"ms", ms}});
}

void Element::scroll_to_top() {
    ++scrolled_to_top_;
    tree_->record({{"op", "scrolltop"}, {"id", id_}});
}

Element& Element::add(std::string_view type, std::string_view name, std::string_view cls) {
    return insert(children_.size(), type, name, cls);
}

Element& Element::insert(size_t index, std::string_view type, std::string_view name, std::string_view cls) {
    Element* e = tree_->make(type, name);
    if (!cls.empty()) e->props_["cls"] = std::string(cls);
    e->parent_ = this;
    index = std::min(index, children_.size());
    children_.insert(children_.begin() + long(index), e);
    tree_->record({{"op", "insert"}, {"parent", id_}, {"index", index}, {"node", e->node()}});
    return *e;
}

void Element::remove_child(Element& child) {
    auto it = std::find(children_.begin(), children_.end(), &child);
    if (it == children_.end()) return;
    children_.erase(it);
    tree_->record({{"op", "remove"}, {"id", child.id_}});
    tree_->destroy(&child);
}

void Element::clear() {
    auto kids = std::move(children_);
    children_.clear();
    for (Element* c : kids) {
        tree_->record({{"op", "remove"}, {"id", c->id_}});
        tree_->destroy(c);
    }
}

void Element::on(std::string_view event, Handler handler) {
    handlers_.emplace_back(std::string(event), std::move(handler));
}

bool Element::fire(std::string_view event, const Json& value) {
    // Copy first: a handler may rebuild the part of the tree that holds this element.
    std::vector<Handler> hs;
    for (auto& [ev, h] : handlers_)
        if (ev == event) hs.push_back(h);
    if (hs.empty()) return false;
    for (auto& h : hs) h(*this, value);
    return true;
}

Json Element::node() const {
    Json n = {{"id", id_}, {"type", type_}, {"props", props_}};
    if (!name_.empty()) n["name"] = name_;
    Json kids = Json::array();
    for (const Element* c : children_) kids.push_back(c->node());
    n["children"] = std::move(kids);
    return n;
}

// ---- Tree ----

Tree::Tree() {
    root_owner_.reset(new Element(this, 0, "root", ""));
    root_ = root_owner_.get();
}

Tree::~Tree() = default;

Element* Tree::make(std::string_view type, std::string_view name) {
    int id = next_id_++;
    std::unique_ptr<Element> e(new Element(this, id, std::string(type), std::string(name)));
    Element* raw = e.get();
    by_id_.emplace(id, std::move(e));
    if (!name.empty()) by_name_[std::string(name)] = raw;
    return raw;
}

void Tree::destroy(Element* e) {
    for (Element* c : e->children_) destroy(c);
    e->children_.clear();
    if (!e->name_.empty()) {
        auto it = by_name_.find(e->name_);
        if (it != by_name_.end() && it->second == e) by_name_.erase(it);
    }
    if (e->id_ == modal_root_) modal_root_ = 0;
    by_id_.erase(e->id_);
}

Element* Tree::find(std::string_view name) const {
    auto it = by_name_.find(std::string(name));
    return it == by_name_.end() ? nullptr : it->second;
}

Element* Tree::by_id(int id) const {
    if (id == 0) return root_;
    auto it = by_id_.find(id);
    return it == by_id_.end() ? nullptr : it->second.get();
}

int Tree::set_modal_root(int id) {
    int previous = modal_root_;
    // An element that is gone cannot hold the input: that would lock the window for good.
    modal_root_ = by_id(id) ? id : 0;
    return previous;
}

bool Tree::takes_input(int id) const {
    if (modal_root_ == 0) return true;
    for (const Element* e = by_id(id); e; e = e->parent_)
        if (e->id_ == modal_root_) return true;
    return false;
}

bool Tree::dispatch(int id, std::string_view event, const Json& value) {
    Element* e = by_id(id);
    if (!e) return false;
    if (!takes_input(id)) {
        // The renderer may have moved the switch already: it goes back where it was.
        if (event == "click" && value.is_boolean())
            record({{"op", "set"}, {"id", id}, {"prop", "checked"}, {"value", e->checked()}});
        return false;
    }
    // A disabled control takes no input; the confirmation below puts it back where it was.
    const bool enabled = e->enabled();
    // A click reports the control's new position; the tree mirrors it before the handler
    // runs, as a native control would, and the handler sets the real state afterwards.
    if (enabled && event == "click" && value.is_boolean()) e->props_["checked"] = value.get<bool>();
    if (enabled && event == "input" && value.is_string()) e->props_["value"] = value;
    if (enabled) e->fire(event, value);
    // Always confirm the position the control must show: the renderer may have moved it
    // ahead of the answer, and the answer may equal what the tree already held.
    if (event == "click" && value.is_boolean() && (e = by_id(id)) != nullptr)
        record({{"op", "set"}, {"id", id}, {"prop", "checked"}, {"value", e->checked()}});
    return true;
}

Json Tree::snapshot() const {
    Json root = root_->node();
    return Json::array({{{"op", "snapshot"}, {"root", std::move(root)}}});
}

Json Tree::take_patches() {
    Json out = std::move(patches_);
    patches_ = Json::array();
    return out;
}

void Tree::push_op(Json op) { record(std::move(op)); }

void Tree::record(Json op) {
    bool first = patches_.empty();
    patches_.push_back(std::move(op));
    if (first && dirty_hook_) dirty_hook_();
}

}  // namespace vexlo::ui
