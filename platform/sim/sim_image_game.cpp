// The game of the built-in machines: the Epic launcher's list, the game's files and its
// settings file as the game leaves them after a first launch.
#include "platform/sim/sim_images.h"

namespace vexlo::sim {

namespace {

const char* const kLauncherList = R"(C:\ProgramData\Epic\UnrealEngineLauncher\LauncherInstalled.dat)";
const char* const kGameExe =
    R"(C:\Program Files\Epic Games\Fortnite\FortniteGame\Binaries\Win64\FortniteClient-Win64-Shipping.exe)";
const char* const kGameSettings =
    R"(C:\Users\Player\AppData\Local\FortniteGame\Saved\Config\WindowsClient\GameUserSettings.ini)";

std::string crlf(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (auto line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

// The game writes this file as plain text (UTF-8 without a byte-order mark, CR LF line ends)
// as long as every character is ASCII, which its own keys always are; Unreal Engine switches
// to UTF-16 with a byte-order mark only for text it cannot write as ASCII.
std::string game_user_settings(int width, int height) {
    std::string w = std::to_string(width), h = std::to_string(height);
    return crlf({
        "[/Script/FortniteGame.FortGameUserSettings]",
        "FortniteReleaseVersion=40",
        "bUseVSync=True",
        "bUseDynamicResolution=False",
        "ResolutionSizeX=" + w,
        "ResolutionSizeY=" + h,
        "LastUserConfirmedResolutionSizeX=" + w,
        "LastUserConfirmedResolutionSizeY=" + h,
        "WindowPosX=-1",
        "WindowPosY=-1",
        "FullscreenMode=1",
        "LastConfirmedFullscreenMode=1",
        "PreferredFullscreenMode=1",
        "Version=5",
        "AudioQualityLevel=0",
        "LastConfirmedAudioQualityLevel=0",
        "FrameRateLimit=0.000000",
        "DesiredScreenWidth=" + w,
        "DesiredScreenHeight=" + h,
        "LastUserConfirmedDesiredScreenWidth=" + w,
        "LastUserConfirmedDesiredScreenHeight=" + h,
        "LastRecommendedScreenWidth=-1.000000",
        "LastRecommendedScreenHeight=-1.000000",
        "LastCPUBenchmarkResult=212.400009",
        "LastCPUBenchmarkSteps=",
        "LastGPUBenchmarkResult=318.700012",
        "LastGPUBenchmarkSteps=",
        "LastGPUBenchmarkMultiplier=1.000000",
        "bUseHDRDisplayOutput=False",
        "HDRDisplayOutputNits=1000",
        "bMotionBlur=True",
        "bShowGrass=True",
        "bShowFPS=False",
        "bDisableMouseAcceleration=True",
        "bAutoBenchmarkSettings=False",
        "UserInterfaceContrast=1.000000",
        "DisplayGamma=2.200000",
        "bAllowMultithreadedRendering=True",
        "bUseNanite=True",
        "bRayTracing=False",
        "bShowSessionId=False",
        "bUseGPUCrashDebugging=False",
        "MouseSensitivity=0.065000",
        "MouseSensitivityX=0.065000",
        "MouseSensitivityY=0.065000",
        "bInvertMouse=False",
        "bUseAdvancedControls=True",
        "bEnableColorBlindMode=False",
        "ColorBlindStrength=5",
        "",
        "[ScalabilityGroups]",
        "sg.ResolutionQuality=100.000000",
        "sg.ViewDistanceQuality=3",
        "sg.AntiAliasingQuality=3",
        "sg.ShadowQuality=3",
        "sg.GlobalIlluminationQuality=3",
        "sg.ReflectionQuality=3",
        "sg.PostProcessQuality=3",
        "sg.TextureQuality=3",
        "sg.EffectsQuality=3",
        "sg.FoliageQuality=3",
        "sg.ShadingQuality=3",
        "",
        "[PerformanceMode]",
        "MeshQuality=0",
        "",
        "[D3DRHIPreference]",
        "PreferredRHI=dx12",
        "PreferredFeatureLevel=sm6",
        "",
        "[/Script/Engine.GameUserSettings]",
        "bUseDesiredScreenHeight=False",
        "",
    });
}

// The launcher's list names another game first, so that a reader must look for Fortnite.
std::string launcher_list() {
    return "{\r\n"
           "\t\"InstallationList\": [\r\n"
           "\t\t{\r\n"
           "\t\t\t\"InstallLocation\": \"C:\\\\Program Files\\\\Epic Games\\\\rocketleague\",\r\n"
           "\t\t\t\"NamespaceId\": \"9773aa1aa54f4f7b80e44bef04986cea\",\r\n"
           "\t\t\t\"ItemId\": \"530145df28a24424923f5828cc9031a1\",\r\n"
           "\t\t\t\"ArtifactId\": \"Sugar\",\r\n"
           "\t\t\t\"AppVersion\": \"++Prime+Update50-CL-3213894-Windows\",\r\n"
           "\t\t\t\"AppName\": \"Sugar\"\r\n"
           "\t\t},\r\n"
           "\t\t{\r\n"
           "\t\t\t\"InstallLocation\": \"C:\\\\Program Files\\\\Epic Games\\\\Fortnite\",\r\n"
           "\t\t\t\"NamespaceId\": \"fn\",\r\n"
           "\t\t\t\"ItemId\": \"4fe75bbc5a674f4f9b356b5c90567da5\",\r\n"
           "\t\t\t\"ArtifactId\": \"FortniteReleaseBuild\",\r\n"
           "\t\t\t\"AppVersion\": \"++Fortnite+Release-33.00-CL-38324336-Windows\",\r\n"
           "\t\t\t\"AppName\": \"Fortnite\"\r\n"
           "\t\t}\r\n"
           "\t]\r\n"
           "}\r\n";
}

}  // namespace

// The "MZ" of an executable's header, then a note.
std::string placeholder_exe(std::string_view name) {
    return std::string("MZ\x90\0\x03\0\0\0", 8) + "Simulated program file: " + std::string(name) + "\r\n";
}

void add_game(MachineImage& m) {
    m.folders.push_back(R"(C:\ProgramData\Epic\EpicGamesLauncher\Data\Manifests)");
    m.folders.push_back(R"(C:\Program Files\Epic Games\rocketleague\Binaries\Win64)");
    m.folders.push_back(R"(C:\Program Files\Epic Games\Fortnite\Engine\Binaries\ThirdParty)");
    m.folders.push_back(R"(C:\Program Files\Epic Games\Fortnite\FortniteGame\Content\Paks)");
    m.files.push_back({kLauncherList, launcher_list()});
    m.files.push_back({kGameExe, placeholder_exe("FortniteClient-Win64-Shipping.exe")});
    m.files.push_back({R"(C:\Program Files\Epic Games\Fortnite\FortniteGame\Binaries\Win64\FortniteLauncher.exe)",
                       placeholder_exe("FortniteLauncher.exe")});
    m.files.push_back({R"(C:\Program Files\Epic Games\rocketleague\Binaries\Win64\RocketLeague.exe)",
                       placeholder_exe("RocketLeague.exe")});
    m.files.push_back({R"(C:\Program Files (x86)\Epic Games\Launcher\Portal\Binaries\Win64\EpicGamesLauncher.exe)",
                       placeholder_exe("EpicGamesLauncher.exe")});
    m.files.push_back({kGameSettings, game_user_settings(2560, 1440)});
}

void set_game_settings(MachineImage& m, int width, int height) {
    m.remove_files(kGameSettings);
    m.files.push_back({kGameSettings, game_user_settings(width, height)});
}

// The desktop before the game was ever installed: no Epic launcher, no game, no settings file.
void remove_game(MachineImage& m) {
    for (const char* path : {R"(C:\ProgramData\Epic)", R"(C:\Program Files\Epic Games)", R"(C:\Program Files (x86)\Epic Games)",
                             R"(C:\Users\Player\AppData\Local\FortniteGame)"})
        m.remove_files(path);
}

// Installed but never started: the game writes its settings folder at first launch.
void remove_game_settings(MachineImage& m) { m.remove_files(R"(C:\Users\Player\AppData\Local\FortniteGame)"); }

}  // namespace vexlo::sim
