// The built-in machines' input and network settings: the pointer and keyboard values of the
// user's profile, the accessibility shortcuts, the layout hotkeys, the input drivers' queues and
// the live mouse settings; the TCP/IP interface keys of the adapters with their addresses and DNS
// servers, and the DNS client's cache. Called by the image functions of sim_images.cpp once the
// adapters are in place.
#include "platform/sim/sim_image_values.h"
#include "platform/sim/sim_images.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

using namespace image_values;

namespace {

const std::string kInterfaces = R"(SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces)";



// Windows' acceleration curve, as every profile carries it.
RegValue curve(const char* hex) {
    std::vector<uint8_t> out;
    auto nib = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (const char* p = hex; p[0] && p[1];) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out.push_back(uint8_t(nib(p[0]) << 4 | nib(p[1])));
        p += 2;
    }
    return RegValue::binary(std::move(out));
}

void add_driver(MachineImage& m, const std::string& name, const std::string& display, const char* sys) {
    const std::string key = R"(SYSTEM\CurrentControlSet\Services\)" + name;
    put(m, HKLM, key,
        {{"Start", dw(1)}, {"Type", dw(1)}, {"ErrorControl", dw(1)}, {"Group", sz(name == "mouclass" ? "Pointer Class" : "Keyboard Class")},
         {"ImagePath", RegValue::expand_string(std::string(R"(\SystemRoot\System32\drivers\)") + sys)},
         {"DisplayName", sz(display)}});
}

// One interface key as Windows writes it for an adapter: by DHCP (`address` empty while it has
// none) or static, with the DNS servers DHCP gave and any the user set.
struct Iface {
    std::string guid;
    bool dhcp = true;
    std::string address;     // DHCP's lease or the static address; "" none yet, "0.0.0.0" no lease
    std::string dhcp_dns;    // blank-separated, as DHCP's list is stored
    std::string static_dns;  // comma-separated, the NameServer the user set
    std::string gateway;
};

void add_interface(MachineImage& m, const Iface& f) {
    const std::string key = kInterfaces + "\\" + f.guid;
    put(m, HKLM, key, {{"EnableDHCP", dw(f.dhcp ? 1 : 0)}, {"Domain", sz("")}, {"NameServer", sz(f.static_dns)}});
    if (f.dhcp) {
        if (!f.address.empty()) {
            put(m, HKLM, key,
                {{"DhcpIPAddress", sz(f.address)},
                 {"DhcpSubnetMask", sz(f.address == "0.0.0.0" ? "255.0.0.0" : "255.255.255.0")},
                 {"DhcpServer", sz(f.gateway.empty() ? "255.255.255.255" : f.gateway)},
                 {"Lease", dw(86400)}, {"LeaseObtainedTime", dw(1765353600)}, {"T1", dw(1765396800)},
                 {"T2", dw(1765429200)}, {"LeaseTerminatesTime", dw(1765440000)}});
            if (!f.gateway.empty()) put(m, HKLM, key, {{"DhcpDefaultGateway", msz({f.gateway})}});
            if (!f.dhcp_dns.empty()) put(m, HKLM, key, {{"DhcpNameServer", sz(f.dhcp_dns)}});
        }
    } else {
        put(m, HKLM, key,
            {{"IPAddress", msz({f.address})}, {"SubnetMask", msz({"255.255.255.0"})},
             {"DefaultGateway", msz({f.gateway})}, {"DefaultGatewayMetric", msz({"0"})}});
    }
}

// Interfaces every PC has beside its adapters: the kernel debugger's and a VPN miniport's, with
// no address.
void add_interfaces(MachineImage& m, const std::vector<Iface>& adapters) {
    m.remove_key(HKLM, kInterfaces);
    m.add_key(HKLM, kInterfaces);
    for (auto& f : adapters) add_interface(m, f);
    for (const char* guid : {"{2ee2c70c-a092-4d88-a654-98c8d7645cd5}", "{d1a4c9b8-0e0f-4b5d-9a51-6e3f2b7c8d90}"})
        put(m, HKLM, kInterfaces + "\\" + guid, {{"EnableDHCP", dw(1)}, {"Domain", sz("")}, {"NameServer", sz("")}});
}

std::string guid_of(const MachineImage& m, std::string_view adapter) {
    for (auto& a : m.world.network.adapters)
        if (iequals(a.name, adapter)) return a.guid;
    return {};
}

}  // namespace

void set_mouse(MachineImage& m, platform::MouseParameters mouse) {
    const std::string key = R"(Control Panel\Mouse)";
    put(m, HKCU, key,
        {{"MouseThreshold1", sz(std::to_string(mouse[0]))},
         {"MouseThreshold2", sz(std::to_string(mouse[1]))},
         {"MouseSpeed", sz(std::to_string(mouse[2]))}});
    m.world.input.mouse = mouse;
}

