#pragma once
// The conformance suites' fixture: this build's back end, with a key under HKCU and a folder
// in TEMP of this test alone (a real PC keeps both between tests and runs), both removed
// afterwards.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/conformance/test_platform.h"

namespace vexlo::testkit {

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        made_ = make_test_platform();
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string unique =
            std::string(test->test_suite_name()) + "-" + test->name() + "-" + std::to_string(test_process_id());
        user_key_ = "Software\\VexloConformance\\" + unique;
        folder_ = files().known_folder(platform::KnownFolder::Temp) + "\\vexlo-" + unique;
        files().create_directories(folder_);
    }
    void TearDown() override {
        if (!made_.platform) return;
        try {
            remove_tree(folder_);
        } catch (const platform::PlatformError& e) {
            ADD_FAILURE() << "could not remove " << folder_ << ": " << e.what();
        }
        EXPECT_FALSE(files().exists(folder_));
        if (made_.remove_user_key) made_.remove_user_key(user_key_);
        made_.platform.reset();
        if (made_.cleanup) made_.cleanup();
    }

    platform::Platform& p() { return *made_.platform; }
    platform::FileSystem& files() { return made_.platform->files(); }
    platform::Registry& registry() { return made_.platform->registry(); }
    const TestPlatform& made() const { return made_; }
    // A file in this test's folder.
    std::string file(const std::string& name) const { return folder_ + "\\" + name; }

    std::string user_key_;  // under HKCU, a key a real PC does not have
    std::string folder_;

private:
    // Through the seam, read-only files too.
    void remove_tree(const std::string& path) {
        for (const platform::DirEntry& e : files().list(path)) {
            const std::string child = path + "\\" + e.name;
            if (e.is_directory) {
                remove_tree(child);
            } else {
                if (files().is_read_only(child)) files().set_read_only(child, false);
                files().remove(child);
            }
        }
        files().remove(path);
    }

    TestPlatform made_;
};

}  // namespace vexlo::testkit
