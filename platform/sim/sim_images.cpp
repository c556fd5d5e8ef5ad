#include "platform/sim/sim_image_values.h"
#include "platform/sim/sim_images.h"

#include <algorithm>
#include <functional>

#include "platform/sim/sim_util.h"

namespace vexlo::sim {

using namespace image_values;

// ---- Editing an image ------------------------------------------------------------------

void MachineImage::set_value(Hive hive, std::string_view key, std::string_view name, RegValue value) {
    for (auto& e : registry) {
        if (e.hive == hive && e.name && iequals(e.key, key) && iequals(*e.name, name)) {
            e.value = std::move(value);
            return;
        }
    }
    registry.push_back({hive, std::string(key), std::string(name), std::move(value)});
}

void MachineImage::remove_value(Hive hive, std::string_view key, std::string_view name) {
    std::erase_if(registry,
                  [&](const RegEntry& e) { return e.hive == hive && e.name && iequals(e.key, key) && iequals(*e.name, name); });
}

void MachineImage::add_key(Hive hive, std::string_view key) {
    for (auto& e : registry)
        if (e.hive == hive && iequals(e.key, key)) return;
    registry.push_back({hive, std::string(key), std::nullopt, {}});
}

void MachineImage::set_values(Hive hive, std::string_view key, std::initializer_list<std::pair<const char*, RegValue>> values) {
    add_key(hive, key);
    for (auto& [name, v] : values) set_value(hive, key, name, v);
}

void MachineImage::remove_key(Hive hive, std::string_view key) {
    std::erase_if(registry, [&](const RegEntry& e) {
        if (e.hive != hive || e.key.size() < key.size() || !iequals(std::string_view(e.key).substr(0, key.size()), key))
            return false;
        return e.key.size() == key.size() || e.key[key.size()] == '\\';
    });
}

void MachineImage::set_env(std::string_view name, std::string value) {
    for (auto& [n, v] : environment) {
        if (iequals(n, name)) {
            v = std::move(value);
            return;
        }
    }
    environment.emplace_back(std::string(name), std::move(value));
}

void MachineImage::remove_files(std::string_view path) {
    auto below = [&](std::string_view p) {
        return p.size() >= path.size() && iequals(p.substr(0, path.size()), path) &&
               (p.size() == path.size() || p[path.size()] == '\\');
    };
    std::erase_if(files, [&](auto& f) { return below(f.first); });
    std::erase_if(folders, [&](auto& f) { return below(f); });
}

// ---- Writing them down ------------------------------------------------------------------

namespace {


RegValue esz(std::string v) { return RegValue::expand_string(std::move(v)); }
RegValue bin(std::string_view hex) {  // "80 51 01 00 ..."
    std::vector<uint8_t> out;
    auto nib = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(uint8_t(nib(hex[i]) << 4 | nib(hex[i + 1])));
        i += 2;
    }
    return RegValue::binary(std::move(out));
}

// at(m, HKLM, R"(SOFTWARE\X)")("Name", dw(1))("Other", sz("a")): the key, then its values.
struct KeyWriter {
    MachineImage& m;
    Hive hive;
    std::string key;
    KeyWriter& operator()(std::string_view name, RegValue v) {
        m.set_value(hive, key, name, std::move(v));
        return *this;
    }
};
KeyWriter at(MachineImage& m, Hive hive, std::string key) {
    m.add_key(hive, key);
    return {m, hive, std::move(key)};
}

const char* const kServices = R"(SYSTEM\CurrentControlSet\Services\)";
const char* const kCurrentVersion = R"(SOFTWARE\Microsoft\Windows NT\CurrentVersion)";
const char* const kDisplayClass = R"(SYSTEM\CurrentControlSet\Control\Class\{4d36e968-e325-11ce-bfc1-08002be10318}\)";
// Restart after 2 and 5 minutes, then nothing; counters reset after a day.
const char* const kRestartTwice =
    "80 51 01 00 00 00 00 00 00 00 00 00 03 00 00 00 14 00 00 00 01 00 00 00 c0 d4 01 00 01 00 00 00 e0 93 04 00 00 "
    "00 00 00 00 00 00 00";

struct Cpu {
    std::string name, identifier, vendor;
    uint32_t mhz;
    int threads;
    std::string level, revision;
};

void set_cpu(MachineImage& m, const Cpu& cpu) {
    m.facts.cpus = {cpu.name};
    m.remove_key(HKLM, R"(HARDWARE\DESCRIPTION\System\CentralProcessor)");
    for (int i = 0; i < cpu.threads; ++i)
        at(m, HKLM, R"(HARDWARE\DESCRIPTION\System\CentralProcessor\)" + std::to_string(i))
            ("ProcessorNameString", sz(cpu.name))("Identifier", sz(cpu.identifier))
            ("VendorIdentifier", sz(cpu.vendor))("~MHz", dw(cpu.mhz))("FeatureSet", dw(0x3d1b3fff));
    std::string id = cpu.identifier + ", " + cpu.vendor;
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\Session Manager\Environment)")
        ("NUMBER_OF_PROCESSORS", sz(std::to_string(cpu.threads)))("PROCESSOR_IDENTIFIER", sz(id))
        ("PROCESSOR_LEVEL", sz(cpu.level))("PROCESSOR_REVISION", sz(cpu.revision));
    m.set_env("NUMBER_OF_PROCESSORS", std::to_string(cpu.threads));
    m.set_env("PROCESSOR_IDENTIFIER", id);
}

