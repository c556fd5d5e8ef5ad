#include "app/tweaks/kinds/reg_backup.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "app/core/text.h"

namespace vexlo {

void backup_reg(BackupStore& store, std::string_view id, const std::vector<RegE>& entries, Reg& reg) {
    if (store.has(id)) return;
    Json list = Json::array();
    backup_reg_into(list, entries, reg);
    store.put_if_absent(id, std::move(list));
}

void backup_reg_into(Json& list, const std::vector<RegE>& entries, Reg& reg) {
    for (const RegE& e : entries) {
        auto raw = reg.get_raw(e.p, e.n);
        if (raw) {
            list.push_back({{"P", e.p}, {"N", e.n}, {"E", true}, {"V", raw_json(*raw)}, {"T", reg_kind_name(raw->kind)}});
        } else {
            list.push_back({{"P", e.p}, {"N", e.n}, {"E", false}, {"V", nullptr}, {"T", reg_kind_name(e.t)}});
        }
    }
}

bool same_place(const RegE& e, const std::string& p, const std::string& n) {
    if (!iequals(e.n, n)) return false;
    if (iequals(e.p, p)) return true;
    auto a = parse_reg_path(e.p);
    auto b = parse_reg_path(p);
    return a && b && a->hive == b->hive && iequals(a->subkey, b->subkey);
}

std::optional<std::string> reg_record_problem(const Json& rec) {
    if (!rec.is_array() && !rec.is_object()) return "not a list of registry values";
    for (const Json* r : record_items(rec)) {
        if (!r->is_object()) return "an entry is not an object";
        for (const char* f : {"P", "N"})
            if (!r->contains(f) || !(*r)[f].is_string()) return std::string("an entry has no text ") + f;
        if (r->contains("E") && !(*r)["E"].is_boolean()) return "an entry's E is not true or false";
        if (r->contains("T") && !(*r)["T"].is_string()) return "an entry's T is not text";
    }
    return std::nullopt;
}

std::vector<RegWrite> restore_writes(const BackupStore& store, std::string_view id, const std::vector<RegE>& entries,
                                     int* ignored) {
    std::vector<RegWrite> out;
    int skipped = 0;
    if (const Json* rec = store.get(id)) {
        for (const Json* r : record_items(*rec)) {
            if (!r->is_object() || !r->contains("P") || !r->contains("N")) continue;
            const Json& P = (*r)["P"];
            const Json& N = (*r)["N"];
            if (!P.is_string() || !N.is_string()) continue;
            auto entry = std::find_if(entries.begin(), entries.end(), [&](const RegE& e) {
                return same_place(e, P.get<std::string>(), N.get<std::string>());
            });
            if (entry == entries.end()) {
                ++skipped;
                continue;
            }
            // Written where the catalog says, whatever spelling of the path the record carries.
            bool existed = r->contains("E") && (*r)["E"].is_boolean() && (*r)["E"].get<bool>();
            if (!existed) {
                out.push_back({entry->p, entry->n, std::nullopt});
                continue;
            }
            std::string kind_name = r->contains("T") && (*r)["T"].is_string() ? (*r)["T"].get<std::string>() : "DWord";
            auto kind = parse_reg_kind(kind_name);
            if (!kind && kind_name == "None") kind = platform::RegKind::None;
            // A kind the registry reported without a name we can write back ("Unknown") is
            // left as the tweak wrote it; the catalog's keys never hold such values.
            if (!kind) continue;
            out.push_back({entry->p, entry->n, r->contains("V") ? (*r)["V"] : Json(nullptr), *kind});
        }
        if (ignored) *ignored = skipped;
        return out;
    }
    for (const RegE& e : entries) {
        if (e.deletes_on_fallback())
            out.push_back({e.p, e.n, std::nullopt});
        else
            out.push_back({e.p, e.n, e.o, e.t});
    }
    if (ignored) *ignored = 0;
    return out;
}

void restore_reg(BackupStore& store, std::string_view id, const std::vector<RegE>& entries, Reg& reg,
                 const std::function<void(const std::string&)>& warn) {
    const bool recorded = store.has(id);
    int ignored = 0;
    auto writes = restore_writes(store, id, entries, &ignored);
    if (ignored > 0 && warn) warn(ignored_places_line(id, ignored));
    for (const RegWrite& w : writes) write_reg(reg, w);
    if (recorded) store.remove(id);
}

std::vector<RegWrite> apply_writes(const std::vector<RegE>& entries) {
    std::vector<RegWrite> out;
    out.reserve(entries.size());
    for (const RegE& e : entries) out.push_back({e.p, e.n, e.v, e.t});
    return out;
}

void write_reg(Reg& reg, const RegWrite& w) {
    if (w.v) {
        reg.set(w.p, w.n, *w.v, w.t);
        return;
    }
    reg.remove(w.p, w.n);
    // A delete that did not happen must not pass for one: a restore would drop its record
    // with the tweak's value still in place.
    if (reg.get_raw(w.p, w.n))
        throw std::runtime_error("Could not delete " + w.p + "\\" + w.n + ".");
}

std::string reg_value_shown(const platform::RegValue& v) {
    using platform::RegKind;
    std::string text;
    switch (v.kind) {
        case RegKind::DWord:
        case RegKind::QWord:
        case RegKind::String:
        case RegKind::ExpandString:
        case RegKind::MultiString:
            text = value_text(raw_json(v));
            break;
        default:
            for (uint8_t b : v.bytes) {
                char pair[4];
                std::snprintf(pair, sizeof pair, "%02X", unsigned(b));
                if (!text.empty()) text += ' ';
                text += pair;
            }
            break;
    }
    if (text.empty()) text = "\"\"";
    return text + " (" + reg_kind_name(v.kind) + ")";
}

std::vector<PlannedChange> describe_reg_writes(Reg& reg, const std::vector<RegWrite>& writes) {
    std::vector<PlannedChange> out;
    for (const RegWrite& w : writes) {
        auto now = reg.get_raw(w.p, w.n);
        std::string next;
        if (!w.v) {
            if (!now) continue;
            next = "(deleted)";
        } else {
            try {
                platform::RegValue value = to_reg_value(*w.v, w.t);
                if (now && *now == value) continue;
                next = reg_value_shown(value);
            } catch (const std::invalid_argument&) {
                // Data that does not fit its kind: the write itself will fail with the reason.
                next = value_text(*w.v) + " (" + reg_kind_name(w.t) + ")";
            }
        }
        out.push_back({w.p + "\\" + (w.n.empty() ? std::string("(default)") : w.n),
                       now ? reg_value_shown(*now) : std::string("(not set)"), std::move(next)});
    }
    return out;
}

}  // namespace vexlo
