#pragma once
// The one place the conformance suite learns which back end it runs against. Each build
// defines make_test_platform() once: the Linux tests on a simulated PC in a temporary folder
// (tests/unit/sim_test_platform.cpp), the Windows tests on the real PC
// (tests/windows/win32_test_platform.cpp).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace vexlo::testkit {

struct TestPlatform {
    std::unique_ptr<platform::Platform> platform;
    // Run after the test, after platform-made objects are gone.
    std::function<void()> cleanup;
    // Deletes an HKCU key with everything below it, and its parents up to the first level
    // when that leaves them empty: the seam never deletes keys, but a real PC keeps what a
    // test wrote. Nothing to do where the whole machine is thrown away.
    std::function<void(const std::string& subkey)> remove_user_key;
    // An image name that list() always holds on this back end.
    std::string running_image;

    // Cases a back end may have to leave out, with the reason shown as the skip message:
    // Wine's power API crashes the process, and a part may not be able to change things yet.
    bool can_change_tasks = true;
    std::string tasks_skip_reason;
    bool can_change_power = true;
    std::string power_skip_reason;
    // Makes `link` a symbolic link to `target` (paths of this back end; the target need not
    // exist). Empty when made; otherwise why this back end cannot, shown as the skip message.
    std::function<std::string(const std::string& link, const std::string& target)> make_link;
    // A stopped service, started on demand, that nothing depends on and that a test may
    // change, start and stop; the cleanup undoes whatever the test leaves. Empty, with the
    // reason in `skip`, where this back end cannot offer one.
    std::function<std::string(std::string& skip)> make_service;
    // A process started for this test, which it may change the priority of and stop: its pid;
    // 0, with the reason in `skip`, where this back end cannot offer one (an empty function
    // skips too). The cleanup stops what the test left running.
    std::function<uint32_t(std::string& skip)> start_process;
    // The same for a process that refuses changes (protected, guarded by an anti-cheat).
    std::function<uint32_t(std::string& skip)> start_guarded_process;
    // Makes SelfCopy's source (the running program) ready. Empty when done; otherwise why the
    // self copy is left out here (an empty function leaves it out: on a PC with the product
    // installed, the test would replace its copy).
    std::function<std::string()> prepare_self_copy;
    // Why a part cannot be checked on this back end; empty: it is.
    std::string timer_skip_reason;
    std::string tray_skip_reason;
    std::string echo_skip_reason;
    // Wine stands in for Windows in the Windows build's tests; the few cases where Wine is
    // known to answer unlike Windows skip there and say why.
    bool under_wine = false;
};

TestPlatform make_test_platform();

// This test process's id, for names that runs at the same time must not share.
uint32_t test_process_id();

}  // namespace vexlo::testkit
