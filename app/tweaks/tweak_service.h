#pragma once
// The one way a tweak's state changes. The window, the command line and later the bulk runs,
// profiles, setups and the guard all ask this service; it owns the order of a change (the
// ADVANCED confirmation, the game guard, the engine call with its backup, the applied mark, the
// restart and adapter flags, the report) and announces every fresh reading of a tweak so that
// views can follow without the model knowing them.
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/activity_log.h"
#include "app/core/reg.h"
#include "app/tweaks/engine.h"
#include "app/tweaks/tweak.h"
#include "platform/processes.h"

namespace vexlo {

// The side that asked for a change: it reports, and answers the questions a change asks.
class ChangeFront {
public:
    virtual ~ChangeFront() = default;
    // A line for the user and the activity log ("Applied: ...", "Failed: ...").
    virtual void log(std::string_view message, LogKind kind) = 0;
    // A short confirmation ("On: ...").
    virtual void toast(std::string_view text) = 0;
    // An ADVANCED tweak is about to be turned on for the first time this run: true goes on.
    virtual bool confirm_advanced(const Tweak& t) = 0;
    // A game-settings change was refused because the game runs.
    virtual void game_running(const Tweak& t) = 0;
};

enum class ChangeOutcome {
    Changed,      // the engine ran and reported success
    Failed,       // the engine, or the applied mark, raised; reported as "Failed: "
    Declined,     // the ADVANCED confirmation was not given
    GameRunning,  // a game-settings change while the game runs
    Unavailable,  // not offered on this PC (list changes only)
    AlreadySet,   // already in the wanted state (list changes only)
    SetBefore,    // on, but not by this product: a revert of its changes leaves it (bulk only)
};

struct ChangeResult {
    Tweak* tweak = nullptr;
    ChangeOutcome outcome = ChangeOutcome::Changed;
    std::string error;  // the failure's message
};

// A bulk run's side: its progress panel, where failures are written, and the steps a bulk run
// asks of the application (restarting the adapters, re-reading every tweak).
class BulkFront {
public:
    virtual ~BulkFront() = default;
    virtual void log(std::string_view message, LogKind kind) = 0;
    // A failed tweak: one line for the activity log alone, "Failed: <title> - <message>".
    virtual void failure(std::string_view line) = 0;
    virtual void progress_begin(std::string_view title) = 0;
    virtual void progress(size_t i, size_t n, std::string_view text) = 0;
    // Adapter properties changed since the last restart: restart the adapters now.
    virtual void restart_adapters() = 0;
    // Every tweak re-read (and whatever shows them refreshed).
    virtual void refresh_all() = 0;
};

enum class BulkMode { Apply, Revert };

struct BulkResult {
    bool nothing_to_do = false;  // every tweak was already as wanted: nothing ran
    size_t run = 0;              // tweaks the run changed or tried to
    size_t successes = 0, failures = 0;
    bool game_skipped = false;   // game-settings tweaks left out because the game runs
    size_t set_before = 0;       // revert: on without a change of this product, left as they are
    bool adapters_restarted = false;
};

inline constexpr const char* kNicRestartHint = "  (use Restart network adapters on the Network page to apply now)";

class TweakService {
public:
    using Listener = std::function<void(const Tweak&)>;

    TweakService(Catalog& catalog, Engine& engine, BackupStore& store, Reg& reg, platform::Processes& processes);
    TweakService(const TweakService&) = delete;
    TweakService& operator=(const TweakService&) = delete;

    const Catalog& catalog() const { return catalog_; }
    Tweak* find(std::string_view id) const { return catalog_.find(id); }

    // One tweak to the wanted state, as a switch asks: the confirmation, the guard, the change
    // and its report. State is re-read afterwards by `sync_after_change`, not here.
    ChangeOutcome change(Tweak& t, bool want, ChangeFront& front);
    // A switch click: the change, then the fresh reading of what it may have touched (for kinds
    // whose values other tweaks of the same group share, the whole group), announced.
    ChangeOutcome toggle(Tweak& t, bool want, ChangeFront& front);
    // Several tweaks by hand (the command line): unavailable ones and ones already in the wanted
    // state are left alone; each of the others goes through `change` and is re-read. In order.
    std::vector<ChangeResult> change_each(const std::vector<Tweak*>& list, bool want, ChangeFront& front);

