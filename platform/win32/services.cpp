// Services through the Service Control Manager. Start types go through it too: it reads the
// Start values only when Windows starts, so a value written to the registry alone would not
// count before the next restart.
#include <windows.h>
#include <winsvc.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/parts.h"
#include "platform/win32/service_control.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Stopping a chain of dependents can go deep only through a broken service database; this
// bounds the recursion all the same.
constexpr int kMaxDependentDepth = 16;

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE h = nullptr) : h_(h) {}
    ~ScHandle() {
        if (h_) CloseServiceHandle(h_);
    }
    ScHandle(ScHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    SC_HANDLE h_;
};

bool query(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                &needed) != FALSE;
}

bool same_name(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The services named in a service's DependOnService registry value (the SCM keeps its
// configuration there).
std::vector<std::wstring> registry_dependencies(const std::wstring& service) {
    std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + service;
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService", RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS)
        return {};
    std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService", RRF_RT_REG_MULTI_SZ, nullptr, buf.data(),
                     &size) != ERROR_SUCCESS)
        return {};
    std::vector<std::wstring> names;
    for (const wchar_t* p = buf.c_str(); *p; p += wcslen(p) + 1) names.emplace_back(p);
    return names;
}

// The dependents that are not stopped, in the order to stop them. The SCM's own list comes in
// reverse start order and is complete on Windows; the running services whose DependOnService
// names this one are added for service managers that do not keep that list (Wine's).
std::vector<std::wstring> active_dependents(SC_HANDLE manager, SC_HANDLE service, const std::wstring& name) {
    std::vector<std::wstring> names;
    DWORD needed = 0, count = 0;
    if (!EnumDependentServicesW(service, SERVICE_ACTIVE, nullptr, 0, &needed, &count) &&
        GetLastError() == ERROR_MORE_DATA) {
        std::vector<BYTE> buf(needed);
        auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSW*>(buf.data());
        if (EnumDependentServicesW(service, SERVICE_ACTIVE, entries, needed, &needed, &count))
            for (DWORD i = 0; i < count; ++i) names.emplace_back(entries[i].lpServiceName);
    }

    DWORD resume = 0;
    needed = count = 0;
    EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, nullptr, 0, &needed, &count,
                          &resume, nullptr);
    if (GetLastError() != ERROR_MORE_DATA || needed == 0) return names;
    std::vector<BYTE> buf(needed);
    resume = 0;
    if (!EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, buf.data(), needed, &needed,
                               &count, &resume, nullptr))
        return names;
    auto* active = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(buf.data());
    for (DWORD i = 0; i < count; ++i) {
        std::wstring candidate = active[i].lpServiceName;
        bool listed = false;
        for (auto& n : names) listed = listed || same_name(n, candidate);
        if (listed) continue;
        for (auto& needs : registry_dependencies(candidate)) {
            if (same_name(needs, name)) {
                names.push_back(candidate);
                break;
            }
        }
    }
    return names;
}

// Polls until the service reaches `target` or `give_up` (a start that ends stopped), or the limit
// passes. Returns the last state seen, 0 when the status cannot be read.
DWORD wait_for(SC_HANDLE service, DWORD target, DWORD give_up, milliseconds limit, SERVICE_STATUS_PROCESS& status) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (!query(service, status)) return 0;
        if (status.dwCurrentState == target || status.dwCurrentState == give_up) return status.dwCurrentState;
        auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return status.dwCurrentState;
        // A tenth of the service's own hint, as the SCM's documentation suggests, kept between
        // 50 ms and a second.
        milliseconds step(std::clamp<DWORD>(status.dwWaitHint / 10, 50, 1000));
        std::this_thread::sleep_for(std::min(step, left));
    }
}

std::string seconds_text(milliseconds m) {
    auto s = std::max<long long>(1, (m.count() + 999) / 1000);
    return std::to_string(s) + (s == 1 ? " second" : " seconds");
}

class ScmServices final : public platform::Services {
public:
    explicit ScmServices(milliseconds wait_limit) : limit_(wait_limit) {}

