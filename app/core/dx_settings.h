#pragma once
// Two per-user settings strings the graphics tweaks edit token by token: the DirectX global
// settings ("SwapEffectUpgradeEnable=1;VRROptimizeEnable=0;") and the compatibility layers of
// an executable ("~ HIGHDPIAWARE DISABLEDXMAXIMIZEDWINDOWEDMODE").
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/reg.h"

namespace vexlo {

inline constexpr const char* kDxKey = "HKCU:\\Software\\Microsoft\\DirectX\\UserGpuPreferences";
inline constexpr const char* kDxValue = "DirectXUserGlobalSettings";
inline constexpr const char* kLayersKey = "HKCU:\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

// The token's value (its name compared with case), or none.
std::optional<std::string> get_dx_token(Reg& reg, std::string_view name);
// Sets (or with none removes) the token; other tokens keep their order; an empty result
// deletes the value. Raises what the registry write raises.
void set_dx_token(Reg& reg, std::string_view name, std::optional<std::string_view> value);

std::vector<std::string> get_layer_tokens(Reg& reg, std::string_view exe);
void set_layer_token(Reg& reg, std::string_view exe, std::string_view token, bool on);

// The same edits on text alone.
std::optional<std::string> dx_token_in(std::string_view text, std::string_view name);
std::string dx_with_token(std::string_view text, std::string_view name, std::optional<std::string_view> value);
// The layers text with the token on or off ("~ A B"); empty when no token is left.
std::string layers_with_token(const std::vector<std::string>& tokens, std::string_view token, bool on);

}  // namespace vexlo
