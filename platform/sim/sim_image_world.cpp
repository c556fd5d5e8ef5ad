// The parts of the built-in machines beyond facts, registry basics and files: services with
// their states, scheduled tasks, power plans, network adapters, devices, the boot entry, the
// memory manager agent and Defender (the game is in sim_image_game.cpp). Called by the image
// functions of sim_images.cpp.
#include <algorithm>

#include "platform/sim/sim_image_values.h"
#include "platform/sim/sim_images.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

using platform::RegKind;
using namespace image_values;

namespace {

const std::string kServices = R"(SYSTEM\CurrentControlSet\Services\)";

bool has_value(const MachineImage& m, Hive hive, std::string_view key, std::string_view name) {
    return std::any_of(m.registry.begin(), m.registry.end(), [&](const RegEntry& e) {
        return e.hive == hive && e.name && iequals(e.key, key) && iequals(*e.name, name);
    });
}

// ---- Services ----

enum class Host { Svchost, Own, Driver };

struct ServiceDef {
    const char* name;
    uint32_t start;  // 2 automatic, 3 manual, 4 disabled
    bool running;
    Host host;
    const char* detail;  // svchost group, or the program or driver path
    const char* display;
    std::vector<std::string> depends = {};
    bool delayed = false;
};

void install_service(MachineImage& m, const ServiceDef& s) {
    std::string key = kServices + s.name;
    m.world.services.running.insert_or_assign(s.name, s.running && s.start != 4);
    if (has_value(m, HKLM, key, "Start")) return;  // written with its full details by sim_images.cpp
    uint32_t type = s.host == Host::Svchost ? 0x20 : s.host == Host::Own ? 0x10 : 0x1;
    std::string image = s.host == Host::Svchost ? std::string(R"(%SystemRoot%\system32\svchost.exe -k )") + s.detail
                                                : std::string(s.detail);
    m.add_key(HKLM, key);
    m.set_value(HKLM, key, "Start", RegValue::dword(s.start));
    m.set_value(HKLM, key, "Type", RegValue::dword(type));
    m.set_value(HKLM, key, "ErrorControl", RegValue::dword(1));
    m.set_value(HKLM, key, "ImagePath", RegValue::expand_string(image));
    m.set_value(HKLM, key, "DisplayName", RegValue::string(s.display));
    if (s.host != Host::Driver) m.set_value(HKLM, key, "ObjectName", RegValue::string("LocalSystem"));
    if (!s.depends.empty()) m.set_value(HKLM, key, "DependOnService", RegValue::multi_string(s.depends));
    if (s.delayed) m.set_value(HKLM, key, "DelayedAutostart", RegValue::dword(1));
}

void uninstall_service(MachineImage& m, std::string_view name) {
    m.world.services.running.erase(std::string(name));
    m.remove_key(HKLM, kServices + std::string(name));
}

// A Windows 11 23H2 Pro desktop with Steam, Discord, Chrome (its new updater, which no longer
// installs gupdate and gupdatem) and an NVIDIA driver of 2024 (without NvTelemetryContainer).
// Not installed here: gupdate, gupdatem, NvTelemetryContainer, AdobeARMservice, irmon (gone
// in Windows 11), MozillaMaintenance, brave, bravem, ClickToRunSvc, AdobeUpdateService. The
// Hyper-V guest services (vmic*) come with every Windows 10 and 11 install, on demand and
// stopped on a physical PC; their display names are written out rather than as resource
// references.
void add_services(MachineImage& m) {
    const Host S = Host::Svchost, O = Host::Own, D = Host::Driver;
    const ServiceDef services[] = {
        // Those sim_images.cpp writes in full; only their state is added here.
        {"SysMain", 2, true, S, "", ""},
        {"DiagTrack", 2, true, S, "", ""},
        {"WSearch", 2, true, S, "", ""},
        {"Spooler", 2, true, S, "", ""},
        {"XblAuthManager", 3, false, S, "", ""},
        {"XblGameSave", 3, false, S, "", ""},
        // The debloat page's background services.
        {"dmwappushservice", 3, false, S, "netsvcs -p", "@%SystemRoot%\\system32\\dmwappushsvc.dll,-200"},
        {"WerSvc", 3, false, S, "WerSvcGroup", "@%SystemRoot%\\System32\\wersvc.dll,-100"},
        {"PcaSvc", 2, true, S, "LocalSystemNetworkRestricted -p", "@%SystemRoot%\\System32\\pcasvc.dll,-1"},
        {"MapsBroker", 2, false, S, "NetworkService -p", "@%SystemRoot%\\System32\\moshost.dll,-100", {"rpcss"}, true},
        {"lfsvc", 3, false, S, "netsvcs -p", "@%SystemRoot%\\System32\\lfsvc.dll,-1"},
        {"RetailDemo", 3, false, S, "rdxgroup", "@%SystemRoot%\\system32\\RDXService.dll,-256"},
        {"Fax", 3, false, O, R"(%systemroot%\system32\fxssvc.exe)", "@%systemroot%\\system32\\fxsresm.dll,-118",
         {"TapiSrv", "RpcSs", "Spooler"}},
        {"TrkWks", 2, true, S, "LocalSystemNetworkRestricted -p", "@%SystemRoot%\\system32\\trkwks.dll,-1", {"RpcSs"}},
        {"wisvc", 3, false, S, "netsvcs -p", "@%SystemRoot%\\system32\\flightsettings.dll,-104"},
        {"WMPNetworkSvc", 3, false, O, R"("%PROGRAMFILES%\Windows Media Player\wmpnetwk.exe")",
         "@%PROGRAMFILES%\\Windows Media Player\\wmpnetwk.exe,-101", {"http", "WSearch"}},
        {"PhoneSvc", 3, false, S, "LocalService -p", "@%SystemRoot%\\System32\\PhoneService.dll,-1000"},
        {"diagnosticshub.standardcollector.service", 3, false, O,
         R"(%SystemRoot%\system32\DiagSvcs\DiagnosticsHub.StandardCollector.Service.exe)",
         "@%systemroot%\\system32\\DiagSvcs\\DiagnosticsHub.StandardCollector.ServiceRes.dll,-1000"},
        {"WpcMonSvc", 3, false, S, "LocalSystemNetworkRestricted", "@%SystemRoot%\\System32\\WpcRefreshTask.dll,-100"},
        {"WalletService", 3, false, S, "appmodel -p", "@%SystemRoot%\\system32\\WalletService.dll,-1000"},
        {"RemoteRegistry", 4, false, S, "localService -p", "@regsvc.dll,-1", {"RPCSS"}},  // disabled by Windows
        {"Ndu", 2, true, D, R"(system32\drivers\Ndu.sys)", "@%SystemRoot%\\system32\\drivers\\Ndu.sys,-201"},
        {"edgeupdate", 2, false, O, R"("C:\Program Files (x86)\Microsoft\EdgeUpdate\MicrosoftEdgeUpdate.exe" /svc)",
         "Microsoft Edge Update Service (edgeupdate)", {"RPCSS"}, true},
        {"edgeupdatem", 3, false, O, R"("C:\Program Files (x86)\Microsoft\EdgeUpdate\MicrosoftEdgeUpdate.exe" /medsvc)",
         "Microsoft Edge Update Service (edgeupdatem)", {"RPCSS"}},
        // The rarely used services.
        {"AJRouter", 3, false, S, "LocalServiceNetworkRestricted -p", "@%SystemRoot%\\system32\\AJRouter.dll,-2"},
        {"ALG", 3, false, O, R"(%SystemRoot%\System32\alg.exe)", "@%SystemRoot%\\system32\\Alg.exe,-112"},
        {"AppVClient", 4, false, O, R"(%systemroot%\system32\AppVClient.exe)", "@%systemroot%\\system32\\AppVClient.exe,-101",
         {"AppvVfs", "RpcSS", "AppvStrm", "netprofm"}},
        {"CertPropSvc", 3, false, S, "netsvcs", "@%SystemRoot%\\System32\\certprop.dll,-11"},
        {"CscService", 3, false, S, "LocalSystemNetworkRestricted -p", "@%systemroot%\\system32\\cscsvc.dll,-200",
         {"RpcSs"}},
        {"DPS", 2, true, S, "LocalServiceNoNetwork -p", "@%systemroot%\\system32\\dps.dll,-500"},
        {"WdiServiceHost", 3, true, S, "LocalService -p", "@%systemroot%\\system32\\wdi.dll,-502"},
        {"WdiSystemHost", 3, false, S, "LocalSystemNetworkRestricted -p", "@%systemroot%\\system32\\wdi.dll,-500"},
        {"diagsvc", 3, false, S, "diagnostics", "@%systemroot%\\system32\\DiagSvc.dll,-100"},
        {"icssvc", 3, false, S, "LocalSystemNetworkRestricted -p", "@%SystemRoot%\\System32\\tetheringservice.dll,-4097"},
        {"lltdsvc", 3, false, S, "LocalService -p", "@%SystemRoot%\\system32\\lltdres.dll,-1"},
        {"MSiSCSI", 3, false, S, "netsvcs -p", "@%SystemRoot%\\system32\\iscsidsc.dll,-5000"},
        {"NaturalAuthentication", 3, false, S, "netsvcs -p", "@%SystemRoot%\\System32\\NaturalAuth.dll,-100"},
        {"NetTcpPortSharing", 4, false, O, R"(%SystemRoot%\Microsoft.NET\Framework64\v4.0.30319\SMSvcHost.exe)",
         "@%SystemRoot%\\Microsoft.NET\\Framework64\\v4.0.30319\\ServiceModelInstallRC.dll,-8200"},
        {"PeerDistSvc", 3, false, S, "PeerDist", "@%SystemRoot%\\system32\\peerdistsvc.dll,-9000", {"http"}},
        {"perceptionsimulation", 3, false, O, R"(%SystemRoot%\system32\PerceptionSimulation\PerceptionSimulationService.exe)",
         "@%SystemRoot%\\system32\\PerceptionSimulation\\PerceptionSimulationService.exe,-100"},
        {"spectrum", 3, false, O, R"(%SystemRoot%\system32\spectrum.exe)", "@%SystemRoot%\\system32\\spectrum.exe,-101"},
        {"SharedRealitySvc", 3, false, S, "LocalService -p", "@%SystemRoot%\\System32\\SharedRealitySvc.dll,-100"},
        {"MixedRealityOpenXRSvc", 3, false, S, "LocalSystemNetworkRestricted -p",
         "@%SystemRoot%\\system32\\MixedRealityRuntime.dll,-101"},
        {"SensorDataService", 3, false, O, R"(%SystemRoot%\System32\SensorDataService.exe)",
         "@%SystemRoot%\\System32\\SensorDataService.exe,-101"},
        {"SensrSvc", 3, false, S, "LocalServiceAndNoImpersonation -p", "@%SystemRoot%\\system32\\sensrsvc.dll,-1000"},
        {"SensorService", 3, false, S, "LocalSystemNetworkRestricted -p", "@%SystemRoot%\\system32\\SensorService.dll,-1000"},
        {"SessionEnv", 3, false, S, "netsvcs -p", "@%SystemRoot%\\System32\\sessenv.dll,-1026", {"RPCSS", "LanmanWorkstation"}},
        {"TermService", 3, false, S, "NetworkService", "@%SystemRoot%\\System32\\termsrv.dll,-268", {"RPCSS"}},
        {"UmRdpService", 3, false, S, "LocalSystemNetworkRestricted -p", "@%SystemRoot%\\system32\\umrdp.dll,-1000",
         {"TermService", "RDPDR"}},
        {"ScDeviceEnum", 3, false, S, "LocalSystemNetworkRestricted", "@%SystemRoot%\\System32\\ScDeviceEnum.dll,-100"},
        {"SCPolicySvc", 3, false, S, "netsvcs", "@%SystemRoot%\\System32\\certprop.dll,-13"},
        {"SCardSvr", 3, false, S, "LocalServiceAndNoImpersonation", "@%SystemRoot%\\System32\\SCardSvr.dll,-1"},
        {"shpamsvc", 4, false, S, "netsvcs -p", "@%SystemRoot%\\System32\\Windows.SharedPC.AccountManager.dll,-100"},
        {"SmsRouter", 3, false, S, "LocalSystemNetworkRestricted -p", "@%SystemRoot%\\system32\\SmsRouterSvc.dll,-1"},
        {"stisvc", 3, false, S, "imgsvc", "@%SystemRoot%\\system32\\wiaservc.dll,-9", {"RpcSs"}},
        {"TapiSrv", 3, false, S, "NetworkService -p", "@%SystemRoot%\\system32\\tapisrv.dll,-10100", {"PlugPlay", "RpcSs"}},
        {"TroubleshootingSvc", 3, false, S, "netsvcs -p", "@%SystemRoot%\\system32\\MitigationClient.dll,-1001"},
        {"UevAgentService", 4, false, O, R"(%SystemRoot%\system32\AgentService.exe)", "@%systemroot%\\system32\\AgentService.exe,-102"},
        {"wcncsvc", 3, false, S, "LocalServiceAndNoImpersonation -p", "@%SystemRoot%\\System32\\wcncsvc.dll,-3"},
        {"WebClient", 3, false, S, "LocalService -p", "@%systemroot%\\system32\\webclnt.dll,-100", {"MRxDAV"}},
        {"WFDSConMgrSvc", 3, false, S, "LocalServiceNetworkRestricted -p", "@%SystemRoot%\\System32\\wfdsconmgrsvc.dll,-100"},
        {"workfolderssvc", 3, false, S, "LocalService -p", "@%systemroot%\\system32\\workfolderssvc.dll,-1"},
        {"WwanSvc", 3, false, S, "LocalSystemNetworkRestricted -p", "@%SystemRoot%\\System32\\wwansvc.dll,-257"},
        {"autotimesvc", 3, false, S, "autoTimeSvc", "@%SystemRoot%\\system32\\autotimesvc.dll,-5"},
        {"CDPSvc", 2, true, S, "LocalService -p", "@%SystemRoot%\\system32\\cdpsvc.dll,-100", {"ncbservice", "RpcSS", "Tcpip"}, true},
        {"iphlpsvc", 2, true, S, "NetSvcs -p", "@%SystemRoot%\\system32\\iphlpsvc.dll,-500", {"RpcSS", "tcpip", "nsi", "winmgmt"}},
        {"SEMgrSvc", 3, false, S, "LocalService -p", "@%SystemRoot%\\system32\\SEMgrSvc.dll,-1001"},
        {"RasAuto", 3, false, S, "netsvcs -p", "@%Systemroot%\\system32\\rasauto.dll,-200", {"RasMan"}},
        {"PrintNotify", 3, false, S, "print", "@%systemroot%\\system32\\spool\\drivers\\x64\\3\\PrintConfig.dll,-1"},
        {"lmhosts", 3, true, S, "LocalServiceNetworkRestricted -p", "@%SystemRoot%\\system32\\lmhsvc.dll,-101", {"Afd"}},
        {"vmickvpexchange", 3, false, S, "LocalSystemNetworkRestricted -p", "Hyper-V Data Exchange Service"},
        {"vmicguestinterface", 3, false, S, "LocalSystemNetworkRestricted -p", "Hyper-V Guest Service Interface"},
        {"vmicshutdown", 3, false, S, "LocalSystemNetworkRestricted -p", "Hyper-V Guest Shutdown Service"},
        {"vmicheartbeat", 3, false, S, "ICService -p", "Hyper-V Heartbeat Service"},
        {"vmicvmsession", 3, false, S, "LocalSystemNetworkRestricted -p", "Hyper-V PowerShell Direct Service"},
        {"vmicrdv", 3, false, S, "ICService -p", "Hyper-V Remote Desktop Virtualization Service"},
        {"vmictimesync", 3, false, S, "LocalServiceNetworkRestricted -p", "Hyper-V Time Synchronization Service"},
        {"vmicvss", 3, false, S, "LocalSystemNetworkRestricted -p", "Hyper-V Volume Shadow Copy Requestor"},
        {"GoogleChromeElevationService", 3, false, O,
         R"("C:\Program Files\Google\Chrome\Application\131.0.6778.86\elevation_service.exe")",
         "Google Chrome Elevation Service (GoogleChromeElevationService)"},
        // Others of the PC.
        {"GoogleUpdaterService131.0.6776.0", 2, false, O,
         R"("C:\Program Files (x86)\Google\GoogleUpdater\131.0.6776.0\updater.exe" --system --windows-service --service=update)",
         "Google Updater Service (GoogleUpdaterService131.0.6776.0)"},
        {"GoogleUpdaterInternalService131.0.6776.0", 2, false, O,
         R"("C:\Program Files (x86)\Google\GoogleUpdater\131.0.6776.0\updater.exe" --system --windows-service --service=update-internal)",
         "Google Updater Internal Service (GoogleUpdaterInternalService131.0.6776.0)"},
        {"RpcSs", 2, true, S, "rpcss -p", "@combase.dll,-5010", {"RpcEptMapper", "DcomLaunch"}},
        // The TCP/IP driver, started at boot (its display name as Windows writes it): services that
        // need it find it running.
        {"Tcpip", 0, true, D, R"(System32\drivers\tcpip.sys)", "@todo.dll,-100;TCP/IP Protocol Driver"},
        {"WinDefend", 2, true, O, R"("C:\ProgramData\Microsoft\Windows Defender\Platform\4.18.24090.11-0\MsMpEng.exe")",
         "@%ProgramFiles%\\Windows Defender\\MpAsDesc.dll,-310", {"RpcSs"}},
        {"wuauserv", 3, true, S, "netsvcs -p", "@%systemroot%\\system32\\wuaueng.dll,-105", {"rpcss"}},
        {"BITS", 3, false, S, "netsvcs -p", "@%SystemRoot%\\system32\\qmgr.dll,-1000", {"RpcSs"}},
        {"Audiosrv", 2, true, S, "LocalServiceNetworkRestricted -p", "@%SystemRoot%\\system32\\audiosrv.dll,-204",
         {"AudioEndpointBuilder", "RpcSs"}},
        {"Dnscache", 2, true, S, "NetworkService -p", "@%SystemRoot%\\System32\\dnsapi.dll,-101", {"nsi"}},
        {"EventLog", 2, true, S, "LocalServiceNetworkRestricted -p", "@%SystemRoot%\\system32\\wevtsvc.dll,-200"},
        {"WlanSvc", 2, true, S, "LocalSystemNetworkRestricted -p", "@%SystemRoot%\\System32\\wlansvc.dll,-257",
         {"nativewifip", "RpcSs", "Ndisuio", "wcmsvc"}},
        {"bthserv", 3, true, S, "LocalService -p", "@%SystemRoot%\\System32\\bthserv.dll,-101"},
        {"NVDisplay.ContainerLocalSystem", 2, true, O,
         R"("C:\Windows\System32\DriverStore\FileRepository\nv_dispig.inf_amd64_5b1d4f2cbb23f43c\Display.NvContainer\NVDisplay.Container.exe" -s NVDisplay.ContainerLocalSystem -f "C:\ProgramData\NVIDIA\NVDisplay.ContainerLocalSystem.log" -l 3 -d "C:\Windows\System32\DriverStore\FileRepository\nv_dispig.inf_amd64_5b1d4f2cbb23f43c\Display.NvContainer\plugins\LocalSystem" -r -p 30000 -cfg NVDisplay.ContainerLocalSystem\LocalSystem)",
         "NVIDIA Display Container LS"},
        {"Steam Client Service", 3, false, O, R"("C:\Program Files (x86)\Common Files\Steam\steamservice.exe" /RunAsService)",
         "Steam Client Service"},
        {"XboxGipSvc", 3, false, S, "netsvcs -p", "@%systemroot%\\system32\\XboxGipSvc.dll,-100"},
    };
    for (auto& s : services) install_service(m, s);
}

// ---- Scheduled tasks ----

constexpr const char* kNvTaskSuffix = "_{B2FE1952-0186-46C3-BAEC-A80AA35AC5B8}";

void set_tasks(MachineImage& m, const std::vector<std::pair<std::string, std::string>>& tasks) {
    m.world.tasks.tasks.clear();
    for (auto& [path, state] : tasks) {
        size_t cut = path.rfind('\\');
        m.world.tasks.tasks.push_back({path.substr(0, cut + 1), path.substr(cut + 1), state});
    }
    m.world.tasks.index();
}

void add_task(MachineImage& m, std::string path, std::string state = "Ready") {
    size_t cut = path.rfind('\\');
    m.world.tasks.tasks.push_back({path.substr(0, cut + 1), path.substr(cut + 1), std::move(state)});
    m.world.tasks.index();
}

void remove_task(MachineImage& m, std::string_view path) {
    std::erase_if(m.world.tasks.tasks, [&](const platform::ScheduledTask& t) { return iequals(t.folder + t.name, path); });
    m.world.tasks.index();
}

// Of the debloat page's tasks the desktop lacks the Office ones (no Office installed), the
// Program Data Updater (gone in Windows 11), the NVIDIA daily update check (GeForce
// Experience only) and NVIDIA's crash-report tasks (its 2024 driver comes without telemetry).
// Maps notifications (MapsToastTask) is the one Windows itself ships
// disabled; the compatibility appraiser happens to be running.
void add_tasks(MachineImage& m) {
    const std::string w = R"(\Microsoft\Windows\)";
    std::vector<std::pair<std::string, std::string>> tasks = {
        {w + R"(Application Experience\Microsoft Compatibility Appraiser)", "Running"},
        {w + R"(Application Experience\PcaPatchDbTask)", "Ready"},
        {w + R"(Application Experience\MareBackup)", "Ready"},
        {w + R"(Application Experience\StartupAppTask)", "Ready"},
        {w + R"(Autochk\Proxy)", "Ready"},
        {w + R"(CloudExperienceHost\CreateObjectTask)", "Ready"},
        {w + R"(Customer Experience Improvement Program\Consolidator)", "Ready"},
        {w + R"(Customer Experience Improvement Program\UsbCeip)", "Ready"},
        {w + R"(Customer Experience Improvement Program\KernelCeipTask)", "Ready"},
        {w + R"(Device Information\Device)", "Ready"},
        {w + R"(Device Information\Device User)", "Ready"},
        {w + R"(Diagnosis\Scheduled)", "Ready"},
        {w + R"(DiskDiagnostic\Microsoft-Windows-DiskDiagnosticDataCollector)", "Ready"},
        {w + R"(DiskFootprint\Diagnostics)", "Ready"},
        {w + R"(ErrorDetails\EnableErrorDetailsUpdate)", "Ready"},
        {w + R"(Feedback\Siuf\DmClient)", "Ready"},
        {w + R"(Feedback\Siuf\DmClientOnScenarioDownload)", "Ready"},
        {w + R"(Flighting\OneSettings\RefreshCache)", "Ready"},
        {w + R"(HelloFace\FODCleanupTask)", "Ready"},
        {w + R"(Location\Notifications)", "Ready"},
        {w + R"(Location\WindowsActionDialog)", "Ready"},
        {w + R"(Maintenance\WinSAT)", "Ready"},
        {w + R"(Maps\MapsToastTask)", "Disabled"},
        {w + R"(Maps\MapsUpdateTask)", "Ready"},
        {w + R"(NetTrace\GatherNetworkInfo)", "Ready"},
        {w + R"(PI\Sqm-Tasks)", "Ready"},
        {w + R"(Power Efficiency Diagnostics\AnalyzeSystem)", "Ready"},
        {w + R"(Printing\EduPrintProv)", "Ready"},
        {w + R"(RetailDemo\CleanupOfflineContent)", "Ready"},
        {w + R"(Shell\FamilySafetyMonitor)", "Ready"},
        {w + R"(Shell\FamilySafetyRefreshTask)", "Ready"},
        {w + R"(Speech\SpeechModelDownloadTask)", "Ready"},
        {w + R"(Sysmain\ResPriStaticDbSync)", "Ready"},
        {w + R"(Sysmain\WsSwapAssessmentTask)", "Ready"},
        {w + R"(Windows Error Reporting\QueueReporting)", "Ready"},
        {w + R"(Windows Media Sharing\UpdateLibrary)", "Ready"},
        {w + R"(Work Folders\Work Folders Logon Synchronization)", "Ready"},
        {w + R"(Work Folders\Work Folders Maintenance Work)", "Ready"},
        // Tasks the debloat page does not touch.
        {w + R"(Defrag\ScheduledDefrag)", "Ready"},
        {w + R"(DiskCleanup\SilentCleanup)", "Ready"},
        {w + R"(Registry\RegIdleBackup)", "Ready"},
        {w + R"(TextServicesFramework\MsCtfMonitor)", "Running"},
        {w + R"(Time Synchronization\SynchronizeTime)", "Ready"},
        {w + R"(UpdateOrchestrator\Schedule Scan)", "Ready"},
        {w + R"(WDI\ResolutionHost)", "Ready"},
        {w + R"(Windows Defender\Windows Defender Scheduled Scan)", "Ready"},
        {w + R"(WindowsUpdate\Scheduled Start)", "Ready"},
        {R"(\Microsoft\XblGameSave\XblGameSaveTask)", "Ready"},
        {R"(\GoogleSystem\GoogleUpdater\GoogleUpdaterTaskSystem131.0.6776.0{3F1C0B8A-3C2B-4F9E-9A39-2D0E4B7C51A2})", "Ready"},
        {R"(\MicrosoftEdgeUpdateTaskMachineCore{7A1E3C52-9D4F-4E8B-8F0A-6C2D1B5E9F31})", "Ready"},
        {R"(\MicrosoftEdgeUpdateTaskMachineUA{0B6F4D8E-2A7C-4C15-B3E9-8D1F6A2C7E40})", "Ready"},
        {R"(\OneDrive Reporting Task-S-1-5-21-3623811015-3361044348-30300820-1001)", "Ready"},
        {R"(\OneDrive Standalone Update Task-S-1-5-21-3623811015-3361044348-30300820-1001)", "Ready"},
    };
    set_tasks(m, tasks);
}

// ---- Power plans ----

const char* const kBalanced = "381b4222-f694-41f0-9685-ff5bb260df2e";
const char* const kHighPerformance = "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c";
const char* const kPowerSaver = "a1841308-3541-4fab-bc81-f71556f20b4a";
const char* const kUltimate = "e9a42b02-d5df-448d-aa00-03f14749eb61";

const char* const kSubProcessor = "54533251-82be-4824-96c1-47b60b740d00";
const char* const kEpp = "36687f9e-e3a5-4dbf-b1dc-15eb381c6863";
const char* const kHeteroPolicy = "93b8b6dc-0698-4d1c-9ee4-0644e900c85d";
const char* const kHeteroShort = "bae08b81-2d5e-4688-ad6a-13243356654b";

// Each row: subgroup, setting, then AC and DC indices of Balanced, High performance, Power
// saver and the Ultimate Performance template.
struct PowerRow {
    const char* subgroup;
    const char* setting;
    int32_t v[8];
};

const PowerRow kPowerRows[] = {
    // Processor: core parking minimum, minimum and maximum state, boost mode, EPP, increase and
    // decrease policies and thresholds, parking maximum, latency-sensitive hint, throttle
    // states, heterogeneous policy and short-thread scheduling, idle disable.
    {kSubProcessor, "0cc5b647-c1df-4637-891a-dec35c318583", {10, 10, 100, 100, 5, 5, 100, 100}},
    {kSubProcessor, "893dee8e-2bef-41e0-89c6-b55d0929964c", {5, 5, 100, 100, 5, 5, 100, 100}},
    {kSubProcessor, "bc5038f7-23e0-4960-96da-33abaf5935ec", {100, 100, 100, 100, 100, 70, 100, 100}},
    {kSubProcessor, "be337238-0d82-4146-a960-4f3749d470c7", {1, 1, 2, 2, 0, 0, 2, 2}},
    {kSubProcessor, kEpp, {33, 50, 0, 0, 100, 100, 0, 0}},
    {kSubProcessor, "465e1f50-b610-473a-ab58-00d1077dc418", {0, 0, 0, 0, 0, 0, 2, 2}},
    {kSubProcessor, "40fbefc7-2e9d-4d25-a185-0cfd8574bac6", {0, 0, 0, 0, 0, 0, 1, 1}},
    {kSubProcessor, "06cadf0e-64ed-448a-8927-ce7bf90eb35d", {60, 60, 30, 30, 90, 90, 10, 10}},
    {kSubProcessor, "12a0ab44-fe28-4fa9-b3bd-4b64f44960a6", {20, 20, 10, 10, 60, 60, 8, 8}},
    {kSubProcessor, "ea062031-0e34-4ff1-9b6d-eb1059334028", {100, 100, 100, 100, 100, 100, 100, 100}},
    {kSubProcessor, "619b7505-003b-4e82-b7a6-4dd29c300971", {99, 99, 99, 99, 99, 99, 100, 100}},
    {kSubProcessor, "3b04d4fd-1cc7-4f23-ab1c-d1337819c4bb", {1, 1, 1, 1, 1, 1, 0, 0}},
    {kSubProcessor, kHeteroPolicy, {5, 5, 5, 5, 5, 5, 5, 5}},
    {kSubProcessor, kHeteroShort, {5, 5, 5, 5, 5, 5, 5, 5}},
    {kSubProcessor, "5d76a2ca-e8c0-402f-a133-2158492d58ad", {0, 0, 0, 0, 0, 0, 0, 0}},
    // PCI Express link state power management.
    {"501a4d13-42af-4429-9fd1-a8218c268e20", "ee12f906-d277-404b-b6da-e5fa1a576df5", {1, 2, 0, 0, 2, 2, 0, 0}},
    // Hard disk: turn off after (seconds), AHCI link power management, NVMe idle timeout.
    {"0012ee47-9041-4b5d-9b77-535fba8b1442", "6738e2c4-e8a5-4a42-b16a-e040e769756e", {1200, 600, 1200, 1200, 1200, 600, 0, 0}},
    {"0012ee47-9041-4b5d-9b77-535fba8b1442", "0b2d69d7-a2a1-449c-9680-f91c70521c60", {3, 3, 0, 0, 3, 3, 0, 0}},
    {"0012ee47-9041-4b5d-9b77-535fba8b1442", "d639518a-e56d-4345-8af2-b9f32fb26109", {200, 100, 200, 200, 100, 100, 0, 0}},
    // USB: selective suspend, USB 3 link power management.
    {"2a737441-1930-4402-8d77-b2bebba308a3", "48e6b7a6-50f5-4782-a5d4-53bb8f07e226", {1, 1, 1, 1, 1, 1, 0, 0}},
    {"2a737441-1930-4402-8d77-b2bebba308a3", "d4e98f31-5ffe-4ce1-be31-1b38b384c009", {2, 2, 0, 0, 3, 3, 0, 0}},
    // Wireless adapter power saving mode.
    {"19cbb8fa-5279-450e-9fac-8a3d5fedd0c1", "12bbebe6-58d6-4636-95bb-3217ef867c1a", {0, 2, 0, 0, 1, 3, 0, 0}},
    // Sleep: sleep after (seconds), allow wake timers.
    {"238c9fa8-0aad-41ed-83f4-97be242c8f20", "29f6c1db-86da-48c5-9fdb-f2b67b1f44da", {1800, 900, 0, 0, 900, 600, 0, 0}},
    {"238c9fa8-0aad-41ed-83f4-97be242c8f20", "bd3b718a-0680-4d9d-8ab2-e1d2b4ac806d", {1, 1, 1, 1, 1, 0, 1, 1}},
    // Display: turn off after (seconds).
    {"7516b95f-f776-4464-8c53-06167f40cc99", "3c0bc021-c8a8-4e07-a973-6b14cbcb2b7e", {600, 300, 900, 600, 300, 120, 0, 0}},
};

void add_power_plans(MachineImage& m) {
    struct PlanDef {
        const char* guid;
        const char* name;
        const char* description;
        bool is_template;
    };
    const PlanDef defs[] = {
        {kBalanced, "Balanced", "Automatically balances performance with energy consumption on capable hardware.", false},
        {kHighPerformance, "High performance", "Favors performance, but may use more energy.", false},
        {kPowerSaver, "Power saver", "Saves energy by reducing your computer's performance where possible.", false},
        {kUltimate, "Ultimate Performance", "Provides ultimate performance on higher end PCs.", true},
    };
    PowerState& p = m.world.power;
    p.plans.clear();
    for (size_t i = 0; i < std::size(defs); ++i) {
        PowerPlanData plan{defs[i].guid, defs[i].name, defs[i].description, defs[i].is_template, {}};
        for (auto& row : kPowerRows) plan.settings[row.subgroup][row.setting] = {row.v[2 * i], row.v[2 * i + 1]};
        p.plans.push_back(std::move(plan));
    }
    p.active = kBalanced;
}

// Takes a setting out of every plan, as on a PC whose Windows or processor lacks it.
void remove_power_setting(MachineImage& m, const char* subgroup, const char* setting) {
    for (auto& plan : m.world.power.plans) plan.settings[subgroup].erase(setting);
}

void add_power_setting(MachineImage& m, const char* subgroup, const char* setting, PowerValue value) {
    for (auto& plan : m.world.power.plans) plan.settings[subgroup][setting] = value;
}

// ---- Network adapters ----

// Choices are stored as "0", "1", ... in list order unless `stored` says otherwise.
AdvancedProperty choice(const char* display, const char* keyword, const char* value, std::vector<std::string> valid,
                        std::vector<std::string> stored = {}) {
    return {display, value, keyword, std::move(valid), 0, 0, std::move(stored)};
}
AdvancedProperty number(const char* display, const char* keyword, const char* value, int64_t min, int64_t max) {
    return {display, value, keyword, {}, min, max, {}};
}
AdvancedProperty on_off(const char* display, const char* keyword, const char* value) {
    return choice(display, keyword, value, {"Disabled", "Enabled"});
}

const std::vector<std::string> kFlowControl = {"Disabled", "Tx Enabled", "Rx Enabled", "Rx & Tx Enabled"};
const std::vector<std::string> kOffload = {"Disabled", "Rx Enabled", "Tx Enabled", "Rx & Tx Enabled"};

NetworkAdapterData intel_i225v() {
    return {"Ethernet", "Intel(R) Ethernet Controller I225-V", "Up",
            {
                on_off("Adaptive Inter-Frame Spacing", "AdaptiveIFS", "Disabled"),
                on_off("ARP Offload", "*PMARPOffload", "Enabled"),
                choice("Energy Efficient Ethernet", "*EEE", "On", {"Off", "On"}),
                choice("Flow Control", "*FlowControl", "Rx & Tx Enabled", kFlowControl),
                choice("Gigabit Master Slave Mode", "MasterSlave", "Auto Detect",
                       {"Auto Detect", "Force Master Mode", "Force Slave Mode"}),
                on_off("Interrupt Moderation", "*InterruptModeration", "Enabled"),
                choice("Interrupt Moderation Rate", "ITR", "Adaptive",
                       {"Off", "Minimal", "Low", "Medium", "High", "Extreme", "Adaptive"},
                       {"0", "200", "400", "950", "2000", "3600", "65535"}),
                choice("IPv4 Checksum Offload", "*IPChecksumOffloadIPv4", "Rx & Tx Enabled", kOffload),
                choice("Jumbo Packet", "*JumboPacket", "Disabled", {"Disabled", "9014 Bytes"}),
                on_off("Large Send Offload V2 (IPv4)", "*LsoV2IPv4", "Enabled"),
                on_off("Large Send Offload V2 (IPv6)", "*LsoV2IPv6", "Enabled"),
                choice("Maximum Number of RSS Queues", "*NumRssQueues", "4 Queues", {"1 Queue", "2 Queues", "4 Queues"}),
                on_off("NS Offload", "*PMNSOffload", "Enabled"),
                choice("Packet Priority & VLAN", "*PriorityVLANTag", "Packet Priority & VLAN Enabled",
                       {"Packet Priority & VLAN Disabled", "Packet Priority Enabled", "VLAN Enabled",
                        "Packet Priority & VLAN Enabled"}),
                number("Receive Buffers", "*ReceiveBuffers", "256", 80, 4096),
                on_off("Receive Side Scaling", "*RSS", "Enabled"),
                on_off("Reduce Speed On Power Down", "ReduceSpeedOnPowerDown", "Enabled"),
                choice("Speed & Duplex", "*SpeedDuplex", "Auto Negotiation",
                       {"Auto Negotiation", "10 Mbps Half Duplex", "10 Mbps Full Duplex", "100 Mbps Half Duplex",
                        "100 Mbps Full Duplex", "1.0 Gbps Full Duplex", "2.5 Gbps Full Duplex"}),
                choice("TCP Checksum Offload (IPv4)", "*TCPChecksumOffloadIPv4", "Rx & Tx Enabled", kOffload),
                choice("TCP Checksum Offload (IPv6)", "*TCPChecksumOffloadIPv6", "Rx & Tx Enabled", kOffload),
                number("Transmit Buffers", "*TransmitBuffers", "512", 80, 4096),
                choice("UDP Checksum Offload (IPv4)", "*UDPChecksumOffloadIPv4", "Rx & Tx Enabled", kOffload),
                choice("UDP Checksum Offload (IPv6)", "*UDPChecksumOffloadIPv6", "Rx & Tx Enabled", kOffload),
                choice("Wait for Link", "WaitAutoNegComplete", "Auto Detect", {"Off", "On", "Auto Detect"}),
                choice("Wake on Link Settings", "WakeOnLink", "Disabled", {"Disabled", "Forced"}),
                on_off("Wake on Magic Packet", "*WakeOnMagicPacket", "Enabled"),
                on_off("Wake on Pattern Match", "*WakeOnPattern", "Enabled"),
            }};
}

// The Intel Wi-Fi 6E driver. Transmit power is at its highest and U-APSD off out of the box.
NetworkAdapterData intel_wifi(const char* description) {
    const std::vector<std::string> five = {"1. Lowest", "2. Medium-low", "3. Medium", "4. Medium-High", "5. Highest"};
    return {"Wi-Fi", description, "Up",
            {
                choice("802.11a/b/g Wireless Mode", "IbssMode", "6. Dual Band 802.11a/b/g",
                       {"1. 802.11a", "2. 802.11b", "3. 802.11g", "4. 802.11b/g", "5. 802.11a/g", "6. Dual Band 802.11a/b/g"}),
                choice("802.11n/ac/ax Wireless Mode", "WirelessMode", "4. 802.11ax",
                       {"1. Disabled", "2. 802.11n", "3. 802.11ac", "4. 802.11ax"}),
                on_off("ARP offload for WoWLAN", "*PMARPOffload", "Enabled"),
                choice("Channel Width for 2.4GHz", "ChannelWidth24", "Auto", {"20 MHz Only", "Auto"}),
                choice("Channel Width for 5GHz", "ChannelWidth52", "Auto", {"20 MHz Only", "Auto"}),
                choice("Channel Width for 6GHz", "ChannelWidth6", "Auto", {"20 MHz Only", "Auto"}),
                on_off("Fat Channel Intolerant", "FatChannelIntolerant", "Disabled"),
                choice("MIMO Power Save Mode", "MIMOPowerSaveMode", "Auto SMPS", {"Auto SMPS", "No SMPS"}),
                on_off("Mixed Mode Protection", "CtsToItself", "Enabled"),
                on_off("Packet Coalescing", "*PacketCoalescing", "Enabled"),
                choice("Preferred Band", "RoamingPreferredBandType", "1. No Preference",
                       {"1. No Preference", "2. Prefer 2.4GHz band", "3. Prefer 5GHz band", "4. Prefer 6GHz band"}),
                choice("Roaming Aggressiveness", "RoamAggressiveness", "3. Medium", five),
                on_off("Sleep on WoWLAN Disconnect", "SleepOnDisconnect", "Disabled"),
                on_off("Throughput Booster", "ThroughputBoosterEnabled", "Disabled"),
                choice("Transmit Power", "IbssTxPower", "5. Highest", five),
                on_off("U-APSD support", "uAPSDSupport", "Disabled"),
                on_off("Wake on Magic Packet", "*WakeOnMagicPacket", "Enabled"),
                on_off("Wake on Pattern Match", "*WakeOnPattern", "Enabled"),
            }};
}

// An older board's Intel I219-V: its energy saving goes by other keywords, and it has the
// Intel power-down features the I225-V dropped.
NetworkAdapterData intel_i219v() {
    NetworkAdapterData a = intel_i225v();
    a.description = "Intel(R) Ethernet Connection (7) I219-V";
    std::erase_if(a.properties, [](const AdvancedProperty& p) {
        return p.keyword == "*EEE" || p.keyword == "*SpeedDuplex" || p.keyword == "MasterSlave";
    });
    a.properties.push_back(choice("Energy Efficient Ethernet", "EEELinkAdvertisement", "On", {"Off", "On"}));
    a.properties.push_back(on_off("System Idle Power Saver", "SipsEnabled", "Enabled"));
    a.properties.push_back(on_off("Ultra Low Power Mode", "ULPMode", "Enabled"));
    a.properties.push_back(choice("Speed & Duplex", "*SpeedDuplex", "Auto Negotiation",
                                  {"Auto Negotiation", "10 Mbps Half Duplex", "10 Mbps Full Duplex",
                                   "100 Mbps Half Duplex", "100 Mbps Full Duplex", "1.0 Gbps Full Duplex"}));
    std::sort(a.properties.begin(), a.properties.end(),
              [](auto& x, auto& y) { return iless(x.display_name, y.display_name); });
    return a;
}

// A laptop's Realtek 2.5GbE port, with the Realtek power-saving features.
NetworkAdapterData realtek_8125(const char* status) {
    return {"Ethernet", "Realtek Gaming 2.5GbE Family Controller", status,
            {
                on_off("Advanced EEE", "AdvancedEEE", "Enabled"),
                on_off("ARP Offload", "*PMARPOffload", "Enabled"),
                choice("Auto Disable Gigabit", "AutoDisableGigabit", "Re-Link, Battery",
                       {"Disabled", "Re-Link, Battery", "Re-Link, Battery or AC"}),
                on_off("Energy-Efficient Ethernet", "*EEE", "Enabled"),
                choice("Flow Control", "*FlowControl", "Rx & Tx Enabled", kFlowControl),
                on_off("Gigabit Lite", "EnableGigaLite", "Enabled"),
                on_off("Green Ethernet", "EnableGreenEthernet", "Enabled"),
                on_off("Interrupt Moderation", "*InterruptModeration", "Enabled"),
                choice("IPv4 Checksum Offload", "*IPChecksumOffloadIPv4", "Rx & Tx Enabled", kOffload),
                choice("Jumbo Frame", "*JumboPacket", "Disabled", {"Disabled", "2KB MTU", "3KB MTU", "4KB MTU",
                                                                   "5KB MTU", "6KB MTU", "7KB MTU", "8KB MTU", "9KB MTU"}),
                on_off("Large Send Offload v2 (IPv4)", "*LsoV2IPv4", "Enabled"),
                on_off("Large Send Offload v2 (IPv6)", "*LsoV2IPv6", "Enabled"),
                on_off("Power Saving Mode", "EnablePME", "Enabled"),
                number("Receive Buffers", "*ReceiveBuffers", "512", 128, 1024),
                on_off("Receive Side Scaling", "*RSS", "Enabled"),
                on_off("Shutdown Wake-On-Lan", "S5WakeOnLan", "Enabled"),
                choice("Speed & Duplex", "*SpeedDuplex", "Auto Negotiation",
                       {"Auto Negotiation", "10 Mbps Half Duplex", "10 Mbps Full Duplex", "100 Mbps Half Duplex",
                        "100 Mbps Full Duplex", "1.0 Gbps Full Duplex", "2.5 Gbps Full Duplex"}),
                number("Transmit Buffers", "*TransmitBuffers", "128", 128, 1024),
                on_off("Wake on Magic Packet", "*WakeOnMagicPacket", "Enabled"),
                on_off("Wake on pattern match", "*WakeOnPattern", "Enabled"),
            }};
}

// The interface Windows made for an adapter: its index and the GUID its TCP/IP key is named by.
NetworkAdapterData with_interface(NetworkAdapterData a, uint32_t if_index, const char* guid) {
    a.if_index = if_index;
    a.guid = guid;
    return a;
}

// The Intel I225-V and Wi-Fi drivers as German Windows shows them: the display names and values
// are translated, the keywords and stored values are not.
void germanize(NetworkAdapterData& a) {
    struct Text {
        const char* keyword;
        const char* name;
        std::vector<std::string> values;
    };
    const Text texts[] = {
        {"*EEE", "Energieeffizientes Ethernet", {"Aus", "Ein"}},
        {"*FlowControl", "Flusssteuerung", {"Deaktiviert", "Tx aktiviert", "Rx aktiviert", "Rx & Tx aktiviert"}},
        {"*InterruptModeration", "Interruptmoderation", {"Deaktiviert", "Aktiviert"}},
        {"ITR", "Interruptmoderationsrate", {"Aus", "Minimal", "Niedrig", "Mittel", "Hoch", "Extrem", "Adaptiv"}},
        {"*LsoV2IPv4", "Large Send Offload V2 (IPv4)", {"Deaktiviert", "Aktiviert"}},
        {"*LsoV2IPv6", "Large Send Offload V2 (IPv6)", {"Deaktiviert", "Aktiviert"}},
        {"ReduceSpeedOnPowerDown", "Geschwindigkeit beim Herunterfahren reduzieren", {"Deaktiviert", "Aktiviert"}},
        {"*PacketCoalescing", "Paketzusammenführung", {"Deaktiviert", "Aktiviert"}},
        {"MIMOPowerSaveMode", "MIMO-Energiesparmodus", {"Auto-SMPS", "Kein SMPS"}},
        {"uAPSDSupport", "U-APSD-Unterstützung", {"Deaktiviert", "Aktiviert"}},
        {"RoamAggressiveness", "Roaming-Aggressivität", {"1. Am niedrigsten", "2. Mittel-niedrig", "3. Mittel", "4. Mittel-hoch", "5. Am höchsten"}},
    };
    for (auto& p : a.properties)
        for (auto& t : texts) {
            if (p.keyword != t.keyword || t.values.size() != p.valid_display_values.size()) continue;
            for (size_t i = 0; i < t.values.size(); ++i) {
                if (p.valid_registry_values.size() < t.values.size()) p.valid_registry_values.push_back(std::to_string(i));
                if (p.display_value == p.valid_display_values[i]) p.display_value = t.values[i];
            }
            p.display_name = t.name;
            p.valid_display_values = t.values;
        }
    for (auto& p : a.properties)
        if (p.display_value == "Enabled") p.display_value = "Aktiviert";
        else if (p.display_value == "Disabled") p.display_value = "Deaktiviert";
    for (auto& p : a.properties)
        for (auto& v : p.valid_display_values)
            if (v == "Enabled") v = "Aktiviert";
            else if (v == "Disabled") v = "Deaktiviert";
    std::sort(a.properties.begin(), a.properties.end(), [](auto& x, auto& y) { return iless(x.display_name, y.display_name); });
}

// ---- Devices ----

struct DeviceDef {
    const char* id;
    const char* device_class;
    const char* name;
    int power;  // -1 no power-management entry, 0 entry with Enable off, 1 on
};

void set_devices(MachineImage& m, const std::vector<DeviceDef>& devices, std::vector<platform::DevicePower> other_power) {
    DeviceState& d = m.world.devices;
    d.devices.clear();
    d.power.clear();
    for (auto& dev : devices) {
        d.devices.push_back({dev.id, dev.device_class, dev.name, true});
        if (dev.power >= 0) d.power.push_back({std::string(dev.id) + "_0", dev.power == 1});
    }
    for (auto& p : other_power) d.power.push_back(std::move(p));
}

// The desktop: an AMD board with a Logitech wireless mouse and a SteelSeries keyboard. The
// user once unticked power saving for the keyboard's input device. PCI bridges and the GPU
// have power entries but belong to no class the application asks about.
void add_devices_desktop11(MachineImage& m) {
    set_devices(m,
                {
                    {R"(PCI\VEN_1022&DEV_15B6&SUBSYS_88771043&REV_00\4&2B8260C&0&0341)", "USB",
                     "AMD USB 3.10 eXtensible Host Controller - 1.10 (Microsoft)", 1},
                    {R"(PCI\VEN_1022&DEV_15B7&SUBSYS_88771043&REV_00\4&2B8260C&0&0441)", "USB",
                     "AMD USB 3.10 eXtensible Host Controller - 1.10 (Microsoft)", 1},
                    {R"(USB\ROOT_HUB30\5&1A2B3C4D&0&0)", "USB", "USB Root Hub (USB 3.0)", 1},
                    {R"(USB\ROOT_HUB30\5&2E5F7A1B&0&0)", "USB", "USB Root Hub (USB 3.0)", 1},
                    {R"(USB\VID_05E3&PID_0610\6&1C9D3E2A&0&2)", "USB", "Generic USB Hub", 1},
                    {R"(USB\VID_046D&PID_C547\5&2D3E4F5A&0&3)", "USB", "USB Composite Device", 1},
                    {R"(USB\VID_1038&PID_161C\5&2D3E4F5A&0&4)", "USB", "USB Composite Device", 1},
                    {R"(USB\VID_046D&PID_C547&MI_00\6&3A0C1E9B&0&0000)", "HIDClass", "USB Input Device", 1},
                    {R"(USB\VID_046D&PID_C547&MI_01\6&3A0C1E9B&0&0001)", "HIDClass", "USB Input Device", 1},
                    {R"(USB\VID_046D&PID_C547&MI_02\6&3A0C1E9B&0&0002)", "HIDClass", "USB Input Device", 1},
                    {R"(USB\VID_1038&PID_161C&MI_00\6&11F7B3C0&0&0000)", "HIDClass", "USB Input Device", 0},
                    {R"(USB\VID_1038&PID_161C&MI_01\6&11F7B3C0&0&0001)", "HIDClass", "USB Input Device", 1},
                    {R"(HID\VID_046D&PID_C547&MI_00\7&1F3A5B2C&0&0000)", "HIDClass", "HID-compliant mouse", -1},
                    {R"(HID\VID_046D&PID_C547&MI_01&COL01\7&28D6E4F1&0&0000)", "HIDClass", "HID Keyboard Device", -1},
                    {R"(HID\VID_046D&PID_C547&MI_02&COL01\7&3B0A9C5E&0&0000)", "HIDClass", "HID-compliant vendor-defined device", -1},
                    {R"(HID\VID_1038&PID_161C&MI_00\7&2A6E0D47&0&0000)", "HIDClass", "HID Keyboard Device", -1},
                    {R"(HID\VID_1038&PID_161C&MI_01&COL01\7&15C3B8A2&0&0000)", "HIDClass", "HID-compliant consumer control device", -1},
                    {R"(USB\VID_8087&PID_0032\5&1A2B3C4D&0&10)", "Bluetooth", "Intel(R) Wireless Bluetooth(R)", 1},
                    {R"(BTH\MS_BTHBRB\7&2C8E5A13&0&1)", "Bluetooth", "Bluetooth Device (RFCOMM Protocol TDI)", -1},
                    {R"(BTH\MS_RFCOMM\7&2C8E5A13&0&0)", "Bluetooth", "Microsoft Bluetooth Enumerator", -1},
                    {R"(BTH\MS_BTHLE\7&2C8E5A13&0&2)", "Bluetooth", "Microsoft Bluetooth LE Enumerator", -1},
                    {R"(PCI\VEN_8086&DEV_15F3&SUBSYS_87D21043&REV_03\6&1B4C8D2&0&0048020A)", "Net",
                     "Intel(R) Ethernet Controller I225-V", 1},
                    {R"(PCI\VEN_8086&DEV_2725&SUBSYS_00248086&REV_1A\6&2F5A1C3E&0&0020020A)", "Net",
                     "Intel(R) Wi-Fi 6E AX210 160MHz", 1},
                    {R"(SWD\MSRRAS\MS_NDISWANIP)", "Net", "WAN Miniport (IP)", -1},
                    {R"(SWD\MSRRAS\MS_AGILEVPNMINIPORT)", "Net", "WAN Miniport (IKEv2)", -1},
                    {R"(ROOT\KDNIC\0000)", "Net", "Microsoft Kernel Debug Network Adapter", -1},
                },
                {
                    {R"(PCI\VEN_1022&DEV_14DB&SUBSYS_14531022&REV_00\3&2411E6FE&0&09_0)", true},
                    {R"(PCI\VEN_10DE&DEV_2786&SUBSYS_51411462&REV_A1\4&3834D97&0&0019_0)", true},
                    {R"(PCI\VEN_144D&DEV_A80C&SUBSYS_A801144D&REV_00\4&1D1A8A1F&0&0011_0)", true},
                });
    // A USB stick used once: Windows remembers it, but it is not present.
    m.world.devices.devices.push_back({R"(USB\VID_0781&PID_5581\4C530001230517116461)", "USB", "SanDisk Ultra USB 3.0", false});
}

// ---- Boot entry ----

BootEntry boot_entry(const char* description, bool hypervisor) {
    BootEntry b;
    b.values = {
        {"identifier", "{current}"},
        {"device", "partition=C:"},
        {"path", R"(\WINDOWS\system32\winload.efi)"},
        {"description", description},
        {"locale", "en-US"},
        {"inherit", "{bootloadersettings}"},
        {"recoverysequence", "{4f7a2b1c-8d3e-11ee-9c2a-a8a1593c6e21}"},
        {"displaymessageoverride", "Recovery"},
        {"recoveryenabled", "Yes"},
        {"isolatedcontext", "Yes"},
        {"allowedinmemorysettings", "0x15000075"},
        {"osdevice", "partition=C:"},
        {"systemroot", R"(\WINDOWS)"},
        {"resumeobject", "{4f7a2b1a-8d3e-11ee-9c2a-a8a1593c6e21}"},
        {"nx", "OptIn"},
        {"bootmenupolicy", "Standard"},
    };
    if (hypervisor) b.values["hypervisorlaunchtype"] = "Auto";
    return b;
}

}  // namespace

