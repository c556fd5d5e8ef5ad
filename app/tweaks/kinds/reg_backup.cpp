#include "app/tweaks/kinds/reg_backup.h"

#include <cstdio>
#include <stdexcept>

namespace vexlo {

void backup_reg(BackupStore& store, std::string_view id, const std::vector<RegE>& entries, Reg& reg) {
    if (store.has(id)) return;
    Json list = Json::array();
    for (const RegE& e : entries) {
        auto raw = reg.get_raw(e.p, e.n);
        if (raw) {
            list.push_back({{"P", e.p}, {"N", e.n}, {"E", true}, {"V", raw_json(*raw)}, {"T", reg_kind_name(raw->kind)}});
        } else {
            list.push_back({{"P", e.p}, {"N", e.n}, {"E", false}, {"V", nullptr}, {"T", reg_kind_name(e.t)}});
        }
    }
    store.put_if_absent(id, std::move(list));
}

std::vector<RegWrite> restore_writes(const BackupStore& store, std::string_view id, const std::vector<RegE>& entries) {
    std::vector<RegWrite> out;
    if (const Json* rec = store.get(id)) {
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
                out.push_back({P.get<std::string>(), N.get<std::string>(), std::nullopt});
                continue;
            }
            std::string kind_name = r->contains("T") && (*r)["T"].is_string() ? (*r)["T"].get<std::string>() : "DWord";
            auto kind = parse_reg_kind(kind_name);
            if (!kind && kind_name == "None") kind = platform::RegKind::None;
            // A kind the registry reported without a name we can write back ("Unknown") is
            // left as the tweak wrote it; the catalog's keys never hold such values.
            if (!kind) continue;
            out.push_back({P.get<std::string>(), N.get<std::string>(), r->contains("V") ? (*r)["V"] : Json(nullptr), *kind});
        }
        return out;
    }
    for (const RegE& e : entries) {
        if (e.deletes_on_fallback())
            out.push_back({e.p, e.n, std::nullopt});
        else
            out.push_back({e.p, e.n, e.o, e.t});
    }
    return out;
}

void restore_reg(BackupStore& store, std::string_view id, const std::vector<RegE>& entries, Reg& reg) {
    const bool recorded = store.has(id);
    for (const RegWrite& w : restore_writes(store, id, entries)) write_reg(reg, w);
    if (recorded) store.remove(id);
}

std::vector<RegWrite> apply_writes(const std::vector<RegE>& entries) {
    std::vector<RegWrite> out;
    out.reserve(entries.size());
    for (const RegE& e : entries) out.push_back({e.p, e.n, e.v, e.t});
    return out;
}

void write_reg(Reg& reg, const RegWrite& w) {
    if (w.v)
        reg.set(w.p, w.n, *w.v, w.t);
    else
        reg.remove(w.p, w.n);
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
