#pragma once
// The custom operations of the System page's memory, disk and kernel group: the service host
// split, the memory manager agent's page combining and app prelaunch, and Defender's scan limits.
namespace vexlo {

struct Operations;
struct OpsContext;

void register_system_extras_operations(Operations& ops, const OpsContext& ctx);

}  // namespace vexlo