struct Gpu {
    std::string name, provider, driver_version;
    uint64_t vram;
};

void set_gpus(MachineImage& m, const std::vector<Gpu>& gpus) {
    m.facts.gpus.clear();
    for (size_t i = 0; i < 10; ++i) m.remove_key(HKLM, kDisplayClass + std::string("000") + std::to_string(i));
    for (size_t i = 0; i < gpus.size(); ++i) {
        auto& g = gpus[i];
        m.facts.gpus.push_back(g.name);
        at(m, HKLM, kDisplayClass + std::string("000") + std::to_string(i))
            ("DriverDesc", sz(g.name))("ProviderName", sz(g.provider))("DriverVersion", sz(g.driver_version))
            ("HardwareInformation.qwMemorySize", qw(g.vram))("HardwareInformation.AdapterString", sz(g.name));
    }
}

void set_windows(MachineImage& m, uint32_t build, std::string display_version, uint32_t ubr, std::string build_lab) {
    m.facts.windows_build = build;
    std::string b = std::to_string(build);
    // ProductName still says "Windows 10" on Windows 11: Windows never changed it.
    at(m, HKLM, kCurrentVersion)("CurrentBuild", sz(b))("CurrentBuildNumber", sz(b))
        ("DisplayVersion", sz(display_version))("UBR", dw(ubr))("BuildLab", sz(build_lab))
        ("BuildLabEx", sz(build_lab.substr(0, build_lab.find('.')) + ".1.amd64fre" + build_lab.substr(build_lab.find('.'))))
        ("BuildBranch", sz(build_lab.substr(build_lab.find('.') + 1, build_lab.rfind('.') - build_lab.find('.') - 1)));
    m.facts.os_caption = std::string("Microsoft Windows ") + (build >= 22000 ? "11" : "10") + " Pro";
}

void set_edition(MachineImage& m, std::string edition_id, std::string product_name, std::string caption_edition) {
    at(m, HKLM, kCurrentVersion)("EditionID", sz(edition_id))("ProductName", sz(product_name));
    m.facts.os_caption = m.facts.os_caption.substr(0, m.facts.os_caption.rfind(' ') + 1) + caption_edition;
}

void add_service(MachineImage& m, const std::string& name, uint32_t start, uint32_t type, std::string image_path,
                 std::vector<std::string> depends, std::string display) {
    at(m, HKLM, kServices + name)("Start", dw(start))("Type", dw(type))("ErrorControl", dw(1))
        ("ImagePath", esz(std::move(image_path)))("ObjectName", sz("LocalSystem"))("DisplayName", sz(std::move(display)))
        ("DependOnService", msz(std::move(depends)))("FailureActions", bin(kRestartTwice));
}

