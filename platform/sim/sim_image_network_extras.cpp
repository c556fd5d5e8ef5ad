// The built-in machines' network stack beyond what sim_image_world.cpp sets up: the offload,
// wake and sleep properties the adapters' drivers list besides their power-saving ones, the
// NetBIOS over TCP/IP interface keys, the Wi-Fi manager's key, and the accessibility and touch
// feedback values of the user's profile. Called by the image functions once the adapters are
// in place.
#include <algorithm>

#include "platform/sim/sim_image_values.h"
#include "platform/sim/sim_images.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

using namespace image_values;

namespace {

const std::string kNetbtInterfaces = R"(SYSTEM\CurrentControlSet\Services\NetBT\Parameters\Interfaces)";
// The kernel debugger's and the VPN miniport's interfaces, which every PC has beside its adapters.
constexpr const char* kOtherInterfaces[] = {"{2ee2c70c-a092-4d88-a654-98c8d7645cd5}",
                                            "{d1a4c9b8-0e0f-4b5d-9a51-6e3f2b7c8d90}"};

AdvancedProperty on_off(const char* display, const char* keyword, const char* value) {
    return {display, value, keyword, {"Disabled", "Enabled"}, 0, 0, {}};
}

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

// Adds the property unless the driver lists one of that name already.
void add_property(NetworkAdapterData& a, AdvancedProperty p) {
    for (auto& q : a.properties)
        if (iequals(q.display_name, p.display_name)) return;
    a.properties.push_back(std::move(p));
}

void add_driver_extras(NetworkAdapterData& a) {
    const std::string& d = a.description;
    if (contains(d, "Intel(R) Ethernet")) {
        add_property(a, on_off("Enable PME", "EnablePME", "Disabled"));
        add_property(a, on_off("Recv Segment Coalescing (IPv4)", "*RscIPv4", "Enabled"));
        add_property(a, on_off("Recv Segment Coalescing (IPv6)", "*RscIPv6", "Enabled"));
        // The I219 family, not the I225: it naps when the link drops.
        if (contains(d, "I219")) add_property(a, on_off("Device Sleep on Disconnect", "*DeviceSleepOnDisconnect", "Enabled"));
    } else if (contains(d, "Realtek") && contains(d, "GbE")) {
        add_property(a, on_off("NS Offload", "*PMNSOffload", "Enabled"));
        add_property(a, on_off("Recv Segment Coalescing (IPv4)", "*RscIPv4", "Enabled"));
        add_property(a, on_off("Recv Segment Coalescing (IPv6)", "*RscIPv6", "Enabled"));
        // The Realtek driver offers its receive buffers as a list, not as a free number.
        for (auto& p : a.properties)
            if (p.keyword == "*ReceiveBuffers") {
                const std::vector<std::string> sizes = {"256", "512", "1024", "2048"};
                p = {"Receive Buffers", "512", "*ReceiveBuffers", sizes, 0, 0, sizes};
            }
    } else if (contains(d, "Intel(R) Wi-Fi")) {
        add_property(a, on_off("GTK rekeying for WoWLAN", "*PMWiFiRekeyOffload", "Enabled"));
        add_property(a, on_off("NS offload for WoWLAN", "*PMNSOffload", "Enabled"));
    }
    std::sort(a.properties.begin(), a.properties.end(),
              [](auto& x, auto& y) { return iless(x.display_name, y.display_name); });
}

// One NetBT key per TCP/IP interface, NetBIOS left to the DHCP server's say as Windows sets it up.
void add_netbt_interfaces(MachineImage& m) {
    m.remove_key(HKLM, kNetbtInterfaces);
    m.add_key(HKLM, kNetbtInterfaces);
    std::vector<std::string> guids;
    for (auto& a : m.world.network.adapters)
        if (!a.guid.empty()) guids.push_back(a.guid);
    for (const char* g : kOtherInterfaces) guids.push_back(g);
    for (auto& g : guids) {
        const std::string key = kNetbtInterfaces + "\\Tcpip_" + g;
        m.add_key(HKLM, key);
        m.set_value(HKLM, key, "NameServerList", RegValue::multi_string({}));
        m.set_value(HKLM, key, "NetbiosOptions", RegValue::dword(0));
    }
}

}  // namespace

