#include "app/tweaks/parse_context.h"

#include <algorithm>

namespace vexlo {

void ParseContext::fail(const std::string& what) const { throw CatalogError(file_ + ": entry '" + entry_ + "': " + what); }

std::string ParseContext::text_value(const Json& value, std::string_view key, bool required) const {
    if (!value.is_string()) fail(std::string(key) + " must be text");
    const std::string& s = value.get_ref<const std::string&>();
    if (required && s.empty()) fail("empty " + std::string(key));
    return s;
}

std::string ParseContext::text(const Json& obj, std::string_view key, bool required) const {
    auto it = obj.find(key);
    if (it == obj.end()) {
        if (required) fail("missing " + std::string(key));
        return {};
    }
    return text_value(*it, key, required);
}

bool ParseContext::flag(const Json& obj, std::string_view key) const {
    auto it = obj.find(key);
    if (it == obj.end()) return false;
    if (!it->is_boolean()) fail(std::string(key) + " must be true or false");
    return it->get<bool>();
}

int64_t ParseContext::whole(const Json& obj, std::string_view key, std::string_view what) const {
    auto it = obj.find(key);
    if (it == obj.end() || !it->is_number_integer())
        fail(std::string(what) + " needs a whole number " + std::string(key));
    return it->get<int64_t>();
}

void ParseContext::table(const Json& field, std::string_view name, std::initializer_list<std::string_view> allowed) const {
    if (!field.is_object()) fail(std::string(name) + " must be a table");
    for (auto& [k, v] : field.items())
        if (std::find(allowed.begin(), allowed.end(), k) == allowed.end())
            fail("unknown " + std::string(name) + " field '" + k + "'");
}

std::string ParseContext::substitute(std::string text) const {
    for (auto& [name, value] : vars_) {
        std::string mark = "{" + name + "}";
        for (size_t p = 0; (p = text.find(mark, p)) != std::string::npos; p += value.size()) text.replace(p, mark.size(), value);
    }
    return text;
}

}  // namespace vexlo
