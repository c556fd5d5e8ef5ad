#include "app/ui/element.h"

#include <algorithm>
#include <charconv>

namespace vexlo::ui {

namespace {
const Json& null_json() {
    static const Json n;
    return n;
}

// ---- JSON text ----
// The renderer gets exactly what Json::dump(-1, ' ', false, replace) makes of the same value,
// written straight into one string instead of through a tree of Json values per patch.

bool valid_utf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;  // overlong
            if (c == 0xED) hi = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;  // overlong
            if (c == 0xF4) hi = 0x8F;  // past U+10FFFF
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        auto b1 = static_cast<unsigned char>(s[i + 1]);
        if (b1 < lo || b1 > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

void write_string(std::string& out, std::string_view s) {
    bool plain = true, high = false;
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == '"' || c == '\\')
            plain = false;
        else if (c >= 0x80)
            high = true;
    }
    if (high && !valid_utf8(s)) {
        // Broken text is rare: the library's own replacement rules decide what it becomes.
        out += Json(std::string(s)).dump(-1, ' ', false, Json::error_handler_t::replace);
        return;
    }
    out += '"';
    if (plain) {
        out.append(s);
    } else {
        for (char ch : s) {
            switch (ch) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\t': out += "\\t"; break;
                case '\n': out += "\\n"; break;
                case '\f': out += "\\f"; break;
                case '\r': out += "\\r"; break;
                default:
                    if (static_cast<unsigned char>(ch) < 0x20) {
                        static const char* hex = "0123456789abcdef";
                        out += "\\u00";
                        out += hex[static_cast<unsigned char>(ch) >> 4];
                        out += hex[static_cast<unsigned char>(ch) & 15];
                    } else {
                        out += ch;
                    }
            }
        }
    }
    out += '"';
}

template <class Int>
void write_int(std::string& out, Int v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void write_json(std::string& out, const Json& v) {
    switch (v.type()) {
        case Json::value_t::null: out += "null"; return;
        case Json::value_t::boolean: out += v.get<bool>() ? "true" : "false"; return;
        case Json::value_t::number_integer: write_int(out, v.get<Json::number_integer_t>()); return;
        case Json::value_t::number_unsigned: write_int(out, v.get<Json::number_unsigned_t>()); return;
        case Json::value_t::string: write_string(out, v.get_ref<const std::string&>()); return;
        case Json::value_t::array: {
            out += '[';
            bool first = true;
            for (const Json& e : v) {
                if (!first) out += ',';
                first = false;
                write_json(out, e);
            }
            out += ']';
            return;
        }
        case Json::value_t::object: {
            out += '{';
            bool first = true;
            for (auto it = v.begin(); it != v.end(); ++it) {
                if (!first) out += ',';
                first = false;
                write_string(out, it.key());
                out += ':';
                write_json(out, it.value());
            }
            out += '}';
            return;
        }
        default:  // floating point (shortest round trip) and the kinds the tree never holds
            out += v.dump(-1, ' ', false, Json::error_handler_t::replace);
            return;
    }
}

}  // namespace

// ---- Element ----

