#pragma once
#include <string>

#include "platform/files.h"

namespace vexlo {

// The install root and the files the application keeps in it.
struct AppPaths {
    std::string log_dir;      // %LOCALAPPDATA%\VexloTweaks
    std::string backup_dir;   // ...\backup
    std::string log_file;     // ...\vexlo.log
    std::string backup_file;  // ...\backup.json

    static AppPaths from(platform::FileSystem& files);
};

// The application's settings key.
inline constexpr const char* kSettingsKey = "HKCU:\\Software\\VexloTweaks";
inline constexpr const char* kAppVersion = "3.1";

}  // namespace vexlo
