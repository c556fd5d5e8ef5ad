// What every test of this program runs with, whether CTest starts it or a developer does.
#include <cstdlib>
#include <filesystem>

namespace {

bool set_up() {
    // Power-cut safety is not under test here, and the simulated PC's fsync calls cost about 2.5
    // times the run time; the conformance suite turns them back on for its own cases.
    ::setenv("VEXLO_SIM_NO_FSYNC", "1", /*overwrite=*/0);
    // The simulated PCs live in memory where the system has a tmpfs: the kill-anywhere sweeps
    // make hundreds of thousands of small writes, and a disk adds nothing they test.
    std::error_code ec;
    if (!std::getenv("TMPDIR") && std::filesystem::is_directory("/dev/shm", ec)) ::setenv("TMPDIR", "/dev/shm", 0);
    return true;
}

const bool kSetUp = set_up();

}  // namespace
