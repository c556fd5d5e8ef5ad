#include "app/tools/module.h"

#include <exception>

#include "app/tools/booster/booster.h"

namespace vexlo {

namespace {
template <class F>
void reported(ui::Ui& ui, const Module& m, std::string_view what, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ui.log("Failed: " + std::string(m.name()) + " could not " + std::string(what) + " - " + e.what(), LogKind::Err);
    }
}
}  // namespace

void ModuleRunner::build_pages(ui::Element& host, ui::Ui& ui) {
    for (auto& m : modules_) reported(ui, *m, "build its page", [&] { m->build_page(host); });
}

void ModuleRunner::start_all(ModuleContext& ctx) {
    for (; started_ < modules_.size(); ++started_) {
        Module& m = *modules_[started_];
        reported(ctx.ui, m, "start", [&] { m.start(ctx); });
    }
}

void ModuleRunner::stop_all(ui::Ui& ui) {
    while (started_ > 0) {
        Module& m = *modules_[--started_];
        reported(ui, m, "stop", [&] { m.stop(); });
    }
}

std::vector<std::unique_ptr<Module>> builtin_modules() {
    std::vector<std::unique_ptr<Module>> list;
    // One line per tool, in start order, as the tools arrive.
    list.push_back(std::make_unique<booster::BoosterModule>());
    return list;
}

}  // namespace vexlo
