#include "app/core/temp_files.h"

#include <vector>

#include "app/core/text.h"

namespace vexlo {

namespace {

std::string folder_of(std::string_view path) {
    size_t sep = path.find_last_of("\\/");
    return std::string(sep == std::string_view::npos ? std::string_view() : path.substr(0, sep));
}

bool ends_with_no_case(std::string_view s, std::string_view suffix) {
    return s.size() > suffix.size() && iequals(s.substr(s.size() - suffix.size()), suffix);
}

}  // namespace

void remove_leftover_temporaries(platform::FileSystem& files, const AppPaths& paths, const std::string& ini_path,
                                 ActivityLog& log) {
    // BackupStore::save writes next to backup.json under this fixed name.
    const std::string store_tmp = paths.backup_file + ".tmp";
    std::vector<std::string> folders;
    for (std::string folder : {paths.log_dir, paths.backup_dir, folder_of(ini_path)}) {
        bool seen = folder.empty();
        for (auto& f : folders) seen = seen || iequals(f, folder);
        if (!seen) folders.push_back(std::move(folder));
    }
    std::vector<std::string> removed;
    for (const std::string& folder : folders) {
        for (const platform::DirEntry& entry : files.list(folder)) {
            const std::string path = path_join(folder, entry.name);
            if (entry.is_directory || !(ends_with_no_case(entry.name, kTemporarySuffix) || iequals(path, store_tmp)))
                continue;
            try {
                // A link goes as a link; its target's attributes are never touched.
                if (!files.is_link(path) && files.is_read_only(path)) files.set_read_only(path, false);
                if (files.remove(path)) removed.push_back(path);
            } catch (const std::exception& e) {
                log.append("Could not remove the temporary file " + path + ": " + e.what());
            }
        }
    }
    if (removed.empty()) return;
    log.append("Removed " + std::to_string(removed.size()) + (removed.size() == 1 ? " temporary file" : " temporary files") +
               " left by an interrupted run: " + join(removed, ", "));
}

}  // namespace vexlo
