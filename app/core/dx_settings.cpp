#include "app/core/dx_settings.h"

#include "app/core/text.h"

namespace vexlo {

std::optional<std::string> dx_token_in(std::string_view text, std::string_view name) {
    std::string key = std::string(name) + "=";
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(';', pos);
        std::string_view piece = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (piece.substr(0, key.size()) == key) return std::string(piece.substr(key.size()));
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return std::nullopt;
}

std::string dx_with_token(std::string_view text, std::string_view name, std::optional<std::string_view> value) {
    std::string key = std::string(name) + "=";
    std::vector<std::string> keep;
    for (auto& piece : split(text, ';'))
        if (!piece.empty() && !(piece.size() >= key.size() && iequals(std::string_view(piece).substr(0, key.size()), key)))
            keep.push_back(piece);
    if (value) keep.push_back(key + std::string(*value));
    if (keep.empty()) return {};
    return join(keep, ";") + ";";
}

std::optional<std::string> get_dx_token(Reg& reg, std::string_view name) {
    return dx_token_in(value_text(reg.get(kDxKey, kDxValue)), name);
}

void set_dx_token(Reg& reg, std::string_view name, std::optional<std::string_view> value) {
    std::string next = dx_with_token(value_text(reg.get(kDxKey, kDxValue)), name, value);
    if (next.empty())
        reg.remove(kDxKey, kDxValue);
    else
        reg.set(kDxKey, kDxValue, next, platform::RegKind::String);
}

std::vector<std::string> get_layer_tokens(Reg& reg, std::string_view exe) {
    std::vector<std::string> out;
    std::string text = value_text(reg.get(kLayersKey, exe));
    std::string cur;
    auto flush = [&] {
        if (!cur.empty() && cur != "~") out.push_back(cur);
        cur.clear();
    };
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            flush();
        else
            cur += c;
    }
    flush();
    return out;
}

std::string layers_with_token(const std::vector<std::string>& tokens, std::string_view token, bool on) {
    std::vector<std::string> keep;
    for (auto& t : tokens)
        if (!iequals(t, token)) keep.push_back(t);
    if (on) keep.emplace_back(token);
    return keep.empty() ? std::string() : "~ " + join(keep, " ");
}

void set_layer_token(Reg& reg, std::string_view exe, std::string_view token, bool on) {
    std::string next = layers_with_token(get_layer_tokens(reg, exe), token, on);
    if (next.empty())
        reg.remove(kLayersKey, exe);
    else
        reg.set(kLayersKey, exe, next, platform::RegKind::String);
}

}  // namespace vexlo
