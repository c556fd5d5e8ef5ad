#include <gtest/gtest.h>

#include "app/core/backup_store.h"
#include "app/core/paths.h"
#include "test_machine.h"

using namespace vexlo;
using platform::Hive;
using platform::RegKind;
using platform::RegValue;

namespace {

constexpr const char* kKey = "HKCU:\\Software\\VexloTest\\Store";

struct StoreFixture : ::testing::Test {
    testkit::TempMachine pc;
    Reg reg{pc->registry()};
    AppPaths paths = AppPaths::from(pc->files());
    std::unique_ptr<BackupStore> store;

    void SetUp() override {
        pc->files().create_directories(paths.log_dir);
        store = std::make_unique<BackupStore>(pc->files(), paths.backup_file);
        store->load();
    }
    // A new run: the store as read back from disk.
    BackupStore reloaded() {
        BackupStore s(pc->files(), paths.backup_file);
        s.load();
        return s;
    }
    std::string file_text() { return pc->files().read(paths.backup_file).value_or(""); }
};

}  // namespace

// Each kind survives backup, a change, a reload from disk and the restore, byte for byte.
TEST_F(StoreFixture, RoundTripOfEveryKindThroughTheFile) {
    struct Case {
        const char* name;
        RegValue original;
        RegKind declared;
    };
    const Case cases[] = {
        {"dw", RegValue::dword(0xFFFFFFFFu), RegKind::DWord},
        {"qw", RegValue::qword(0x8000000000000001ull), RegKind::QWord},
        {"sz", RegValue::string("Medium \xC3\xA9"), RegKind::String},
        {"ex", RegValue::expand_string("%SystemRoot%\\System32\\x.dll"), RegKind::String},
        {"ms", RegValue::multi_string({"a", "", "c"}), RegKind::String},
        {"bin", RegValue::binary({0, 1, 254, 255}), RegKind::DWord},
    };
    std::vector<RegE> entries;
    for (auto& c : cases) {
        pc->registry().set(Hive::CurrentUser, "Software\\VexloTest\\Store", c.name, c.original);
        entries.push_back({kKey, c.name, 1, c.declared, "<del>"});
    }
    store->backup_reg("t", entries, reg);
    for (auto& e : entries) reg.set(e.p, e.n, 1);

    BackupStore again = reloaded();
    again.restore_reg("t", entries, reg);
    for (auto& c : cases) {
        auto now = pc->registry().get(Hive::CurrentUser, "Software\\VexloTest\\Store", c.name);
        ASSERT_TRUE(now) << c.name;
        EXPECT_EQ(*now, c.original) << c.name;
    }
    EXPECT_FALSE(again.has("t"));
    EXPECT_FALSE(reloaded().has("t"));
}

TEST_F(StoreFixture, StoredFormatIsTheCompatibleOne) {
    pc->registry().set(Hive::CurrentUser, "Software\\VexloTest\\Store", "neg", RegValue::dword(0x80000000u));
    pc->registry().set(Hive::CurrentUser, "Software\\VexloTest\\Store", "ex", RegValue::expand_string("%SystemRoot%\\a"));
    store->backup_reg("svc_x", {{kKey, "neg", 1}, {kKey, "ex", "x", RegKind::String}, {kKey, "missing", "v", RegKind::String}},
                      reg);
    std::string text = file_text();
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    Json j = parse_backup_text(text);
    ASSERT_TRUE(j.is_object());
    const Json& rec = j["svc_x"];
    ASSERT_TRUE(rec.is_array());
    EXPECT_EQ(rec[0], Json({{"P", kKey}, {"N", "neg"}, {"E", true}, {"V", -2147483648LL}, {"T", "DWord"}}));
    EXPECT_EQ(rec[1]["V"], "%SystemRoot%\\a");  // never expanded
    EXPECT_EQ(rec[1]["T"], "ExpandString");
    EXPECT_EQ(rec[2], Json({{"P", kKey}, {"N", "missing"}, {"E", false}, {"V", nullptr}, {"T", "String"}}));
}

TEST_F(StoreFixture, FirstBackupWinsAndMissingValueIsDeletedButKeyStays) {
    RegE e{"HKCU:\\Software\\VexloTest\\New\\Deep", "v", 5};
    store->backup_reg("t", {e}, reg);  // did not exist
    reg.set(e.p, e.n, 5);
    store->backup_reg("t", {e}, reg);  // applied again: must not record 5
    reg.set(e.p, e.n, 6);
    store->restore_reg("t", {e}, reg);
    EXPECT_TRUE(reg.get(e.p, e.n).is_null());
    EXPECT_TRUE(reg.key_exists(e.p));
}

