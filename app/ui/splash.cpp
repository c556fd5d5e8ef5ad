#include "app/ui/splash.h"

#include <algorithm>

#include "app/ui/layout_helpers.h"

namespace vexlo::ui {

void build_splash(Tree& tree, const std::string& logo_url, bool visible) {
    if (tree.find("Splash")) return;
    Element& win = tree.root().add("window", "Splash");
    win.set("title", "Vexlo Tweaks");
    win.set_visible(visible);
    Element& card = box(win, {}, "SplashCard");
    Element& logo = card.add("image", "SplashLogo");
    logo.set("src", logo_url);
    text(card, "VEXLO TWEAKS", {}, "", "SplashWord");
    text(card, "Starting up", {}, "SplashText");
    Element& track = box(card, {}, "SplashTrack");
    box(track, {{"width", "0px"}}, "SplashBar", "AccentFill");
}

void set_splash(Tree& tree, const std::string& text, double percent) {
    if (auto* t = tree.find("SplashText")) t->set_text(text);
    if (auto* bar = tree.find("SplashBar")) bar->css("width", format_px(std::max(0.0, 338.0 * percent / 100.0)));
}

std::optional<SplashStep> checking_step(size_t i, size_t n) {
    if (n == 0 || i == 0 || i % 15 != 0) return std::nullopt;
    return SplashStep{"Checking every tweak (" + std::to_string(i) + "/" + std::to_string(n) + ")",
                      70 + 20.0 * double(i) / double(n)};
}

}  // namespace vexlo::ui
