// Advanced properties of the physical network adapters, read from and written to the drivers'
// registry keys. A written value takes effect when the adapter next starts, which is what the
// application wants: no connection drop while it applies settings. The restart itself, and
// the adapters' status, go through the network adapter class of WMI (MSFT_NetAdapter).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <algorithm>
#include <charconv>
#include <cwctype>
#include <optional>
#include <utility>

#include "platform/win32/adapter_registry.h"
#include "platform/win32/com.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"
#include "platform/win32/wmi.h"

namespace vexlo::win32 {

namespace {

using platform::AdapterProperty;
using platform::PlatformError;

const wchar_t* const kNetClassKey = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";
const std::wstring kCimNamespace = L"ROOT\\StandardCimv2";
const std::wstring kAdapterClass = L"MSFT_NetAdapter";

// MSFT_NetAdapter.State and .MediaConnectState.
constexpr int64_t kStateDisabled = 3;
constexpr int64_t kMediaConnected = 1;

// A WQL string literal's body: backslashes and quotes escaped.
std::wstring wql_quoted(std::wstring_view s) {
    std::wstring out;
    for (wchar_t c : s) {
        if (c == L'\\' || c == L'\'') out += L'\\';
        out += c;
    }
    return out;
}

// The status Windows' network settings show for an adapter.
std::string adapter_status(IWbemClassObject* row) {
    if (wmi_int(row, L"State") == kStateDisabled) return "Disabled";
    return wmi_int(row, L"MediaConnectState") == kMediaConnected ? "Up" : "Disconnected";
}

bool same_text(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}
bool same_text(std::string_view a, std::string_view b) { return same_text(widen(a), widen(b)); }

class Key {
public:
    Key() = default;
    Key(HKEY parent, const std::wstring& path, REGSAM access)
        : status_(RegOpenKeyExW(parent, path.c_str(), 0, access, &h_)) {
        if (status_ != ERROR_SUCCESS) h_ = nullptr;
    }
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    Key(Key&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return h_; }
    LONG status() const { return status_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HKEY h_ = nullptr;
    LONG status_ = ERROR_FILE_NOT_FOUND;
};

std::vector<std::wstring> subkeys(HKEY key) {
    std::vector<std::wstring> out;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        LONG r = RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r == ERROR_SUCCESS) out.emplace_back(name, len);
        else if (r != ERROR_MORE_DATA) break;
    }
    return out;
}

// A value as text: strings as they are (a display text given as "@file,-id" resolved), numbers
// in decimal. nullopt when missing.
std::optional<std::wstring> text_value(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    std::vector<BYTE> data(size + sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return std::nullopt;
    if (type == REG_DWORD && size >= 4) return std::to_wstring(*reinterpret_cast<DWORD*>(data.data()));
    if (type == REG_QWORD && size >= 8) return std::to_wstring(*reinterpret_cast<ULONGLONG*>(data.data()));
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::wstring s(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    s.resize(wcsnlen(s.c_str(), s.size()));
    if (!s.empty() && s.front() == L'@') {
        wchar_t buf[512];
        if (RegLoadMUIStringW(key, name, buf, sizeof buf, nullptr, 0, nullptr) == ERROR_SUCCESS) return std::wstring(buf);
    }
    return s;
}

std::optional<long long> number(std::wstring_view text) {
    std::string s = narrow(text);
    long long n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return n;
}

// One property as its driver describes it.
struct Param {
    std::wstring keyword, display_name, type;
    std::vector<std::pair<std::wstring, std::wstring>> choices;  // registry value, display text
    std::optional<long long> min, max;
    std::wstring current;  // the registry value in force: the instance's own, else the default

    bool numeric() const {
        return type == L"int" || type == L"long" || type == L"word" || type == L"dword";
    }
};

std::vector<Param> read_params(HKEY driver) {
    std::vector<Param> out;
    Key params(driver, L"Ndi\\Params", KEY_READ);
    if (!params) return out;
    for (auto& keyword : subkeys(params.get())) {
        Key k(params.get(), keyword, KEY_READ);
        if (!k) continue;
        Param p;
        p.keyword = keyword;
        p.display_name = text_value(k.get(), L"ParamDesc").value_or(keyword);
        p.type = text_value(k.get(), L"type").value_or(L"");
        for (wchar_t& c : p.type) c = wchar_t(std::towlower(c));
        if (auto v = text_value(k.get(), L"min")) p.min = number(*v);
        if (auto v = text_value(k.get(), L"max")) p.max = number(*v);
        if (Key choices(k.get(), L"enum", KEY_READ); choices) {
            wchar_t name[256];
            for (DWORD i = 0;; ++i) {
                DWORD len = 256;
                LONG r = RegEnumValueW(choices.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
                if (r == ERROR_NO_MORE_ITEMS) break;
                if (r != ERROR_SUCCESS) continue;
                std::wstring value(name, len);
                if (auto text = text_value(choices.get(), value.c_str())) p.choices.emplace_back(value, *text);
            }
            // Drivers number their choices; list them in that order so that the last is the
            // highest, whatever order the registry returns them in.
            bool all_numbers = std::all_of(p.choices.begin(), p.choices.end(), [](auto& c) { return number(c.first).has_value(); });
            if (all_numbers)
                std::stable_sort(p.choices.begin(), p.choices.end(),
                                 [](auto& a, auto& b) { return *number(a.first) < *number(b.first); });
        }
        p.current = text_value(driver, keyword.c_str()).value_or(text_value(k.get(), L"default").value_or(L""));
        out.push_back(std::move(p));
    }
    std::sort(out.begin(), out.end(), [](const Param& a, const Param& b) { return a.display_name < b.display_name; });
    return out;
}

AdapterProperty describe(const std::string& adapter, const Param& p) {
    AdapterProperty out;
    out.adapter = adapter;
    out.display_name = narrow(p.display_name);
    out.keyword = narrow(p.keyword);
    out.display_value = narrow(p.current);
    for (auto& [value, text] : p.choices) {
        out.valid_display_values.push_back(narrow(text));
        if (same_text(value, p.current)) out.display_value = narrow(text);
    }
    if (p.choices.empty() && p.numeric()) out.numeric_max = p.max.value_or(0);
    return out;
}

// The driver instance keys under the class key, by lower-case interface GUID.
std::vector<std::pair<std::wstring, std::wstring>> driver_instances(HKEY class_key) {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    for (auto& sub : subkeys(class_key)) {
        Key k(class_key, sub, KEY_READ);
        if (!k) continue;  // "Properties" denies everyone
        if (auto id = text_value(k.get(), L"NetCfgInstanceId")) out.emplace_back(*id, sub);
    }
    return out;
}

// The driver key name of an adapter, or empty.
std::wstring driver_of(const std::vector<std::pair<std::wstring, std::wstring>>& instances, const NetAdapter& a) {
    for (auto& [guid, sub] : instances)
        if (same_text(guid, a.guid)) return sub;
    return {};
}

// The registry value for a display value; throws PlatformError.
std::wstring registry_value(const Param& p, std::string_view adapter, std::string_view display_value) {
    auto refuse = [&](const std::string& why) {
        return PlatformError("Cannot set \"" + narrow(p.display_name) + "\" of " + std::string(adapter) + " to \"" +
                             std::string(display_value) + "\": " + why);
    };
    if (!p.choices.empty()) {
        for (auto& [value, text] : p.choices)
            if (same_text(narrow(text), display_value)) return value;
        std::string list;
        for (auto& c : p.choices) list += (list.empty() ? "" : ", ") + narrow(c.second);
        throw refuse("the value must be one of " + list + ".");
    }
    if (p.numeric()) {
        auto n = number(widen(display_value));
        if (!n) throw refuse("the value must be a whole number.");
        if ((p.min && *n < *p.min) || (p.max && *n > *p.max))
            throw refuse("the value must be between " + std::to_string(p.min.value_or(0)) + " and " +
                         (p.max ? std::to_string(*p.max) : std::string("any higher number")) + ".");
        return std::to_wstring(*n);
    }
    return widen(display_value);  // free text, such as a network address
}

class RegistryNetwork final : public platform::Network {
public:
    std::vector<AdapterProperty> adapter_properties() override {
        Key cls(HKEY_LOCAL_MACHINE, kNetClassKey, KEY_READ | KEY_WOW64_64KEY);
        if (!cls) return {};
        return read_adapter_properties(cls.get(), win32::physical_adapters());
    }

    void set_adapter_property(std::string_view adapter, std::string_view display_name,
                              std::string_view display_value) override {
        Key cls(HKEY_LOCAL_MACHINE, kNetClassKey, KEY_READ | KEY_WOW64_64KEY);
        if (!cls) fail("Cannot read the network adapters' settings", ERROR_FILE_NOT_FOUND);
        write_adapter_property(cls.get(), win32::physical_adapters(), adapter, display_name, display_value);
    }

    std::vector<platform::AdapterStatus> physical_adapters() override {
        std::vector<platform::AdapterStatus> out;
        try {
            com::Apartment apartment;
            if (!apartment.usable()) return out;
            Wmi wmi(kCimNamespace, "Network adapters");
            for (auto& row : wmi.query(L"SELECT Name, State, MediaConnectState, HardwareInterface, ConnectorPresent FROM " +
                                           kAdapterClass,
                                       "Network adapters")) {
                // The same adapters whose properties are listed: hardware with a connector.
                if (!wmi_bool(row.get(), L"HardwareInterface").value_or(false) ||
                    !wmi_bool(row.get(), L"ConnectorPresent").value_or(false))
                    continue;
                auto name = wmi_string(row.get(), L"Name");
                if (name && !name->empty()) out.push_back({narrow(*name), adapter_status(row.get())});
            }
        } catch (const PlatformError&) {
            return {};  // no adapter class (Wine, a stripped Windows): nothing to list
        }
        return out;
    }

    void restart_adapter(std::string_view name) override {
        const std::string what = "Cannot restart the network adapter " + std::string(name);
        com::Apartment apartment;
        if (!apartment.usable()) com::fail(what, apartment.result());
        Wmi wmi(kCimNamespace, what);
        auto rows = wmi.query(L"SELECT * FROM " + kAdapterClass + L" WHERE Name = '" + wql_quoted(widen(name)) + L"'", what);
        if (rows.empty()) throw PlatformError("There is no network adapter named " + std::string(name) + ".");
        auto path = wmi_string(rows.front().get(), L"__PATH");
        if (!path) throw PlatformError(what + ": Windows gave no path to the adapter.");
        if (wmi_int(rows.front().get(), L"State") == kStateDisabled)
            throw PlatformError(what + ": the adapter is disabled.");
        wmi.call(kAdapterClass, *path, L"Disable", nullptr, what);
        wmi.call(kAdapterClass, *path, L"Enable", nullptr, what + " (it was turned off and could not be turned on again)");
    }
};

}  // namespace

std::vector<NetAdapter> physical_adapters() {
    std::vector<NetAdapter> out;
    MIB_IF_TABLE2* table = nullptr;
    if (GetIfTable2(&table) != NO_ERROR || !table) return out;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IF_ROW2& row = table->Table[i];
        if (!row.InterfaceAndOperStatusFlags.HardwareInterface || !row.InterfaceAndOperStatusFlags.ConnectorPresent) continue;
        wchar_t guid[64] = {};
        if (!StringFromGUID2(row.InterfaceGuid, guid, 64)) continue;
        bool seen = std::any_of(out.begin(), out.end(), [&](const NetAdapter& a) { return same_text(a.guid, guid); });
        if (!seen) out.push_back({narrow(row.Alias), guid});
    }
    FreeMibTable(table);
    return out;
}

std::vector<AdapterProperty> read_adapter_properties(HKEY class_key, const std::vector<NetAdapter>& adapters) {
    std::vector<AdapterProperty> out;
    auto instances = driver_instances(class_key);
    for (auto& a : adapters) {
        std::wstring sub = driver_of(instances, a);
        if (sub.empty()) continue;
        Key driver(class_key, sub, KEY_READ);
        if (!driver) continue;
        for (auto& p : read_params(driver.get())) out.push_back(describe(a.name, p));
    }
    return out;
}

void write_adapter_property(HKEY class_key, const std::vector<NetAdapter>& adapters, std::string_view adapter,
                            std::string_view display_name, std::string_view display_value) {
    auto instances = driver_instances(class_key);
    for (auto& a : adapters) {
        if (!same_text(a.name, adapter)) continue;
        std::wstring sub = driver_of(instances, a);
        if (sub.empty()) throw PlatformError("The adapter " + a.name + " has no driver settings.");
        Key driver(class_key, sub, KEY_READ | KEY_SET_VALUE);
        if (!driver) fail("Cannot change the settings of " + a.name, DWORD(driver.status()));
        for (auto& p : read_params(driver.get())) {
            if (!same_text(narrow(p.display_name), display_name)) continue;
            std::wstring value = registry_value(p, a.name, display_value);
            LONG r = RegSetValueExW(driver.get(), p.keyword.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    DWORD((value.size() + 1) * sizeof(wchar_t)));
            if (r != ERROR_SUCCESS) fail("Cannot set \"" + narrow(p.display_name) + "\" of " + a.name, DWORD(r));
            return;
        }
        throw PlatformError("The adapter " + a.name + " has no property \"" + std::string(display_name) + "\".");
    }
    throw PlatformError("There is no network adapter named " + std::string(adapter) + ".");
}

std::unique_ptr<platform::Network> make_network() { return std::make_unique<RegistryNetwork>(); }

}  // namespace vexlo::win32
