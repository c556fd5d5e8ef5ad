#include "app/core/backup_store.h"

#include <optional>

namespace vexlo {

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";
// The store writes at most 5 levels (object, record list, record, value array, plan list);
// anything far deeper is not ours, and refusing it keeps a hostile file from exhausting the
// stack.
constexpr int kMaxDepth = 16;
constexpr int kMaxCopies = 999;
}  // namespace

Json parse_backup_text(std::string_view text) {
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    bool too_deep = false;
    Json::parser_callback_t cb = [&](int depth, Json::parse_event_t, Json&) {
        if (depth > kMaxDepth) too_deep = true;
        return !too_deep;
    };
    Json j = Json::parse(text.begin(), text.end(), cb, /*allow_exceptions=*/false);
    if (too_deep || j.is_discarded() || !j.is_object()) return nullptr;
    return j;
}

std::vector<const Json*> record_items(const Json& rec) {
    std::vector<const Json*> out;
    if (rec.is_array()) {
        for (auto& r : rec)
            if (!r.is_null()) out.push_back(&r);
    } else if (!rec.is_null()) {
        out.push_back(&rec);
    }
    return out;
}

// Keeps the damaged text next to the store, once per distinct content: a file that stays
// damaged over many starts is copied once, not once per start.
std::string BackupStore::keep_aside(const std::string& text) {
    if (read_only_) return {};
    std::string free_name;
    for (int i = 1; i <= kMaxCopies; ++i) {
        std::string aside = path_ + ".unreadable" + (i == 1 ? "" : "." + std::to_string(i));
        if (!files_.exists(aside)) {
            if (free_name.empty()) free_name = aside;
            continue;
        }
        auto old = files_.read(aside);
        if (old && *old == text) return aside;
    }
    if (free_name.empty()) return {};
    try {
        files_.write(free_name, text);
        return free_name;
    } catch (const std::exception&) {
        // Best effort: the store still starts empty, and the file stays until the next save.
        return {};
    }
}

void BackupStore::load(bool read_only) {
    read_only_ = read_only;
    data_ = Json::object();
    member_text_.clear();
    damage_ = {};
    loaded_text_.clear();
    auto text = files_.read(path_);
    if (!text) return;
    Json j = parse_backup_text(*text);
    if (j.is_object()) {
        data_ = std::move(j);
        loaded_text_ = std::move(*text);
        return;
    }
    // Keep what we could not read: it may hold the only copy of the user's original values.
    if (text->find_first_not_of(" \t\r\n\xEF\xBB\xBF") == std::string::npos) return;
    damage_.whole_file = true;
    damage_.copy_path = keep_aside(*text);
}

void BackupStore::drop_damaged(const std::vector<std::string>& ids) {
    if (ids.empty()) return;
    if (damage_.copy_path.empty() && !loaded_text_.empty()) damage_.copy_path = keep_aside(loaded_text_);
    for (auto& id : ids) {
        data_.erase(id);
        member_text_.erase(id);
        damage_.ids.push_back(id);
    }
}

std::string BackupStore::file_text() {
    std::string text(kBom);
    if (data_.empty()) {
        text += "{}";
    } else {
        text += "{\n";
        bool first = true;
        for (auto it = data_.begin(); it != data_.end(); ++it) {
            auto member = member_text_.find(it.key());
            if (member == member_text_.end()) {
                // One level deeper than on its own: every line after the first gets a tab more.
                std::string value = it.value().dump(1, '\t', false, Json::error_handler_t::replace);
                std::string m = "\t" + Json(it.key()).dump(-1, ' ', false, Json::error_handler_t::replace) + ": ";
                m.reserve(m.size() + value.size() + value.size() / 8);
                for (char c : value) {
                    m += c;
                    if (c == '\n') m += '\t';
                }
                member = member_text_.emplace(it.key(), std::move(m)).first;
            }
            if (!first) text += ",\n";
            text += member->second;
            first = false;
        }
        text += "\n}";
    }
    text += "\r\n";
    return text;
}

bool BackupStore::save(std::string* why) {
    std::string text = file_text();
    std::string tmp = path_ + ".tmp";
    try {
        files_.write(tmp, text);
        files_.replace(tmp, path_);
        return true;
    } catch (const std::exception& e) {
        if (why) *why = e.what();
        try {
            files_.remove(tmp);
        } catch (const std::exception&) {
            // A leftover temporary file is replaced by the next save and removed at start.
        }
        return false;
    }
}

void BackupStore::save_or_throw() {
    std::string why;
    if (save(&why)) return;
    throw BackupError("The original values could not be saved, so nothing was changed (" + why + ")");
}

const Json* BackupStore::get(std::string_view id) const {
    auto it = data_.find(std::string(id));
    return it == data_.end() ? nullptr : &*it;
}

bool BackupStore::put_if_absent(std::string_view id, Json record) {
    std::string key(id);
    if (data_.contains(key)) return false;
    data_[key] = std::move(record);
    member_text_.erase(key);
    try {
        save_or_throw();
    } catch (...) {
        data_.erase(key);
        member_text_.erase(key);
        throw;
    }
    return true;
}

void BackupStore::put(std::string_view id, Json record) {
    std::string key(id);
    auto it = data_.find(key);
    std::optional<Json> before;
    if (it != data_.end()) before = *it;
    data_[key] = std::move(record);
    member_text_.erase(key);
    try {
        save_or_throw();
    } catch (...) {
        member_text_.erase(key);
        if (before)
            data_[key] = std::move(*before);
        else
            data_.erase(key);
        throw;
    }
}

bool BackupStore::remove(std::string_view id) {
    auto it = data_.find(std::string(id));
    if (it == data_.end()) return true;
    data_.erase(it);
    member_text_.erase(std::string(id));
    return save();
}

void BackupStore::save_custom(std::string_view id, Json value) { put_if_absent(id, Json{{"V", std::move(value)}}); }

BackupStore::Popped BackupStore::peek_custom(std::string_view id) const {
    const Json* rec = get(id);
    if (!rec) return {};
    Popped out{true, nullptr};
    if (rec->is_object() && rec->contains("V")) out.v = (*rec)["V"];
    return out;
}

}  // namespace vexlo
