#include "app/tweaks/startup_items.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "app/core/text.h"
#include "app/tweaks/kinds/startup_kind.h"

namespace vexlo {

namespace {

using platform::Hive;
using platform::KnownFolder;

bool icontains(std::string_view text, std::string_view part) {
    if (part.size() > text.size()) return false;
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (iequals(text.substr(i, part.size()), part)) return true;
    return false;
}

// Where Windows starts programs from, each with the StartupApproved list that governs it
// (below `approved`, "HKCU" or "HKLM", the list `list`).
struct RunKey {
    Hive hive;
    std::string_view key;
    std::string_view approved, list;
    std::string_view group;
};

struct StartupFolder {
    KnownFolder folder;
    std::string_view approved, list;
    std::string_view group;
};

constexpr std::string_view kYourAccount = "Your account";
constexpr std::string_view kAllUsers = "All users";

// The 32-bit programs' list is an ordinary key in the registry's 64-bit view, which is the
// one the registry back end reads.
const RunKey kRunKeys[] = {
    {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "HKCU", "\\Run", kYourAccount},
    {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "HKLM", "\\Run", kAllUsers},
    {Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "HKLM", "\\Run32", kAllUsers},
};

const StartupFolder kFolders[] = {
    {KnownFolder::Startup, "HKCU", "\\StartupFolder", kYourAccount},
    {KnownFolder::CommonStartup, "HKLM", "\\StartupFolder", kAllUsers},
};

std::string approved_key(std::string_view hive, std::string_view list) {
    return std::string(hive) + ":\\" + std::string(kStartupApproved) + std::string(list);
}

struct Found {
    std::string name, title, desc;
};

std::unique_ptr<Tweak> make_record(int n, std::string_view group, const std::string& app, Found f) {
    auto t = std::make_unique<Tweak>();
    t->id = "st_" + std::to_string(n);
    t->page = "Startup";
    t->group = std::string(group);
    t->impact = "Low";
    t->manual = true;
    t->kind = Kind::Startup;
    t->title = std::move(f.title);
    t->desc = std::move(f.desc);
    bool keep = is_vendor_startup_name(f.name);
    t->data = std::make_unique<StartupData>(app, std::move(f.name), keep);
    return t;
}

std::vector<Found> run_values(Reg& reg, const RunKey& src) {
    std::vector<Found> out;
    std::string path = std::string(src.hive == Hive::CurrentUser ? "HKCU:\\" : "HKLM:\\") + std::string(src.key);
    for (auto& name : reg.registry().value_names(src.hive, src.key)) {
        if (name.empty()) continue;  // the key's default value starts nothing
        out.push_back({name, name, value_text(reg.get(path, name))});
    }
    return out;
}

std::string without_extension(const std::string& name) {
    size_t dot = name.rfind('.');
    // A name that is all extension (".lnk") keeps it, so the entry still has a title.
    if (dot == std::string::npos || dot == 0) return name;
    return name.substr(0, dot);
}

std::vector<Found> folder_files(platform::FileSystem& files, const StartupFolder& src) {
    std::vector<Found> out;
    std::string folder = files.known_folder(src.folder);
    if (folder.empty() || !files.is_directory(folder)) return out;
    for (auto& e : files.list(folder)) {
        // desktop.ini holds the folder's own look in Explorer, not a program.
        if (e.is_directory || iequals(e.name, "desktop.ini")) continue;
        out.push_back({e.name, without_extension(e.name), path_join(folder, e.name)});
    }
    return out;
}

// One source's entries, or none when it cannot be read: a list that fails to read should not
// keep the rest of the page from showing.
template <class Read>
std::vector<Found> read_source(Read read) {
    try {
        return read();
    } catch (const std::exception&) {
        // Deliberately ignored: an unreadable source contributes no entries.
        return {};
    }
}

}  // namespace

bool is_vendor_startup_name(std::string_view name) {
    static constexpr std::string_view anywhere[] = {
        "SecurityHealth", "Realtek", "RtkAud", "igfx",    "Nahimic", "Synaptics", "Logitech", "LGHUB", "Razer",
        "SteelSeries",    "Corsair", "iCUE",   "NVIDIA",  "AMD",     "Radeon",    "Wacom",    "Elan",
    };
    if (name.size() >= 3 && iequals(name.substr(0, 3), "ETD")) return true;
    return std::any_of(std::begin(anywhere), std::end(anywhere), [&](std::string_view p) { return icontains(name, p); });
}

void build_startup_items(Catalog& cat, Reg& reg, platform::FileSystem& files) {
    for (auto& t : cat.tweaks)
        if (t->kind == Kind::Startup) cat.map.erase(t->id);
    std::erase_if(cat.tweaks, [](const std::unique_ptr<Tweak>& t) { return t->kind == Kind::Startup; });

    int n = 0;
    auto add = [&](std::string_view group, const std::string& app, std::vector<Found> found) {
        for (auto& f : found) cat.tweaks.push_back(make_record(++n, group, app, std::move(f)));
    };
    for (const RunKey& src : kRunKeys)
        add(src.group, approved_key(src.approved, src.list), read_source([&] { return run_values(reg, src); }));
    for (const StartupFolder& src : kFolders)
        add(src.group, approved_key(src.approved, src.list), read_source([&] { return folder_files(files, src); }));

    for (auto& t : cat.tweaks)
        if (t->kind == Kind::Startup) cat.map[t->id] = t.get();
}

}  // namespace vexlo
