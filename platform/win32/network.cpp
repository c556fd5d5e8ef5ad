// Advanced properties of the physical network adapters, read from and written to the drivers'
// registry keys. A written value takes effect when the adapter next starts, which is what the
// application wants: no connection drop while it applies settings. The restart itself goes
// through the network adapter class of WMI (MSFT_NetAdapter); the adapters and their status come
// from the IP helper's interface table, which answers far faster than WMI. Also here: each
// interface's DNS servers, the DNS client's cache, and the QoS policies kept as machine policy.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>
#include <userenv.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cwctype>
#include <functional>
#include <optional>
#include <utility>

#include "platform/win32/adapter_registry.h"
#include "platform/win32/com.h"
#include "platform/win32/net_routes.h"
#include "platform/win32/offload_globals.h"
#include "platform/win32/parts.h"
#include "platform/win32/tool_process.h"
#include "platform/win32/wide.h"
#include "platform/win32/wmi.h"

namespace vexlo::win32 {

namespace {

using platform::AdapterProperty;
using platform::PlatformError;

const wchar_t* const kNetClassKey = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";
const std::wstring kCimNamespace = L"ROOT\\StandardCimv2";
const std::wstring kAdapterClass = L"MSFT_NetAdapter";

// MSFT_NetAdapter.State.
constexpr int64_t kStateDisabled = 3;

// A WQL string literal's body: backslashes and quotes escaped.
std::wstring wql_quoted(std::wstring_view s) {
    std::wstring out;
    for (wchar_t c : s) {
        if (c == L'\\' || c == L'\'') out += L'\\';
        out += c;
    }
    return out;
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
    Key(Key&& o) noexcept : h_(std::exchange(o.h_, nullptr)), status_(o.status_) {}
    // Opens the key, making it (and any missing parent) first.
    static Key create(HKEY parent, const std::wstring& path, REGSAM access) {
        Key k;
        k.status_ = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &k.h_, nullptr);
        if (k.status_ != ERROR_SUCCESS) k.h_ = nullptr;
        return k;
    }
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
    out.registry_value = narrow(p.current);
    for (auto& [value, text] : p.choices) {
        out.valid_display_values.push_back(narrow(text));
        out.valid_registry_values.push_back(narrow(value));
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

// A physical adapter's row in the interface table (is_physical_adapter_row). Unverified on real
// Windows: whether an adapter disabled in the network settings keeps a row here (with its administrative status down, which
// is what "Disabled" is read from) or drops out of the table, and so out of this list, until it
// is enabled again.
struct Interface {
    NetAdapter adapter;
    uint32_t index = 0;
    std::string status;  // as Windows' network settings show it
};

std::vector<Interface> physical_interfaces() {
    std::vector<Interface> out;
    MIB_IF_TABLE2* table = nullptr;
    if (GetIfTable2(&table) != NO_ERROR || !table) return out;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IF_ROW2& row = table->Table[i];
        if (!is_physical_adapter_row(row)) continue;
        wchar_t guid[64] = {};
        if (!StringFromGUID2(row.InterfaceGuid, guid, 64)) continue;
        bool seen = std::any_of(out.begin(), out.end(), [&](const Interface& a) { return same_text(a.adapter.guid, guid); });
        if (seen) continue;
        const char* status = row.OperStatus == IfOperStatusUp                 ? "Up"
                             : row.AdminStatus == NET_IF_ADMIN_STATUS_DOWN ? "Disabled"
                                                                           : "Disconnected";
        out.push_back({{narrow(row.Alias), guid}, uint32_t(row.InterfaceIndex), status});
    }
    FreeMibTable(table);
    return out;
}

// A function that this build cannot import: newer than MinGW's import libraries, or missing from
// the public headers; nullptr where this Windows lacks it. The DLL is never unloaded, so the
// pointer stays good for the life of the process.
template <class F>
F system_function(const wchar_t* dll, const char* name) {
    HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// netioapi.h's DNS_INTERFACE_SETTINGS (Windows 10 2004 and later), which MinGW does not declare.
struct DnsInterfaceSettings {
    ULONG Version;
    ULONG64 Flags;
    PWSTR Domain;
    PWSTR NameServer;
    PWSTR SearchList;
    ULONG RegistrationEnabled;
    ULONG RegisterAdapterName;
    ULONG EnableLLMNR;
    ULONG QueryAdapterName;
    PWSTR ProfileNameServer;
};
constexpr ULONG kDnsInterfaceSettingsVersion1 = 1;
constexpr ULONG64 kDnsSettingNameServer = 0x0002;
using SetInterfaceDnsSettingsFn = DWORD(WINAPI*)(GUID, const DnsInterfaceSettings*);

// Each server as Windows writes an IPv4 address; refuses anything else before a thing is changed.
std::vector<std::wstring> ipv4_servers(const std::vector<std::string>& servers, const std::string& what) {
    if (servers.empty()) throw PlatformError(what + ": no DNS server was given.");
    std::vector<std::wstring> out;
    for (auto& s : servers) {
        in_addr address{};
        char text[INET_ADDRSTRLEN] = {};
        // inet_pton would read only up to a NUL, and take "1.1.1.1\0junk" for 1.1.1.1.
        if (s.find('\0') != std::string::npos) throw PlatformError(what + ": a DNS server's text holds a NUL character.");
        if (inet_pton(AF_INET, s.c_str(), &address) != 1 || !inet_ntop(AF_INET, &address, text, sizeof text))
            throw PlatformError(what + ": \"" + s + "\" is not an IPv4 address.");
        out.push_back(widen(text));
    }
    return out;
}

GUID interface_guid(uint32_t if_index, const std::string& what) {
    NET_LUID luid{};
    GUID guid{};
    if (if_index == 0 || ConvertInterfaceIndexToLuid(if_index, &luid) != NO_ERROR)
        throw PlatformError(what + ": there is no network interface with that index.");
    if (DWORD r = ConvertInterfaceLuidToGuid(&luid, &guid); r != NO_ERROR) fail(what, r);
    return guid;
}

// Windows before 10 2004 lacks SetInterfaceDnsSettings; netsh does the same job there. Only its
// exit code decides: what it prints is in the display language, so it is shown, never read.
void netsh(const std::vector<std::wstring>& args, const std::string& what) {
    ToolRun run = run_tool(system_tool(L"netsh.exe"), args, std::chrono::seconds(30));
    if (run.exit_code == 0) return;
    std::string said = tool_message(run);
    throw PlatformError(what + ": netsh ended with code " + std::to_string(run.exit_code) + (said.empty() ? "." : " (" + said + ")."));
}

// Gives the interface these static IPv4 servers, in order; none means back to what DHCP gives.
void apply_dns_servers(uint32_t if_index, const std::vector<std::wstring>& servers, const std::string& what) {
    GUID guid = interface_guid(if_index, what);
    static const auto set = system_function<SetInterfaceDnsSettingsFn>(L"iphlpapi.dll", "SetInterfaceDnsSettings");
    std::function<DWORD(const std::wstring&)> set_dns;
    if (set)
        set_dns = [guid](const std::wstring& list) {
            std::wstring text = list;
            DnsInterfaceSettings settings{};  // every field its flag does not name stays clear
            settings.Version = kDnsInterfaceSettingsVersion1;
            settings.Flags = kDnsSettingNameServer;
            settings.NameServer = text.data();
            return set(guid, &settings);
        };
    change_dns_servers(if_index, servers, what, set_dns, [&what](const std::vector<std::wstring>& args) { netsh(args, what); });
}

// QoS policies as the local machine policy keeps them, one subkey per policy. "Version" is
// written last and removed first: a key without it (a policy half written or half removed by a
// process that was ended) is no policy, and the next create replaces it.
const std::wstring kQosKey = L"SOFTWARE\\Policies\\Microsoft\\Windows\\QoS";

bool valid_policy_name(std::string_view name) { return !name.empty() && name.find('\\') == std::string_view::npos; }

LSTATUS set_text(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD((value.size() + 1) * sizeof(wchar_t)));
}

// Machine policy is applied again every 90 minutes; this asks for it now, so that the QoS service
// rereads its policies and the TCP/IP QoS values beside them. Unverified on real Windows: whether that service takes a policy written
// this way without such a refresh, and how long a forced refresh keeps this call waiting. Its
// failure is deliberately ignored: the policy is in place either way, for the next refresh.
void refresh_machine_policy() {
    using RefreshPolicyExFn = BOOL(WINAPI*)(BOOL, DWORD);
    static const auto refresh = system_function<RefreshPolicyExFn>(L"userenv.dll", "RefreshPolicyEx");
    if (refresh) refresh(TRUE, RP_FORCE);
}

class RegistryNetwork final : public platform::Network {
public:
    std::optional<bool> offload_global(platform::OffloadGlobal setting) override { return read_offload_global(setting); }
    void set_offload_global(platform::OffloadGlobal setting, bool enabled) override {
        write_offload_global(setting, enabled);
    }

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
        for (auto& i : physical_interfaces()) out.push_back({i.adapter.name, i.status, i.index, narrow(i.adapter.guid)});
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

