#include "app/core/reg.h"

#include <cmath>
#include <stdexcept>

#include "app/core/text.h"

namespace vexlo {

using platform::Hive;
using platform::RegKind;
using platform::RegValue;

std::optional<RegPath> parse_reg_path(std::string_view path) {
    struct Prefix {
        std::string_view text;
        Hive hive;
    };
    static const Prefix prefixes[] = {
        {"HKCU:\\", Hive::CurrentUser},
        {"HKLM:\\", Hive::LocalMachine},
        {"Registry::HKEY_CURRENT_USER\\", Hive::CurrentUser},
        {"Registry::HKEY_LOCAL_MACHINE\\", Hive::LocalMachine},
    };
    for (auto& p : prefixes) {
        if (path.size() > p.text.size() && iequals(path.substr(0, p.text.size()), p.text)) {
            std::string_view sub = path.substr(p.text.size());
            while (!sub.empty() && sub.back() == '\\') sub.remove_suffix(1);
            if (sub.empty() || sub.front() == '\\' || sub.find("\\\\") != std::string_view::npos) return std::nullopt;
            return RegPath{p.hive, std::string(sub)};
        }
    }
    return std::nullopt;
}

std::optional<RegKind> parse_reg_kind(std::string_view name) {
    static const std::pair<std::string_view, RegKind> kinds[] = {
        {"DWord", RegKind::DWord},        {"QWord", RegKind::QWord},
        {"String", RegKind::String},      {"ExpandString", RegKind::ExpandString},
        {"MultiString", RegKind::MultiString}, {"Binary", RegKind::Binary},
    };
    for (auto& [n, k] : kinds)
        if (iequals(n, name)) return k;
    return std::nullopt;
}

std::string reg_kind_name(RegKind kind) {
    switch (kind) {
        case RegKind::DWord: return "DWord";
        case RegKind::QWord: return "QWord";
        case RegKind::String: return "String";
        case RegKind::ExpandString: return "ExpandString";
        case RegKind::MultiString: return "MultiString";
        case RegKind::Binary: return "Binary";
        case RegKind::None: return "None";
        default: return "Unknown";
    }
}

namespace {

int64_t json_integer(const Json& v) {
    if (v.is_number_unsigned()) return int64_t(v.get<uint64_t>());
    if (v.is_number_integer()) return v.get<int64_t>();
    if (v.is_number_float()) {
        double d = v.get<double>();
        // Converting a double outside int64's range is undefined, and backup.json may hold any.
        if (!(d >= -0x1p63 && d < 0x1p63)) throw std::invalid_argument("out of range");
        if (d != std::trunc(d)) throw std::invalid_argument("not a whole number");
        return int64_t(d);
    }
    if (v.is_boolean()) return v.get<bool>() ? 1 : 0;
    if (v.is_string()) {
        auto n = parse_int64(v.get<std::string>());
        if (!n) throw std::invalid_argument("not a number: " + v.get<std::string>());
        return *n;
    }
    throw std::invalid_argument("not a number");
}

}  // namespace

RegValue to_reg_value(const Json& value, RegKind kind) {
    switch (kind) {
        case RegKind::DWord: {
            int64_t n = json_integer(value);
            if (n < INT32_MIN || n > int64_t(UINT32_MAX)) throw std::invalid_argument("out of range for a DWORD");
            return RegValue::dword(uint32_t(n));
        }
        case RegKind::QWord: {
            if (value.is_number_unsigned()) return RegValue::qword(value.get<uint64_t>());
            return RegValue::qword(uint64_t(json_integer(value)));
        }
        case RegKind::String:
        case RegKind::ExpandString: {
            std::string s = value.is_string() ? value.get<std::string>() : value_text(value);
            return kind == RegKind::String ? RegValue::string(std::move(s)) : RegValue::expand_string(std::move(s));
        }
        case RegKind::MultiString: {
            std::vector<std::string> list;
            if (value.is_array()) {
                for (auto& e : value)
                    if (!e.is_null()) list.push_back(e.is_string() ? e.get<std::string>() : value_text(e));
            } else if (!value.is_null()) {
                list.push_back(value.is_string() ? value.get<std::string>() : value_text(value));
            }
            return RegValue::multi_string(std::move(list));
        }
        case RegKind::Binary:
        default: {
            std::vector<uint8_t> bytes;
            auto add = [&](const Json& e) {
                int64_t b = json_integer(e);
                if (b < 0 || b > 255) throw std::invalid_argument("byte out of range");
                bytes.push_back(uint8_t(b));
            };
            if (value.is_array()) {
                for (auto& e : value)
                    if (!e.is_null()) add(e);
            } else if (!value.is_null()) {
                add(value);
            }
            RegValue r = RegValue::binary(std::move(bytes));
            r.kind = kind;
            return r;
        }
    }
}

Json raw_json(const RegValue& v) {
    switch (v.kind) {
        case RegKind::DWord: return int32_t(uint32_t(v.number));
        case RegKind::QWord: return int64_t(v.number);
        case RegKind::String:
        case RegKind::ExpandString: return v.text;
        case RegKind::MultiString: return v.strings;
        default: {
            Json a = Json::array();
            for (uint8_t b : v.bytes) a.push_back(int(b));
            return a;
        }
    }
}

std::string value_text(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null: return {};
        case Json::value_t::string: return value.get<std::string>();
        case Json::value_t::boolean: return value.get<bool>() ? "True" : "False";
        case Json::value_t::number_integer: return std::to_string(value.get<int64_t>());
        case Json::value_t::number_unsigned: return std::to_string(value.get<uint64_t>());
        case Json::value_t::number_float: return format_invariant(value.get<double>());
        case Json::value_t::array: {
            std::string out;
            for (auto& e : value) {
                if (!out.empty()) out += ' ';
                out += value_text(e);
            }
            return out;
        }
        default: return value.dump();
    }
}

