// Facts read from the real PC: how the Windows caption is made from ProductName and the build,
// and whether this process runs as the desktop's user.
#include <gtest/gtest.h>
#include <windows.h>

#include <iostream>
#include <optional>

#include "platform/win32/desktop_user.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace {

using namespace vexlo;
using platform::Hive;
using platform::RegValue;

constexpr const char* kCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// Changes HKLM's version values for the test and puts the originals back. Only under Wine:
// a real PC's version must never be touched.
class VersionValues : public ::testing::Test {
protected:
    void SetUp() override {
        if (!win32::running_under_wine()) GTEST_SKIP() << "changes HKLM's version values: only under Wine";
        for (const char* name : {"CurrentBuildNumber", "ProductName"}) saved_.push_back({name, reg_->get(Hive::LocalMachine, kCurrentVersion, name)});
    }
    void TearDown() override {
        for (auto& [name, value] : saved_) {
            if (value) reg_->set(Hive::LocalMachine, kCurrentVersion, name, *value);
            else reg_->remove(Hive::LocalMachine, kCurrentVersion, name);
        }
    }
    void set_version(const char* build, const char* product) {
        reg_->set(Hive::LocalMachine, kCurrentVersion, "CurrentBuildNumber", RegValue::string(build));
        reg_->set(Hive::LocalMachine, kCurrentVersion, "ProductName", RegValue::string(product));
    }

    std::unique_ptr<platform::Registry> reg_ = win32::make_registry();
    std::unique_ptr<platform::SystemInfo> info_ = win32::make_system_info();
    std::vector<std::pair<std::string, std::optional<RegValue>>> saved_;
};

TEST_F(VersionValues, CaptionSaysElevenFromBuild22000) {
    struct Case {
        const char* build;
        const char* product;
        uint32_t expected_build;
        const char* caption;
    };
    const Case cases[] = {
        {"19045", "Windows 10 Pro", 19045, "Microsoft Windows 10 Pro"},
        {"22000", "Windows 10 Home", 22000, "Microsoft Windows 11 Home"},
        {"26100", "Windows 10 Pro for Workstations", 26100, "Microsoft Windows 11 Pro for Workstations"},
        {"22631", "Microsoft Windows 10 Enterprise", 22631, "Microsoft Windows 11 Enterprise"},
        {"9600", "Windows 8.1 Pro", 9600, "Microsoft Windows 8.1 Pro"},
        {"not a number", "Windows 10 Pro", 0, "Microsoft Windows 10 Pro"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.build);
        set_version(c.build, c.product);
        EXPECT_EQ(info_->windows_build(), c.expected_build);
        EXPECT_EQ(info_->os_caption(), c.caption);
    }
    reg_->remove(Hive::LocalMachine, kCurrentVersion, "CurrentBuildNumber");
    EXPECT_EQ(info_->windows_build(), 0u);
}

TEST(SystemInfoWin, FactsUnderWine) {
    if (!win32::running_under_wine()) GTEST_SKIP() << "Wine's answers only";
    auto info = win32::make_system_info();
    EXPECT_TRUE(info->is_elevated()) << "everyone is administrator under Wine";
    auto cpus = info->cpu_names();
    ASSERT_EQ(cpus.size(), 1u);
    EXPECT_FALSE(cpus[0].empty());
    EXPECT_NE(cpus[0].front(), ' ');
    for (auto& gpu : info->gpu_names()) EXPECT_FALSE(gpu.empty());
    EXPECT_GE(info->refresh_hz(), 2);
}

// The tests run as the desktop's own user (under Wine there is only one): never a mismatch.
// Where Windows answers, the desktop's user must have been found, not merely left unknown.
TEST(SystemInfoWin, TheDesktopsOwnUserIsNoMismatch) {
    auto check = win32::check_desktop_user();
    EXPECT_FALSE(check.mismatch.has_value()) << check.mismatch->process_user << " / " << check.mismatch->desktop_user;
    std::cout << "desktop user found by: " << (check.found_by ? check.found_by : "nothing (unknown)") << "\n";
    if (!win32::running_under_wine()) EXPECT_NE(check.found_by, nullptr);
    EXPECT_FALSE(win32::make_system_info()->desktop_user_mismatch().has_value());
}

}  // namespace
