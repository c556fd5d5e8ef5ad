// The Debloat page's rarely used services and further scheduled tasks: the entries exactly as
// listed (also those made from a table of rows), which PCs offer them, and what applying one
// does to a running service.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "app/core/text.h"
#include "app/tweaks/kinds/svc_kind.h"
#include "app/tweaks/kinds/task_kind.h"
#include "app/tweaks/tweak_sets.h"
#include "headless_app.h"

using namespace vexlo;
using testkit::Headless;

namespace {

constexpr const char* kSvcReason = "This service is not installed on your PC.";
constexpr const char* kTaskReason = "This task does not exist on your PC.";

struct SvcRow {
    const char* id;
    const char* service;
    int start;
    const char* title;
    const char* desc;
    bool adv, manual;
};

// Every entry of "Rarely used services", in page order.
const SvcRow kServices[] = {
    {"s_ajr", "AJRouter", 4, "AllJoyn Router off", "Smart-home device protocol almost nothing uses.", false, false},
    {"s_alg", "ALG", 4, "Application Layer Gateway off", "Only used by Internet Connection Sharing.", false, false},
    {"s_appv", "AppVClient", 4, "App-V client off", "Enterprise app virtualization.", false, false},
    {"s_certprop", "CertPropSvc", 4, "Certificate propagation off", "Copies certificates from smart cards.", false, false},
    {"s_csc", "CscService", 4, "Offline Files off", "Syncs network files for offline use.", false, false},
    {"s_dps", "DPS", 4, "Diagnostic Policy Service off", "Problem detection. Network troubleshooters stop working.", true, false},
    {"s_wdis", "WdiServiceHost", 4, "Diagnostic Service Host off", "Diagnostics host process.", true, false},
    {"s_wdisys", "WdiSystemHost", 4, "Diagnostic System Host off", "Diagnostics host process.", true, false},
    {"s_diagsvc", "diagsvc", 4, "Diagnostic Execution Service off", "Runs diagnostic actions for troubleshooting.", false, false},
    {"s_vmickvpexchange", "vmickvpexchange", 4, "Hyper-V guest: data exchange off", "Only does anything when Windows runs inside a virtual machine.", false, false},
    {"s_vmicguestinterface", "vmicguestinterface", 4, "Hyper-V guest: guest interface off", "Only does anything when Windows runs inside a virtual machine.", false, false},
    {"s_vmicshutdown", "vmicshutdown", 4, "Hyper-V guest: shutdown off", "Only does anything when Windows runs inside a virtual machine.", false, false},
    {"s_vmicheartbeat", "vmicheartbeat", 4, "Hyper-V guest: heartbeat off", "Only does anything when Windows runs inside a virtual machine.", false, false},
    {"s_vmicvmsession", "vmicvmsession", 4, "Hyper-V guest: PowerShell Direct off", "Only does anything when Windows runs inside a virtual machine.", false, false},
    {"s_vmicrdv", "vmicrdv", 4, "Hyper-V guest: remote desktop virtualization off", "Only does anything when Windows runs inside a virtual machine.", false, false},
    {"s_vmictimesync", "vmictimesync", 4, "Hyper-V guest: time sync off", "Only does anything when Windows runs inside a virtual machine.", false, false},
    {"s_vmicvss", "vmicvss", 4, "Hyper-V guest: volume shadow copy off", "Only does anything when Windows runs inside a virtual machine.", false, false},
    {"s_icssvc", "icssvc", 4, "Mobile hotspot service off", "Only needed to share your connection as a hotspot.", true, false},
    {"s_irmon", "irmon", 4, "Infrared monitor off", "Infrared file transfer.", false, false},
    {"s_lltd", "lltdsvc", 4, "Network map service off", "Draws the old network map.", false, false},
    {"s_iscsi", "MSiSCSI", 4, "iSCSI initiator off", "Network storage protocol for servers.", false, false},
    {"s_natauth", "NaturalAuthentication", 4, "Natural Authentication off", "Dynamic lock signals.", false, false},
    {"s_nettcp", "NetTcpPortSharing", 4, "Net.Tcp port sharing off", "Developer service.", false, false},
    {"s_peerdist", "PeerDistSvc", 4, "BranchCache off", "Enterprise content caching.", false, false},
    {"s_percsim", "perceptionsimulation", 4, "Mixed reality simulation off", "Windows Mixed Reality.", false, false},
    {"s_spectrum", "spectrum", 4, "Windows Perception off", "Windows Mixed Reality spatial service.", false, false},
    {"s_sharedreal", "SharedRealitySvc", 4, "Spatial data service off", "Windows Mixed Reality.", false, false},
    {"s_mrxr", "MixedRealityOpenXRSvc", 4, "Mixed Reality OpenXR off", "Windows Mixed Reality.", false, false},
    {"s_sensdata", "SensorDataService", 4, "Sensor data service off", "Auto-rotate and light sensors stop working.", true, false},
    {"s_sensr", "SensrSvc", 4, "Sensor monitoring off", "Adaptive brightness stops working.", true, false},
    {"s_sensor", "SensorService", 4, "Sensor service off", "Device sensors (tablets, 2-in-1s).", true, false},
    {"s_sessenv", "SessionEnv", 3, "Remote Desktop configuration on demand", "Only starts if you use Remote Desktop.", true, false},
    {"s_termsvc", "TermService", 3, "Remote Desktop service on demand", "Only starts if you use Remote Desktop.", true, false},
    {"s_umrdp", "UmRdpService", 3, "Remote Desktop redirector on demand", "Only starts if you use Remote Desktop.", true, false},
    {"s_scdev", "ScDeviceEnum", 4, "Smart card enumeration off", "Smart card readers.", false, false},
    {"s_scpol", "SCPolicySvc", 4, "Smart card removal policy off", "Smart card readers.", false, false},
    {"s_scsvr", "SCardSvr", 4, "Smart card service off", "Smart card readers.", false, false},
    {"s_shpam", "shpamsvc", 4, "Shared PC account manager off", "Shared school and kiosk PCs.", false, false},
    {"s_sms", "SmsRouter", 4, "SMS router off", "Text message routing for phone-linked features.", false, false},
    {"s_sti", "stisvc", 4, "Windows Image Acquisition off", "Scanners stop working.", true, false},
    {"s_tapi", "TapiSrv", 4, "Telephony off", "Old dial-up and phone systems. Some VPNs use it.", true, false},
    {"s_trouble", "TroubleshootingSvc", 4, "Recommended troubleshooting off", "Automatic troubleshooting.", false, false},
    {"s_uev", "UevAgentService", 4, "User Experience Virtualization off", "Enterprise settings roaming.", false, false},
    {"s_wcnc", "wcncsvc", 4, "Windows Connect Now off", "WPS router setup.", false, false},
    {"s_webclient", "WebClient", 4, "WebDAV client off", "Web-based file shares.", false, false},
    {"s_wfds", "WFDSConMgrSvc", 4, "Wi-Fi Direct services off", "Miracast and Wi-Fi Direct stop working.", true, false},
    {"s_workf", "workfolderssvc", 4, "Work Folders off", "Enterprise file sync.", false, false},
    {"s_wwan", "WwanSvc", 4, "Cellular data service off", "Only for laptops with a SIM card.", true, false},
    {"s_autotime", "autotimesvc", 4, "Cellular time off", "Gets time from cell networks.", false, false},
    {"s_cdp", "CDPSvc", 4, "Connected Devices Platform off", "Nearby Sharing and Phone Link stop working.", true, false},
    {"s_iphlp", "iphlpsvc", 4, "IP Helper off", "IPv6 transition tunnels. Some VPNs need it.", true, false},
    {"s_semgr", "SEMgrSvc", 4, "Payments and NFC off", "Tap-to-pay hardware.", false, false},
    {"s_rasauto", "RasAuto", 4, "Remote Access auto-connect off", "Dial-up auto connection.", false, false},
    {"s_printn", "PrintNotify", 4, "Printer extensions off", "Printer pop-ups and extensions.", true, true},
    {"s_lmhosts", "lmhosts", 4, "NetBIOS helper off", "Pairs with disabling NetBIOS.", true, false},
    {"s_chromeel", "GoogleChromeElevationService", 3, "Chrome elevation on demand", "Chrome helper service.", false, false},
    {"s_mozmaint", "MozillaMaintenance", 3, "Firefox maintenance on demand", "Firefox updater.", false, false},
    {"s_brave", "brave", 3, "Brave updater on demand", "Brave updates when you open it.", false, false},
    {"s_bravem", "bravem", 3, "Brave updater (2) on demand", "Second Brave update service.", false, false},
    {"s_c2r", "ClickToRunSvc", 3, "Office Click-to-Run on demand", "Office still works and updates when opened.", false, false},
    {"s_adobeupd", "AdobeUpdateService", 3, "Adobe update service on demand", "Creative Cloud updater.", false, false},
};

struct TaskRow {
    const char* id;
    const char* path;
    const char* title;
    const char* desc;
};

// Every entry of "More scheduled tasks", in page order.
const TaskRow kTasks[] = {
    {"t_pcapatch", R"(\Microsoft\Windows\Application Experience\PcaPatchDbTask)", "Compatibility database patch", "Background compatibility data updates."},
    {"t_mare", R"(\Microsoft\Windows\Application Experience\MareBackup)", "Compatibility backup", "Backs up compatibility telemetry."},
    {"t_startapp", R"(\Microsoft\Windows\Application Experience\StartupAppTask)", "Startup app scan", "Scans startup apps to show impact ratings."},
    {"t_kernelceip", R"(\Microsoft\Windows\Customer Experience Improvement Program\KernelCeipTask)", "Kernel CEIP", "Kernel usage telemetry."},
    {"t_diskfoot", R"(\Microsoft\Windows\DiskFootprint\Diagnostics)", "Disk footprint diagnostics", "Measures disk usage for telemetry."},
    {"t_onesettings", R"(\Microsoft\Windows\Flighting\OneSettings\RefreshCache)", "OneSettings refresh", "Downloads remote config for experiments."},
    {"t_locnotif", R"(\Microsoft\Windows\Location\Notifications)", "Location notifications", "Location usage notifications."},
    {"t_locdialog", R"(\Microsoft\Windows\Location\WindowsActionDialog)", "Location action dialog", "Location prompt task."},
    {"t_retail", R"(\Microsoft\Windows\RetailDemo\CleanupOfflineContent)", "Retail demo cleanup", "Store display mode content."},
    {"t_famsafe1", R"(\Microsoft\Windows\Shell\FamilySafetyMonitor)", "Family Safety monitor", "Parental controls monitor."},
    {"t_famsafe2", R"(\Microsoft\Windows\Shell\FamilySafetyRefreshTask)", "Family Safety refresh", "Parental controls sync."},
    {"t_speech", R"(\Microsoft\Windows\Speech\SpeechModelDownloadTask)", "Speech model download", "Downloads speech recognition models."},
    {"t_wmplib", R"(\Microsoft\Windows\Windows Media Sharing\UpdateLibrary)", "Media library update", "Media sharing library scan."},
    {"t_devinfo", R"(\Microsoft\Windows\Device Information\Device)", "Device information", "Collects device info for telemetry."},
    {"t_devinfou", R"(\Microsoft\Windows\Device Information\Device User)", "Device user information", "Collects device info for telemetry."},
    {"t_diagsched", R"(\Microsoft\Windows\Diagnosis\Scheduled)", "Scheduled diagnostics", "Runs automatic troubleshooting in the background."},
    {"t_errdetail", R"(\Microsoft\Windows\ErrorDetails\EnableErrorDetailsUpdate)", "Error details update", "Downloads error detail data."},
    {"t_sqm", R"(\Microsoft\Windows\PI\Sqm-Tasks)", "SQM tasks", "Software quality telemetry."},
    {"t_hello", R"(\Microsoft\Windows\HelloFace\FODCleanupTask)", "Windows Hello face cleanup", "Removes unused face recognition data."},
    {"t_respri", R"(\Microsoft\Windows\Sysmain\ResPriStaticDbSync)", "SysMain priority database", "SysMain background sync."},
    {"t_swap", R"(\Microsoft\Windows\Sysmain\WsSwapAssessmentTask)", "Swap assessment", "SysMain memory assessment."},
    {"t_wf1", R"(\Microsoft\Windows\Work Folders\Work Folders Logon Synchronization)", "Work Folders logon sync", "Enterprise file sync."},
    {"t_wf2", R"(\Microsoft\Windows\Work Folders\Work Folders Maintenance Work)", "Work Folders maintenance", "Enterprise file sync."},
    {"t_eduprint", R"(\Microsoft\Windows\Printing\EduPrintProv)", "Education print provisioning", "School printer setup."},
    {"t_offupd1", R"(\Microsoft\Office\Office Feature Updates)", "Office feature updates", "Office background update check."},
    {"t_offupd2", R"(\Microsoft\Office\Office Feature Updates Logon)", "Office feature updates (logon)", "Office update check at sign-in."},
    {"t_offperf", R"(\Microsoft\Office\Office Performance Monitor)", "Office performance monitor", "Office telemetry."},
    {"t_nvcrash1", R"(\NvTmRep_CrashReport1_{B2FE1952-0186-46C3-BAEC-A80AA35AC5B8})", "NVIDIA crash report 1", "NVIDIA telemetry upload task."},
    {"t_nvcrash2", R"(\NvTmRep_CrashReport2_{B2FE1952-0186-46C3-BAEC-A80AA35AC5B8})", "NVIDIA crash report 2", "NVIDIA telemetry upload task."},
    {"t_nvcrash3", R"(\NvTmRep_CrashReport3_{B2FE1952-0186-46C3-BAEC-A80AA35AC5B8})", "NVIDIA crash report 3", "NVIDIA telemetry upload task."},
    {"t_nvcrash4", R"(\NvTmRep_CrashReport4_{B2FE1952-0186-46C3-BAEC-A80AA35AC5B8})", "NVIDIA crash report 4", "NVIDIA telemetry upload task."},
    {"t_nvupd", R"(\NvDriverUpdateCheckDaily_{B2FE1952-0186-46C3-BAEC-A80AA35AC5B8})", "NVIDIA daily update check", "GeForce Experience update check."},
};

std::vector<const Tweak*> group_of(Headless& h, std::string_view group) {
    std::vector<const Tweak*> out;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->group == group) out.push_back(t.get());
    return out;
}

