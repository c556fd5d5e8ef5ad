#include "app/core/paths.h"

#include "app/core/text.h"

namespace vexlo {

AppPaths AppPaths::from(platform::FileSystem& files) {
    AppPaths p;
    p.log_dir = path_join(files.known_folder(platform::KnownFolder::LocalAppData), "VexloTweaks");
    p.backup_dir = path_join(p.log_dir, "backup");
    p.log_file = path_join(p.log_dir, "vexlo.log");
    p.backup_file = path_join(p.log_dir, "backup.json");
    return p;
}

}  // namespace vexlo
