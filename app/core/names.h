#pragma once
// Names that other processes (a second start of the product, the command line) share with
// the running application.
namespace vexlo {

// Held by the running application for its whole life: one instance at a time.
inline constexpr const char* kAppMutexName = "Local\\VexloTweaksApp";
// Signalled by a second start: the running instance shows its window.
inline constexpr const char* kShowEventName = "Local\\VexloTweaksShow";

}  // namespace vexlo