std::string service_key(std::string_view name) {
    return "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\" + std::string(name);
}

// What every entry of the two groups has in common with its row: texts, flags, the page and
// low impact, no availability test of its own.
void expect_entry(const Tweak& t, const char* id, Kind kind, const char* title, const char* desc, bool adv,
                  bool manual) {
    EXPECT_EQ(t.id, id);
    EXPECT_EQ(t.page, "Debloat");
    EXPECT_EQ(t.kind, kind);
    EXPECT_EQ(t.title, title);
    EXPECT_EQ(t.desc, desc);
    EXPECT_EQ(t.impact, "Low");
    EXPECT_EQ(t.adv, adv);
    EXPECT_EQ(t.manual, manual);
    EXPECT_FALSE(t.restart || t.no_laptop || t.avail);
}

}  // namespace

// The loaded entries, the generated Hyper-V and NVIDIA ones among them, match the lists field
// by field and in order.
TEST(ServicesTasksCatalog, EntriesAreExactlyTheListedOnes) {
    Headless h;
    auto services = group_of(h, "Rarely used services");
    ASSERT_EQ(services.size(), std::size(kServices));
    for (size_t i = 0; i < services.size(); ++i) {
        const SvcRow& want = kServices[i];
        SCOPED_TRACE(want.id);
        expect_entry(*services[i], want.id, Kind::Svc, want.title, want.desc, want.adv, want.manual);
        EXPECT_EQ(services[i]->data_as<SvcData>().n, want.service);
        EXPECT_EQ(services[i]->data_as<SvcData>().s, want.start);
    }
    auto tasks = group_of(h, "More scheduled tasks");
    ASSERT_EQ(tasks.size(), std::size(kTasks));
    for (size_t i = 0; i < tasks.size(); ++i) {
        const TaskRow& want = kTasks[i];
        SCOPED_TRACE(want.id);
        expect_entry(*tasks[i], want.id, Kind::Task, want.title, want.desc, false, false);
        EXPECT_EQ(tasks[i]->data_as<TaskData>().path, want.path);
    }
    // The two groups follow each other, after the page's first groups.
    auto& all = h.app->tweaks().catalog().tweaks;
    auto pos = [&](std::string_view id) {
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i]->id == id) return i;
        return all.size();
    };
    EXPECT_LT(pos("visualfx"), pos("s_ajr"));
    EXPECT_EQ(pos("s_adobeupd") + 1, pos("t_pcapatch"));
}

