// The registry round trips of the reg and svc kinds on every back end: what backup_reg records
// from the registry into the backup store, written to backup.json and read back, restore_reg must
// put back exactly.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/core/backup_store.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "tests/conformance/platform_fixture.h"

using namespace vexlo;
using platform::Hive;
using platform::RegKind;
using platform::RegValue;

namespace {

class BackupReg : public testkit::PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        key_ = "HKCU:\\" + user_key_;
        reg_ = std::make_unique<Reg>(registry());
        store_ = std::make_unique<BackupStore>(files(), backup_file());
        store_->load();
    }
    void TearDown() override {
        store_.reset();
        reg_.reset();
        PlatformTest::TearDown();
    }

    std::string backup_file() const { return file("backup.json"); }
    // A new run: the store as read back from disk.
    BackupStore reloaded() {
        BackupStore s(files(), backup_file());
        s.load();
        return s;
    }

    std::string key_;  // user_key_ as the application spells it
    std::unique_ptr<Reg> reg_;
    std::unique_ptr<BackupStore> store_;
};

}  // namespace

// Each kind survives backup, a change, a reload from disk and the restore, byte for byte.
TEST_F(BackupReg, RoundTripOfEveryKindThroughTheFile) {
    struct Case {
        const char* name;
        RegValue original;
        RegKind declared;  // what the tweak writes: the backup keeps the kind found
    };
    const Case cases[] = {
        {"dw", RegValue::dword(0xFFFFFFFFu), RegKind::DWord},
        {"dwtop", RegValue::dword(0x80000000u), RegKind::DWord},
        {"qw", RegValue::qword(0x8000000000000001ull), RegKind::QWord},
        {"qwbig", RegValue::qword(0x1'0000'0002ull), RegKind::DWord},
        {"sz", RegValue::string("Medium \xC3\xA9"), RegKind::String},
        {"szempty", RegValue::string(""), RegKind::String},
        {"ex", RegValue::expand_string("%SystemRoot%\\System32\\x.dll"), RegKind::String},
        {"ms", RegValue::multi_string({"a", "", "c"}), RegKind::String},
        {"msempty", RegValue::multi_string({}), RegKind::String},
        {"bin", RegValue::binary({0, 1, 254, 255}), RegKind::DWord},
        {"binzeros", RegValue::binary({0, 0, 0, 0}), RegKind::DWord},
    };
    std::vector<RegE> entries;
    for (auto& c : cases) {
        registry().set(Hive::CurrentUser, user_key_, c.name, c.original);
        entries.push_back({key_, c.name, 1, c.declared, "<del>"});
    }
    backup_reg(*store_, "t", entries, *reg_);
    for (auto& e : entries) reg_->set(e.p, e.n, 1);
    for (auto& c : cases) ASSERT_FALSE(*registry().get(Hive::CurrentUser, user_key_, c.name) == c.original) << c.name;

    BackupStore again = reloaded();
    restore_reg(again, "t", entries, *reg_);
    for (auto& c : cases) {
        auto now = registry().get(Hive::CurrentUser, user_key_, c.name);
        ASSERT_TRUE(now) << c.name;
        EXPECT_EQ(now->kind, c.original.kind) << c.name;
        EXPECT_EQ(*now, c.original) << c.name;
    }
    EXPECT_FALSE(again.has("t"));
    EXPECT_FALSE(reloaded().has("t"));
}

TEST_F(BackupReg, FirstBackupWinsAndMissingValueIsDeletedButKeyStays) {
    RegE e{key_ + "\\New\\Deep", "v", 5};
    backup_reg(*store_, "t", {e}, *reg_);  // did not exist
    reg_->set(e.p, e.n, 5);
    backup_reg(*store_, "t", {e}, *reg_);  // applied again: must not record 5
    reg_->set(e.p, e.n, 6);
    {
        BackupStore again = reloaded();
        restore_reg(again, "t", {e}, *reg_);
    }
    EXPECT_TRUE(reg_->get(e.p, e.n).is_null());
    EXPECT_FALSE(registry().get(Hive::CurrentUser, user_key_ + "\\New\\Deep", "v").has_value());
    EXPECT_TRUE(reg_->key_exists(e.p));

    // An existing value: the first one recorded comes back, not a later one.
    RegE f{key_, "kept", 1};
    registry().set(Hive::CurrentUser, user_key_, "kept", RegValue::dword(7));
    backup_reg(*store_, "u", {f}, *reg_);
    reg_->set(f.p, f.n, 1);
    backup_reg(*store_, "u", {f}, *reg_);
    {
        BackupStore again = reloaded();
        restore_reg(again, "u", {f}, *reg_);
    }
    EXPECT_EQ(*registry().get(Hive::CurrentUser, user_key_, "kept"), RegValue::dword(7));
}

TEST_F(BackupReg, FallbackWithoutBackup) {
    RegE keep{key_, "a", 2, RegKind::DWord, 1};
    RegE del{key_, "b", 2};
    RegE text{key_, "c", "High", RegKind::String, "Medium"};
    for (auto* e : {&keep, &del, &text}) reg_->set(e->p, e->n, e->v, e->t);
    restore_reg(*store_, "none", {keep, del, text}, *reg_);
    EXPECT_EQ(reg_->get(key_, "a"), 1);
    EXPECT_TRUE(reg_->get(key_, "b").is_null());
    EXPECT_FALSE(registry().get(Hive::CurrentUser, user_key_, "b").has_value());
    EXPECT_EQ(reg_->get(key_, "c"), "Medium");
    EXPECT_EQ(reg_->get_raw(key_, "c")->kind, RegKind::String);
}
