#pragma once
// Advanced properties of network adapters as their drivers keep them in the registry: one
// subkey of the network class key per driver instance, matched to an adapter by
// NetCfgInstanceId, with each property's description under Ndi\Params\<keyword> and its current
// value (when not the default) as <keyword> in the instance's own key.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/network.h"

namespace vexlo::win32 {

struct NetAdapter {
    std::string name;   // the interface alias, "Ethernet"
    std::wstring guid;  // the interface GUID, "{...}"
};

// The physical adapters (hardware, with a connector), as GetIfTable2 lists them.
std::vector<NetAdapter> physical_adapters();

// Every advanced property of the adapters whose driver keys are under `class_key`.
std::vector<platform::AdapterProperty> read_adapter_properties(HKEY class_key, const std::vector<NetAdapter>& adapters);

// Writes the registry value for `display_value` (a listed choice, a number in range, or free
// text for a text property). Throws PlatformError naming what is wrong.
void write_adapter_property(HKEY class_key, const std::vector<NetAdapter>& adapters, std::string_view adapter,
                            std::string_view display_name, std::string_view display_value);

}  // namespace vexlo::win32