// No other entry of the catalog switches the same service or task: two switches for one thing
// would each back it up and fight over it.
TEST(ServicesTasksCatalog, NoServiceOrTaskTwice) {
    Headless h;
    std::set<std::string> services, tasks;
    for (auto& t : h.app->tweaks().catalog().tweaks) {
        if (t->kind == Kind::Svc) {
            EXPECT_TRUE(services.insert(to_lower(t->data_as<SvcData>().n)).second) << t->id;
        } else if (t->kind == Kind::Task) {
            EXPECT_TRUE(tasks.insert(to_lower(t->data_as<TaskData>().path)).second) << t->id;
        }
    }
}

// Which PCs offer what: the Hyper-V guest services come with every Windows, NVIDIA's
// crash-report tasks with the driver that makes them, the infrared monitor to Windows 10, and
// Home lacks the enterprise services.
TEST(ServicesTasksCatalog, OfferedOnlyWhereThePcHasIt) {
    struct Case {
        const char* image;
        std::vector<std::string> ids;
        bool available;
    };
    const std::vector<std::string> vmic = {"s_vmickvpexchange", "s_vmicguestinterface", "s_vmicshutdown",
                                           "s_vmicheartbeat",   "s_vmicvmsession",      "s_vmicrdv",
                                           "s_vmictimesync",    "s_vmicvss"};
    const std::vector<std::string> nvcrash = {"t_nvcrash1", "t_nvcrash2", "t_nvcrash3", "t_nvcrash4"};
    const std::vector<std::string> home_lacks = {"s_appv", "s_csc", "s_peerdist", "s_uev"};
    const Case cases[] = {
        {"desktop11", vmic, true},
        {"desktop10", vmic, true},
        {"thin11", vmic, true},
        {"desktop11", nvcrash, false},
        {"laptop11", nvcrash, false},
        {"desktop10", nvcrash, true},
        {"desktop10", {"t_nvupd", "s_irmon", "s_mozmaint"}, true},
        {"desktop11", {"t_nvupd", "s_irmon", "s_mozmaint", "s_brave", "s_c2r", "s_adobeupd"}, false},
        {"desktop11", home_lacks, true},
        {"laptop11", home_lacks, false},
        {"thin11", home_lacks, false},
        {"laptop11", {"s_c2r", "t_offupd1", "t_offupd2", "t_offperf"}, true},
        {"thin11", {"s_brave", "s_bravem", "s_sensor"}, true},
    };
    for (auto& c : cases) {
        Headless h(c.image);
        for (auto& id : c.ids) {
            SCOPED_TRACE(std::string(c.image) + " " + id);
            Tweak& t = h.tweak(id);
            h.engine().test_available(t);
            EXPECT_EQ(t.available, c.available);
            EXPECT_EQ(t.reason, c.available ? "" : t.kind == Kind::Svc ? kSvcReason : kTaskReason);
        }
    }
}