TEST_F(StoreFixture, FallbackWithoutBackup) {
    RegE keep{kKey, "a", 2, RegKind::DWord, 1};
    RegE del{kKey, "b", 2};
    RegE text{kKey, "c", "High", RegKind::String, "Medium"};
    for (auto* e : {&keep, &del, &text}) reg.set(e->p, e->n, e->v, e->t);
    store->restore_reg("none", {keep, del, text}, reg);
    EXPECT_EQ(reg.get(kKey, "a"), 1);
    EXPECT_TRUE(reg.get(kKey, "b").is_null());
    EXPECT_EQ(reg.get(kKey, "c"), "Medium");
    EXPECT_EQ(reg.get_raw(kKey, "c")->kind, RegKind::String);
}

TEST_F(StoreFixture, CustomRecords) {
    store->save_custom("winopt", "0");
    store->save_custom("winopt", "1");  // the first stays
    EXPECT_EQ(reloaded().get("winopt")->at("V"), "0");
    auto popped = store->pop_custom("winopt");
    EXPECT_TRUE(popped.has);
    EXPECT_EQ(popped.v, "0");
    EXPECT_FALSE(store->pop_custom("winopt").has);
    store->save_custom("nullv", nullptr);
    auto n = reloaded().pop_custom("nullv");
    EXPECT_TRUE(n.has);
    EXPECT_TRUE(n.v.is_null());
}

// A save that fails half-way (the power goes, the disk is full) must leave the previous store
// on disk, never a truncated one.
TEST_F(StoreFixture, FailedSaveKeepsThePreviousFileWhole) {
    store->save_custom("a", 1);
    const std::string before = file_text();
    for (int nth : {1, 2}) {  // the temporary write, then the replace
        pc->faults().fail_file_write(nth);
        store->save_custom("b" + std::to_string(nth), 2);
        EXPECT_EQ(file_text(), before) << "failure at write " << nth;
        EXPECT_TRUE(store->has("b" + std::to_string(nth)));  // memory stays right for this run
        EXPECT_FALSE(pc->files().exists(paths.backup_file + ".tmp"));
    }
    pc->faults().set_disk_full(true);
    store->save_custom("c", 3);
    EXPECT_EQ(file_text(), before);
    pc->faults().set_disk_full(false);
    store->save_custom("d", 4);  // the next good save carries everything
    BackupStore again = reloaded();
    for (auto id : {"a", "b1", "b2", "c", "d"}) EXPECT_TRUE(again.has(id)) << id;
}

TEST_F(StoreFixture, UnreadableFileIsKeptAsideNotLost) {
    const std::string junk = "{\"svc_sysmain\": [ {\"P\": \"HKLM:\\\\SYS";  // cut off mid-write by an older version
    pc->files().write(paths.backup_file, junk);
    BackupStore s(pc->files(), paths.backup_file);
    s.load();
    EXPECT_TRUE(s.data().empty());
    EXPECT_EQ(pc->files().read(paths.backup_file + ".unreadable").value_or(""), junk);
    s.save_custom("x", 1);
    EXPECT_TRUE(reloaded().has("x"));
    EXPECT_EQ(pc->files().read(paths.backup_file + ".unreadable").value_or(""), junk);
}

TEST(BackupText, ParsesWithAndWithoutMarkAndRefusesJunk) {
    EXPECT_TRUE(parse_backup_text("\xEF\xBB\xBF{\"a\":{\"V\":1}}").is_object());
    EXPECT_TRUE(parse_backup_text("{\"a\":{\"V\":null}}").is_object());
    EXPECT_TRUE(parse_backup_text("[1,2]").is_null());
    EXPECT_TRUE(parse_backup_text("").is_null());
    EXPECT_TRUE(parse_backup_text("{\"a\":").is_null());
    EXPECT_TRUE(parse_backup_text(std::string(100000, '[')).is_null());
}

TEST(BackupText, ToleratesNullElementsAndSingleObjects) {
    testkit::TempMachine pc;
    Reg reg(pc->registry());
    AppPaths paths = AppPaths::from(pc->files());
    pc->files().create_directories(paths.log_dir);
    reg.set(kKey, "x", 9);
    pc->files().write(paths.backup_file,
                      "{\"t\": [null, {\"P\": \"HKCU:\\\\Software\\\\VexloTest\\\\Store\", \"N\": \"x\", \"E\": true, "
                      "\"V\": 4, \"T\": \"DWord\"}], \"u\": {\"P\": \"HKCU:\\\\Software\\\\VexloTest\\\\Store\", \"N\": "
                      "\"y\", \"E\": true, \"V\": \"s\", \"T\": \"String\"}}");
    BackupStore s(pc->files(), paths.backup_file);
    s.load();
    s.restore_reg("t", {}, reg);
    s.restore_reg("u", {}, reg);
    EXPECT_EQ(reg.get(kKey, "x"), 4);
    EXPECT_EQ(reg.get(kKey, "y"), "s");
}
