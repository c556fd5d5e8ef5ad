// The built-in machines' privacy and Explorer settings: what Store apps were allowed at setup,
// Explorer's and the taskbar's values as Windows writes them at first sign-in, the shutdown
// timers, Remote Assistance, and the Office profile of the laptop. None of the cloud-content,
// Edge, Chrome, Office, search or OneDrive policies are set: a home PC has no Group Policy.
#include "platform/sim/sim_image_values.h"
#include "platform/sim/sim_images.h"

namespace vexlo::sim {

using namespace image_values;

namespace {

const std::string kConsent = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\CapabilityAccessManager\ConsentStore\)";
const std::string kAdvanced = R"(Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced)";


}  // namespace

void add_privacy_desktop11(MachineImage& m) {
    // Setup's privacy page left every capability allowed; the whole file system is the one a
    // Store app must be granted by hand.
    for (const char* cap : {"appDiagnostics", "contacts", "appointments", "phoneCall", "phoneCallHistory", "email",
                            "userDataTasks", "chat", "radios", "bluetoothSync", "userAccountInformation",
                            "documentsLibrary", "picturesLibrary", "videosLibrary", "activity", "cellularData",
                            "userNotificationListener"})
        m.set_values(HKLM, kConsent + cap, {{"Value", sz("Allow")}});
    m.set_values(HKLM, kConsent + "broadFileSystemAccess", {{"Value", sz("Deny")}});

    // Explorer and the taskbar as a Windows 11 23H2 profile starts: extensions hidden, the Chat
    // and Task View buttons shown, the search box on the taskbar. Start's recommendations, the
    // account notices, shaking, End task and where Explorer opens are Windows' defaults while
    // their values are absent, as are the Quick Access lists of the Explorer key.
    m.set_values(HKCU, kAdvanced, {{"Hidden", dw(2)}, {"HideFileExt", dw(1)}, {"ShowSuperHidden", dw(0)},
                             {"Start_TrackDocs", dw(1)}, {"ShowTaskViewButton", dw(1)}, {"TaskbarMn", dw(1)}});
    m.set_values(HKCU, R"(Software\Microsoft\Windows\CurrentVersion\Search)", {{"SearchboxTaskbarMode", dw(2)}});
    m.set_values(HKCU, R"(Software\Microsoft\Windows\CurrentVersion\SearchSettings)",
        {{"IsDynamicSearchBoxEnabled", dw(1)}, {"IsAADCloudSearchEnabled", dw(0)}, {"IsMSACloudSearchEnabled", dw(1)},
         {"IsDeviceSearchHistoryEnabled", dw(1)}});
    m.set_values(HKLM, R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\Explorer)",
        {{"ForceActiveDesktopOn", dw(0)}, {"NoActiveDesktop", dw(1)}, {"NoActiveDesktopChanges", dw(1)}});
    m.set_values(HKCU, R"(Control Panel\International\User Profile)",
        {{"Languages", RegValue::multi_string({"en-US"})}, {"ShowAutoCorrection", dw(1)}, {"ShowTextPrediction", dw(1)}});
    // Online speech recognition was accepted on the privacy page of setup.
    m.set_values(HKCU, R"(Software\Microsoft\Speech_OneCore\Settings\OnlineSpeechPrivacy)", {{"HasAccepted", dw(1)}});

    // The shutdown timers: the hung-app ones are absent (Windows uses its built-in times), the
    // service one is in the system hive of every install.
    m.add_key(HKCU, R"(Control Panel\Desktop)");
    m.set_value(HKLM, R"(SYSTEM\CurrentControlSet\Control)", "WaitToKillServiceTimeout", sz("5000"));
    m.set_values(HKLM, R"(SYSTEM\CurrentControlSet\Control\Remote Assistance)",
        {{"fAllowToGetHelp", dw(1)}, {"fAllowFullControl", dw(1)}, {"MaxTicketExpiry", dw(6)},
         {"MaxTicketExpiryUnits", dw(1)}, {"fEnableChatControl", dw(0)}});
    // Per-user class registrations: present, without the one the classic menu adds.
    m.add_key(HKCU, R"(Software\Classes\CLSID)");
}

// Windows 10 has no Chat button; Cortana's sits next to the search box instead.
void change_privacy_desktop10(MachineImage& m) {
    m.remove_value(HKCU, kAdvanced, "TaskbarMn");
    m.set_value(HKCU, kAdvanced, "ShowCortanaButton", dw(1));
}

// Office's first run wrote its profile key; no telemetry or feedback value is set until a
// policy or the user sets one.
void change_privacy_laptop11(MachineImage& m) {
    m.set_values(HKCU, R"(Software\Microsoft\Office\16.0\Common\General)", {{"ShownFirstRunOptin", dw(1)}});
    m.add_key(HKCU, R"(Software\Microsoft\Office\Common\ClientTelemetry)");
}

}  // namespace vexlo::sim
