#pragma once
// Originals of everything the tweaks change, keyed by tweak id. The first backup of an id
// wins and stays until a revert consumes it. Mirrored whole into backup.json after every change.
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app/core/reg.h"
#include "platform/files.h"

namespace vexlo {

class BackupStore {
public:
    BackupStore(platform::FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

    // Reads the file. A file that cannot be parsed leaves the store empty and is kept aside
    // (next to it, with ".unreadable" and a number added) before the next save replaces it.
    void load();
    // Writes the whole store through a temporary file that replaces the old one in one step,
    // so the file on disk is always either the previous or the new store. Failures are ignored
    // (the store in memory stays right for this run); the result says whether it was written.
    bool save();

    bool has(std::string_view id) const { return data_.contains(std::string(id)); }
    const Json* get(std::string_view id) const;
    // Stores a record when the id is absent (the first wins) and saves.
    void put_if_absent(std::string_view id, Json record);
    // Removes the id and saves, when present.
    void remove(std::string_view id);

    void save_custom(std::string_view id, Json value);
    struct Popped {
        bool has = false;
        Json v;
    };
    // The record's value without removing it; `has` false when there is no record.
    Popped peek_custom(std::string_view id) const;
    Popped pop_custom(std::string_view id);

    const Json& data() const { return data_; }
    const std::string& path() const { return path_; }

private:
    platform::FileSystem& files_;
    std::string path_;
    Json data_ = Json::object();
};

// Parses backup.json text (byte-order mark tolerated). Null when it is not a JSON object or
// nests deeper than the store ever writes.
Json parse_backup_text(std::string_view text);

}  // namespace vexlo
