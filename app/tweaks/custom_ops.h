#pragma once
// The C++ operations that catalog entries name: availability tests and custom tweaks.
namespace vexlo {

class App;
// Registers every predicate and custom operation into app.ops.
void register_operations(App& app);

}  // namespace vexlo
