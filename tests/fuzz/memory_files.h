#pragma once
// Files in memory for the fuzzers: the store's own reads and writes without touching the disk, so
// that one input costs microseconds and leaves nothing behind. Folders are implied by the files
// in them; paths compare exactly (the fuzzers use fixed ones).
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace vexlo::fuzz {

class MemoryFiles final : public platform::FileSystem {
public:
    std::map<std::string, std::string, std::less<>> files;

    std::string known_folder(platform::KnownFolder) override { return "C:\\Users\\Player\\AppData\\Local"; }

    bool exists(std::string_view path) override { return files.contains(path) || is_directory(path); }
    bool is_directory(std::string_view path) override {
        const std::string prefix = std::string(path) + "\\";
        auto it = files.lower_bound(prefix);
        return it != files.end() && it->first.starts_with(prefix);
    }
    void create_directories(std::string_view) override {}

    std::optional<std::string> read(std::string_view path) override {
        auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second;
    }
    void write(std::string_view path, std::string_view bytes) override { files[std::string(path)] = bytes; }
    void append(std::string_view path, std::string_view bytes) override { files[std::string(path)] += bytes; }
    void replace(std::string_view from, std::string_view to) override {
        auto it = files.find(from);
        if (it == files.end()) throw platform::PlatformError("Cannot replace " + std::string(to) + ": the file is missing");
        std::string bytes = std::move(it->second);
        files.erase(it);
        files[std::string(to)] = std::move(bytes);
    }
    bool remove(std::string_view path) override {
        auto it = files.find(path);
        if (it == files.end()) return false;
        files.erase(it);
        return true;
    }
    std::vector<platform::DirEntry> list(std::string_view path) override {
        std::vector<platform::DirEntry> out;
        const std::string prefix = std::string(path) + "\\";
        for (auto it = files.lower_bound(prefix); it != files.end() && it->first.starts_with(prefix); ++it) {
            std::string_view rest = std::string_view(it->first).substr(prefix.size());
            if (rest.find('\\') == std::string_view::npos) out.push_back({std::string(rest), false, it->second.size()});
        }
        return out;
    }
    void copy(std::string_view from, std::string_view to) override {
        auto it = files.find(from);
        if (it == files.end()) throw platform::PlatformError("Cannot copy " + std::string(from) + ": the file is missing");
        files[std::string(to)] = it->second;
    }
    bool is_read_only(std::string_view) override { return false; }
    bool is_link(std::string_view) override { return false; }  // memory holds no links
    void set_read_only(std::string_view path, bool) override {
        if (!files.contains(path)) throw platform::PlatformError("Cannot change " + std::string(path) + ": the file is missing");
    }
};

}  // namespace vexlo::fuzz
