#pragma once
// From a switch on a card to the engine and back: confirmation, the change, the report,
// and a re-read so every switch shows what the PC really holds.
#include "app/tweaks/tweak.h"
#include "app/ui/element.h"

namespace vexlo {
class App;
}

namespace vexlo::ui {

void on_toggle(App& app, Element& toggle);
void invoke_single(App& app, Tweak& t, bool want);
// Every switch of the tweak shows its state and availability.
void update_tweak_ui(Tweak& t);
// Re-tests the state (false when the test fails) and updates the switches.
void sync_tweak(App& app, Tweak& t);
// Window buttons and keys.
void wire_window(App& app);
bool fortnite_running(App& app);

}  // namespace vexlo::ui
