// Services against the real Service Control Manager. The throwaway services are this test
// program itself, started by the SCM as a small service host (test_service_host.h).
#include <windows.h>
#include <winsvc.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/win32/parts.h"
#include "platform/win32/service_control.h"
#include "platform/win32/wide.h"
#include "tests/windows/test_service_host.h"

namespace {

using vexlo::platform::PlatformError;
using vexlo::win32::narrow;
using vexlo::win32::widen;

// ---- Helpers ----

struct Handle {
    SC_HANDLE h = nullptr;
    ~Handle() {
        if (h) CloseServiceHandle(h);
    }
};

DWORD scm_state(const std::wstring& name) {
    Handle m{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
    Handle s{OpenServiceW(m.h, name.c_str(), SERVICE_QUERY_STATUS)};
    SERVICE_STATUS_PROCESS st{};
    DWORD needed = 0;
    if (!s.h || !QueryServiceStatusEx(s.h, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&st), sizeof st, &needed))
        return 0;
    return st.dwCurrentState;
}

bool scm_running(DWORD state) { return state != 0 && state != SERVICE_STOPPED && state != SERVICE_STOP_PENDING; }

// ---- Services Windows already has ----

TEST(ServicesWin, IsRunningAgreesWithTheScmForEveryInstalledService) {
    Handle m{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE)};
    ASSERT_TRUE(m.h) << GetLastError();
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusExW(m.h, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed, &count,
                          &resume, nullptr);
    std::vector<BYTE> buf(needed);
    resume = 0;
    ASSERT_TRUE(EnumServicesStatusExW(m.h, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buf.data(), needed,
                                      &needed, &count, &resume, nullptr))
        << GetLastError();
    ASSERT_GT(count, 0u);
    auto* entries = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(buf.data());
    auto services = vexlo::win32::make_services();
    int running = 0;
    for (DWORD i = 0; i < count; ++i) {
        std::string name = narrow(entries[i].lpServiceName);
        DWORD state = scm_state(entries[i].lpServiceName);  // fresh: a service may have moved since the listing
        bool expected = scm_running(state);
        EXPECT_EQ(services->is_running(name), expected) << name;
        running += expected;
        // The SCM ignores case in names.
        std::string upper = name;
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(services->is_running(upper), expected) << upper;
    }
    EXPECT_GT(running, 0) << "no running service to compare against";
}

TEST(ServicesWin, UnknownServiceIsNotRunningAndCannotBeStoppedOrStarted) {
    auto services = vexlo::win32::make_services();
    const std::string name = "VexloNoSuchService" + std::to_string(GetCurrentProcessId());
    EXPECT_FALSE(services->is_running(name));
    EXPECT_FALSE(services->is_running(""));
    for (auto op : {&vexlo::platform::Services::stop, &vexlo::platform::Services::start}) {
        try {
            ((*services).*op)(name);
            ADD_FAILURE() << "no error for a missing service";
        } catch (const PlatformError& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
}

// ---- Throwaway services hosted by this program ----

class ServicesWinThrowaway : public ::testing::Test {
protected:
    void SetUp() override {
        manager_.h = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT);
        if (!manager_.h) GTEST_SKIP() << "creating services needs an elevated run (error " << GetLastError() << ")";
    }

    void TearDown() override {
        for (auto& name : created_) {
            Handle s{OpenServiceW(manager_.h, name.c_str(), SERVICE_ALL_ACCESS)};
            if (!s.h) continue;
            SERVICE_STATUS_PROCESS st{};
            DWORD needed = 0;
            if (QueryServiceStatusEx(s.h, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&st), sizeof st, &needed) &&
                st.dwCurrentState != SERVICE_STOPPED && st.dwProcessId) {
                if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, st.dwProcessId)) {
                    TerminateProcess(p, 1);
                    WaitForSingleObject(p, 5000);
                    CloseHandle(p);
                }
            }
            DeleteService(s.h);
        }
    }

    // A service named after this run, hosted in `mode`; `depends_on` as the SCM takes it.
    std::string create(const char* suffix, const wchar_t* mode, DWORD start_type = SERVICE_DEMAND_START,
                       const std::wstring& depends_on = L"") {
        std::wstring name = L"VexloTest" + std::to_wstring(GetCurrentProcessId()) + widen(suffix);
        std::wstring cmd = vexlo::testkit::test_service_command(mode);
        std::wstring deps = depends_on.empty() ? L"" : depends_on + L'\0';
        Handle s{CreateServiceW(manager_.h, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                start_type, SERVICE_ERROR_IGNORE, cmd.c_str(), nullptr, nullptr,
                                deps.empty() ? nullptr : deps.c_str(), nullptr, nullptr)};
        if (!s.h) ADD_FAILURE() << "CreateServiceW: " << GetLastError();
        else created_.push_back(name);
        return narrow(name);
    }

    Handle manager_;
    std::vector<std::wstring> created_;
};

