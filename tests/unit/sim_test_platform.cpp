// The conformance suite's back end on Linux: a fresh simulated PC in a temporary folder.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "tests/conformance/test_platform.h"

namespace vexlo::testkit {

TestPlatform make_test_platform() {
    namespace fs = std::filesystem;
    std::string tmpl = (fs::temp_directory_path() / "vexlo-conformance-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    fs::path dir = tmpl;
    TestPlatform made;
    made.platform = sim::SimMachine::open(dir);
    made.cleanup = [dir] {
        std::error_code ec;
        fs::remove_all(dir, ec);
    };
    // The whole machine goes with its folder.
    made.remove_user_key = [](const std::string&) {};
    made.running_image = "explorer.exe";  // every built-in image runs the desktop shell
    auto* machine = static_cast<sim::SimMachine*>(made.platform.get());
    // The suite checks what the product relies on, flushing to disk included, even where the
    // other tests leave it out (VEXLO_SIM_NO_FSYNC).
    dynamic_cast<sim::SimFiles&>(machine->files()).set_fsync(true);
    // A host symbolic link is what a link is on the simulated PC.
    made.make_link = [machine](const std::string& link, const std::string& target) -> std::string {
        std::error_code ec;
        fs::create_symlink(machine->host_path(target), machine->host_path(link), ec);
        return ec ? "the host cannot make a symbolic link here: " + ec.message() : std::string();
    };
    // Windows Error Reporting: on demand, stopped, and needed by no other service on every
    // image; the machine goes with its folder, whatever the test changed.
    made.make_service = [](std::string&) { return std::string("WerSvc"); };
    made.start_process = [machine](std::string&) { return machine->start_process("VexloConformanceChild.exe"); };
    made.start_guarded_process = [machine](std::string&) {
        return machine->start_process("VexloGuardedChild.exe", platform::PriorityClass::Normal, true);
    };
    made.prepare_self_copy = [machine] {
        machine->place_running_core();
        return std::string();
    };
    return made;
}

uint32_t test_process_id() { return uint32_t(::getpid()); }

}  // namespace vexlo::testkit
