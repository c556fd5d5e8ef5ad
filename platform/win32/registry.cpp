// The registry of the real PC, always in its 64-bit view so that a 32-bit build and the tools
// of Windows see the same keys.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

using platform::Hive;
using platform::PlatformError;
using platform::RegKind;
using platform::RegValue;

HKEY root_of(Hive hive) { return hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

std::string describe(Hive hive, std::string_view subkey, std::optional<std::string_view> name = {}) {
    std::string s = hive == Hive::CurrentUser ? "HKCU" : "HKLM";
    if (!subkey.empty()) s.append("\\").append(subkey);
    if (name) s.append("\\").append(name->empty() ? std::string_view("(Default)") : *name);
    return s;
}

// Names joined by single backslashes, none at either end. Windows would read some other
// spellings its own way (a leading backslash fails, a doubled one is taken as one); refusing
// them keeps this back end and the simulated one answering alike.
bool valid_key_path(std::string_view p) {
    if (p.empty()) return true;
    if (p.front() == '\\' || p.back() == '\\') return false;
    return p.find("\\\\") == std::string_view::npos;
}

class Key {
public:
    Key() = default;
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return h_; }
    HKEY* put() { return &h_; }

private:
    HKEY h_ = nullptr;
};

LSTATUS open_reg_key(Hive hive, std::string_view subkey, REGSAM access, Key& key) {
    if (!valid_key_path(subkey)) return ERROR_FILE_NOT_FOUND;
    return RegOpenKeyExW(root_of(hive), widen(subkey).c_str(), 0, access | KEY_WOW64_64KEY, key.put());
}

LSTATUS create_reg_key(Hive hive, std::string_view subkey, REGSAM access, Key& key) {
    return RegCreateKeyExW(root_of(hive), widen(subkey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           access | KEY_WOW64_64KEY, nullptr, key.put(), nullptr);
}

// UTF-16 data of a string value as text: up to the first NUL, and whole even without one
// (a value written by a careless program may lack the terminator or end on an odd byte).
std::string text_of(const std::vector<uint8_t>& data) {
    size_t chars = data.size() / 2;
    std::wstring w(chars, L'\0');
    if (chars) std::memcpy(w.data(), data.data(), chars * 2);
    size_t end = w.find(L'\0');
    if (end != std::wstring::npos) w.resize(end);
    return narrow(w);
}

// REG_MULTI_SZ as .NET's reader splits it: every NUL ends a string, so empty strings between
// others are kept, and only the NUL closing the list (a final empty string) is dropped.
std::vector<std::string> strings_of(const std::vector<uint8_t>& data) {
    size_t chars = data.size() / 2;
    std::wstring w(chars, L'\0');
    if (chars) std::memcpy(w.data(), data.data(), chars * 2);
    if (!w.empty() && w.back() != L'\0') w.push_back(L'\0');
    std::vector<std::string> out;
    size_t cur = 0;
    while (cur < w.size()) {
        size_t next = w.find(L'\0', cur);
        if (next == cur && next == w.size() - 1) break;  // the list's own terminator
        out.push_back(narrow(std::wstring_view(w).substr(cur, next - cur)));
        cur = next + 1;
    }
    return out;
}

uint64_t little_endian(const std::vector<uint8_t>& data, size_t width) {
    uint64_t n = 0;
    for (size_t i = 0; i < width && i < data.size(); ++i) n |= uint64_t(data[i]) << (8 * i);
    return n;
}

RegValue decode(DWORD type, std::vector<uint8_t> data) {
    switch (type) {
        case REG_SZ: return RegValue::string(text_of(data));
        case REG_EXPAND_SZ: return RegValue::expand_string(text_of(data));
        case REG_MULTI_SZ: return RegValue::multi_string(strings_of(data));
        case REG_DWORD: return RegValue::dword(uint32_t(little_endian(data, 4)));
        case REG_QWORD: return RegValue::qword(little_endian(data, 8));
        case REG_BINARY: return RegValue::binary(std::move(data));
        default: {
            RegValue v;
            v.kind = RegKind(type);
            v.bytes = std::move(data);
            return v;
        }
    }
}

void append_wide(std::vector<uint8_t>& out, std::string_view text) {
    std::wstring w = widen(text);
    w.push_back(L'\0');
    const auto* p = reinterpret_cast<const uint8_t*>(w.data());
    out.insert(out.end(), p, p + w.size() * sizeof(wchar_t));
}

std::vector<uint8_t> encode(const RegValue& v) {
    std::vector<uint8_t> out;
    switch (v.kind) {
        case RegKind::String:
        case RegKind::ExpandString: append_wide(out, v.text); break;
        case RegKind::MultiString:
            // Each string with its NUL, then the NUL that closes the list (alone for no strings).
            for (auto& s : v.strings) append_wide(out, s);
            out.push_back(0);
            out.push_back(0);
            break;
        case RegKind::DWord:
            for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v.number >> (8 * i)));
            break;
        case RegKind::QWord:
            for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v.number >> (8 * i)));
            break;
        default: out = v.bytes; break;
    }
    return out;
}

