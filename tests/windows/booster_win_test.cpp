// What the game booster and the live tiles ask of the real PC: the ntdll timer calls, the
// privilege decision around the standby purge, the memory and processor figures, priority
// classes and force-stops on a child process of this test, and ICMP echo to 127.0.0.1.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/win32/kernel_calls.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"
#include "tests/windows/child_process.h"

namespace {

using namespace vexlo;
using platform::PlatformError;
using platform::PriorityClass;

// --- Timer resolution ---------------------------------------------------------------------

TEST(PerformanceWin, NtdllTimerCallsBindAndAnswerWithinTheirRange) {
    auto perf = win32::make_performance();
    ASSERT_TRUE(perf->booster_available());
    auto before = perf->query_timer_resolution();
    ASSERT_TRUE(before.has_value());
    EXPECT_GT(before->minimum, 0u);
    EXPECT_LE(before->minimum, before->current);
    EXPECT_LE(before->current, before->maximum);

    // Holding 0.5 ms: the system runs at that or the finest it has, never coarser. (Wine
    // answers success and stays at its fixed 1 ms.)
    uint32_t held = perf->set_timer_resolution(5000, true);
    EXPECT_LE(held, std::max<uint32_t>(5000, before->minimum));
    EXPECT_GE(held, before->minimum);
    auto during = perf->query_timer_resolution();
    ASSERT_TRUE(during.has_value());
    EXPECT_EQ(during->current, held);
    uint32_t released = perf->set_timer_resolution(5000, false);
    EXPECT_GE(released, before->minimum);
    EXPECT_LE(released, before->maximum);
}

// The core has no visible window of its own; Windows 11 would ignore its timer request unless
// it asked to be exempt, which the first hold does.
TEST(PerformanceWin, TheFirstHoldExemptsTheProcessFromIgnoredTimerRequests) {
    auto perf = win32::make_performance();
    ASSERT_TRUE(perf->booster_available());
    perf->set_timer_resolution(5000, true);
    perf->set_timer_resolution(5000, false);
    if (win32::running_under_wine()) GTEST_SKIP() << "Wine has no GetProcessInformation to read the setting back";
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    if (!GetProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state))
        GTEST_SKIP() << "this system cannot read the setting back (error " << GetLastError()
                     << "; Windows reads it from 11 22H2 on)";
    EXPECT_TRUE(state.ControlMask & PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION);
    EXPECT_FALSE(state.StateMask & PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION);
}

// --- The purge's privilege ----------------------------------------------------------------

