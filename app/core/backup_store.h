#pragma once
// Originals of everything the tweaks change, keyed by tweak id. The first backup of an id
// wins and stays until a revert has put every value of it back. Mirrored whole into
// backup.json after every change: a record is on disk before the first value it protects
// changes, and it leaves the disk only after the last of them is back.
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/core/reg.h"
#include "platform/files.h"

namespace vexlo {

// A record that could not be written to disk: the change it protects must not go ahead.
class BackupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What start-up found wrong with backup.json, for the user to be told once.
struct BackupDamage {
    bool whole_file = false;          // the file could not be read at all
    std::vector<std::string> ids;     // records of the wrong shape, dropped
    std::string copy_path;            // where the damaged file was kept; empty if it could not be
    bool any() const { return whole_file || !ids.empty(); }
};

class BackupStore {
public:
    BackupStore(platform::FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

    // Reads the file. A file that cannot be parsed leaves the store empty and is kept aside
    // (next to it, with ".unreadable" and a number added; once per distinct content) before
    // the next save replaces it; damage() says so. `read_only`: a look that writes nothing, not
    // even the copy aside.
    void load(bool read_only = false);
    // Writes the whole store through a temporary file that replaces the old one in one step,
    // so the file on disk is always either the previous or the new store. The result says
    // whether it was written; `why` gets the reason when not.
    bool save(std::string* why = nullptr);

    bool has(std::string_view id) const { return data_.contains(std::string(id)); }
    const Json* get(std::string_view id) const;
    // Stores a record when the id is absent (the first wins) and saves. Throws BackupError,
    // with the store as it was, when the record cannot be saved. True when it was stored.
    bool put_if_absent(std::string_view id, Json record);
    // Replaces (or adds) a record and saves; throws BackupError as put_if_absent does.
    void put(std::string_view id, Json record);
    // Removes the id and saves, when present. A removal that cannot be saved leaves the
    // record on disk, which is safe: its values are already back. False then.
    bool remove(std::string_view id);

    // put_if_absent of {"V": value}.
    void save_custom(std::string_view id, Json value);
    struct Popped {
        bool has = false;
        Json v;
    };
    // The record's value without removing it; `has` false when there is no record.
    Popped peek_custom(std::string_view id) const;

    // Drops records start-up found to be of the wrong shape for their tweak, keeping a copy
    // of the file as it was first. Counted in damage().
    void drop_damaged(const std::vector<std::string>& ids);
    const BackupDamage& damage() const { return damage_; }

    const Json& data() const { return data_; }
    const std::string& path() const { return path_; }

private:
    void save_or_throw();
    std::string keep_aside(const std::string& text);
    // The file's text: what data_.dump(1, '\t') gives, joined from each record's member.
    std::string file_text();

    // Each record's member of the file's text, as it stands inside the store's object; a record
    // that changes loses its entry. A save re-encodes only the records changed since the last:
    // a bulk revert saves once per tweak, and the file holds every other record unchanged.
    std::map<std::string, std::string, std::less<>> member_text_;

    platform::FileSystem& files_;
    std::string path_;
    Json data_ = Json::object();
    std::string loaded_text_;
    bool read_only_ = false;
    BackupDamage damage_;
};

// Parses backup.json text (byte-order mark tolerated). Null when it is not a JSON object or
// nests deeper than the store ever writes.
Json parse_backup_text(std::string_view text);

// The record's list elements (a record may come back from disk as one object instead of a
// list; null elements are skipped).
std::vector<const Json*> record_items(const Json& rec);

}  // namespace vexlo
