// Read-only facts about the real PC. Every query falls back quietly to the seam's default.
#include <windows.h>
#include <dxgi.h>

#include <cctype>

#include "platform/win32/com.h"
#include "platform/win32/desktop_user.h"
#include "platform/win32/elevation.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

using platform::Hive;
using platform::RegKind;

constexpr const char* kCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kDisplayClass = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";

std::string trimmed(std::string s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

class Win32SystemInfo final : public platform::SystemInfo {
public:
    uint32_t windows_build() override {
        std::string text = string_value(Hive::LocalMachine, kCurrentVersion, "CurrentBuildNumber");
        uint64_t n = 0;
        size_t digits = 0;
        for (char c : text) {
            if (!std::isdigit(uint8_t(c))) break;
            n = n * 10 + uint64_t(c - '0');
            if (++digits > 9) return 0;
        }
        return digits ? uint32_t(n) : 0;
    }

    uint64_t total_memory_bytes() override {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
    }

    int refresh_hz() override {
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return 60;
        // 0 and 1 stand for "the hardware's default".
        return mode.dmDisplayFrequency > 1 ? int(mode.dmDisplayFrequency) : 60;
    }

    bool has_battery() override {
        SYSTEM_POWER_STATUS status{};
        if (!GetSystemPowerStatus(&status)) return false;
        // 128: no system battery; 255: the status is unknown, taken as none.
        return status.BatteryFlag != 128 && status.BatteryFlag != 255;
    }

    std::vector<std::string> cpu_names() override {
        std::string name = trimmed(
            string_value(Hive::LocalMachine, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString"));
        if (name.empty()) return {};
        return {name};
    }

    // The adapters DXGI reports, without the software renderer; where DXGI has none (no
    // display driver loaded, or no dxgi.dll), the display drivers installed on the PC.
    std::vector<std::string> gpu_names() override {
        std::vector<std::string> out = dxgi_adapters();
        if (!out.empty()) return out;
        for (auto& sub : registry_->subkey_names(Hive::LocalMachine, kDisplayClass)) {
            if (sub.size() != 4 || !std::isdigit(uint8_t(sub[0]))) continue;  // 0000, 0001...; not "Properties"
            std::string desc = trimmed(string_value(Hive::LocalMachine, std::string(kDisplayClass) + "\\" + sub, "DriverDesc"));
            if (!desc.empty()) out.push_back(desc);
        }
        return out;
    }

    // ProductName says "Windows 10" on Windows 11 too; the build tells them apart.
    std::string os_caption() override {
        std::string product = trimmed(string_value(Hive::LocalMachine, kCurrentVersion, "ProductName"));
        if (product.empty()) product = "Windows";
        if (windows_build() >= 22000) {
            size_t at = product.find("Windows 10");
            if (at != std::string::npos) product.replace(at, 10, "Windows 11");
        }
        if (product.rfind("Microsoft ", 0) != 0) product = "Microsoft " + product;
        return product;
    }

    bool is_elevated() override { return process_is_elevated(); }
    std::optional<platform::AccountMismatch> desktop_user_mismatch() override { return find_desktop_user_mismatch(); }

private:
    std::string string_value(Hive hive, const std::string& key, const char* name) {
        auto v = registry_->get(hive, key, name);
        if (!v || (v->kind != RegKind::String && v->kind != RegKind::ExpandString)) return {};
        return v->text;
    }

    // dxgi.dll is loaded only here, so the program starts on a PC whatever its graphics stack.
    static std::vector<std::string> dxgi_adapters() {
        std::vector<std::string> out;
        HMODULE dll = LoadLibraryExW(L"dxgi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!dll) return out;
        using CreateFactory = HRESULT(WINAPI*)(REFIID, void**);
        auto create = reinterpret_cast<CreateFactory>(reinterpret_cast<void*>(GetProcAddress(dll, "CreateDXGIFactory1")));
        if (create) {
            com::Ptr<IDXGIFactory1> factory;
            if (SUCCEEDED(create(__uuidof(IDXGIFactory1), factory.put_void()))) {
                for (UINT i = 0;; ++i) {
                    com::Ptr<IDXGIAdapter1> adapter;
                    if (factory->EnumAdapters1(i, adapter.put()) != S_OK) break;
                    DXGI_ADAPTER_DESC1 desc{};
                    if (FAILED(adapter->GetDesc1(&desc)) || (desc.Flags & DXGI_ADAPTER_FLAG_SOFTWARE)) continue;
                    std::string name = trimmed(narrow(desc.Description));
                    if (!name.empty()) out.push_back(name);
                }
            }
        }
        FreeLibrary(dll);
        return out;
    }

    std::unique_ptr<platform::Registry> registry_ = make_registry();
};

}  // namespace

std::unique_ptr<platform::SystemInfo> make_system_info() { return std::make_unique<Win32SystemInfo>(); }

}  // namespace vexlo::win32
