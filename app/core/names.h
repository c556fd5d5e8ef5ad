#pragma once
// Names that other processes know the product by: a second start, the command line and the tests
// must spell them exactly as the running product does. The settings key is kSettingsKey
// (app/core/paths.h).

namespace vexlo::names {

// Held by the running product; a second start or a change from the command line finds it taken.
inline constexpr const char* kAppMutex = "Local\\VexloTweaksApp";
// A second start signals it to have the running product show its window.
inline constexpr const char* kShowEvent = "Local\\VexloTweaksShow";

}  // namespace vexlo::names
