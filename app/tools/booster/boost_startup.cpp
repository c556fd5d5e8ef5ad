// Start with Windows: a scheduled task that starts the core elevated, without a prompt, in the
// tray at every sign-in. Since it runs as administrator, it never starts a file the user's own
// programs could replace (the install under %LOCALAPPDATA%): it points at a copy of the core in
// %ProgramFiles%\Vexlo Tweaks, which only administrators can write, checked after copying.
#include <exception>

#include "app/core/text.h"
#include "app/tools/booster/booster.h"

namespace vexlo::booster {

namespace {

void register_task(platform::Platform& pf) {
    const std::string copy = pf.self_copy().install();
    const std::string user = pf.registry().expand_environment("%USERDOMAIN%\\%USERNAME%");
    pf.tasks().register_logon_task({std::string(kTaskName), copy, "--tray", user});
}

}  // namespace

bool BoosterModule::startup_registered() { return pf().tasks().find("\\", kTaskName).has_value(); }

void BoosterModule::set_startup(bool on) {
    platform::Platform& p = pf();
    if (on) {
        try {
            register_task(p);
        } catch (const std::exception&) {
            // A copy without a task serves nothing: take it away again unless a task (an older
            // one) still starts it.
            if (!startup_registered()) {
                try {
                    p.self_copy().remove();
                } catch (const std::exception& e) {
                    ctx_->ui.log(std::string("Could not remove the booster's copy: ") + e.what(), LogKind::Err);
                }
            }
            throw;
        }
        return;
    }
    p.tasks().delete_task(kTaskName);
    p.self_copy().remove();
}

void BoosterModule::mend_startup_task() {
    try {
        if (!startup_registered()) return;
        platform::Platform& p = pf();
        // A task that is not ours in shape, that points elsewhere (an older version's task at the
        // per-user install) or at a copy older than this program is registered again.
        auto task = p.tasks().logon_task(kTaskName);
        if (task && iequals(task->program, p.self_copy().path()) && task->arguments == "--tray" && p.self_copy().current())
            return;
        register_task(p);
        ctx_->ui.log("The booster's start with Windows now uses the protected copy in " + p.self_copy().path() + ".",
                     LogKind::Info);
    } catch (const std::exception& e) {
        // Never a dialog at start. A task still pointing at a file the user's programs could
        // replace would start that file elevated: it goes. One at an older protected copy stays,
        // and the next start tries again.
        ctx_->ui.log(std::string("Could not update the booster's start with Windows: ") + e.what(), LogKind::Err);
        drop_unprotected_task();
    }
}

void BoosterModule::drop_unprotected_task() {
    try {
        platform::Platform& p = pf();
        auto task = p.tasks().logon_task(kTaskName);
        if (task && iequals(task->program, p.self_copy().path())) return;
        p.tasks().delete_task(kTaskName);
        ctx_->ui.log("The booster no longer starts with Windows: its task started a file outside the protected folder.",
                     LogKind::Err);
    } catch (const std::exception& e) {
        ctx_->ui.log(std::string("Could not remove the booster's start with Windows: ") + e.what(), LogKind::Err);
    }
}

}  // namespace vexlo::booster