// ---- The images' parts ----

void add_world_desktop11(MachineImage& m) {
    add_services(m);
    add_tasks(m);
    add_power_plans(m);
    add_system_extras_desktop11(m);
    m.world.network.adapters = {with_interface(intel_i225v(), 12, "{8f3c2a1e-5b7d-4c9a-9e21-3d6f0a8b7c45}"),
                                with_interface(intel_wifi("Intel(R) Wi-Fi 6E AX210 160MHz"), 18,
                                               "{c41e7b90-2d3a-4f6e-8b15-a97d0e2c6f38}")};
    add_devices_desktop11(m);
    add_input_desktop11(m);
    add_network_desktop11(m);
    add_privacy_desktop11(m);
    add_network_extras_desktop11(m);
    m.world.boot = boot_entry("Windows 11", true);
    m.world.memory_agent = {};  // everything on, as Windows 11 ships
    m.world.defender = {};      // available, real-time protection on, no exclusions
    m.files.push_back({R"(C:\hiberfil.sys)", "HIBR" + std::string(4092, '\0')});  // HibernateEnabled is 1
    m.files.push_back({R"(C:\Program Files (x86)\Steam\steam.exe)", placeholder_exe("steam.exe")});
    add_game(m);

    m.add_key(HKCU, R"(Software\Microsoft\DirectX\UserGpuPreferences)");
    m.set_value(HKCU, R"(Software\Microsoft\DirectX\UserGpuPreferences)", "DirectXUserGlobalSettings",
                RegValue::string("SwapEffectUpgradeEnable=1;"));
    m.add_key(HKCU, R"(Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers)");
    m.set_value(HKCU, R"(Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers)",
                R"(C:\Program Files (x86)\Steam\steam.exe)", RegValue::string("~ HIGHDPIAWARE"));
}