// A Realtek Wi-Fi 6E card as budget thin-and-light laptops fit it, with Realtek's own names
// for its roaming and wake-on-wireless features.
NetworkAdapterData realtek_wifi() {
    NetworkAdapterData a;
    a.name = "Wi-Fi";
    a.description = "Realtek RTL8852CE WiFi 6E PCI-E NIC";
    a.status = "Up";
    a.properties = {
        on_off("ARP offload for WoWLAN", "*PMARPOffload", "Enabled"),
        {"Band Preference", "No Preference", "BandPreference",
         {"No Preference", "Prefer 2.4GHz", "Prefer 5GHz", "Prefer 6GHz"}, 0, 0, {}},
        on_off("GTK rekeying for WoWLAN", "*PMWiFiRekeyOffload", "Enabled"),
        {"MIMO Power Save Mode", "Auto SMPS", "MIMOPowerSaveMode", {"Auto SMPS", "No SMPS"}, 0, 0, {}},
        on_off("NS offload for WoWLAN", "*PMNSOffload", "Enabled"),
        on_off("Packet Coalescing", "*PacketCoalescing", "Enabled"),
        {"Roaming Sensitivity", "Medium", "RoamingSensitivity", {"Disable", "Low", "Medium", "High"}, 0, 0, {}},
        on_off("Wake on Magic Packet", "*WakeOnMagicPacket", "Enabled"),
        on_off("Wake on Pattern Match", "*WakeOnPattern", "Enabled"),
        {"Wireless Mode", "802.11a/b/g/n/ac/ax", "WirelessMode",
         {"802.11a/b/g/n/ac", "802.11a/b/g/n/ac/ax"}, 0, 0, {}},
    };
    return a;
}

void add_network_extras(MachineImage& m) {
    for (auto& a : m.world.network.adapters) add_driver_extras(a);
    add_netbt_interfaces(m);
}

void add_network_extras_desktop11(MachineImage& m) {
    add_network_extras(m);
    // The global offload settings stay as NetworkState starts them: both enabled.
    m.add_key(HKLM, R"(SOFTWARE\Microsoft\WcmSvc\wifinetworkmanager\config)");
    m.add_key(HKCU, R"(Software\Microsoft\Narrator\NoRoam)");
    m.set_value(HKCU, R"(Software\Microsoft\Narrator\NoRoam)", "WinEnterLaunchEnabled", RegValue::dword(1));
    m.add_key(HKCU, R"(Control Panel\Accessibility\HighContrast)");
    m.set_value(HKCU, R"(Control Panel\Accessibility\HighContrast)", "Flags", RegValue::string("126"));
    m.set_value(HKCU, R"(Control Panel\Accessibility\HighContrast)", "High Contrast Scheme", RegValue::string(""));
    m.add_key(HKCU, R"(Control Panel\Cursors)");
    m.set_value(HKCU, R"(Control Panel\Cursors)", "ContactVisualization", RegValue::dword(1));
    m.set_value(HKCU, R"(Control Panel\Cursors)", "CursorBaseSize", RegValue::dword(32));
    m.set_value(HKCU, R"(Control Panel\Cursors)", "GestureVisualization", RegValue::dword(31));
    m.set_value(HKCU, R"(Control Panel\Cursors)", "Scheme Source", RegValue::dword(2));
}

void remove_netbt_interfaces(MachineImage& m) {
    m.remove_key(HKLM, kNetbtInterfaces);
    m.add_key(HKLM, kNetbtInterfaces);
}

}  // namespace vexlo::sim
