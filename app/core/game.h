#pragma once
// Where the game is installed, whether it runs, and where its settings file lives.
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/processes.h"

namespace vexlo {

inline constexpr const char* kGameProcess = "FortniteClient-Win64-Shipping";
inline constexpr const char* kGameExeTail = "FortniteGame\\Binaries\\Win64\\FortniteClient-Win64-Shipping.exe";
inline constexpr const char* kDefaultGameExe =
    "C:\\Program Files\\Epic Games\\Fortnite\\FortniteGame\\Binaries\\Win64\\FortniteClient-Win64-Shipping.exe";

// The launcher's installation list first, then the default install path; none when neither
// holds the executable.
std::optional<std::string> find_fortnite_exe(platform::FileSystem& files);
// The install folder: four levels above the executable.
std::optional<std::string> fortnite_root(const std::optional<std::string>& exe);
bool fortnite_running(platform::Processes& processes);
// GameUserSettings.ini under the user's local application data.
std::string game_settings_path(platform::FileSystem& files);

}  // namespace vexlo
