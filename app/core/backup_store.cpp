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

BackupStore::Popped BackupStore::pop_custom(std::string_view id) {
    const Json* rec = get(id);
    if (!rec) return {};
    Popped out{true, nullptr};
    if (rec->is_object() && rec->contains("V")) out.v = (*rec)["V"];
    remove(id);
    return out;
}

void BackupStore::backup_reg(std::string_view id, const std::vector<RegE>& entries, Reg& reg) {
    if (has(id)) return;
    Json list = Json::array();
    for (const RegE& e : entries) {
        auto raw = reg.get_raw(e.p, e.n);
        if (raw) {
            list.push_back({{"P", e.p}, {"N", e.n}, {"E", true}, {"V", raw_json(*raw)}, {"T", reg_kind_name(raw->kind)}});
        } else {
            list.push_back({{"P", e.p}, {"N", e.n}, {"E", false}, {"V", nullptr}, {"T", reg_kind_name(e.t)}});
        }
    }
    put_if_absent(id, std::move(list));
}

void BackupStore::restore_reg(std::string_view id, const std::vector<RegE>& entries, Reg& reg) {
    if (const Json* rec = get(id)) {
        // A record may come back from disk as one object instead of a list; read both.
        std::vector<const Json*> items;
        if (rec->is_array()) {
            for (auto& r : *rec) items.push_back(&r);
        } else {
            items.push_back(rec);
        }
        for (const Json* r : items) {
            if (!r->is_object() || !r->contains("P") || !r->contains("N")) continue;
            const Json& P = (*r)["P"];
            const Json& N = (*r)["N"];
            if (!P.is_string() || !N.is_string()) continue;
            bool existed = r->contains("E") && (*r)["E"].is_boolean() && (*r)["E"].get<bool>();
            if (!existed) {
                reg.remove(P.get<std::string>(), N.get<std::string>());
                continue;
            }
            std::string kind_name = r->contains("T") && (*r)["T"].is_string() ? (*r)["T"].get<std::string>() : "DWord";
            auto kind = parse_reg_kind(kind_name);
            if (!kind && kind_name == "None") kind = platform::RegKind::None;
            // A kind the registry reported without a name we can write back ("Unknown") is
            // left as the tweak wrote it; the catalog's keys never hold such values.
            if (!kind) continue;
            reg.set(P.get<std::string>(), N.get<std::string>(), r->contains("V") ? (*r)["V"] : Json(nullptr), *kind);
        }
        remove(id);
        return;
    }
    for (const RegE& e : entries) {
        if (e.deletes_on_fallback())
            reg.remove(e.p, e.n);
        else
            reg.set(e.p, e.n, e.o, e.t);
    }
}

}  // namespace vexlo