TEST_F(ServicesWinThrowaway, StartAndStopRoundTripAndRepeatQuietly) {
    auto services = vexlo::win32::make_services();
    std::string name = create("Plain", L"normal");
    ASSERT_FALSE(services->is_running(name));
    services->stop(name);  // already stopped: nothing to do
    services->start(name);
    EXPECT_TRUE(services->is_running(name));
    EXPECT_EQ(scm_state(widen(name)), DWORD(SERVICE_RUNNING));
    services->start(name);  // already running: fine
    services->stop(name);
    EXPECT_FALSE(services->is_running(name));
    EXPECT_EQ(scm_state(widen(name)), DWORD(SERVICE_STOPPED));
}

TEST_F(ServicesWinThrowaway, StopTakesTheRunningDependentsDownFirst) {
    auto services = vexlo::win32::make_services();
    std::string base = create("Base", L"normal");
    std::string middle = create("Middle", L"normal", SERVICE_DEMAND_START, widen(base));
    std::string top = create("Top", L"normal", SERVICE_DEMAND_START, widen(middle));
    // Windows' SCM would start what Top needs by itself; Wine's does not, so start in order.
    services->start(base);
    services->start(middle);
    services->start(top);
    ASSERT_TRUE(services->is_running(base));
    ASSERT_TRUE(services->is_running(middle));
    ASSERT_TRUE(services->is_running(top));
    services->stop(base);
    EXPECT_FALSE(services->is_running(top));
    EXPECT_FALSE(services->is_running(middle));
    EXPECT_FALSE(services->is_running(base));
}

TEST_F(ServicesWinThrowaway, DisabledServiceRefusesToStart) {
    auto services = vexlo::win32::make_services();
    std::string name = create("Disabled", L"normal", SERVICE_DISABLED);
    EXPECT_THROW(services->start(name), PlatformError);
    EXPECT_FALSE(services->is_running(name));
}

// A start type set through the seam changes the start type alone: an automatic service keeps
// its delayed start when it is disabled and made automatic again.
TEST_F(ServicesWinThrowaway, StartTypeKeepsTheDelayedStart) {
    auto services = vexlo::win32::make_services();
    std::string name = create("Delayed", L"normal", SERVICE_AUTO_START);
    Handle s{OpenServiceW(manager_.h, widen(name).c_str(), SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG)};
    ASSERT_TRUE(s.h) << GetLastError();
    SERVICE_DELAYED_AUTO_START_INFO on{TRUE};
    if (!ChangeServiceConfig2W(s.h, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &on))
        GTEST_SKIP() << "this service manager does not take a delayed start (error " << GetLastError() << ")";
    services->set_start_type(name, SERVICE_DISABLED);
    EXPECT_EQ(services->start_type(name), DWORD(SERVICE_DISABLED));
    services->set_start_type(name, SERVICE_AUTO_START);
    EXPECT_EQ(services->start_type(name), DWORD(SERVICE_AUTO_START));
    SERVICE_DELAYED_AUTO_START_INFO got{FALSE};
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfig2W(s.h, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, reinterpret_cast<BYTE*>(&got),
                                     sizeof got, &needed))
        << GetLastError();
    EXPECT_TRUE(got.fDelayedAutostart);
}

TEST_F(ServicesWinThrowaway, ServiceThatRefusesStopThrowsAndKeepsRunning) {
    auto services = vexlo::win32::make_services();
    std::string name = create("NoStop", L"nostop");
    services->start(name);
    ASSERT_TRUE(services->is_running(name));
    EXPECT_THROW(services->stop(name), PlatformError);
    EXPECT_TRUE(services->is_running(name));
}

TEST_F(ServicesWinThrowaway, StopThatNeverFinishesTimesOut) {
    auto services = vexlo::win32::make_services(std::chrono::milliseconds(600));
    std::string name = create("Hang", L"hang");
    services->start(name);
    ASSERT_TRUE(services->is_running(name));
    try {
        services->stop(name);
        ADD_FAILURE() << "a stop that never finishes passed";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("did not stop within"), std::string::npos) << e.what();
    }
}

}  // namespace