    // Every change this product made among `list`, undone: the tweaks it holds originals of
    // (`recorded`: a backup record, or its mark for operations that keep none), whether they
    // read as on or, cut short, as off. A tweak that is on without one was set before and is
    // left as it is (SetBefore): a bulk revert never writes the catalog's fallback values over
    // a setting the user made. In order; each is re-read.
    std::vector<ChangeResult> revert_changes(const std::vector<Tweak*>& list, ChangeFront& front);

    // A bulk run over `list` (a page, a group, a profile, "Apply everything", a setup): the
    // tweaks to change are decided up front (available and off to apply; to revert, those this
    // product changed), game-settings tweaks are left out while the game runs, each is changed
    // in order with its applied mark (startup entries are never marked by a bulk run) and no
    // question, failures are counted and written to the activity log, the adapters are
    // restarted when adapter properties changed, and every tweak is re-read at the end.
    BulkResult bulk(const std::vector<Tweak*>& list, BulkMode mode, BulkFront& front);
    // Which of `list` a bulk run would change, in order (the game guard not applied).
    std::vector<Tweak*> bulk_todo(const std::vector<Tweak*>& list, BulkMode mode, size_t* set_before = nullptr);

    // What `change_each` would do with the tweak, without doing it: Unavailable, AlreadySet,
    // Declined (an ADVANCED tweak to turn on, not confirmed), GameRunning, or Changed. A revert
    // acts on a tweak that reads as off when this product holds its originals.
    ChangeOutcome preview(const Tweak& t, bool want, bool advanced_confirmed) const;
    // The values applying (or reverting) would change on this PC now. Reads only.
    std::vector<PlannedChange> plan(const Tweak& t, bool apply) { return engine_.describe(t, apply); }

    // Re-reads the state of one tweak (false when the test fails) and announces it.
    void sync(Tweak& t);
    // After a change of `t`: the tweaks whose state it may have moved, re-read and announced.
    void sync_after_change(Tweak& t);
    // Availability and state of every tweak, caches first, then announced; `progress(i, n)`.
    void refresh_all(const std::function<void(size_t, size_t)>& progress = {}, bool reread_caches = true);

    // Every fresh reading of a tweak. Returns an id for `unsubscribe`.
    int subscribe(Listener listener);
    void unsubscribe(int id);
    // A change that needs a restart was made in this run; the listener hears when it first happens.
    bool restart_pending() const { return restart_pending_; }
    void on_restart_pending(std::function<void()> listener) { restart_listener_ = std::move(listener); }
    bool nic_dirty() const { return engine_.nic_dirty; }
    // The physical adapters were restarted: their pending property changes are in effect, and
    // the adapter cache is read again.
    void adapters_restarted();

    bool game_running() const;
    // Tests and tools that exercise the kinds directly.
    Engine& engine() { return engine_; }
    // The originals of the applied tweaks, as stored in backup.json.
    BackupStore& backups() { return store_; }

private:
    // The engine's change with the applied mark (on apply only when `mark`); raises on failure.
    void change_values(Tweak& t, bool want, bool mark);
    void announce(const Tweak& t);
    void mark_restart_pending();

    Catalog& catalog_;
    Engine& engine_;
    BackupStore& store_;
    Reg& reg_;
    platform::Processes& processes_;
    std::set<std::string, std::less<>> adv_ok_;  // ADVANCED warnings confirmed this run
    bool restart_pending_ = false;
    std::function<void()> restart_listener_;
    std::vector<std::pair<int, Listener>> listeners_;
    int next_listener_ = 1;
};

// The first sentence of a bulk run's report ("Applied 12 tweaks."), and the whole report:
// failures, the game left out, tweaks left as set before, and the restart reminder after an
// apply when any change of this run needs one. Paragraphs are separated by a blank line.
std::string bulk_headline(const BulkResult& r, BulkMode mode);
std::string bulk_summary(const BulkResult& r, BulkMode mode, bool restart_pending);
// "3 tweaks were already set before Vexlo Tweaks changed anything, and left as they are."
std::string set_before_line(size_t n);

// The kinds whose values other tweaks of the same page and group may share, so a change of one
// can move the state of its neighbours.
bool shares_group_values(Kind k);

}  // namespace vexlo
