#pragma once
// The custom operations of the Input Latency and Network pages: "mouse", "qos", "nagle" and "dns".
namespace vexlo {

struct Operations;
struct OpsContext;

void register_input_network_operations(Operations& ops, const OpsContext& ctx);

}  // namespace vexlo