void add_input_desktop11(MachineImage& m) {
    put(m, HKCU, R"(Control Panel\Mouse)",
        {{"ActiveWindowTracking", dw(0)}, {"Beep", sz("No")}, {"DoubleClickHeight", sz("4")},
         {"DoubleClickSpeed", sz("500")}, {"DoubleClickWidth", sz("4")}, {"ExtendedSounds", sz("No")},
         {"MouseHoverHeight", sz("4")}, {"MouseHoverTime", sz("400")}, {"MouseHoverWidth", sz("4")},
         {"MouseSensitivity", sz("10")}, {"MouseTrails", sz("0")}, {"SnapToDefaultButton", sz("0")},
         {"SwapMouseButtons", sz("0")},
         {"SmoothMouseXCurve", curve("00 00 00 00 00 00 00 00 15 6e 00 00 00 00 00 00 00 40 01 00 00 00 00 00 29 dc 03 00 "
                                     "00 00 00 00 00 00 28 00 00 00 00 00")},
         {"SmoothMouseYCurve", curve("00 00 00 00 00 00 00 00 fd 11 01 00 00 00 00 00 00 24 04 00 00 00 00 00 00 fc 12 00 "
                                     "00 00 00 00 00 c0 bb 01 00 00 00 00")}});
    set_mouse(m, {6, 10, 1});  // "Enhance pointer precision" on, as Windows ships
    put(m, HKCU, R"(Control Panel\Keyboard)",
        {{"InitialKeyboardIndicators", sz("2147483648")}, {"KeyboardDelay", sz("1")}, {"KeyboardSpeed", sz("31")}});
    put(m, HKCU, R"(Control Panel\Accessibility)", {{"MessageDuration", dw(5)}, {"MinimumHitRadius", dw(0)}});
    put(m, HKCU, R"(Control Panel\Accessibility\StickyKeys)", {{"Flags", sz("510")}});
    put(m, HKCU, R"(Control Panel\Accessibility\Keyboard Response)",
        {{"AutoRepeatDelay", sz("1000")}, {"AutoRepeatRate", sz("500")}, {"BounceTime", sz("0")},
         {"DelayBeforeAcceptance", sz("1000")}, {"Flags", sz("126")}});
    put(m, HKCU, R"(Control Panel\Accessibility\ToggleKeys)", {{"Flags", sz("62")}});
    // Left Alt+Shift switches the input language, Ctrl+Shift the layout: Windows' own choice.
    put(m, HKCU, R"(Keyboard Layout\Toggle)", {{"Hotkey", sz("1")}, {"Language Hotkey", sz("1")}, {"Layout Hotkey", sz("2")}});
    add_driver(m, "mouclass", "Mouse Class Driver", "mouclass.sys");
    add_driver(m, "kbdclass", "Keyboard Class Driver", "kbdclass.sys");
    put(m, HKLM, R"(SYSTEM\CurrentControlSet\Services\mouclass\Parameters)",
        {{"MouseDataQueueSize", dw(100)}, {"MaximumPortsServiced", dw(3)}, {"PointerDeviceBaseName", sz("PointerClass")},
         {"MaximumDoubleClickTimeout", dw(1000)}});
    put(m, HKLM, R"(SYSTEM\CurrentControlSet\Services\kbdclass\Parameters)",
        {{"KeyboardDataQueueSize", dw(100)}, {"KeyboardDeviceBaseName", sz("KeyboardClass")},
         {"MaximumPortsServiced", dw(3)}, {"SendOutputToAllPorts", dw(1)}});
}

void add_network_desktop11(MachineImage& m) {
    // Wired to the router, which hands out itself as DNS; the Wi-Fi card joined the same network
    // once, and Windows keeps its lease.
    add_interfaces(m, {{guid_of(m, "Ethernet"), true, "192.168.1.42", "192.168.1.1", "", "192.168.1.1"},
                       {guid_of(m, "Wi-Fi"), true, "192.168.1.57", "192.168.1.1", "", "192.168.1.1"}});
    put(m, HKLM, R"(SOFTWARE\Microsoft\Windows\CurrentVersion\CapabilityAccessManager\ConsentStore\location)",
        {{"Value", sz("Allow")}});
    m.world.network.dns_cache = {"epicgames.com", "fortnite-public-service-prod11.ol.epicgames.com",
                                 "datarouter.ol.epicgames.com", "discord.com", "steamcommunity.com"};
}

void change_network_desktop10(MachineImage& m) {
    // A fixed address with Google's DNS servers, set by hand years ago.
    add_interfaces(m, {{guid_of(m, "Ethernet"), false, "192.168.0.20", "", "8.8.8.8,8.8.4.4", "192.168.0.1"}});
}

void change_network_laptop11(MachineImage& m) {
    // On Wi-Fi; the Ethernet port has no cable in and DHCP never got an answer.
    add_interfaces(m, {{guid_of(m, "Wi-Fi"), true, "10.0.0.23", "10.0.0.1 75.75.75.75", "", "10.0.0.1"},
                       {guid_of(m, "Ethernet"), true, "0.0.0.0", "", "", ""}});
    set_mouse(m, {0, 0, 0});  // this player already turned "Enhance pointer precision" off
}

void change_network_thin11(MachineImage& m) {
    add_interfaces(m, {{guid_of(m, "Wi-Fi"), true, "192.168.178.34", "192.168.178.1", "", "192.168.178.1"}});
}

}  // namespace vexlo::sim
