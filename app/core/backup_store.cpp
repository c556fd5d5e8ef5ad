#include "app/core/backup_store.h"

namespace vexlo {

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";
// The store writes at most 4 levels (object, record list, record, value array); anything far
// deeper is not ours, and refusing it keeps a hostile file from exhausting the stack.
constexpr int kMaxDepth = 16;
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

void BackupStore::load() {
    data_ = Json::object();
    auto text = files_.read(path_);
    if (!text) return;
    Json j = parse_backup_text(*text);
    if (j.is_object()) {
        data_ = std::move(j);
        return;
    }
    // Keep what we could not read: it may hold the only copy of the user's original values.
    if (text->find_first_not_of(" \t\r\n\xEF\xBB\xBF") == std::string::npos) return;
    for (int i = 1; i < 1000; ++i) {
        std::string aside = path_ + ".unreadable" + (i == 1 ? "" : "." + std::to_string(i));
        if (files_.exists(aside)) continue;
        try {
            files_.write(aside, *text);
        } catch (const std::exception&) {
            // Best effort: the store still starts empty, and the file stays until the next save.
        }
        break;
    }
}

bool BackupStore::save() {
    std::string text(kBom);
    text += data_.dump(1, '\t');
    text += "\r\n";
    std::string tmp = path_ + ".tmp";
    try {
        files_.write(tmp, text);
        files_.replace(tmp, path_);
        return true;
    } catch (const std::exception&) {
        try {
            files_.remove(tmp);
        } catch (const std::exception&) {
            // A leftover temporary file is replaced by the next save.
        }
        return false;
    }
}

const Json* BackupStore::get(std::string_view id) const {
    auto it = data_.find(std::string(id));
    return it == data_.end() ? nullptr : &*it;
}

void BackupStore::put_if_absent(std::string_view id, Json record) {
    std::string key(id);
    if (data_.contains(key)) return;
    data_[key] = std::move(record);
    save();
}

void BackupStore::remove(std::string_view id) {
    auto it = data_.find(std::string(id));
    if (it == data_.end()) return;
    data_.erase(it);
    save();
}

void BackupStore::save_custom(std::string_view id, Json value) { put_if_absent(id, Json{{"V", std::move(value)}}); }

BackupStore::Popped BackupStore::peek_custom(std::string_view id) const {
    const Json* rec = get(id);
    if (!rec) return {};
    Popped out{true, nullptr};
    if (rec->is_object() && rec->contains("V")) out.v = (*rec)["V"];
    return out;
}

BackupStore::Popped BackupStore::pop_custom(std::string_view id) {
    Popped out = peek_custom(id);
    if (out.has) remove(id);
    return out;
}

}  // namespace vexlo