// Windows 10 22H2 on a Z390 board: wired only (an Intel I219-V), hibernation turned off by the
// user, Firefox, GeForce Experience with the NVIDIA telemetry service, its crash-report and
// daily update tasks, plans
// without the energy preference and hybrid-core settings, no DirectX swap-effect upgrade.
void change_world_desktop10(MachineImage& m) {
    install_service(m, {"NvTelemetryContainer", 2, true, Host::Own,
                        R"("C:\Program Files (x86)\NVIDIA Corporation\NvTelemetry\NvTelemetryContainer.exe" -s NvTelemetryContainer -f "C:\ProgramData\NVIDIA\NvTelemetryContainer.log" -l 3 -d "C:\Program Files (x86)\NVIDIA Corporation\NvTelemetry\plugins" -r)",
                        "NVIDIA Telemetry Container"});
    install_service(m, {"irmon", 3, false, Host::Svchost, "LocalSystemNetworkRestricted -p",
                        "@%SystemRoot%\\system32\\irmon.dll,-1"});
    uninstall_service(m, "WlanSvc");
    uninstall_service(m, "MixedRealityOpenXRSvc");
    add_task(m, R"(\Microsoft\Windows\Application Experience\ProgramDataUpdater)");
    add_task(m, std::string(R"(\NvDriverUpdateCheckDaily)") + kNvTaskSuffix);
    // The driver's telemetry leaves four crash-report upload tasks at the root of the library.
    for (int i = 1; i <= 4; ++i) add_task(m, R"(\NvTmRep_CrashReport)" + std::to_string(i) + kNvTaskSuffix);
    install_service(m, {"MozillaMaintenance", 3, false, Host::Own,
                        R"("C:\Program Files (x86)\Mozilla Maintenance Service\maintenanceservice.exe")",
                        "Mozilla Maintenance Service"});
    remove_task(m, R"(\Microsoft\Windows\Printing\EduPrintProv)");
    remove_power_setting(m, kSubProcessor, kEpp);
    remove_power_setting(m, kSubProcessor, kHeteroPolicy);
    remove_power_setting(m, kSubProcessor, kHeteroShort);
    change_system_extras_intel(m);
    m.world.network.adapters = {with_interface(intel_i219v(), 7, "{5b9e1d24-7a3c-4e80-b6f2-0c8d3a91e7b5}")};
    change_network_desktop10(m);
    change_privacy_desktop10(m);
    add_network_extras(m);
    std::erase_if(m.world.devices.devices, [](const DeviceData& d) {
        return d.device_class == "Bluetooth" || d.instance_id.find("DEV_2725") != std::string::npos;
    });
    std::erase_if(m.world.devices.power, [](const platform::DevicePower& p) {
        return p.instance_name.find("VID_8087") != std::string::npos || p.instance_name.find("DEV_2725") != std::string::npos;
    });
    for (auto& d : m.world.devices.devices)
        if (d.instance_id.find("DEV_15F3") != std::string::npos) {
            d.instance_id = R"(PCI\VEN_8086&DEV_15BC&SUBSYS_86721043&REV_10\3&11583659&0&FE)";
            d.name = "Intel(R) Ethernet Connection (7) I219-V";
        }
    for (auto& p : m.world.devices.power)
        if (p.instance_name.find("DEV_15F3") != std::string::npos)
            p.instance_name = R"(PCI\VEN_8086&DEV_15BC&SUBSYS_86721043&REV_10\3&11583659&0&FE_0)";
    m.world.boot = boot_entry("Windows 10", false);
    m.world.memory_agent.max_operation_api_files = 256;
    m.set_value(HKLM, R"(SYSTEM\CurrentControlSet\Control\Power)", "HibernateEnabled", RegValue::dword(0));
    m.remove_files(R"(C:\hiberfil.sys)");
    m.remove_key(HKCU, R"(Software\Microsoft\DirectX\UserGpuPreferences)");
    set_game_settings(m, 1920, 1080);
}

