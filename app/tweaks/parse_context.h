#pragma once
// What a kind's catalog parser works with: the entry's data as JSON, messages that name the
// file and the entry, the registered operations and the placeholders such as "{hz}".
#include <cstdint>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/core/reg.h"

namespace vexlo {

struct CatalogError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Operations;

class ParseContext {
public:
    ParseContext(const std::string& file, std::string entry, const Operations& ops,
                 const std::map<std::string, std::string>& vars)
        : file_(file), entry_(std::move(entry)), ops_(ops), vars_(vars) {}

    // Throws CatalogError "<file>: entry '<entry>': <what>".
    [[noreturn]] void fail(const std::string& what) const;

    // The text member `key` of `obj`: a missing or empty one fails when required, a missing
    // optional one gives "".
    std::string text(const Json& obj, std::string_view key, bool required) const;
    // `value` as text, `key` naming it in messages.
    std::string text_value(const Json& value, std::string_view key, bool required) const;
    // A true/false member; false when missing.
    bool flag(const Json& obj, std::string_view key) const;
    // A whole-number member that must be there; `what` names the table in the message.
    int64_t whole(const Json& obj, std::string_view key, std::string_view what) const;
    // `field`, the member `name` of the entry, must be a table of only the `allowed` members.
    void table(const Json& field, std::string_view name, std::initializer_list<std::string_view> allowed) const;
    // The text with every "{name}" of the placeholders filled in.
    std::string substitute(std::string text) const;

    const Operations& ops() const { return ops_; }
    const std::string& entry() const { return entry_; }
    void rename(std::string entry) { entry_ = std::move(entry); }

private:
    const std::string& file_;
    std::string entry_;
    const Operations& ops_;
    const std::map<std::string, std::string>& vars_;
};

}  // namespace vexlo
