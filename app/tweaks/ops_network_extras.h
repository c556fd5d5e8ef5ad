#pragma once
// The custom operations of the Network page's advanced stack: the Windows-wide receive segment
// coalescing and packet coalescing filter, and NetBIOS over TCP/IP.
namespace vexlo {

struct Operations;
struct OpsContext;

void register_network_extras_operations(Operations& ops, const OpsContext& ctx);

}  // namespace vexlo