// Windows 11 Home on a gaming laptop: Wi-Fi in use and a Realtek 2.5GbE port with no cable in
// (Windows still lists its properties), Office and Acrobat Reader preinstalled, Home's missing
// services (Fax, Offline Files, BranchCache, App-V, UE-V), the Intel graphics power setting,
// and System Protection off, as many laptops ship.
void change_world_laptop11(MachineImage& m) {
    for (const char* name : {"Fax", "CscService", "PeerDistSvc", "AppVClient", "UevAgentService"}) uninstall_service(m, name);
    install_service(m, {"ClickToRunSvc", 2, true, Host::Own,
                        R"("C:\Program Files\Common Files\Microsoft Shared\ClickToRun\OfficeClickToRun.exe" /service)",
                        "Microsoft Office Click-to-Run Service", {"RpcSs"}});
    install_service(m, {"AdobeARMservice", 2, true, Host::Own,
                        R"("C:\Program Files (x86)\Common Files\Adobe\ARM\1.0\armsvc.exe")", "Adobe Acrobat Update Service"});
    for (const char* task : {"OfficeTelemetryAgentLogOn", "OfficeTelemetryAgentFallBack", "Office Feature Updates",
                             "Office Feature Updates Logon", "Office Performance Monitor"})
        add_task(m, std::string(R"(\Microsoft\Office\)") + task);
    add_task(m, R"(\Adobe Acrobat Update Task)");
    add_power_setting(m, "44f3beca-a7c0-460e-9df2-bb8b99e0cba6", "3619c3f2-afb2-4afc-b0e9-e7fef372de36", {1, 0});
    change_system_extras_intel(m);
    m.world.network.adapters = {with_interface(intel_wifi("Intel(R) Wi-Fi 6E AX211 160MHz"), 16,
                                               "{e27a4c81-9f0b-4d36-a5c2-61b8d7e03f94}"),
                                with_interface(realtek_8125("Disconnected"), 9, "{3d8f6a25-c1e4-47b9-8d03-b5a2e6f91c70}")};
    change_network_laptop11(m);
    change_privacy_laptop11(m);
    add_network_extras(m);
    m.world.restore.protection["C:\\"] = false;
    set_devices(m,
                {
                    {R"(PCI\VEN_8086&DEV_51ED&SUBSYS_3F1A17AA&REV_01\3&11583659&0&A0)", "USB",
                     "Intel(R) USB 3.20 eXtensible Host Controller - 1.20 (Microsoft)", 1},
                    {R"(PCI\VEN_8086&DEV_A71E&SUBSYS_3F1A17AA&REV_01\3&11583659&0&68)", "USB",
                     "Intel(R) USB 3.20 eXtensible Host Controller - 1.20 (Microsoft)", 1},
                    {R"(USB\ROOT_HUB30\4&2F0AF3C1&0&0)", "USB", "USB Root Hub (USB 3.0)", 1},
                    {R"(USB\ROOT_HUB30\4&1B27A0E8&0&0)", "USB", "USB Root Hub (USB 3.0)", 1},
                    {R"(USB\VID_046D&PID_C547\5&3A1F2B7C&0&1)", "USB", "USB Composite Device", 1},
                    {R"(USB\VID_046D&PID_C547&MI_00\6&2E4B7D91&0&0000)", "HIDClass", "USB Input Device", 1},
                    {R"(USB\VID_046D&PID_C547&MI_01\6&2E4B7D91&0&0001)", "HIDClass", "USB Input Device", 1},
                    {R"(HID\VID_046D&PID_C547&MI_00\7&18A3C6F2&0&0000)", "HIDClass", "HID-compliant mouse", -1},
                    {R"(ACPI\ELAN0678\4&1F4D3B2A&0)", "HIDClass", "I2C HID Device", -1},
                    {R"(HID\ELAN0678&COL01\5&2B9E6F14&0&0000)", "HIDClass", "HID-compliant touch pad", -1},
                    {R"(USB\VID_0BDA&PID_5795\200901010001)", "Camera", "Integrated Camera", 1},
                    {R"(USB\VID_8087&PID_0033\5&2F0AF3C1&0&10)", "Bluetooth", "Intel(R) Wireless Bluetooth(R)", 1},
                    {R"(BTH\MS_BTHLE\6&1D6C0E3B&0&2)", "Bluetooth", "Microsoft Bluetooth LE Enumerator", -1},
                    {R"(PCI\VEN_8086&DEV_51F1&SUBSYS_00948086&REV_01\3&11583659&0&A3)", "Net",
                     "Intel(R) Wi-Fi 6E AX211 160MHz", 1},
                    {R"(PCI\VEN_10EC&DEV_8125&SUBSYS_3F1A17AA&REV_05\01000000684CE00000)", "Net",
                     "Realtek Gaming 2.5GbE Family Controller", 1},
                    {R"(SWD\MSRRAS\MS_NDISWANIP)", "Net", "WAN Miniport (IP)", -1},
                },
                {
                    {R"(PCI\VEN_8086&DEV_A74D&SUBSYS_3F1A17AA&REV_01\3&11583659&0&30_0)", true},
                    {R"(PCI\VEN_10DE&DEV_28A0&SUBSYS_3F1A17AA&REV_A1\4&2C0B5D7&0&0008_0)", true},
                });
    m.files.push_back({R"(C:\Program Files\Microsoft Office\root\Office16\WINWORD.EXE)", placeholder_exe("WINWORD.EXE")});
}