    bool is_running(std::string_view name) override {
        ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager) return false;
        ScHandle service(OpenServiceW(manager.get(), widen(name).c_str(), SERVICE_QUERY_STATUS));
        SERVICE_STATUS_PROCESS status{};
        if (!service || !query(service.get(), status)) return false;
        // Anything short of stopped (or on its way there) has its process up: running, paused,
        // or starting.
        return status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING;
    }

    void stop(std::string_view name) override {
        ScHandle manager = open_manager("Cannot stop service " + std::string(name));
        const DWORD rights = SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS;
        ScHandle service(OpenServiceW(manager.get(), widen(name).c_str(), rights));
        if (!service) fail("Cannot stop service " + std::string(name), GetLastError());
        stop_with_dependents(manager.get(), service.get(), widen(name), 0);
    }

    void start(std::string_view name) override {
        const std::string what = "Cannot start service " + std::string(name);
        ScHandle manager = open_manager(what);
        ScHandle service(OpenServiceW(manager.get(), widen(name).c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
        if (!service) fail(what, GetLastError());
        if (!StartServiceW(service.get(), 0, nullptr)) {
            DWORD err = GetLastError();
            if (err == ERROR_SERVICE_ALREADY_RUNNING) return;
            fail(what, err);
        }
        // The SCM accepted the start; a service that fails in its first moments reports stopped
        // with the reason. One still starting at the limit is left to finish.
        SERVICE_STATUS_PROCESS status{};
        DWORD state = wait_for(service.get(), SERVICE_RUNNING, SERVICE_STOPPED, limit_, status);
        if (state == SERVICE_STOPPED) {
            DWORD code = status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR ? status.dwServiceSpecificExitCode
                                                                                 : status.dwWin32ExitCode;
            if (code == NO_ERROR) throw platform::PlatformError(what + ": it stopped again as soon as it started.");
            fail(what + ": it stopped again as soon as it started", code);
        }
    }

    std::optional<uint32_t> start_type(std::string_view name) override {
        ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager) return std::nullopt;
        ScHandle service(OpenServiceW(manager.get(), widen(name).c_str(), SERVICE_QUERY_CONFIG));
        if (!service) return std::nullopt;
        DWORD needed = 0;
        QueryServiceConfigW(service.get(), nullptr, 0, &needed);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return std::nullopt;
        std::vector<BYTE> buf(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf.data());
        if (!QueryServiceConfigW(service.get(), config, needed, &needed)) return std::nullopt;
        return uint32_t(config->dwStartType);
    }

    void set_start_type(std::string_view name, uint32_t start) override {
        const std::string what = "Cannot change the start type of service " + std::string(name);
        if (start > SERVICE_DISABLED)
            throw platform::PlatformError(what + ": " + std::to_string(start) + " is not a start type.");
        ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager) fail(what, GetLastError());
        ScHandle service(OpenServiceW(manager.get(), widen(name).c_str(), SERVICE_CHANGE_CONFIG));
        if (!service) fail(what, GetLastError());
        // Everything else, the delayed start of an automatic service included, stays as it is.
        if (!ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr))
            fail(what, GetLastError());
    }

private:
    static ScHandle open_manager(const std::string& what) {
        ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
        if (!manager) fail(what, GetLastError());
        return manager;
    }

    void stop_with_dependents(SC_HANDLE manager, SC_HANDLE service, const std::wstring& name, int depth) {
        const std::string what = "Cannot stop service " + narrow(name);
        SERVICE_STATUS_PROCESS status{};
        if (!query(service, status)) fail(what, GetLastError());
        if (status.dwCurrentState == SERVICE_STOPPED) return;

        if (depth < kMaxDependentDepth) {
            for (auto& dependent : active_dependents(manager, service, name)) {
                const DWORD rights = SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS;
                ScHandle dep(OpenServiceW(manager, dependent.c_str(), rights));
                if (!dep)
                    fail(what + ": its dependent service " + narrow(dependent) + " cannot be stopped", GetLastError());
                stop_with_dependents(manager, dep.get(), dependent, depth + 1);
            }
        }

        if (status.dwCurrentState != SERVICE_STOP_PENDING) {
            SERVICE_STATUS plain{};
            if (!ControlService(service, SERVICE_CONTROL_STOP, &plain)) {
                DWORD err = GetLastError();
                if (err == ERROR_SERVICE_NOT_ACTIVE) return;
                fail(what, err);
            }
        }
        DWORD state = wait_for(service, SERVICE_STOPPED, SERVICE_STOPPED, limit_, status);
        if (state == SERVICE_STOPPED) return;
        if (state == 0) fail(what, GetLastError());
        throw platform::PlatformError(what + ": it did not stop within " + seconds_text(limit_) + ".");
    }

    milliseconds limit_;
};

}  // namespace

std::unique_ptr<platform::Services> make_services(milliseconds wait_limit) {
    return std::make_unique<ScmServices>(wait_limit);
}

// Windows gives a service 20 seconds to stop at shutdown; the same is fair here.
std::unique_ptr<platform::Services> make_services() { return make_services(milliseconds(20000)); }

}  // namespace vexlo::win32
