#include "app/core/game.h"

#include <nlohmann/json.hpp>

#include "app/core/text.h"

namespace vexlo {

std::optional<std::string> find_fortnite_exe(platform::FileSystem& files) {
    std::string list = path_join(files.known_folder(platform::KnownFolder::ProgramData),
                                 "Epic\\UnrealEngineLauncher\\LauncherInstalled.dat");
    if (auto text = files.read(list)) {
        auto j = nlohmann::json::parse(*text, nullptr, false);
        if (j.is_object() && j.contains("InstallationList") && j["InstallationList"].is_array()) {
            for (auto& item : j["InstallationList"]) {
                if (!item.is_object() || !item.contains("AppName") || !item["AppName"].is_string()) continue;
                if (!iequals(item["AppName"].get<std::string>(), "Fortnite")) continue;
                if (item.contains("InstallLocation") && item["InstallLocation"].is_string()) {
                    std::string exe = path_join(item["InstallLocation"].get<std::string>(), kGameExeTail);
                    if (files.exists(exe)) return exe;
                }
                break;  // only the first entry of the game counts
            }
        }
    }
    if (files.exists(kDefaultGameExe)) return std::string(kDefaultGameExe);
    return std::nullopt;
}

std::optional<std::string> fortnite_root(const std::optional<std::string>& exe) {
    if (!exe) return std::nullopt;
    std::string p = *exe;
    for (int i = 0; i < 4; ++i) {
        size_t cut = p.find_last_of('\\');
        if (cut == std::string::npos || cut == 0) return std::nullopt;
        p.resize(cut);
    }
    return p;
}

bool fortnite_running(platform::Processes& processes) {
    std::string exe = std::string(kGameProcess) + ".exe";
    for (auto& p : processes.list())
        if (iequals(p.image, exe) || iequals(p.image, kGameProcess)) return true;
    return false;
}

std::string game_settings_path(platform::FileSystem& files) {
    return path_join(files.known_folder(platform::KnownFolder::LocalAppData),
                     "FortniteGame\\Saved\\Config\\WindowsClient\\GameUserSettings.ini");
}

}  // namespace vexlo
