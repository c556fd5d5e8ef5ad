#pragma once
// Registry access as the application sees it. Paths are subkey paths below a hive
// ("SOFTWARE\\Microsoft\\..."), names are value names ("" is the default value).
// Key and value names compare without regard to case, as Windows does.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace vexlo::platform {

enum class Hive { CurrentUser, LocalMachine };

// Value kinds with the numbers Windows uses for them, so that a value of any other
// kind can still be carried (as raw bytes) and written back.
enum class RegKind : uint32_t {
    None = 0,
    String = 1,
    ExpandString = 2,
    Binary = 3,
    DWord = 4,
    MultiString = 7,
    QWord = 11,
};

struct RegValue {
    RegKind kind = RegKind::DWord;
    uint64_t number = 0;               // DWord (low 32 bits) and QWord
    std::string text;                  // String and ExpandString, UTF-8, never expanded
    std::vector<std::string> strings;  // MultiString
    std::vector<uint8_t> bytes;        // Binary, and the raw data of any other kind

    static RegValue dword(uint32_t v) { RegValue r; r.kind = RegKind::DWord; r.number = v; return r; }
    static RegValue qword(uint64_t v) { RegValue r; r.kind = RegKind::QWord; r.number = v; return r; }
    static RegValue string(std::string v) { RegValue r; r.kind = RegKind::String; r.text = std::move(v); return r; }
    static RegValue expand_string(std::string v) { RegValue r; r.kind = RegKind::ExpandString; r.text = std::move(v); return r; }
    static RegValue multi_string(std::vector<std::string> v) { RegValue r; r.kind = RegKind::MultiString; r.strings = std::move(v); return r; }
    static RegValue binary(std::vector<uint8_t> v) { RegValue r; r.kind = RegKind::Binary; r.bytes = std::move(v); return r; }

    friend bool operator==(const RegValue& a, const RegValue& b) {
        if (a.kind != b.kind) return false;
        switch (a.kind) {
            case RegKind::DWord: return uint32_t(a.number) == uint32_t(b.number);
            case RegKind::QWord: return a.number == b.number;
            case RegKind::String:
            case RegKind::ExpandString: return a.text == b.text;
            case RegKind::MultiString: return a.strings == b.strings;
            default: return a.bytes == b.bytes;
        }
    }
};

class Registry {
public:
    virtual ~Registry() = default;

    // The stored value, raw (ExpandString is not expanded). Missing key, missing value or
    // a value that cannot be read: nullopt. Never throws.
    virtual std::optional<RegValue> get(Hive hive, std::string_view subkey, std::string_view name) = 0;
    virtual bool key_exists(Hive hive, std::string_view subkey) = 0;

    // Creates the key with any missing parents and writes the value, replacing a value of
    // any kind. Throws PlatformError when Windows refuses.
    virtual void set(Hive hive, std::string_view subkey, std::string_view name, const RegValue& value) = 0;
    // Creates the key with any missing parents. Throws PlatformError.
    virtual void create_key(Hive hive, std::string_view subkey) = 0;
    // Deletes one value. False when the key or the value did not exist. Throws PlatformError
    // when the value exists but could not be deleted. The key stays, even when left empty.
    virtual bool remove(Hive hive, std::string_view subkey, std::string_view name) = 0;
    // Deletes the key with every value and key below it. False when the key did not exist.
    // Throws PlatformError when Windows refuses, and for an empty subkey (a hive's root is
    // never deleted) or a malformed one.
    virtual bool remove_tree(Hive hive, std::string_view subkey) = 0;

    // Names as stored (original case); empty when the key is missing.
    virtual std::vector<std::string> subkey_names(Hive hive, std::string_view subkey) = 0;
    virtual std::vector<std::string> value_names(Hive hive, std::string_view subkey) = 0;

    // Expands %NAME% references against the environment of the current user, as reading
    // an ExpandString value through the registry's convenience readers does.
    virtual std::string expand_environment(std::string_view text) = 0;
};

}  // namespace vexlo::platform