// Sorted without regard to case, as the simulated PC lists them, so callers see one order.
void sort_names(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return CompareStringOrdinal(widen(a).c_str(), -1, widen(b).c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
}

// Names from RegEnumKeyExW or RegEnumValueW (`next(index, buffer, length)`), sorted.
template <class Next>
std::vector<std::string> enumerate_names(Next next) {
    std::vector<std::string> out;
    // Key names are at most 255 characters and value names 16,383: grow once when needed.
    std::vector<wchar_t> buf(256);
    for (DWORD i = 0;;) {
        DWORD len = DWORD(buf.size());
        LSTATUS rc = next(i, buf.data(), &len);
        if (rc == ERROR_MORE_DATA && buf.size() < 32768) {
            buf.resize(32768);
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        out.push_back(narrow(std::wstring_view(buf.data(), len)));
        ++i;
    }
    sort_names(out);
    return out;
}

class Win32Registry final : public platform::Registry {
public:
    std::optional<RegValue> get(Hive hive, std::string_view subkey, std::string_view name) override {
        Key key;
        if (open_reg_key(hive, subkey, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return std::nullopt;
        std::wstring wname = widen(name);
        std::vector<uint8_t> data(256);
        for (int attempt = 0; attempt < 8; ++attempt) {
            DWORD type = 0, size = DWORD(data.size());
            LSTATUS rc = RegQueryValueExW(key.get(), wname.c_str(), nullptr, &type, data.data(), &size);
            if (rc == ERROR_MORE_DATA) {
                data.resize(size_t(size) + 2);  // the value may grow between the two calls
                continue;
            }
            if (rc != ERROR_SUCCESS) return std::nullopt;
            data.resize(size);
            return decode(type, std::move(data));
        }
        return std::nullopt;
    }

    bool key_exists(Hive hive, std::string_view subkey) override {
        Key key;
        return open_reg_key(hive, subkey, KEY_QUERY_VALUE, key) == ERROR_SUCCESS;
    }

    void set(Hive hive, std::string_view subkey, std::string_view name, const RegValue& value) override {
        const std::string what = "Cannot write " + describe(hive, subkey, name);
        if (!valid_key_path(subkey)) throw PlatformError(what + ": The key name is not valid.");
        Key key;
        if (LSTATUS rc = create_reg_key(hive, subkey, KEY_SET_VALUE, key); rc != ERROR_SUCCESS) fail(what, DWORD(rc));
        std::vector<uint8_t> data = encode(value);
        LSTATUS rc = RegSetValueExW(key.get(), widen(name).c_str(), 0, DWORD(value.kind), data.empty() ? nullptr : data.data(),
                                    DWORD(data.size()));
        if (rc != ERROR_SUCCESS) fail(what, DWORD(rc));
    }

    void create_key(Hive hive, std::string_view subkey) override {
        const std::string what = "Cannot create " + describe(hive, subkey);
        if (!valid_key_path(subkey)) throw PlatformError(what + ": The key name is not valid.");
        Key key;
        if (LSTATUS rc = create_reg_key(hive, subkey, KEY_QUERY_VALUE, key); rc != ERROR_SUCCESS)
            fail(what, DWORD(rc));
    }

    bool remove(Hive hive, std::string_view subkey, std::string_view name) override {
        const std::string what = "Cannot delete " + describe(hive, subkey, name);
        Key key;
        LSTATUS rc = open_reg_key(hive, subkey, KEY_SET_VALUE | KEY_QUERY_VALUE, key);
        if (rc == ERROR_FILE_NOT_FOUND) return false;
        if (rc != ERROR_SUCCESS) {
            // Not allowed to change the key: that matters only when the value is there.
            if (!get(hive, subkey, name)) return false;
            fail(what, DWORD(rc));
        }
        rc = RegDeleteValueW(key.get(), widen(name).c_str());
        if (rc == ERROR_FILE_NOT_FOUND) return false;
        if (rc != ERROR_SUCCESS) fail(what, DWORD(rc));
        return true;
    }

    bool remove_tree(Hive hive, std::string_view subkey) override {
        const std::string what = "Cannot delete " + describe(hive, subkey);
        if (subkey.empty()) throw PlatformError(what + ": A hive's root key is never deleted.");
        if (!valid_key_path(subkey)) throw PlatformError(what + ": The key name is not valid.");
        {
            // RegDeleteTreeW has no view flag of its own: the handle opened in the 64-bit view
            // carries it. It empties the key; the key itself goes below.
            Key key;
            LSTATUS rc = open_reg_key(hive, subkey, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE, key);
            if (rc == ERROR_FILE_NOT_FOUND) return false;
            if (rc != ERROR_SUCCESS) fail(what, DWORD(rc));
            rc = RegDeleteTreeW(key.get(), nullptr);
            if (rc != ERROR_SUCCESS) fail(what, DWORD(rc));
        }
        LSTATUS rc = RegDeleteKeyExW(root_of(hive), widen(subkey).c_str(), KEY_WOW64_64KEY, 0);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) fail(what, DWORD(rc));
        return true;
    }

    std::vector<std::string> subkey_names(Hive hive, std::string_view subkey) override {
        Key key;
        if (open_reg_key(hive, subkey, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return {};
        return enumerate_names([&](DWORD i, wchar_t* buf, DWORD* len) {
            return RegEnumKeyExW(key.get(), i, buf, len, nullptr, nullptr, nullptr, nullptr);
        });
    }

    std::vector<std::string> value_names(Hive hive, std::string_view subkey) override {
        Key key;
        if (open_reg_key(hive, subkey, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return {};
        return enumerate_names([&](DWORD i, wchar_t* buf, DWORD* len) {
            return RegEnumValueW(key.get(), i, buf, len, nullptr, nullptr, nullptr, nullptr);
        });
    }

    std::string expand_environment(std::string_view text) override {
        if (text.empty()) return {};
        std::wstring in = widen(text);
        std::wstring out(in.size() + 256, L'\0');
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD n = ExpandEnvironmentStringsW(in.c_str(), out.data(), DWORD(out.size()));
            if (n == 0) return std::string(text);
            if (n <= out.size()) {
                out.resize(n - 1);  // n counts the terminating NUL
                return narrow(out);
            }
            out.assign(n, L'\0');
        }
        return std::string(text);
    }
};

}  // namespace

std::unique_ptr<platform::Registry> make_registry() { return std::make_unique<Win32Registry>(); }

}  // namespace vexlo::win32
