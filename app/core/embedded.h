#pragma once
// Data files compiled into the program (catalog tables, the renderer, artwork).
#include <optional>
#include <string_view>
#include <vector>

namespace vexlo {

struct EmbeddedFile {
    std::string_view name;  // file name, "logo.svg"; a folder's files as "catalog/10-system.toml"
    std::string_view data;
};

const std::vector<EmbeddedFile>& embedded_files();

inline std::optional<std::string_view> embedded_file(std::string_view name) {
    for (auto& f : embedded_files())
        if (f.name == name) return f.data;
    return std::nullopt;
}

}  // namespace vexlo
