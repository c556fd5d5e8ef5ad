#pragma once
// The decisions inside two network routes, apart from the calls that make them, so that tests
// can give them rows and answers of their own: which rows of the interface table are the physical
// adapters, and how an interface's DNS servers are changed.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vexlo::win32 {

// A physical adapter's row: hardware with a connector, which leaves out the virtual, tunnel and
// loopback interfaces, and not one of the NDIS filter interfaces (packet filters, VPN and
// virtual-switch drivers) that sit on top of an adapter with the same hardware flags.
bool is_physical_adapter_row(const MIB_IF_ROW2& row);

// The netsh commands, one argument list each, that give the interface these static IPv4 servers
// in order, or none: back to what DHCP gives. netsh takes the interface index for its name.
std::vector<std::vector<std::wstring>> netsh_dns_commands(uint32_t if_index, const std::vector<std::wstring>& servers);

// Changes the servers through SetInterfaceDnsSettings where Windows has it (`set_dns`, given the
// comma-separated list, answers its error code; empty where Windows lacks the function), else
// through netsh (`netsh` runs one command, throwing PlatformError when it fails). An empty list
// through SetInterfaceDnsSettings is how the reset is asked for, which Microsoft does not
// document: when Windows refuses it, netsh makes the reset. Throws PlatformError starting with
// `what`.
void change_dns_servers(uint32_t if_index, const std::vector<std::wstring>& servers, const std::string& what,
                        const std::function<DWORD(const std::wstring&)>& set_dns,
                        const std::function<void(const std::vector<std::wstring>&)>& netsh);

}  // namespace vexlo::win32
