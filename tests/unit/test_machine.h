#pragma once
// A fresh simulated PC in a temporary folder, removed afterwards.
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "platform/sim/sim_machine.h"

namespace vexlo::testkit {

class TempMachine {
public:
    explicit TempMachine(std::string_view image = "desktop11") {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() / ("vexlo-test-" + std::to_string(rd()) + std::to_string(rd()));
        pc_ = sim::SimMachine::open(dir_, image);
    }
    ~TempMachine() {
        pc_.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    sim::SimMachine& operator*() { return *pc_; }
    sim::SimMachine* operator->() { return pc_.get(); }
    const std::filesystem::path& dir() const { return dir_; }
    // Opens the same machine again, as a new run of the product would.
    void reopen() {
        pc_.reset();
        pc_ = sim::SimMachine::open(dir_);
    }

private:
    std::filesystem::path dir_;
    std::unique_ptr<sim::SimMachine> pc_;
};

}  // namespace vexlo::testkit
