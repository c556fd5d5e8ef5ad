#pragma once
// The temporary files the core writes next to a file it replaces, and their removal at start
// when a killed or crashed run left some behind.
#include <string>
#include <string_view>

#include "app/core/activity_log.h"
#include "app/core/paths.h"
#include "platform/files.h"

namespace vexlo {

// Ends the name of every temporary file the core writes itself, so that the clean-up at start
// can tell them from a player's files: "GameUserSettings.ini.vexlo-write.tmp".
inline constexpr std::string_view kTemporarySuffix = ".vexlo-write.tmp";

// Where a new version of `path` is written before it replaces `path`.
inline std::string temporary_path_for(std::string_view path) {
    return std::string(path) + std::string(kTemporarySuffix);
}

// Removes, from the install folder, its backup folder and the folder of the game settings
// file `ini_path`, files whose names end in kTemporarySuffix, and the backup store's own
// "backup.json.tmp" (by that exact name). Nothing else, and nothing below those folders.
// One line in `log` names what went; one line names each file that could not be removed.
// Never throws.
void remove_leftover_temporaries(platform::FileSystem& files, const AppPaths& paths, const std::string& ini_path,
                                 ActivityLog& log);

}  // namespace vexlo