// ---- Reg ----

namespace {
RegPath must_parse(std::string_view path) {
    auto p = parse_reg_path(path);
    if (!p) throw platform::PlatformError("Not a registry path: " + std::string(path));
    return *p;
}
}  // namespace

void Reg::set(std::string_view path, std::string_view name, const Json& value, RegKind kind) {
    RegPath p = must_parse(path);
    RegValue v;
    try {
        v = to_reg_value(value, kind);
    } catch (const std::invalid_argument& e) {
        throw platform::PlatformError("Cannot write " + std::string(name) + " as " + reg_kind_name(kind) + ": " + e.what());
    }
    r_.set(p.hive, p.subkey, name, v);
}

Json Reg::get(std::string_view path, std::string_view name) {
    auto v = get_raw(path, name);
    if (!v) return nullptr;
    if (v->kind == RegKind::ExpandString) return r_.expand_environment(v->text);
    return raw_json(*v);
}

void Reg::remove(std::string_view path, std::string_view name) {
    auto p = parse_reg_path(path);
    if (!p) return;
    try {
        r_.remove(p->hive, p->subkey, name);
    } catch (const std::exception&) {
        // A value that cannot be deleted stays as it was; tweak states are read back from the
        // registry, so they show what really happened.
    }
}

std::optional<RegValue> Reg::get_raw(std::string_view path, std::string_view name) {
    auto p = parse_reg_path(path);
    if (!p) return std::nullopt;
    return r_.get(p->hive, p->subkey, name);
}

bool Reg::key_exists(std::string_view path) {
    auto p = parse_reg_path(path);
    return p && r_.key_exists(p->hive, p->subkey);
}

bool Reg::remove_tree(std::string_view path) {
    RegPath p = must_parse(path);
    return r_.remove_tree(p.hive, p.subkey);
}

}  // namespace vexlo