// German Windows 11 on the same desktop: the adapters' texts are translated by their drivers.
void change_world_german11(MachineImage& m) {
    for (auto& a : m.world.network.adapters) germanize(a);
    m.world.boot.values["locale"] = "de-DE";
}

// A thin-and-light Windows 11 laptop with Modern Standby: Wi-Fi only, on a Realtek card, no Ethernet port. Its
// plans hide USB selective suspend and the wireless power saving (the platform manages both),
// and its USB controllers and I2C input devices offer no "turn off to save power" switch. Its
// light sensor keeps the sensor service running; the owner browses with Brave.
void change_world_thin11(MachineImage& m) {
    install_service(m, {"SensorService", 3, true, Host::Svchost, "", ""});
    install_service(m, {"brave", 2, false, Host::Own, R"("C:\Program Files (x86)\BraveSoftware\Update\BraveUpdate.exe" /svc)",
                        "Brave Update Service (brave)", {"RPCSS"}, true});
    install_service(m, {"bravem", 3, false, Host::Own,
                        R"("C:\Program Files (x86)\BraveSoftware\Update\BraveUpdate.exe" /medsvc)",
                        "Brave Update Service (bravem)", {"RPCSS"}});
    m.world.network.adapters = {with_interface(realtek_wifi(), 14, "{9a6d2f47-3b1e-4c85-a0d9-e4f72b5c8136}")};
    remove_power_setting(m, "2a737441-1930-4402-8d77-b2bebba308a3", "48e6b7a6-50f5-4782-a5d4-53bb8f07e226");
    remove_power_setting(m, "19cbb8fa-5279-450e-9fac-8a3d5fedd0c1", "12bbebe6-58d6-4636-95bb-3217ef867c1a");
    set_devices(m,
                {
                    {R"(PCI\VEN_8086&DEV_7E7D&SUBSYS_0C1117AA&REV_20\3&11583659&0&68)", "USB",
                     "Intel(R) USB 3.20 eXtensible Host Controller - 1.20 (Microsoft)", -1},
                    {R"(USB\ROOT_HUB30\4&3B1C2D9E&0&0)", "USB", "USB Root Hub (USB 3.0)", -1},
                    {R"(ACPI\MSFT0001\4&2A7D4C1B&0)", "HIDClass", "HID Keyboard Device", -1},
                    {R"(ACPI\SYNA2B52\4&1C9E7F3A&0)", "HIDClass", "I2C HID Device", -1},
                    {R"(HID\SYNA2B52&COL01\5&3E1A6B2D&0&0000)", "HIDClass", "HID-compliant touch pad", -1},
                    {R"(USB\VID_8087&PID_0033\5&3B1C2D9E&0&10)", "Bluetooth", "Intel(R) Wireless Bluetooth(R)", 1},
                    {R"(BTH\MS_BTHLE\6&2F1D7C4A&0&2)", "Bluetooth", "Microsoft Bluetooth LE Enumerator", -1},
                    {R"(PCI\VEN_10EC&DEV_C852&SUBSYS_C85210EC&REV_00\4&1A2B3C4D&0&00E8)", "Net",
                     "Realtek RTL8852CE WiFi 6E PCI-E NIC", 1},
                },
                {});
    change_network_thin11(m);
    add_network_extras(m);
}

