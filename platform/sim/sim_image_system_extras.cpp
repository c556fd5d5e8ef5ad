// What the built-in machines have for the System page's advanced settings: the file-system,
// fault-tolerant-heap and service-host values Windows ships with, and the graphics power
// setting that AMD's software adds to the power plans. Called by sim_image_world.cpp.
#include "platform/sim/sim_image_values.h"
#include "platform/sim/sim_images.h"

#include "platform/sim/sim_util.h"

namespace vexlo::sim {

using namespace image_values;

namespace {

constexpr const char* kAmdGraphicsSub = "e276e160-7cb0-43c6-b20b-73f5dce39954";
constexpr const char* kAmdSwitchable = "a1662ab2-9d34-4e53-ba8b-2639b9e20857";

}  // namespace

// The desktop's Ryzen has integrated Radeon graphics, and AMD Software installed for it puts its
// switchable-graphics setting into every plan (0 power saving ... 3 maximum performance), even
// with the NVIDIA card doing the rendering.
void add_system_extras_desktop11(MachineImage& m) {
    const char* const fs = R"(SYSTEM\CurrentControlSet\Control\FileSystem)";
    m.add_key(HKLM, fs);
    // 0x80000002: last-access updates on, managed by Windows; 8.3 names decided per volume.
    m.set_value(HKLM, fs, "NtfsDisableLastAccessUpdate", RegValue::dword(0x80000002));
    m.set_value(HKLM, fs, "NtfsDisable8dot3NameCreation", RegValue::dword(2));
    for (const char* name : {"LongPathsEnabled", "NtfsAllowExtendedCharacterIn8dot3Name", "NtfsBugcheckOnCorrupt",
                             "NtfsDisableCompression", "NtfsDisableEncryption", "NtfsEncryptPagingFile",
                             "NtfsMemoryUsage", "NtfsMftZoneReservation", "Win31FileSystem"})
        m.set_value(HKLM, fs, name, RegValue::dword(0));
    m.set_value(HKLM, fs, "NtfsQuotaNotifyRate", RegValue::dword(3600));
    m.set_value(HKLM, fs, "RefsDisableLastAccessUpdate", RegValue::dword(1));
    m.set_value(HKLM, fs, "Win95TruncatedExtensions", RegValue::dword(1));

    const char* const fth = R"(SOFTWARE\Microsoft\FTH)";
    m.add_key(HKLM, fth);
    m.set_value(HKLM, fth, "Enabled", RegValue::dword(1));
    m.set_value(HKLM, fth, "ExclusionList",
                RegValue::multi_string({"dwm.exe", "lsass.exe", "csrss.exe", "smss.exe", "services.exe", "wininit.exe",
                                        "winlogon.exe", "svchost.exe"}));
    m.set_value(HKLM, fth, "MaximumTrackedApplications", RegValue::dword(128));
    m.set_value(HKLM, fth, "MaximumTrackedProcesses", RegValue::dword(4));
    m.add_key(HKLM, std::string(fth) + R"(\State)");

    // 3.5 GB, Windows' own threshold.
    m.set_value(HKLM, R"(SYSTEM\CurrentControlSet\Control)", "SvcHostSplitThresholdInKB", RegValue::dword(3670016));

    struct PlanValue {
        const char* plan;
        PowerValue value;
    };
    const PlanValue amd[] = {{"381b4222-f694-41f0-9685-ff5bb260df2e", {2, 1}},   // Balanced
                             {"8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c", {3, 3}},   // High performance
                             {"a1841308-3541-4fab-bc81-f71556f20b4a", {1, 0}},   // Power saver
                             {"e9a42b02-d5df-448d-aa00-03f14749eb61", {3, 3}}};  // Ultimate Performance
    for (auto& plan : m.world.power.plans)
        for (auto& v : amd)
            if (iequals(plan.guid, v.plan)) plan.settings[kAmdGraphicsSub][kAmdSwitchable] = v.value;
}

// An Intel PC has no AMD software, so no switchable-graphics setting.
void change_system_extras_intel(MachineImage& m) {
    for (auto& plan : m.world.power.plans) {
        auto sub = plan.settings.find(kAmdGraphicsSub);
        if (sub == plan.settings.end()) continue;
        sub->second.erase(kAmdSwitchable);
        if (sub->second.empty()) plan.settings.erase(sub);
    }
}

}  // namespace vexlo::sim
