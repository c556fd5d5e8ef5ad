#pragma once
// The registry primitives everything else uses: paths in the "HKCU:\..." / "HKLM:\..." form
// (or "Registry::HKEY_CURRENT_USER\..."), values as JSON values (numbers, text, arrays).
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/registry.h"

namespace vexlo {

using Json = nlohmann::json;

struct RegPath {
    platform::Hive hive;
    std::string subkey;
};

// Null when the text is not a path under HKCU or HKLM in one of the accepted forms.
std::optional<RegPath> parse_reg_path(std::string_view path);

// "DWord", "QWord", "String", "ExpandString", "MultiString", "Binary".
std::optional<platform::RegKind> parse_reg_kind(std::string_view name);
// The name the registry reports for a kind: the six above, "None", or "Unknown".
std::string reg_kind_name(platform::RegKind kind);

// A JSON value as the registry value of `kind` ("1" and 1 both give DWORD 1; a negative DWORD
// is its 32-bit pattern). Throws std::invalid_argument when it does not fit the kind.
platform::RegValue to_reg_value(const Json& value, platform::RegKind kind);
// A raw registry value as stored in backups: DWORD as a signed 32-bit number, QWORD as a signed
// 64-bit number, text unexpanded, multi-string as an array, anything else as an array of bytes.
Json raw_json(const platform::RegValue& value);

// The text form of a value used when comparing a tweak's wanted value with what the registry
// holds: numbers in decimal, text as is, arrays joined by single blanks, null as "".
std::string value_text(const Json& value);

class Reg {
public:
    explicit Reg(platform::Registry& registry) : r_(registry) {}

    // Creates the key if needed and writes the value with the kind. Throws on failure.
    void set(std::string_view path, std::string_view name, const Json& value,
             platform::RegKind kind = platform::RegKind::DWord);
    // The value (DWORD signed, ExpandString expanded), or null when missing. Never throws.
    Json get(std::string_view path, std::string_view name);
    // Deletes the value; a missing value or any failure is ignored.
    void remove(std::string_view path, std::string_view name);
    // The raw stored value, for backups. Never throws.
    std::optional<platform::RegValue> get_raw(std::string_view path, std::string_view name);
    bool key_exists(std::string_view path);
    // Deletes the key with everything below it. False when it did not exist. Throws
    // PlatformError when the path is not a registry key below a hive, or Windows refuses.
    bool remove_tree(std::string_view path);

    platform::Registry& registry() { return r_; }

private:
    platform::Registry& r_;
};

}  // namespace vexlo
