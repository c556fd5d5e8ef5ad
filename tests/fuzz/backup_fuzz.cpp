// backup.json on arbitrary bytes: the file sits under the user's profile, where an unelevated
// program may have written anything, and the elevated product reads it at start and writes the
// registry from it on revert.
//
// Input: the file's bytes. Checked: the text parses to an object or to nothing, with or without
// a byte-order mark, and never to something other than what the bytes say; the store loads
// exactly what parsed, or starts empty and keeps the unreadable file aside byte for byte; what
// it saves loads back the same, also after records are added and removed; every record gives
// restore writes without throwing, each a registry kind with a value that the registry either
// takes or refuses with the reason, and what it takes is recorded by a backup as the same value.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/backup_store.h"
#include "app/core/reg.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/memory_files.h"

using namespace vexlo;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
const std::string kPath = "C:\\Users\\Player\\AppData\\Local\\VexloTweaks\\backup.json";
// Object, list of records, record, multi-string or byte list: the deepest the store writes.
constexpr int kStoreDepth = 4;
// Enough ids to reach every shape of record without letting one large input take seconds.
constexpr size_t kMaxIds = 16;

int depth(const Json& j) {
    if (!j.is_structured()) return 0;
    int d = 0;
    for (auto& e : j) d = std::max(d, depth(e));
    return d + 1;
}

bool blank_file(std::string_view text) { return text.find_first_not_of(" \t\r\n\xEF\xBB\xBF") == std::string_view::npos; }

bool known_kind(platform::RegKind k) {
    using platform::RegKind;
    for (RegKind known : {RegKind::None, RegKind::String, RegKind::ExpandString, RegKind::Binary, RegKind::DWord,
                          RegKind::MultiString, RegKind::QWord})
        if (k == known) return true;
    return false;
}

// The catalog's shape of entries: one deleted on revert, one set back to a fallback value.
const std::vector<RegE>& fallback_entries() {
    static const std::vector<RegE> entries = [] {
        RegE del{"HKLM:\\SYSTEM\\CurrentControlSet\\Control\\PriorityControl", "Win32PrioritySeparation", 38};
        RegE back{"HKCU:\\System\\GameConfigStore", "GameDVR_Enabled", 0};
        back.o = 1;
        return std::vector<RegE>{del, back};
    }();
    return entries;
}

void check_restore_writes(const BackupStore& store, const std::string& id) {
    const Json& rec = *store.get(id);
    const size_t items = rec.is_array() ? rec.size() : 1;
    const std::vector<RegWrite> writes = restore_writes(store, id, fallback_entries());
    CHECK(writes.size() <= items);
    for (const RegWrite& w : writes) {
        // Whatever the record says, a restore writes only where the tweak's entries do.
        CHECK(std::any_of(fallback_entries().begin(), fallback_entries().end(),
                          [&](const RegE& e) { return e.p == w.p && e.n == w.n; }));
        if (!w.v) continue;  // a delete: the value was missing before the tweak
        CHECK(known_kind(w.t));
        platform::RegValue value;
        try {
            value = to_reg_value(*w.v, w.t);
        } catch (const std::invalid_argument&) {
            continue;  // refused with a reason: the revert reports it and keeps the record
        }
        CHECK(value.kind == w.t);
        // A backup taken of this value now would restore it unchanged.
        CHECK(to_reg_value(raw_json(value), value.kind) == value);
    }
}

void check_save_and_reload(platform::FileSystem& files, BackupStore& store) {
    CHECK(store.save());
    auto text = files.read(kPath);
    CHECK(text && text->starts_with(kBom));
    CHECK(!files.exists(kPath + ".tmp"));
    BackupStore again(files, kPath);
    again.load();
    CHECK(again.data() == store.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const Json parsed = parse_backup_text(text);
    CHECK(parsed.is_null() || parsed.is_object());
    if (!text.starts_with(kBom)) CHECK(parse_backup_text(std::string(kBom) + text) == parsed);
    // What the store reads is what the bytes say, and no file the store could have written is refused.
    std::string_view body(text);
    if (body.starts_with(kBom)) body.remove_prefix(kBom.size());
    const Json plain = Json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
    if (parsed.is_object()) CHECK(parsed == plain);
    if (plain.is_object() && depth(plain) <= kStoreDepth) CHECK(parsed == plain);

    fuzz::MemoryFiles files;
    files.write(kPath, text);
    BackupStore store(files, kPath);
    store.load();
    CHECK(store.data().is_object());
    CHECK(*files.read(kPath) == text);  // loading never changes the file
    const std::string aside = kPath + ".unreadable";
    if (parsed.is_object()) {
        CHECK(store.data() == parsed);
        CHECK(!files.exists(aside));
    } else {
        CHECK(store.data().empty());
        if (blank_file(text))
            CHECK(!files.exists(aside));
        else
            CHECK(files.read(aside) == text);
    }

    std::vector<std::string> ids;
    for (auto& [id, rec] : store.data().items()) {
        if (ids.size() == kMaxIds) break;
        ids.push_back(id);
    }
    for (const std::string& id : ids) {
        CHECK(store.has(id));
        check_restore_writes(store, id);
        const Json& rec = *store.get(id);
        const BackupStore::Popped peeked = store.peek_custom(id);
        CHECK(peeked.has);
        CHECK(peeked.v == (rec.is_object() && rec.contains("V") ? rec["V"] : Json(nullptr)));
    }
    // An id without a record restores the catalog's fallbacks, one write per entry.
    const std::string absent = "fuzz_absent_id";
    if (!store.has(absent)) {
        const auto writes = restore_writes(store, absent, fallback_entries());
        CHECK(writes.size() == fallback_entries().size());
        CHECK(!writes[0].v && writes[1].v && *writes[1].v == 1);
    }

    check_save_and_reload(files, store);
    if (!parsed.is_object() && !blank_file(text)) CHECK(files.read(aside) == text);  // saving keeps it aside

    // Changes made after loading go to disk the same way; the first record of an id wins.
    const bool had_absent = store.has(absent);
    const Json first = had_absent ? *store.get(absent) : Json(nullptr);
    const Json added = Json::array({{{"P", "HKCU:\\Fuzz"}, {"N", "Value"}, {"E", false}, {"V", nullptr}}});
    store.put_if_absent(absent, added);
    store.put_if_absent(absent, Json::array());
    CHECK(*store.get(absent) == (had_absent ? first : added));
    if (!ids.empty()) {
        CHECK(store.peek_custom(ids.front()).has);
        CHECK(store.remove(ids.front()) && !store.has(ids.front()));
    }
    check_save_and_reload(files, store);
    return 0;
}