TEST(PerformanceWin, PrivilegeCountsOnlyWhenTheAdjustmentAssignedIt) {
    struct Case {
        BOOL adjusted;
        DWORD last_error;
        bool enabled;
    };
    const Case cases[] = {
        {TRUE, ERROR_SUCCESS, true},
        {TRUE, ERROR_NOT_ALL_ASSIGNED, false},  // "success" for a privilege the token lacks
        {FALSE, ERROR_ACCESS_DENIED, false},
        {FALSE, ERROR_SUCCESS, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(win32::privilege_really_enabled(c.adjusted, c.last_error), c.enabled) << c.adjusted << " " << c.last_error;
}

TEST(PerformanceWin, PurgeWithoutThePrivilegeNeverReportsSuccess) {
    constexpr int32_t access_denied = int32_t(0xC0000022);
    EXPECT_EQ(win32::purge_status(true, 0), 0);
    EXPECT_EQ(win32::purge_status(false, 0), win32::kStatusPrivilegeNotHeld);
    EXPECT_EQ(win32::purge_status(false, access_denied), access_denied);
    EXPECT_EQ(win32::purge_status(true, access_denied), access_denied);
}

// --- Memory and processor -----------------------------------------------------------------

uint64_t installed_bytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

TEST(PerformanceWin, MemoryInUseIsWithinTheInstalledMemory) {
    auto use = win32::make_performance()->memory_use();
    ASSERT_TRUE(use.has_value());
    EXPECT_GT(use->total_kib, 0u);
    EXPECT_LE(use->free_kib, use->total_kib);
}

TEST(PerformanceWin, MemoryListsFitInThePhysicalMemory) {
    auto lists = win32::make_performance()->memory_lists();
    if (!lists) {
        if (win32::running_under_wine())
            GTEST_SKIP() << "Wine does not answer NtQuerySystemInformation(SystemMemoryListInformation)";
        FAIL() << "the memory lists could not be read (the run must be elevated)";
    }
    EXPECT_GT(lists->free_bytes + lists->standby_bytes, 0u);
    EXPECT_LE(lists->free_bytes + lists->standby_bytes, installed_bytes());
}

TEST(PerformanceWin, ProcessorLoadIsAPercentageAcrossCalls) {
    auto perf = win32::make_performance();
    auto first = perf->processor_load();  // since start-up
    ASSERT_TRUE(first.has_value());
    EXPECT_GE(*first, 0.0);
    EXPECT_LE(*first, 100.0);
    // Some work and some idle time between the two readings, so that the second has a span.
    volatile uint64_t sink = 0;
    for (uint64_t i = 0; i < 50'000'000; ++i) sink += i;
    Sleep(100);
    auto second = perf->processor_load();
    ASSERT_TRUE(second.has_value());
    EXPECT_GE(*second, 0.0);
    EXPECT_LE(*second, 100.0);
}

// --- Priorities and force-stops -------------------------------------------------------------

// The child: this test program again, sleeping until it is ended.
TEST(BoosterChildWin, SleepsUntilEnded) {
    if (testkit::env_value(L"VEXLO_TEST_SLEEP").empty()) GTEST_SKIP() << "only run as the priority tests' child";
    Sleep(60000);
}

class ChildProcess : public ::testing::Test {
protected:
    void SetUp() override {
        testkit::ScopedEnv env({{L"VEXLO_TEST_SLEEP", std::wstring(L"1")}});
        std::wstring exe = testkit::self_path();
        std::wstring line = L"\"" + exe + L"\" --gtest_filter=BoosterChildWin.SleepsUntilEnded";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        ASSERT_TRUE(CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &child_))
            << GetLastError();
        CloseHandle(child_.hThread);
    }
    void TearDown() override {
        if (child_.hProcess) {
            TerminateProcess(child_.hProcess, 1);
            CloseHandle(child_.hProcess);
        }
    }
    uint32_t pid() const { return uint32_t(child_.dwProcessId); }

    PROCESS_INFORMATION child_{};
    std::unique_ptr<platform::Processes> processes_ = win32::make_processes();
};

TEST_F(ChildProcess, PriorityClassesAreReadAndSet) {
    ASSERT_EQ(processes_->priority(pid()), PriorityClass::Normal);
    for (PriorityClass cls : {PriorityClass::BelowNormal, PriorityClass::Idle, PriorityClass::AboveNormal,
                              PriorityClass::High, PriorityClass::Normal}) {
        processes_->set_priority(pid(), cls);
        EXPECT_EQ(processes_->priority(pid()), cls) << platform::priority_name(cls);
        EXPECT_EQ(GetPriorityClass(child_.hProcess),
                  DWORD(cls == PriorityClass::BelowNormal   ? BELOW_NORMAL_PRIORITY_CLASS
                        : cls == PriorityClass::Idle        ? IDLE_PRIORITY_CLASS
                        : cls == PriorityClass::AboveNormal ? ABOVE_NORMAL_PRIORITY_CLASS
                        : cls == PriorityClass::High        ? HIGH_PRIORITY_CLASS
                                                            : NORMAL_PRIORITY_CLASS))
            << platform::priority_name(cls);
    }
}

TEST_F(ChildProcess, RealtimeIsNeverSet) {
    EXPECT_THROW(processes_->set_priority(pid(), PriorityClass::Realtime), PlatformError);
    EXPECT_EQ(processes_->priority(pid()), PriorityClass::Normal);
}

TEST_F(ChildProcess, TerminateEndsItAndItThenReadsAsGone) {
    processes_->terminate(pid());
    ASSERT_EQ(WaitForSingleObject(child_.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(processes_->priority(pid()), std::nullopt);  // our handle keeps the pid, not the process
}

TEST(ProcessesWin, AProcessThatDoesNotExistIsRefused) {
    auto processes = win32::make_processes();
    auto running = processes->list();
    uint32_t missing = 0x7FFFFFFC;
    while (std::any_of(running.begin(), running.end(), [&](const platform::ProcessInfo& p) { return p.pid == missing; }))
        missing -= 4;
    EXPECT_EQ(processes->priority(missing), std::nullopt);
    EXPECT_THROW(processes->set_priority(missing, PriorityClass::BelowNormal), PlatformError);
    EXPECT_THROW(processes->terminate(missing), PlatformError);
}

// --- ICMP echo ------------------------------------------------------------------------------

// Polls as the live tiles do, never waiting inside the echo; false when nothing came in time.
bool wait_done(platform::PendingEcho& pending, DWORD limit_ms) {
    for (DWORD waited = 0; waited < limit_ms; waited += 10) {
        if (pending.done()) return true;
        Sleep(10);
    }
    return pending.done();
}

TEST(EchoWin, LoopbackRepliesWithATime) {
    auto echo = win32::make_echo();
    auto pending = echo->send("127.0.0.1", 1000);
    ASSERT_TRUE(pending);
    ASSERT_TRUE(wait_done(*pending, 5000)) << "the request neither finished nor timed out";
    auto ms = pending->round_trip_ms();
    ASSERT_TRUE(ms.has_value()) << "127.0.0.1 did not answer (Wine needs to run as root for ICMP)";
    EXPECT_GE(*ms, 0.0);
    EXPECT_LT(*ms, 1000.0);

    // The handle stays usable for the next request, as the live tiles send one per second.
    auto next = echo->send("127.0.0.1", 1000);
    ASSERT_TRUE(wait_done(*next, 5000));
    EXPECT_TRUE(next->round_trip_ms().has_value());
}

TEST(EchoWin, DroppingARequestInFlightIsSafe) {
    auto echo = win32::make_echo();
    for (int i = 0; i < 20; ++i) echo->send("127.0.0.1", 1000).reset();  // the destructor waits for the system
    auto pending = echo->send("127.0.0.1", 1000);
    ASSERT_TRUE(wait_done(*pending, 5000));
    EXPECT_TRUE(pending->round_trip_ms().has_value());
}

TEST(EchoWin, WhatIsNotAnIpv4AddressIsNotSent) {
    auto echo = win32::make_echo();
    for (std::string text : {std::string("1.1.1"), std::string("localhost"), std::string("127.0.0.1 "),
                             std::string("127.0.0.1\0x", 11), std::string("::1"), std::string()})
        EXPECT_THROW(echo->send(text, 1000), PlatformError) << text;
}

}  // namespace
