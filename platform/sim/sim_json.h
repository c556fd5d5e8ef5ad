#pragma once
// How the simulated PC writes and reads the JSON files of its machine folder: tab-indented
// text a person can read and edit by hand, and every complaint of the parser as a PlatformError.
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/error.h"

namespace vexlo::sim {

inline std::string dump_state(const nlohmann::ordered_json& j) {
    return j.dump(1, '\t', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// Parses `text` (an object at the top level) and runs `body` on it.
template <class F>
void parse_state(std::string_view text, F&& body) {
    try {
        nlohmann::json j = nlohmann::json::parse(text);
        if (!j.is_object()) throw platform::PlatformError("the top level must be an object");
        body(j);
    } catch (const nlohmann::json::exception& e) {
        throw platform::PlatformError(e.what());
    }
}

}  // namespace vexlo::sim