void Element::set(std::string_view prop, Json value) {
    std::string key(prop);
    auto it = props_.find(key);
    if (it != props_.end() && *it == value) return;
    if (value.is_null()) {
        if (it == props_.end()) return;
        props_.erase(it);
        tree_->record_set(*this, prop, null_json());
        return;
    }
    if (it != props_.end())
        *it = std::move(value);
    else
        it = props_.emplace(std::move(key), std::move(value)).first;
    tree_->record_set(*this, prop, *it);
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

Json& Element::css_object() {
    Json& cur = props_["css"];
    if (!cur.is_object()) cur = Json::object();
    return cur;
}

void Element::css_changed() { tree_->record_set(*this, "css", props_["css"]); }

void Element::css(std::string_view property, Json value) {
    std::string key(property);
    if (value.is_null()) {
        auto it = props_.find("css");
        if (it == props_.end() || !it->is_object() || !it->contains(key)) return;
        it->erase(key);
    } else {
        Json& cur = css_object();
        auto it = cur.find(key);
        if (it != cur.end() && *it == value) return;
        if (it != cur.end())
            *it = std::move(value);
        else
            cur.emplace(std::move(key), std::move(value));
    }
    css_changed();
}

void Element::css(std::initializer_list<std::pair<const char*, const char*>> declarations) {
    if (declarations.size() == 0) return;
    Json& cur = css_object();
    bool changed = false;
    for (auto& [k, v] : declarations) {
        auto it = cur.find(k);
        if (it != cur.end() && it->is_string() && it->get_ref<const std::string&>() == v) continue;
        cur[k] = v;
        changed = true;
    }
    if (changed) css_changed();
}

void Element::fade(double from, double to, int ms) {
    // The tree keeps the end value quietly; the renderer animates towards it. An element not
    // sent yet is sent now, so the animation finds it and what is set later follows it.
    props_["opacity"] = to;
    if (fresh_) tree_->seal(*this);
    Tree::Op op{Tree::Op::Kind::fade};
    op.id = id_;
    op.value = Json::array({from, to, ms});
    tree_->record(std::move(op));
}

void Element::scroll_to_top() {
    ++scrolled_to_top_;
    if (fresh_) return;  // a new scroll area starts at its top
    Tree::Op op{Tree::Op::Kind::scrolltop};
    op.id = id_;
    tree_->record(std::move(op));
}

Element& Element::add(std::string_view type, std::string_view name, std::string_view cls) {
    return insert(children_.size(), type, name, cls);
}

Element& Element::insert(size_t index, std::string_view type, std::string_view name, std::string_view cls) {
    Element* e = tree_->make(type, name);
    if (!cls.empty()) e->props_.emplace("cls", std::string(cls));
    e->parent_ = this;
    index = std::min(index, children_.size());
    children_.insert(children_.begin() + long(index), e);
    if (!fresh_) {
        // Inside a fresh element the new one goes out with it; otherwise its own insert carries
        // it, written at the flush as it is then.
        e->pending_insert_ = int(tree_->ops_.size());
        Tree::Op op{Tree::Op::Kind::insert};
        op.id = id_;
        op.index = index;
        op.node = e;
        tree_->record(std::move(op));
    }
    return *e;
}

void Element::remove_child(Element& child) {
    auto it = std::find(children_.begin(), children_.end(), &child);
    if (it == children_.end()) return;
    children_.erase(it);
    tree_->drop(child);
}

void Element::clear() {
    auto kids = std::move(children_);
    children_.clear();
    for (Element* c : kids) tree_->drop(*c);
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

// Keys in the order Json objects keep them (sorted), so the text is what dump() would make.
void Element::write_node(std::string& out) const {
    out += "{\"children\":[";
    for (size_t i = 0; i < children_.size(); ++i) {
        if (i) out += ',';
        children_[i]->write_node(out);
    }
    out += "],\"id\":";
    write_int(out, id_);
    if (!name_.empty()) {
        out += ",\"name\":";
        write_string(out, name_);
    }
    out += ",\"props\":";
    write_json(out, props_);
    out += ",\"type\":";
    write_string(out, type_);
    out += '}';
}

void Element::mark_sent() {
    fresh_ = false;
    pending_insert_ = -1;
    for (Element* c : children_) c->mark_sent();
}

// ---- Tree ----

Tree::Tree() {
    root_owner_.reset(new Element(this, 0, "root", ""));
    root_ = root_owner_.get();
    root_->fresh_ = false;  // every renderer starts from it
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

void Tree::drop(Element& e) {
    // A fresh element inside another fresh one was never sent; one with its own insert still
    // waiting was, in that insert, and the renderer must take it out again.
    if (!e.fresh_ || e.pending_insert_ >= 0) {
        Op op{Op::Kind::remove};
        op.id = e.id_;
        record(std::move(op));
    }
    destroy(&e);
}

void Tree::destroy(Element* e) {
    if (e->pending_insert_ >= 0) {
        // Its insert waits in the queue and a later patch removes it (or what holds it): the
        // renderer gets an empty stand-in, which keeps its place among its siblings for the
        // indices of the inserts recorded after it. Nothing queued refers to what was inside.
        Op& op = ops_[size_t(e->pending_insert_)];
        op.node = nullptr;
        op.value = {{"id", e->id_}, {"type", e->type_}, {"props", Json::object()}, {"children", Json::array()}};
        e->pending_insert_ = -1;
    }
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
        if (event == "click" && value.is_boolean()) record_set(*e, "checked", e->checked());
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
    if (event == "click" && value.is_boolean() && (e = by_id(id)) != nullptr) record_set(*e, "checked", e->checked());
    return true;
}

Json Tree::snapshot() const {
    Json root = root_->node();
    return Json::array({{{"op", "snapshot"}, {"root", std::move(root)}}});
}

std::string Tree::snapshot_text() const {
    std::string out = "[{\"op\":\"snapshot\",\"root\":";
    root_->write_node(out);
    out += "}]";
    return out;
}

void Tree::seal_op(Op& op) {
    if (!op.node) return;
    op.value = op.node->node();
    op.node->mark_sent();
    op.node = nullptr;
}

void Tree::seal(Element& e) {
    Element* carrier = &e;
    while (carrier && carrier->pending_insert_ < 0) carrier = carrier->parent_;
    if (carrier) seal_op(ops_[size_t(carrier->pending_insert_)]);
}

Json Tree::op_json(Op& op) {
    switch (op.kind) {
        case Op::Kind::set:
            return {{"op", "set"}, {"id", op.id}, {"prop", std::move(op.prop)}, {"value", std::move(op.value)}};
        case Op::Kind::insert: {
            Json node;
            if (op.node) {
                node = op.node->node();
                op.node->mark_sent();
            } else {
                node = std::move(op.value);
            }
            return {{"op", "insert"}, {"parent", op.id}, {"index", op.index}, {"node", std::move(node)}};
        }
        case Op::Kind::remove: return {{"op", "remove"}, {"id", op.id}};
        case Op::Kind::fade:
            return {{"op", "fade"}, {"id", op.id}, {"from", op.value[0]}, {"to", op.value[1]}, {"ms", op.value[2]}};
        case Op::Kind::scrolltop: return {{"op", "scrolltop"}, {"id", op.id}};
        case Op::Kind::raw: break;
    }
    return std::move(op.value);
}

Json Tree::take_patches() {
    std::vector<Op> ops = std::move(ops_);
    ops_.clear();
    Json out = Json::array();
    for (Op& op : ops) out.push_back(op_json(op));
    return out;
}

// Keys in sorted order, as in take_patches().dump().
std::string Tree::take_patches_text() {
    std::vector<Op> ops = std::move(ops_);
    ops_.clear();
    std::string out;
    out.reserve(64 * ops.size() + 2);
    out += '[';
    for (size_t i = 0; i < ops.size(); ++i) {
        Op& op = ops[i];
        if (i) out += ',';
        switch (op.kind) {
            case Op::Kind::set:
                out += "{\"id\":";
                write_int(out, op.id);
                out += ",\"op\":\"set\",\"prop\":";
                write_string(out, op.prop);
                out += ",\"value\":";
                write_json(out, op.value);
                out += '}';
                break;
            case Op::Kind::insert:
                out += "{\"index\":";
                write_int(out, op.index);
                out += ",\"node\":";
                if (op.node) {
                    op.node->write_node(out);
                    op.node->mark_sent();
                } else {
                    write_json(out, op.value);
                }
                out += ",\"op\":\"insert\",\"parent\":";
                write_int(out, op.id);
                out += '}';
                break;
            case Op::Kind::remove:
                out += "{\"id\":";
                write_int(out, op.id);
                out += ",\"op\":\"remove\"}";
                break;
            case Op::Kind::fade:
                out += "{\"from\":";
                write_json(out, op.value[0]);
                out += ",\"id\":";
                write_int(out, op.id);
                out += ",\"ms\":";
                write_json(out, op.value[2]);
                out += ",\"op\":\"fade\",\"to\":";
                write_json(out, op.value[1]);
                out += '}';
                break;
            case Op::Kind::scrolltop:
                out += "{\"id\":";
                write_int(out, op.id);
                out += ",\"op\":\"scrolltop\"}";
                break;
            case Op::Kind::raw: write_json(out, op.value); break;
        }
    }
    out += ']';
    return out;
}

void Tree::push_op(Json op) {
    Op o{Op::Kind::raw};
    o.value = std::move(op);
    record(std::move(o));
}

void Tree::record_set(const Element& e, std::string_view prop, const Json& value) {
    if (e.fresh_) return;  // its insert is still to be written, with this value in it
    Op op{Op::Kind::set};
    op.id = e.id_;
    op.prop = std::string(prop);
    op.value = value;
    record(std::move(op));
}

void Tree::record(Op op) {
    bool first = ops_.empty();
    ops_.push_back(std::move(op));
    if (first && dirty_hook_) dirty_hook_();
}

}  // namespace vexlo::ui
