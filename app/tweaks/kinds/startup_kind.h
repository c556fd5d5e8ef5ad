#pragma once
// Kind startup: one entry of the PC's startup list, blocked or allowed through its
// StartupApproved value. Built from the PC's own list, never declared in the catalog.
#include <string>

#include "app/tweaks/kind.h"

namespace vexlo {

struct StartupData final : KindData {
    StartupData() = default;
    StartupData(std::string approved_key, std::string value_name, bool vendor)
        : app(std::move(approved_key)), name(std::move(value_name)), keep(vendor) {}
    std::string app;   // StartupApproved key path
    std::string name;  // value name there
    bool keep = false; // hardware vendor entry
};

const KindHandler& startup_handler();

}  // namespace vexlo
