// What the built-in machines start with Windows: the Run keys of the user, of the machine and
// of 32-bit programs, the two Startup folders of the Start menu, and the StartupApproved lists
// that remember which of them the user blocked in Task Manager. Called by sim_images.cpp.
#include "platform/sim/sim_image_values.h"
#include "platform/sim/sim_images.h"

namespace vexlo::sim {

using namespace image_values;

namespace {

const char* const kUserRun = R"(Software\Microsoft\Windows\CurrentVersion\Run)";
const char* const kMachineRun = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Run)";
const char* const kRun32 = R"(SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Run)";
const char* const kApproved = R"(Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved)";
const char* const kUserStartup = R"(C:\Users\Player\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup)";
const char* const kCommonStartup = R"(C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Startup)";

// What Explorer writes into every Startup folder so that it shows under its own name: UTF-16
// with a byte order mark.
std::string startup_desktop_ini() {
    std::string_view text = "[.ShellClassInfo]\r\nLocalizedResourceName=@%SystemRoot%\\system32\\shell32.dll,-21787\r\n";
    std::string out = "\xFF\xFE";
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

// A stand-in for a shortcut: the shell link header's first bytes and where it points.
std::string placeholder_link(std::string_view target) {
    return std::string("L\0\0\0\x01\x14\x02\0", 8) + "Simulated shortcut to " + std::string(target) + "\r\n";
}

// Blocked in Task Manager: first byte 3, then the moment it was blocked as a FILETIME.
RegValue blocked_at(uint64_t filetime) {
    std::vector<uint8_t> bytes = {3, 0, 0, 0};
    for (int i = 0; i < 8; ++i) bytes.push_back(uint8_t(filetime >> (8 * i)));
    return RegValue::binary(std::move(bytes));
}

}  // namespace

void add_startup_desktop11(MachineImage& m) {
    m.add_key(HKCU, kUserRun);
    m.set_value(HKCU, kUserRun, "Steam", RegValue::string(R"("C:\Program Files (x86)\Steam\steam.exe" -silent)"));
    m.set_value(HKCU, kUserRun, "Discord",
                RegValue::string(R"("C:\Users\Player\AppData\Local\Discord\Update.exe" --processStart Discord.exe)"));
    m.set_value(HKCU, kUserRun, "OneDrive",
                RegValue::string(R"("C:\Program Files\Microsoft OneDrive\OneDrive.exe" /background)"));
    m.set_value(HKCU, kUserRun, "Spotify",
                RegValue::string(R"("C:\Users\Player\AppData\Roaming\Spotify\Spotify.exe" --autostart --minimized)"));
    m.add_key(HKLM, kMachineRun);
    m.set_value(HKLM, kMachineRun, "SecurityHealth", RegValue::expand_string(R"(%windir%\system32\SecurityHealthSystray.exe)"));
    m.set_value(HKLM, kMachineRun, "RtkAudUService",
                RegValue::string(R"("C:\Windows\System32\DriverStore\FileRepository\realtekservice.inf_amd64_8fa5b2c0e1d3b6a4\RtkAudUService64.exe" -background)"));
    m.add_key(HKLM, kRun32);
    m.set_value(HKLM, kRun32, "Logitech Download Assistant",
                RegValue::string(R"(C:\Windows\system32\rundll32.exe C:\Windows\System32\LogiLDA.dll,LogiFetch)"));

    // The player turned Spotify off in Task Manager.
    m.add_key(HKCU, std::string(kApproved) + "\\Run");
    m.set_value(HKCU, std::string(kApproved) + "\\Run", "Spotify", blocked_at(133'512'345'670'000'000));

    m.folders.push_back(kUserStartup);
    m.folders.push_back(kCommonStartup);
    const std::string ini = startup_desktop_ini();
    m.files.push_back({std::string(kUserStartup) + R"(\desktop.ini)", ini});
    m.files.push_back({std::string(kUserStartup) + R"(\MSI Afterburner.lnk)",
                       placeholder_link(R"(C:\Program Files (x86)\MSI Afterburner\MSIAfterburner.exe)")});
    m.files.push_back({std::string(kUserStartup) + R"(\Medal.lnk)",
                       placeholder_link(R"(C:\Users\Player\AppData\Local\Medal\update.exe)")});
    m.files.push_back({std::string(kCommonStartup) + R"(\desktop.ini)", ini});
    m.files.push_back({std::string(kCommonStartup) + R"(\NZXT CAM.lnk)",
                       placeholder_link(R"(C:\Program Files\NZXT CAM\NZXT CAM.exe)")});
}

void change_startup_desktop10(MachineImage& m) {
    // Classic Teams instead of Spotify, and an old Java updater among the 32-bit programs.
    m.remove_value(HKCU, kUserRun, "Spotify");
    m.remove_value(HKCU, std::string(kApproved) + "\\Run", "Spotify");
    m.set_value(HKCU, kUserRun, "com.squirrel.Teams.Teams",
                RegValue::string(R"(C:\Users\Player\AppData\Local\Microsoft\Teams\Update.exe --processStart "Teams.exe" --process-start-args "--system-initiated")"));
    m.set_value(HKCU, std::string(kApproved) + "\\Run", "com.squirrel.Teams.Teams", blocked_at(132'998'400'000'000'000));
    m.set_value(HKLM, kRun32, "SunJavaUpdateSched",
                RegValue::string(R"("C:\Program Files (x86)\Common Files\Java\Java Update\jusched.exe")"));
    m.remove_files(std::string(kUserStartup) + R"(\Medal.lnk)");
}

void change_startup_laptop11(MachineImage& m) {
    // The touchpad's helpers and Intel's graphics tray; no fan-control shortcut for all users.
    m.set_value(HKLM, kMachineRun, "SynTPEnh", RegValue::expand_string(R"(%ProgramFiles%\Synaptics\SynTP\SynTPEnh.exe)"));
    m.set_value(HKLM, kMachineRun, "ETDCtrl", RegValue::expand_string(R"(%ProgramFiles%\Elantech\ETDCtrl.exe)"));
    m.set_value(HKLM, kRun32, "IgfxTray", RegValue::string(R"(C:\Windows\System32\igfxtray.exe)"));
    m.remove_files(std::string(kCommonStartup) + R"(\NZXT CAM.lnk)");
}

}  // namespace vexlo::sim