    std::vector<std::string> dns_servers(uint32_t if_index) override {
        std::vector<std::string> out;
        ULONG size = 16 * 1024;
        std::vector<ULONGLONG> buf;  // the records want 8-byte alignment
        ULONG r = ERROR_BUFFER_OVERFLOW;
        for (int attempt = 0; attempt < 3 && r == ERROR_BUFFER_OVERFLOW; ++attempt) {
            buf.assign(size / sizeof(ULONGLONG) + 1, 0);
            r = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, nullptr,
                                     reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data()), &size);
        }
        if (r != NO_ERROR) return out;
        for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buf.data()); a; a = a->Next) {
            if (a->IfIndex != if_index) continue;
            for (auto* d = a->FirstDnsServerAddress; d; d = d->Next) {
                const SOCKADDR* address = d->Address.lpSockaddr;
                if (!address || address->sa_family != AF_INET) continue;
                char text[INET_ADDRSTRLEN] = {};
                if (inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text))
                    out.emplace_back(text);
            }
            break;
        }
        return out;
    }

    void set_dns_servers(uint32_t if_index, const std::vector<std::string>& servers) override {
        const std::string what = "Cannot set the DNS servers of network interface " + std::to_string(if_index);
        apply_dns_servers(if_index, ipv4_servers(servers, what), what);
    }

    void reset_dns_servers(uint32_t if_index) override {
        apply_dns_servers(if_index, {}, "Cannot give network interface " + std::to_string(if_index) + " its DNS servers from DHCP");
    }

    void flush_dns_cache() override {
        // Exported by dnsapi.dll, but in no public header or import library.
        using DnsFlushResolverCacheFn = BOOL(WINAPI*)();
        static const auto flush = system_function<DnsFlushResolverCacheFn>(L"dnsapi.dll", "DnsFlushResolverCache");
        const std::string what = "Cannot empty the DNS cache";
        if (!flush) throw PlatformError(what + ": this Windows offers no way to.");
        if (!flush()) {
            DWORD err = GetLastError();
            if (err != ERROR_SUCCESS) fail(what, err);
            throw PlatformError(what + ": the DNS client refused.");
        }
    }

    bool qos_policy_exists(std::string_view name) override {
        if (!valid_policy_name(name)) return false;
        Key policy(HKEY_LOCAL_MACHINE, kQosKey + L"\\" + widen(name), KEY_QUERY_VALUE | KEY_WOW64_64KEY);
        return policy && RegQueryValueExW(policy.get(), L"Version", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

    void create_qos_policy(const platform::QosPolicy& policy) override {
        const std::string what = "Cannot create the QoS policy \"" + policy.name + "\"";
        if (!valid_policy_name(policy.name)) throw PlatformError(what + ": its name must not be empty or hold a backslash.");
        if (policy.dscp < 0 || policy.dscp > 63) throw PlatformError(what + ": the DSCP value must be between 0 and 63.");
        Key key = Key::create(HKEY_LOCAL_MACHINE, kQosKey + L"\\" + widen(policy.name), KEY_ALL_ACCESS | KEY_WOW64_64KEY);
        if (!key) fail(what, DWORD(key.status()));
        // What a policy of that name held before goes first, "Version" before the rest.
        LSTATUS r = RegDeleteValueW(key.get(), L"Version");
        if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) fail(what, DWORD(r));
        if (r = RegDeleteTreeW(key.get(), nullptr); r != ERROR_SUCCESS) fail(what, DWORD(r));
        const std::pair<const wchar_t*, std::wstring> values[] = {
            {L"Application Name", widen(policy.app_path)},
            {L"Protocol", L"*"},
            {L"Local Port", L"*"},
            {L"Local IP", L"*"},
            {L"Local IP Prefix Length", L"*"},
            {L"Remote Port", L"*"},
            {L"Remote IP", L"*"},
            {L"Remote IP Prefix Length", L"*"},
            {L"DSCP Value", std::to_wstring(policy.dscp)},
            {L"Throttle Rate", L"-1"},
            {L"Version", L"1.0"},  // last: from here on it is a policy
        };
        for (auto& [name, value] : values)
            if (r = set_text(key.get(), name, value); r != ERROR_SUCCESS) fail(what, DWORD(r));
    }

    bool remove_qos_policy(std::string_view name) override {
        const std::string what = "Cannot remove the QoS policy \"" + std::string(name) + "\"";
        if (!valid_policy_name(name)) throw PlatformError(what + ": its name must not be empty or hold a backslash.");
        const std::wstring path = kQosKey + L"\\" + widen(name);
        bool existed = false;
        {
            Key key(HKEY_LOCAL_MACHINE, path, KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY);
            if (!key) {
                if (key.status() == ERROR_FILE_NOT_FOUND) return false;
                fail(what, DWORD(key.status()));
            }
            LSTATUS r = RegDeleteValueW(key.get(), L"Version");
            if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) fail(what, DWORD(r));
            existed = r == ERROR_SUCCESS;
        }
        // A key left without "Version" was no policy, but it goes all the same.
        Key parent(HKEY_LOCAL_MACHINE, kQosKey, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
        if (!parent) fail(what, DWORD(parent.status()));
        const std::wstring sub = widen(name);
        LSTATUS r = RegDeleteTreeW(parent.get(), sub.c_str());
        if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) fail(what, DWORD(r));
        r = RegDeleteKeyExW(parent.get(), sub.c_str(), KEY_WOW64_64KEY, 0);
        if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) fail(what, DWORD(r));
        return existed;
    }

    void refresh_qos_policies() override { refresh_machine_policy(); }
};

}  // namespace