// "On demand" writes start type 3 and leaves a running service running; "off" (4) also stops
// it. The revert puts back the start type and the running state.
TEST(ServicesTasksCatalog, ApplyingChangesStartTypeAndStopsOnlyForOff) {
    struct Case {
        const char* image;
        const char* id;
        const char* service;
        uint32_t start_before;
        bool running_after;
    };
    const Case cases[] = {
        {"desktop11", "s_sessenv", "SessionEnv", 2, true},
        {"desktop11", "s_termsvc", "TermService", 2, true},
        {"desktop11", "s_dps", "DPS", 2, false},
        {"thin11", "s_sensor", "SensorService", 3, false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.id);
        Headless h(c.image);
        auto& services = h.pc->services();
        h.pc->registry().set(platform::Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\" + std::string(c.service),
                             "Start", platform::RegValue::dword(c.start_before));
        h.pc->set_service_running(c.service, true);
        Tweak& t = h.tweak(c.id);
        const int start = t.data_as<SvcData>().s;
        ASSERT_FALSE(h.state(c.id));
        h.engine().apply_kind(t);
        EXPECT_EQ(h.reg().get(service_key(c.service), "Start"), start);
        EXPECT_EQ(services.is_running(c.service), c.running_after);
        EXPECT_TRUE(h.state(c.id));
        h.engine().revert_kind(t);
        EXPECT_EQ(h.reg().get(service_key(c.service), "Start"), c.start_before);
        EXPECT_TRUE(services.is_running(c.service));
        EXPECT_FALSE(h.state(c.id));
    }
}

// The printer extensions entry is left to the user: no profile and neither the page's nor the
// group's "apply" takes it, though the PC has the service and the rest of the group goes.
TEST(ServicesTasksCatalog, PrinterExtensionsOnlyByHand) {
    Headless h;
    const Catalog& cat = h.app->tweaks().catalog();
    ASSERT_TRUE(h.tweak("s_printn").available);
    auto has = [](const std::vector<Tweak*>& set, std::string_view id) {
        return std::any_of(set.begin(), set.end(), [&](const Tweak* t) { return t->id == id; });
    };
    for (Profile p : {Profile::Competitive, Profile::Max, Profile::Laptop}) EXPECT_FALSE(has(profile_set(cat, p), "s_printn"));
    EXPECT_TRUE(has(profile_set(cat, Profile::Max), "s_lmhosts"));
    for (auto& set : {recommended_set(cat, "Debloat"), recommended_set(cat, "Debloat", "Rarely used services")}) {
        EXPECT_FALSE(has(set, "s_printn"));
        EXPECT_TRUE(has(set, "s_ajr"));
    }
}
