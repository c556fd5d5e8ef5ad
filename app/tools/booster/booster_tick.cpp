// The booster's tick: once a second from the application's timer, and once more after every
// change made on its page.
#include <vector>

#include "app/core/booster_options.h"
#include "app/core/text.h"
#include "app/tools/booster/booster.h"

namespace vexlo::booster {

namespace {

using platform::PriorityClass;
using platform::ProcessInfo;

bool named(const ProcessInfo& p, std::string_view name) { return iequals(process_stem(p.image), name); }

// Moves every process of `name` that runs at exactly Normal to BelowNormal and records it; any
// other class was chosen by someone and is left alone. Refusals are skipped silently.
void lower(platform::Processes& procs, const std::vector<ProcessInfo>& running, std::string_view name,
           std::map<uint32_t, bool>& lowered) {
    for (const ProcessInfo& p : running) {
        if (!named(p, name)) continue;
        try {
            if (procs.priority(p.pid) != PriorityClass::Normal) continue;
            procs.set_priority(p.pid, PriorityClass::BelowNormal);
            lowered[p.pid] = true;
        } catch (const platform::PlatformError&) {
            // Protected or gone: left as it is, and not recorded.
        }
    }
}

// Stops every process of `name`; returns how many were found, stopped or not.
int close_all(platform::Processes& procs, std::string_view name) {
    int found = 0;
    for (const ProcessInfo& p : procs.list()) {
        if (!named(p, name)) continue;
        ++found;
        try {
            procs.terminate(p.pid);
        } catch (const platform::PlatformError&) {
            // Refused (an anti-cheat guards it) or already gone: counted all the same.
        }
    }
    return found;
}

const CloseChoice* close_choice(std::string_view key) {
    for (const CloseChoice& c : kCloseChoices)
        if (iequals(c.key, key)) return &c;
    return nullptr;
}

}  // namespace

void BoosterModule::tick() {
    using booster_options::get;
    ++s_.tick;
    Reg& reg = settings();
    if (get(reg, "On", 0) == 0) {
        set_timer_hold(false);
        if (!s_.lowered.empty()) restore_lowered();
        s_.fn_running = false;
        return;
    }
    set_timer_hold(get(reg, "Timer", 1) != 0);

    auto& procs = pf().processes();
    const std::vector<ProcessInfo> running = procs.list();
    const ProcessInfo* game = nullptr;
    for (const ProcessInfo& p : running)
        if (named(p, kGameName)) {
            game = &p;
            break;
        }

    if (game && !s_.fn_running) {
        // The game has just started, or the booster was switched on while it runs.
        s_.fn_running = true;
        if (get(reg, "Prio", 1) != 0) {
            try {
                if (procs.priority(game->pid) != PriorityClass::High) procs.set_priority(game->pid, PriorityClass::High);
            } catch (const platform::PlatformError&) {
                // The game's anti-cheat may refuse; the rest of the boost still helps.
            }
            for (std::string_view name : kLowerNames) lower(procs, running, name, s_.lowered);
        }
        if (get(reg, "Close", 0) != 0) {
            for (const std::string& key : split(booster_options::get_text(reg, "CloseList", ""), ';')) {
                if (key.empty()) continue;
                const CloseChoice* choice = close_choice(key);
                if (!choice) continue;  // a key this version does not know
                for (std::string_view name : choice->names)
                    if (!name.empty()) s_.closed += close_all(procs, name);
            }
        }
        if (get(reg, "Cleaner", 1) != 0) standby_purge(/*force=*/true);
        ctx_->ui.show_toast("Fortnite detected. Booster engaged.");
    } else if (!game && s_.fn_running) {
        // The game has exited; its own priority is not touched again.
        s_.fn_running = false;
        restore_lowered();
    }

    if (s_.tick % 3 == 0 && get(reg, "Cleaner", 1) != 0) {
        if (auto lists = pf().performance().memory_lists()) {
            if (lists->standby_bytes >= kGiB && double(lists->free_bytes) < free_memory_limit(ram_gb_))
                standby_purge(/*force=*/false);
        }
    }
}

}  // namespace vexlo::booster
