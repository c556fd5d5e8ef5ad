#include "host/core_host.h"

#include <cstdio>
#include <exception>
#include <typeinfo>

#if defined(__GNUC__)
#include <cxxabi.h>

#include <cstdlib>
#endif

#include "app/core/embedded.h"

namespace vexlo {
namespace {

std::string type_name(const std::type_info& type) {
#if defined(__GNUC__)
    int status = 0;
    char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    if (status == 0 && readable) {
        std::string name = readable;
        std::free(readable);
        return name;
    }
#endif
    return type.name();
}

// Writes one asset. A file held by a running copy is normal: the one on disk is used.
void put_asset(platform::FileSystem& files, const std::string& folder, const char* name) {
    auto data = embedded_file(name);
    if (!data) return;
    try {
        files.write(folder + "\\" + name, *data);
    } catch (const platform::PlatformError&) {
    }
}

}  // namespace

std::string sortable_time(const platform::LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

std::string crash_message(const std::string& what) {
    return "Vexlo Tweaks hit an error and has to close:\n\n" + what +
           "\n\nDetails were saved to %LOCALAPPDATA%\\VexloTweaks\\crash.log";
}

int run_host(platform::Platform& pf, std::string exe, std::vector<std::string> args,
             const std::function<int(const HostValues&)>& run_app) {
    auto& files = pf.files();
    std::string data_dir;
    std::string details, message;
    try {
        data_dir = files.known_folder(platform::KnownFolder::LocalAppData) + "\\VexloTweaks";
        HostValues values{data_dir + "\\app", std::move(exe), std::move(args)};
        const std::string assets = values.root + "\\assets";
        files.create_directories(assets);
        put_asset(files, assets, "logo.png");
        put_asset(files, assets, "VexloTweaks.ico");
        return run_app(values);
    } catch (const std::exception& e) {
        details = type_name(typeid(e)) + ": " + e.what();
        message = e.what();
    } catch (...) {
        details = "unknown exception";
        message = "";
    }

    // The crash: one line in crash.log, then the message. Neither may fail the other.
    try {
        if (data_dir.empty())
            data_dir = files.known_folder(platform::KnownFolder::LocalAppData) + "\\VexloTweaks";
        files.create_directories(data_dir);
        for (auto& c : details)
            if (c == '\r' || c == '\n') c = ' ';
        files.append(data_dir + "\\crash.log", sortable_time(pf.clock().local_now()) + "  " + details + "\r\n");
    } catch (...) {
    }
    try {
        pf.shell().message_box("Vexlo Tweaks", crash_message(message), platform::MsgButtons::Ok,
                               platform::MsgIcon::Error);
    } catch (...) {
    }
    return 1;
}

}  // namespace vexlo