// A Windows 11 23H2 gaming desktop as it is after setup, drivers, Steam and Discord.
MachineImage windows11_desktop() {
    MachineImage m;
    m.name = "desktop11";
    m.facts.total_memory_bytes = 34'219'364'352;  // 32 GB fitted
    m.facts.refresh_hz = 165;
    m.facts.battery = false;
    m.facts.elevated = true;

    m.environment = {
        {"ALLUSERSPROFILE", R"(C:\ProgramData)"},
        {"APPDATA", R"(C:\Users\Player\AppData\Roaming)"},
        {"CommonProgramFiles", R"(C:\Program Files\Common Files)"},
        {"CommonProgramFiles(x86)", R"(C:\Program Files (x86)\Common Files)"},
        {"COMPUTERNAME", "DESKTOP-7K2M9QF"},
        {"ComSpec", R"(C:\Windows\system32\cmd.exe)"},
        {"HOMEDRIVE", "C:"},
        {"HOMEPATH", R"(\Users\Player)"},
        {"LOCALAPPDATA", R"(C:\Users\Player\AppData\Local)"},
        {"NUMBER_OF_PROCESSORS", "16"},
        {"OneDrive", R"(C:\Users\Player\OneDrive)"},
        {"OS", "Windows_NT"},
        {"Path", R"(C:\Windows\system32;C:\Windows;C:\Windows\System32\Wbem;C:\Windows\System32\WindowsPowerShell\v1.0\;C:\Users\Player\AppData\Local\Microsoft\WindowsApps;)"},
        {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
        {"PROCESSOR_ARCHITECTURE", "AMD64"},
        {"ProgramData", R"(C:\ProgramData)"},
        {"ProgramFiles", R"(C:\Program Files)"},
        {"ProgramFiles(x86)", R"(C:\Program Files (x86))"},
        {"ProgramW6432", R"(C:\Program Files)"},
        {"PUBLIC", R"(C:\Users\Public)"},
        {"SystemDrive", "C:"},
        {"SystemRoot", R"(C:\Windows)"},
        {"TEMP", R"(C:\Users\Player\AppData\Local\Temp)"},
        {"TMP", R"(C:\Users\Player\AppData\Local\Temp)"},
        {"USERDOMAIN", "DESKTOP-7K2M9QF"},
        {"USERNAME", "Player"},
        {"USERPROFILE", R"(C:\Users\Player)"},
        {"windir", R"(C:\Windows)"},
    };

    // Windows itself.
    at(m, HKLM, kCurrentVersion)("ProductName", sz("Windows 10 Pro"))("EditionID", sz("Professional"))
        ("CompositionEditionID", sz("Enterprise"))("InstallationType", sz("Client"))("ReleaseId", sz("2009"))
        ("CurrentVersion", sz("6.3"))("CurrentMajorVersionNumber", dw(10))("CurrentMinorVersionNumber", dw(0))
        ("CurrentType", sz("Multiprocessor Free"))("InstallDate", dw(1709312456))
        ("InstallTime", qw(133537860560000000))  // the same moment as a FILETIME
        ("PathName", sz(R"(C:\Windows)"))("SystemRoot", sz(R"(C:\WINDOWS)"))("SoftwareType", sz("System"))
        ("RegisteredOwner", sz("Player"))("RegisteredOrganization", sz(""))("ProductId", sz("00330-80000-00000-AA578"));
    set_windows(m, 22631, "23H2", 4460, "22621.ni_release.220506-1250");

    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\Session Manager)")("ProtectionMode", dw(1))
        ("CriticalSectionTimeout", dw(2592000))("GlobalFlag", dw(0))("BootExecute", msz({"autocheck autochk *"}))
        ("ObjectDirectories", msz({R"(\Windows)", R"(\RPC Control)"}));
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\Session Manager\Environment)")
        ("ComSpec", esz(R"(%SystemRoot%\system32\cmd.exe)"))("DriverData", sz(R"(C:\Windows\System32\Drivers\DriverData)"))
        ("OS", sz("Windows_NT"))
        ("Path", esz(R"(%SystemRoot%\system32;%SystemRoot%;%SystemRoot%\System32\Wbem;%SYSTEMROOT%\System32\WindowsPowerShell\v1.0\;%SYSTEMROOT%\System32\OpenSSH\)"))
        ("PATHEXT", sz(".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"))
        ("PROCESSOR_ARCHITECTURE", sz("AMD64"))
        ("PSModulePath", esz(R"(%ProgramFiles%\WindowsPowerShell\Modules;%SystemRoot%\system32\WindowsPowerShell\v1.0\Modules)"))
        ("TEMP", esz(R"(%SystemRoot%\TEMP)"))("TMP", esz(R"(%SystemRoot%\TEMP)"))("USERNAME", sz("SYSTEM"))
        ("windir", esz("%SystemRoot%"));
    at(m, HKCU, "Environment")("Path", esz(R"(%USERPROFILE%\AppData\Local\Microsoft\WindowsApps;)"))
        ("TEMP", esz(R"(%USERPROFILE%\AppData\Local\Temp)"))("TMP", esz(R"(%USERPROFILE%\AppData\Local\Temp)"))
        ("OneDrive", sz(R"(C:\Users\Player\OneDrive)"));

    // Power and CPU scheduling. A stock PC has no PowerThrottling key below Control\Power.
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\Power)")("HibernateEnabledDefault", dw(1))("HibernateEnabled", dw(1));
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\PriorityControl)")("Win32PrioritySeparation", dw(2));
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\Session Manager\Power)")("HiberbootEnabled", dw(1));
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\Session Manager\kernel)")("ObCaseInsensitive", dw(1))
        ("ObUnsecureGlobalNames",
         msz({"netfxcustomperfcounters.1.0", "SharedPerfIPCBlock", "Cor_Private_IPCBlock", "Cor_Public_IPCBlock_"}));
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\Session Manager\Memory Management)")
        ("ClearPageFileAtShutdown", dw(0))("DisablePagingExecutive", dw(0))("LargeSystemCache", dw(0))
        ("NonPagedPoolQuota", dw(0))("NonPagedPoolSize", dw(0))("PagedPoolQuota", dw(0))("PagedPoolSize", dw(0))
        ("SecondLevelDataCache", dw(0))("SessionPoolSize", dw(4))("SessionViewSize", dw(48))("SystemPages", dw(0))
        ("PhysicalAddressExtension", dw(1))("PagingFiles", msz({R"(?:\pagefile.sys)"}))
        ("ExistingPageFiles", msz({R"(\??\C:\pagefile.sys)"}));
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\Session Manager\Memory Management\PrefetchParameters)")
        ("EnablePrefetcher", dw(3))("EnableBootTrace", dw(0));

    // Multimedia scheduler profiles.
    const std::string mm = kCurrentVersion + std::string(R"(\Multimedia\SystemProfile)");
    at(m, HKLM, mm)("NetworkThrottlingIndex", dw(10))("SystemResponsiveness", dw(20));
    struct Task {
        const char* name;
        uint32_t priority;
        const char* category;
        const char* background;
    };
    for (const Task& t : {Task{"Audio", 6, "Medium", "True"}, Task{"Capture", 5, "Medium", "True"},
                          Task{"DisplayPostProcessing", 8, "High", "True"}, Task{"Distribution", 4, "Medium", "True"},
                          Task{"Games", 2, "Medium", "False"}, Task{"Playback", 3, "Medium", "False"},
                          Task{"Pro Audio", 1, "High", "False"}, Task{"Window Manager", 5, "Medium", "True"}})
        at(m, HKLM, mm + R"(\Tasks\)" + t.name)("Affinity", dw(0))("Background Only", sz(t.background))
            ("Clock Rate", dw(10000))("GPU Priority", dw(8))("Priority", dw(t.priority))
            ("Scheduling Category", sz(t.category))("SFIO Priority", sz("Normal"));

    // Graphics. No TdrDelay and no OverlayTestMode on a stock PC.
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\GraphicsDrivers)")("HwSchMode", dw(2))("PlatformSupportMiracast", dw(1));
    for (const char* sub : {"Configuration", "Connectivity", "DCI", "MonitorDataStore", "ScaleFactors"})
        m.add_key(HKLM, std::string(R"(SYSTEM\CurrentControlSet\Control\GraphicsDrivers\)") + sub);
    m.add_key(HKLM, R"(SOFTWARE\Microsoft\Windows\Dwm)");
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\DeviceGuard)")("EnableVirtualizationBasedSecurity", dw(1))
        ("RequirePlatformSecurityFeatures", dw(1));
    at(m, HKLM, R"(SYSTEM\CurrentControlSet\Control\DeviceGuard\Scenarios\HypervisorEnforcedCodeIntegrity)")
        ("Enabled", dw(1))("WasEnabledBy", dw(2));

    // Game Bar, Game Mode and background recording, as the user last left the settings.
    at(m, HKCU, R"(Software\Microsoft\GameBar)")("AutoGameModeEnabled", dw(1))("GamePanelStartupTipIndex", dw(3))
        ("ShowStartupPanel", dw(0))("UseNexusForGameBarEnabled", dw(0));
    at(m, HKCU, R"(System\GameConfigStore)")("GameDVR_Enabled", dw(1))("GameDVR_FSEBehaviorMode", dw(2))
        ("GameDVR_HonorUserFSEBehaviorMode", dw(0))("GameDVR_DXGIHonorFSEWindowsCompatible", dw(0))
        ("GameDVR_EFSEFeatureFlags", dw(0))
        ("Win32_AutoGameModeDefaultProfile",
         bin("01 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
             "00 00 00 00 00 00 00 00"));
    m.add_key(HKCU, R"(System\GameConfigStore\Children)");
    m.add_key(HKCU, R"(System\GameConfigStore\Parents)");
    at(m, HKCU, R"(Software\Microsoft\Windows\CurrentVersion\GameDVR)")("AppCaptureEnabled", dw(1))
        ("AudioCaptureEnabled", dw(1))("HistoricalCaptureEnabled", dw(0));

    // Policies: the folders a stock PC has; none of the game or update policies are set.
    for (const char* sub : {"Appx", "BITS", "CurrentVersion", "DataCollection", "DriverSearching", "NetworkProvider",
                            "safer", "System", "WcmSvc", "WorkplaceJoin"})
        m.add_key(HKLM, std::string(R"(SOFTWARE\Policies\Microsoft\Windows\)") + sub);
    m.add_key(HKLM, R"(SOFTWARE\Policies\Microsoft\Windows Defender)");

    // A few services the application looks at or that users ask about.
    const std::string svchost = R"(%SystemRoot%\system32\svchost.exe -k )";
    add_service(m, "SysMain", 2, 0x20, svchost + "LocalSystemNetworkRestricted -p", {"rpcss"},
                R"(@%SystemRoot%\system32\sysmain.dll,-1000)");
    at(m, HKLM, kServices + std::string(R"(SysMain\Parameters)"))
        ("ServiceDll", esz(R"(%SystemRoot%\system32\sysmain.dll)"))("ServiceDllUnloadOnStop", dw(1));
    add_service(m, "DiagTrack", 2, 0x10, svchost + "utcsvc -p", {"RpcSs"}, R"(@%SystemRoot%\system32\diagtrack.dll,-3001)");
    add_service(m, "WSearch", 2, 0x10, R"(%systemroot%\system32\SearchIndexer.exe /Embedding)",
                {"RPCSS", "BrokerInfrastructure"}, R"(@%systemroot%\system32\SearchIndexer.exe,-103)");
    at(m, HKLM, kServices + std::string("WSearch"))("DelayedAutostart", dw(1));
    add_service(m, "Spooler", 2, 0x110, R"(%SystemRoot%\System32\spoolsv.exe)", {"RPCSS", "http"},
                R"(@%systemroot%\system32\spoolsv.exe,-1)");
    add_service(m, "XblAuthManager", 3, 0x20, svchost + "netsvcs -p", {},
                R"(@%systemroot%\system32\XblAuthManager.dll,-100)");
    add_service(m, "XblGameSave", 3, 0x20, svchost + "netsvcs -p", {"UserManager", "XblAuthManager"},
                R"(@%systemroot%\system32\XblGameSave.dll,-100)");

    set_cpu(m, {"AMD Ryzen 7 7800X3D 8-Core Processor", "AMD64 Family 25 Model 97 Stepping 2", "AuthenticAMD", 4201, 16,
                "25", "6102"});
    set_gpus(m, {{"NVIDIA GeForce RTX 4070", "NVIDIA", "32.0.15.6094", 12'884'901'888}});

    m.processes = {
        {4, "System"},          {148, "Registry"},         {516, "smss.exe"},       {732, "csrss.exe"},
        {828, "wininit.exe"},   {840, "csrss.exe"},        {908, "services.exe"},   {932, "lsass.exe"},
        {996, "winlogon.exe"},  {1064, "svchost.exe"},     {1092, "fontdrvhost.exe"}, {1180, "svchost.exe"},
        {1352, "dwm.exe"},      {1420, "svchost.exe"},     {1588, "svchost.exe"},   {2240, "NVDisplay.Container.exe"},
        {2876, "spoolsv.exe"},  {3412, "MsMpEng.exe"},     {5904, "sihost.exe"},    {6040, "taskhostw.exe"},
        {6392, "explorer.exe"}, {6612, "ctfmon.exe"},      {7116, "SearchHost.exe"}, {7240, "StartMenuExperienceHost.exe"},
        {7488, "RuntimeBroker.exe"}, {9132, "steam.exe"},  {9340, "steamwebhelper.exe"}, {10236, "Discord.exe"},
        {10412, "Discord.exe"},
    };
    // What a player's PC runs at rest: launchers, chat, music, a browser, sync and widgets. The
    // shell's window manager runs High, one of Steam's helpers lowers itself, a background tab
    // of the browser idles; protected processes (the antimalware service, the game's
    // anti-cheat) refuse to be changed or stopped.
    using platform::PriorityClass;
    for (auto& p : m.processes) {
        if (p.image == "dwm.exe") p.priority = PriorityClass::High;
        if (p.image == "csrss.exe" || p.image == "MsMpEng.exe") p.refuses_changes = true;
    }
    const std::vector<ProcessEntry> background = {
        {2384, "EasyAntiCheat_EOS.exe", PriorityClass::Normal, true},
        {5216, "svchost.exe"},
        {5488, "audiodg.exe"},
        {8012, "Widgets.exe"},
        {8056, "WidgetService.exe"},
        {8340, "PhoneExperienceHost.exe"},
        {8724, "OneDrive.exe"},
        {9356, "steamwebhelper.exe"},
        {9428, "steamwebhelper.exe", PriorityClass::BelowNormal},
        {9512, "steamwebhelper.exe"},
        {10508, "Discord.exe"},
        {10820, "Spotify.exe"},
        {10904, "Spotify.exe"},
        {11236, "msedge.exe"},
        {11288, "msedge.exe"},
        {11344, "msedge.exe"},
        {11400, "msedge.exe", PriorityClass::Idle},
        {12044, "EpicGamesLauncher.exe"},
        {12180, "EpicWebHelper.exe"},
        {12236, "EpicWebHelper.exe"},
    };
    m.processes.insert(m.processes.end(), background.begin(), background.end());
    // Answers to ICMP echo: the public resolvers a little way off, this PC at once.
    m.world.echo.targets = {{"1.1.1.1", 18, 0}, {"8.8.8.8", 21, 0}, {"127.0.0.1", 0, 0}};

    m.folders = {
        R"(C:\Windows\System32\drivers\etc)", R"(C:\Windows\Temp)", R"(C:\Program Files\NVIDIA Corporation)",
        R"(C:\Program Files (x86)\Steam)", R"(C:\ProgramData\Microsoft)", R"(C:\Users\Public)",
        R"(C:\Users\Player\AppData\Local\Temp)", R"(C:\Users\Player\AppData\Local\Microsoft)",
        R"(C:\Users\Player\AppData\Local\Discord)", R"(C:\Users\Player\AppData\Roaming)", R"(C:\Users\Player\Desktop)",
        R"(C:\Users\Player\Documents)", R"(C:\Users\Player\Downloads)",
    };
    m.files = {{R"(C:\Windows\System32\drivers\etc\hosts)",
                "# Copyright (c) 1993-2009 Microsoft Corp.\r\n#\r\n# This is a sample HOSTS file used by Microsoft "
                "TCP/IP for Windows.\r\n#\r\n# localhost name resolution is handled within DNS itself.\r\n#\t127.0.0.1"
                "       localhost\r\n#\t::1             localhost\r\n"}};
    add_startup_desktop11(m);
    add_world_desktop11(m);
    return m;
}

MachineImage desktop10() {
    MachineImage m = windows11_desktop();
    m.name = "desktop10";
    m.facts.total_memory_bytes = 17'114'071'040;  // 16 GB
    m.facts.refresh_hz = 144;
    m.set_value(HKLM, kCurrentVersion, "InstallDate", dw(1655193600));
    m.set_value(HKLM, kCurrentVersion, "InstallTime", qw(132996672000000000));
    set_windows(m, 19045, "22H2", 5131, "19041.vb_release.191206-1406");
    // Before Windows 11 the scheduler setting is off until the user turns it on, and Memory
    // Integrity is off on upgraded PCs.
    m.set_value(HKLM, R"(SYSTEM\CurrentControlSet\Control\GraphicsDrivers)", "HwSchMode", dw(1));
    m.remove_key(HKLM, R"(SYSTEM\CurrentControlSet\Control\DeviceGuard)");
    m.add_key(HKLM, R"(SYSTEM\CurrentControlSet\Control\DeviceGuard\Scenarios)");
    m.remove_value(HKCU, R"(Software\Microsoft\GameBar)", "AutoGameModeEnabled");  // never toggled: on by default
    set_cpu(m, {"Intel(R) Core(TM) i7-9700K CPU @ 3.60GHz", "Intel64 Family 6 Model 158 Stepping 13", "GenuineIntel",
                3600, 8, "6", "9e0d"});
    set_gpus(m, {{"NVIDIA GeForce RTX 2070 SUPER", "NVIDIA", "31.0.15.5222", 8'589'934'592}});
    for (auto& p : m.processes)
        if (p.image == "SearchHost.exe") p.image = "SearchApp.exe";
    // Windows 10 has no Widgets board.
    std::erase_if(m.processes, [](const ProcessEntry& p) { return p.image == "Widgets.exe" || p.image == "WidgetService.exe"; });
    change_world_desktop10(m);
    change_startup_desktop10(m);
    return m;
}

MachineImage laptop11() {
    MachineImage m = windows11_desktop();
    m.name = "laptop11";
    m.facts.total_memory_bytes = 16'863'727'616;  // 16 GB, some of it taken by the integrated GPU
    m.facts.refresh_hz = 144;
    m.facts.battery = true;
    set_edition(m, "Core", "Windows 10 Home", "Home");
    for (const char* name : {"COMPUTERNAME", "USERDOMAIN"}) m.set_env(name, "LAPTOP-4H8Q2R1T");
    m.set_value(HKCU, R"(Software\Microsoft\Windows\CurrentVersion\GameDVR)", "AppCaptureEnabled", dw(0));
    set_cpu(m, {"13th Gen Intel(R) Core(TM) i7-13700H", "Intel64 Family 6 Model 186 Stepping 2", "GenuineIntel", 2918,
                20, "6", "ba02"});
    set_gpus(m, {{"Intel(R) Iris(R) Xe Graphics", "Intel Corporation", "31.0.101.5186", 2'147'483'648},
                 {"NVIDIA GeForce RTX 4060 Laptop GPU", "NVIDIA", "32.0.15.6094", 8'589'934'592}});
    m.processes.push_back({11760, "IntelCpHeciSvc.exe"});
    change_world_laptop11(m);
    change_startup_laptop11(m);
    return m;
}

MachineImage lowram11() {
    MachineImage m = windows11_desktop();
    m.name = "lowram11";
    m.facts.total_memory_bytes = 8'589'934'336;  // 8 GB, 8388608 KB as Windows rounds it
    // Installed from a trimmed image that leaves NetBIOS over TCP/IP bound to no interface.
    remove_netbt_interfaces(m);
    return m;
}

// The desktop without the game: never installed.
MachineImage nogame11() {
    MachineImage m = windows11_desktop();
    m.name = "nogame11";
    remove_game(m);
    std::erase_if(m.processes, [](const ProcessEntry& p) {
        return p.image.starts_with("Epic") || p.image.starts_with("EasyAntiCheat");
    });
    return m;
}

// The desktop with the game installed but never started, so without its settings file.
MachineImage gamenoini11() {
    MachineImage m = windows11_desktop();
    m.name = "gamenoini11";
    remove_game_settings(m);
    return m;
}

// The desktop with another antivirus in charge of real-time protection.
MachineImage otherav11() {
    MachineImage m = windows11_desktop();
    m.name = "otherav11";
    add_other_antivirus(m);
    return m;
}

// The desktop on German Windows: the network drivers show their settings in German.
MachineImage german11() {
    MachineImage m = windows11_desktop();
    m.name = "german11";
    change_world_german11(m);
    return m;
}

// A thin-and-light Modern Standby laptop on Wi-Fi, without an Ethernet port.
MachineImage thin11() {
    MachineImage m = laptop11();
    m.name = "thin11";
    m.facts.refresh_hz = 60;
    for (const char* name : {"COMPUTERNAME", "USERDOMAIN"}) m.set_env(name, "LAPTOP-9C3V7N2K");
    set_cpu(m, {"Intel(R) Core(TM) Ultra 7 155U", "Intel64 Family 6 Model 170 Stepping 4", "GenuineIntel", 1700, 14,
                "6", "aa04"});
    set_gpus(m, {{"Intel(R) Graphics", "Intel Corporation", "32.0.101.5972", 2'147'483'648}});
    change_world_thin11(m);
    // On Wi-Fi: farther, and an echo lost now and then.
    m.world.echo.targets = {{"1.1.1.1", 27, 5}, {"8.8.8.8", 31, 5}, {"127.0.0.1", 0, 0}};
    return m;
}

const std::vector<std::pair<std::string_view, std::function<MachineImage()>>>& images() {
    static const std::vector<std::pair<std::string_view, std::function<MachineImage()>>> table = {
        {"desktop11", windows11_desktop},
        {"desktop10", desktop10},
        {"laptop11", laptop11},
        {"lowram11", lowram11},
        {"nogame11", nogame11},
        {"gamenoini11", gamenoini11},
        {"otherav11", otherav11},
        {"german11", german11},
        {"thin11", thin11},
    };
    return table;
}

}  // namespace

std::vector<std::string> image_names() {
    std::vector<std::string> out;
    for (auto& [name, make] : images()) out.emplace_back(name);
    return out;
}

std::optional<MachineImage> make_image(std::string_view name) {
    for (auto& [n, make] : images())
        if (n == name) return make();
    return std::nullopt;
}

}  // namespace vexlo::sim
