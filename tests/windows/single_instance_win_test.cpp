// One running copy across processes: while one process holds the application's mutex a second
// one is told so, and the second's signal reaches the first exactly once.
#include <gtest/gtest.h>

#include "platform/win32/parts.h"
#include "tests/windows/child_process.h"

namespace {

using namespace vexlo;

constexpr const wchar_t* kChildVar = L"VEXLO_SINGLE_INSTANCE_CHILD";  // "<mutex>|<event>|held" or "...|free"

// The second start: takes part only when the parent asked for it.
TEST(SingleInstanceChild, SecondStart) {
    const std::string job = testkit::env_value(kChildVar);
    if (job.empty()) GTEST_SKIP() << "runs only as the child of SingleInstanceAcrossProcesses";
    size_t a = job.find('|'), b = job.rfind('|');
    ASSERT_TRUE(a != std::string::npos && b > a) << job;
    const std::string mutex_name = job.substr(0, a), event_name = job.substr(a + 1, b - a - 1);
    const bool expect_free = job.substr(b + 1) == "free";

    auto objects = win32::make_named_objects();
    platform::MutexResult mutex = objects->create_mutex(mutex_name);
    ASSERT_NE(mutex.handle, nullptr);
    EXPECT_EQ(mutex.created_new, expect_free);
    auto event = objects->open_event(event_name);
    ASSERT_NE(event, nullptr);
    // The signal tells the parent that this child ran and found what it expected.
    if (mutex.created_new == expect_free) event->signal();
}

TEST(SingleInstanceAcrossProcesses, SecondProcessIsToldAndSignalsOnce) {
    const std::string id = std::to_string(GetCurrentProcessId());
    const std::string mutex_name = "Local\\VexloSingleInstanceTest-" + id;
    const std::string event_name = "Local\\VexloSingleInstanceTestShow-" + id;
    auto objects = win32::make_named_objects();
    auto event = objects->open_event(event_name);
    ASSERT_NE(event, nullptr);
    auto run_child = [&](const char* expect) {
        testkit::ScopedEnv env({{kChildVar, win32::widen(mutex_name + "|" + event_name + "|" + expect)}});
        return testkit::run_self(L"SingleInstanceChild.SecondStart");
    };
    {
        platform::MutexResult first = objects->create_mutex(mutex_name);
        ASSERT_NE(first.handle, nullptr);
        ASSERT_TRUE(first.created_new);
        EXPECT_FALSE(event->poll());

        EXPECT_EQ(run_child("held"), 0);
        EXPECT_TRUE(event->poll()) << "the child did not signal";
        EXPECT_FALSE(event->poll()) << "auto-reset: one signal is consumed once";
    }
    // The first copy ended: the next start is the first again.
    EXPECT_EQ(run_child("free"), 0);
    EXPECT_TRUE(event->poll());
    EXPECT_FALSE(event->poll());
}

}  // namespace
