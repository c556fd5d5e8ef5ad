#include <gtest/gtest.h>

#include "app/core/backup_store.h"
#include "app/core/paths.h"
#include "app/tweaks/kinds/reg_backup.h"
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

// The registry round trips (every kind through the file, the first backup winning, a value
// recorded as absent being deleted, fallbacks) run on every back end: tests/conformance/backup_reg_test.cpp.

TEST_F(StoreFixture, StoredFormatIsTheCompatibleOne) {
    pc->registry().set(Hive::CurrentUser, "Software\\VexloTest\\Store", "neg", RegValue::dword(0x80000000u));
    pc->registry().set(Hive::CurrentUser, "Software\\VexloTest\\Store", "ex", RegValue::expand_string("%SystemRoot%\\a"));
    backup_reg(*store, "svc_x", {{kKey, "neg", 1}, {kKey, "ex", "x", RegKind::String}, {kKey, "missing", "v", RegKind::String}},
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

TEST_F(StoreFixture, CustomRecords) {
    store->save_custom("winopt", "0");
    store->save_custom("winopt", "1");  // the first stays
    EXPECT_EQ(reloaded().get("winopt")->at("V"), "0");
    auto peeked = store->peek_custom("winopt");
    EXPECT_TRUE(peeked.has);
    EXPECT_EQ(peeked.v, "0");
    EXPECT_TRUE(store->remove("winopt"));
    EXPECT_FALSE(store->peek_custom("winopt").has);
    EXPECT_FALSE(reloaded().has("winopt"));
    store->save_custom("nullv", nullptr);
    auto n = reloaded().peek_custom("nullv");
    EXPECT_TRUE(n.has);
    EXPECT_TRUE(n.v.is_null());
}

// A save that fails half-way (the power goes, the disk is full) must leave the previous store
// on disk, never a truncated one; and a record that did not reach the disk is refused, so that
// the change it was to protect does not go ahead.
TEST_F(StoreFixture, FailedSaveKeepsThePreviousFileWholeAndRefusesTheRecord) {
    store->save_custom("a", 1);
    const std::string before = file_text();
    for (int nth : {1, 2}) {  // the temporary write, then the replace
        pc->faults().fail_file_write(nth);
        EXPECT_THROW(store->save_custom("b" + std::to_string(nth), 2), BackupError) << "failure at write " << nth;
        EXPECT_EQ(file_text(), before) << "failure at write " << nth;
        EXPECT_FALSE(store->has("b" + std::to_string(nth)));
        EXPECT_FALSE(pc->files().exists(paths.backup_file + ".tmp"));
    }
    pc->faults().set_disk_full(true);
    EXPECT_THROW(store->put("a", Json{{"V", 9}}), BackupError);
    EXPECT_EQ(store->get("a")->at("V"), 1);  // the record as it was
    EXPECT_EQ(file_text(), before);
    pc->faults().set_disk_full(false);
    store->save_custom("d", 4);
    BackupStore again = reloaded();
    for (auto id : {"a", "d"}) EXPECT_TRUE(again.has(id)) << id;
    EXPECT_FALSE(again.has("b1"));
}

// A save writes only the records changed since the last one anew; the file must still be, byte
// for byte, the whole store as one encoding writes it, whatever happened in between.
TEST_F(StoreFixture, EverySaveWritesTheWholeStoreExactly) {
    auto whole = [](const BackupStore& s) {
        return "\xEF\xBB\xBF" + s.data().dump(1, '\t', false, Json::error_handler_t::replace) + "\r\n";
    };
    store->save_custom("empty", Json::object());
    EXPECT_EQ(file_text(), whole(*store));
    store->put("list", Json::array({Json{{"P", "HKCU:\\A"}, {"N", "x\ny"}, {"V", Json::array({1, 2})}}, nullptr}));
    store->save_custom("z", Json::array());
    store->save_custom("a\"quoted\"", "caf\xC3\xA9 \xFF");  // a bad UTF-8 byte is replaced, as a dump does
    EXPECT_EQ(file_text(), whole(*store));
    store->put("list", Json{{"V", 3}});  // a changed record is encoded again
    EXPECT_EQ(file_text(), whole(*store));
    pc->faults().set_disk_full(true);
    EXPECT_THROW(store->put("z", Json{{"V", 9}}), BackupError);
    EXPECT_THROW(store->save_custom("new", 1), BackupError);
    pc->faults().set_disk_full(false);
    EXPECT_TRUE(store->remove("empty"));
    EXPECT_EQ(file_text(), whole(*store));
    EXPECT_EQ(store->get("z")->at("V"), Json::array());
    BackupStore again = reloaded();  // records read back from the file
    again.save_custom("b", 2);
    EXPECT_EQ(file_text(), whole(again));
    for (auto id : {"a\"quoted\"", "b", "list", "z"}) EXPECT_TRUE(again.has(id)) << id;
    EXPECT_TRUE(again.remove("a\"quoted\""));
    EXPECT_TRUE(again.remove("b"));
    EXPECT_TRUE(again.remove("list"));
    EXPECT_TRUE(again.remove("z"));
    EXPECT_EQ(file_text(), "\xEF\xBB\xBF{}\r\n");
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
    restore_reg(s, "t", {{kKey, "x", 1}}, reg);
    restore_reg(s, "u", {{kKey, "y", "v", RegKind::String}}, reg);
    EXPECT_EQ(reg.get(kKey, "x"), 4);
    EXPECT_EQ(reg.get(kKey, "y"), "s");
}