bool is_physical_adapter_row(const MIB_IF_ROW2& row) {
    const auto& flags = row.InterfaceAndOperStatusFlags;
    return flags.HardwareInterface && flags.ConnectorPresent && !flags.FilterInterface;
}

std::vector<std::vector<std::wstring>> netsh_dns_commands(uint32_t if_index, const std::vector<std::wstring>& servers) {
    const std::wstring name = L"name=" + std::to_wstring(if_index);
    if (servers.empty()) return {{L"interface", L"ipv4", L"set", L"dnsservers", name, L"source=dhcp"}};
    // Setting the first server replaces the list; each further one is added at its place.
    std::vector<std::vector<std::wstring>> out = {{L"interface", L"ipv4", L"set", L"dnsservers", name, L"source=static",
                                                   L"address=" + servers[0], L"register=primary", L"validate=no"}};
    for (size_t i = 1; i < servers.size(); ++i)
        out.push_back({L"interface", L"ipv4", L"add", L"dnsservers", name, L"address=" + servers[i],
                       L"index=" + std::to_wstring(i + 1), L"validate=no"});
    return out;
}

void change_dns_servers(uint32_t if_index, const std::vector<std::wstring>& servers, const std::string& what,
                        const std::function<DWORD(const std::wstring&)>& set_dns,
                        const std::function<void(const std::vector<std::wstring>&)>& netsh) {
    if (set_dns) {
        std::wstring list;
        for (auto& s : servers) list += (list.empty() ? L"" : L",") + s;
        DWORD r = set_dns(list);
        if (r == NO_ERROR) return;
        if (!servers.empty()) fail(what, r);
    }
    // Windows before 10 2004 lacks SetInterfaceDnsSettings, and a reset it refused is asked
    // of netsh. A failure part way leaves the servers set so far, and is reported.
    for (auto& args : netsh_dns_commands(if_index, servers)) netsh(args);
}

std::vector<NetAdapter> physical_adapters() {
    std::vector<NetAdapter> out;
    for (auto& i : physical_interfaces()) out.push_back(std::move(i.adapter));
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
