#pragma once
// The custom operations of the Debloat page's privacy and quality-of-life groups: "classicmenu".
namespace vexlo {

struct Operations;
struct OpsContext;

void register_privacy_operations(Operations& ops, const OpsContext& ctx);

}  // namespace vexlo
