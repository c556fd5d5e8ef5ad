#include "app/core/booster_options.h"

namespace vexlo::booster_options {

uint32_t get(Reg& reg, std::string_view name, uint32_t fallback) {
    auto v = reg.get_raw(kKey, name);
    if (!v || v->kind != platform::RegKind::DWord) return fallback;
    return uint32_t(v->number);
}

std::string get_text(Reg& reg, std::string_view name, std::string_view fallback) {
    auto v = reg.get_raw(kKey, name);
    if (!v || v->kind != platform::RegKind::String) return std::string(fallback);
    return v->text;
}

void set(Reg& reg, std::string_view name, uint32_t value) {
    reg.set(kKey, name, Json(value), platform::RegKind::DWord);
}

void set_text(Reg& reg, std::string_view name, std::string_view value) {
    reg.set(kKey, name, Json(std::string(value)), platform::RegKind::String);
}

}  // namespace vexlo::booster_options
