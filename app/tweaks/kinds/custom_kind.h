#pragma once
// Kind custom: the C++ operations that the catalog entry names (registered in custom_ops.cpp).
#include "app/tweaks/kind.h"
#include "app/tweaks/operations.h"

namespace vexlo {

struct CustomData final : KindData {
    CustomData() = default;
    explicit CustomData(CustomOps o) : ops(std::move(o)) {}
    CustomOps ops;
};

const KindHandler& custom_handler();

}  // namespace vexlo