// ESET Security in charge: Defender stays installed and its preferences answer, but with
// another antivirus registered its antimalware service and real-time protection are off.
void add_other_antivirus(MachineImage& m) {
    install_service(m, {"ekrn", 2, true, Host::Own, R"("C:\Program Files\ESET\ESET Security\ekrn.exe")", "ESET Service"});
    m.world.defender.realtime_protection = false;
    m.world.defender.antimalware_service = false;
    m.world.defender.active_antivirus = "ESET Security";
    m.processes.push_back({4120, "ekrn.exe"});
    m.processes.push_back({8876, "egui.exe"});
    m.files.push_back({R"(C:\Program Files\ESET\ESET Security\ekrn.exe)", placeholder_exe("ekrn.exe")});
    m.files.push_back({R"(C:\Program Files\ESET\ESET Security\egui.exe)", placeholder_exe("egui.exe")});
    m.add_key(HKLM, R"(SOFTWARE\ESET\ESET Security\CurrentVersion\Info)");
    m.set_value(HKLM, R"(SOFTWARE\ESET\ESET Security\CurrentVersion\Info)", "ProductName", RegValue::string("ESET Security"));
    m.set_value(HKLM, R"(SOFTWARE\ESET\ESET Security\CurrentVersion\Info)", "ProductVersion", RegValue::string("17.2.7.0"));
}

}  // namespace vexlo::sim
