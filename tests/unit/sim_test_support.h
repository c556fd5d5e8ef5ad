#pragma once
// Shared by the simulated PC's own tests: a fresh machine folder per test, whole-file reads and
// the rows of tables of operations.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/sim/sim_machine.h"

namespace vexlo::testkit {

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// One row of a table of operations that must all behave alike.
struct NamedOp {
    const char* name;
    std::function<void()> run;
};

class SimFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vexlo-sim-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::unique_ptr<sim::SimMachine> open(std::string_view image = "desktop11") { return sim::SimMachine::open(dir_, image); }
    // A new machine of `image` in place of the one the folder held: tables of images use it.
    std::unique_ptr<sim::SimMachine> open_fresh(std::string_view image) {
        std::filesystem::remove_all(dir_);
        return open(image);
    }

    std::filesystem::path dir_;
};

}  // namespace vexlo::testkit
