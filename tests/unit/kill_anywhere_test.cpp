// The product must never lose an original value, whatever moment its process dies at. Each sweep
// runs a change once and stops at every write it makes to the simulated PC: the machine folder
// as it is at that moment is exactly what a killed process leaves behind (every write of the
// simulated PC is on disk at once). A copy of it is opened by a new run of the product, which
// reverts every change; the PC must then be as it was before the change, apart from the
// differences a full apply-and-revert is meant to leave.
//
// The kill is an in-process snapshot rather than fork and _exit: one run yields every kill
// point, where a forked child per point would repeat the run up to each of them. Writes of the
// product's own files can also be torn, as a kill in the middle of Windows writing a file
// leaves the first part of the new bytes in it; those get a second kill point each.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include <sys/stat.h>

#include "app/tweaks/kinds/pwr_kind.h"
#include "headless_app.h"
#include "machine_state.h"
#include "platform/sim/sim_faults.h"

using namespace vexlo;
using testkit::Headless;
using testkit::MachineState;

namespace {

namespace fs = std::filesystem;

constexpr const char* kPowerSaver = "a1841308-3541-4fab-bc81-f71556f20b4a";

// A bulk run's front: says yes to the ADVANCED confirmation and nothing else.
struct QuietFront : ChangeFront {
    void log(std::string_view, LogKind) override {}
    void toast(std::string_view) override {}
    bool confirm_advanced(const Tweak&) override { return true; }
    void game_running(const Tweak&) override {}
};

// What a user's "revert every change" does: every change the product holds the originals of,
// the last in the catalog first.
void revert_every_change(Headless& h) {
    QuietFront front;
    TweakService& service = h.app->tweaks();
    std::vector<Tweak*> list;
    auto& tweaks = service.catalog().tweaks;
    for (auto it = tweaks.rbegin(); it != tweaks.rend(); ++it)
        if ((*it)->kind != Kind::Startup) list.push_back(it->get());
    service.revert_changes(list, front);
}

std::vector<std::pair<std::string, std::string>> power_settings(Headless& h) {
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->kind == Kind::Pwr) out.emplace_back(t->data_as<PwrData>().sub, t->data_as<PwrData>().set);
    return out;
}

std::vector<Tweak*> available_tweaks(Headless& h, const std::function<bool(const Tweak&)>& wanted = {}) {
    std::vector<Tweak*> out;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        // Startup entries keep no originals, and revert-every-change leaves them as they are.
        if (t->available && t->kind != Kind::Startup && (!wanted || wanted(*t))) out.push_back(t.get());
    return out;
}

// Makes `to` hold exactly what `from` holds. Files whose size and time match the copy made
// last time, and that the recovery did not touch since, are kept: most writes change one file.
class FolderMirror {
public:
    void mirror(const fs::path& from, const fs::path& to) {
        std::set<fs::path> seen;
        for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator(); ++it) {
            fs::path rel = it->path().lexically_relative(from);
            fs::path dst = to / rel;
            seen.insert(rel);
            if (it->is_directory()) {
                fs::create_directories(dst);
                continue;
            }
            Stamp src_stamp = stamp(it->path());
            // The lock files' change counters are written through memory maps, which need not
            // move the file's time; they are a few bytes.
            auto known = copied_.find(rel);
            if (known != copied_.end() && known->second.first == src_stamp && known->second.second == stamp(dst) &&
                rel.extension() != ".lock")
                continue;
            std::error_code ec;
            fs::remove(dst, ec);
            fs::copy_file(it->path(), dst);
            fs::permissions(dst, fs::status(it->path()).permissions());
            copied_[rel] = {src_stamp, stamp(dst)};
        }
        // What the recovery or an earlier point left that `from` does not have, deepest first.
        std::vector<fs::path> extra;
        for (auto it = fs::recursive_directory_iterator(to); it != fs::recursive_directory_iterator(); ++it) {
            fs::path rel = it->path().lexically_relative(to);
            if (!seen.contains(rel)) extra.push_back(it->path());
        }
        for (auto it = extra.rbegin(); it != extra.rend(); ++it) {
            std::error_code ec;
            fs::remove_all(*it, ec);
            copied_.erase(it->lexically_relative(to));
        }
    }
    // A file of the copy was changed behind the mirror's back.
    void forget(const fs::path& rel) { copied_.erase(rel); }

private:
    struct Stamp {
        uint64_t inode = 0;
        int64_t size = -1, mtime_ns = 0;
        unsigned mode = 0;
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };
    static Stamp stamp(const fs::path& p) {
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0) return {};
        return {uint64_t(st.st_ino), int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                unsigned(st.st_mode)};
    }
    std::map<fs::path, std::pair<Stamp, Stamp>> copied_;
};

StartOptions no_window() {
    StartOptions o;
    o.build_window = false;
    return o;
}

struct Loss {
    int point = 0;
    std::string write;  // the write killed before ("... (torn)" when killed half-way through)
    std::vector<std::string> diffs;
};

// Which of a run's kill points one sweep recovers from: every `of`-th, from the `index`-th
// (counted from 0). Sweeps of the same run with every index between them try every point.
struct Share {
    int index = 0, of = 1;
};

// Stops `run` at each write it makes from arm() on, and recovers a copy of what each stop left.
class KillSweep {
public:
    KillSweep(Headless& run, MachineState before, std::vector<std::pair<std::string, std::string>> settings,
              std::function<bool(const std::string&)> also_intended = {}, Share share = {})
        : run_(run), before_(std::move(before)), settings_(std::move(settings)), also_intended_(std::move(also_intended)),
          share_(share) {}

    void arm() {
        started_ = std::chrono::steady_clock::now();
        run_.pc->faults().on_write([this](const sim::PendingWrite& w) { at_write(w); });
    }
    // The run ended: its end is the last kill point.
    void finish() {
        run_.pc->faults().on_write({});
        recover("(after the last write)", nullptr);
    }

    // What the sweep found, printed and asserted.
    void report(const std::string& name) {
        size_t values = 0;
        for (auto& l : losses_) values += l.diffs.size();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        std::cout << "[kill-anywhere] " << name << ": " << writes_ << " writes, " << points_ << " kill points";
        if (share_.of > 1) std::cout << " (share " << share_.index + 1 << " of " << share_.of << ")";
        std::cout << ", " << tried_ << " tried, originals lost at " << losses_.size() << " of them (" << values
                  << " differing values), " << seconds << " s\n";
        EXPECT_GT(writes_, 0) << "the run made no write";
        EXPECT_GT(tried_, 0) << "no kill point was tried";
        EXPECT_EQ(losses_.size(), 0u) << describe();
    }

    // Whether the run made a write of `op` whose target holds `part`: what the sweep covered.
    bool wrote(std::string_view op, std::string_view part) const {
        return std::any_of(seen_.begin(), seen_.end(),
                           [&](auto& w) { return w.first == op && w.second.find(part) != std::string::npos; });
    }

private:
    void at_write(const sim::PendingWrite& w) {
        ++writes_;
        seen_.emplace_back(std::string(w.op), std::string(w.target));
        std::string what = std::string(w.op) + " " + std::string(w.target);
        recover(what, nullptr);
        if (w.file && !w.bytes.empty()) recover(what + " (torn)", &w);
    }

    void recover(const std::string& what, const sim::PendingWrite* torn) {
        if (points_++ % share_.of != share_.index) return;
        ++tried_;
        rec_.app.reset();
        mirror_.mirror(run_.pc.dir(), rec_.pc.dir());
        if (torn) tear(*torn);
        std::vector<std::string> diffs;
        try {
            rec_.pc.reopen();
            rec_.start();
            revert_every_change(rec_);
            diffs = testkit::differences(before_, testkit::machine_state(*rec_.pc, settings_),
                                         [&](const std::string& k) {
                                             return testkit::intended_difference(k, before_) || (also_intended_ && also_intended_(k));
                                         });
        } catch (const std::exception& e) {
            diffs.push_back(std::string("the product did not start again: ") + e.what());
        }
        if (!diffs.empty()) losses_.push_back({points_, what, std::move(diffs)});  // numbered from 1
    }

    // Half of the new bytes reached the file: Windows writes a file in place, truncated first.
    void tear(const sim::PendingWrite& w) {
        fs::path rel = w.file->lexically_relative(run_.pc.dir());
        fs::path dst = rec_.pc.dir() / rel;
        std::string text;
        if (w.append) {
            std::ifstream in(dst, std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(in), {});
        }
        text.append(w.bytes.substr(0, w.bytes.size() / 2));
        std::ofstream(dst, std::ios::binary | std::ios::trunc) << text;
        mirror_.forget(rel);
    }

    // The first losses, then one line per kind of loss (the first differing key).
    std::string describe() const {
        std::string out;
        for (size_t i = 0; i < losses_.size() && i < 8; ++i) {
            auto& l = losses_[i];
            out += "\nkill point " + std::to_string(l.point) + ", before " + l.write + ":";
            for (size_t j = 0; j < l.diffs.size() && j < 6; ++j) out += "\n    " + l.diffs[j];
            if (l.diffs.size() > 6) out += "\n    ... " + std::to_string(l.diffs.size() - 6) + " more";
        }
        std::map<std::string, std::pair<int, const Loss*>> kinds;
        for (auto& l : losses_) {
            std::string key = l.diffs.front().substr(0, l.diffs.front().find(": "));
            auto& k = kinds[key];
            if (k.first++ == 0) k.second = &l;
        }
        out += "\nby first differing value:";
        for (auto& [key, k] : kinds)
            out += "\n  " + key + " at " + std::to_string(k.first) + " points, first " +
                   std::to_string(k.second->point) + " before " + k.second->write;
        return out;
    }

    Headless& run_;
    // The product started again on what each kill left. Its window's content reads the PC
    // and writes nothing to it, so the recoveries go without it.
    Headless rec_{"desktop11", no_window()};
    FolderMirror mirror_;
    MachineState before_;
    std::vector<std::pair<std::string, std::string>> settings_;
    std::function<bool(const std::string&)> also_intended_;
    Share share_;
    std::chrono::steady_clock::time_point started_;
    int writes_ = 0, points_ = 0, tried_ = 0;
    std::vector<Loss> losses_;
    std::vector<std::pair<std::string, std::string>> seen_;  // op and target of each write
};

MachineState state_of(Headless& h) { return testkit::machine_state(*h.pc, power_settings(h)); }

// One bulk change of `list` in `run`, killed at each of its writes; `before` is the PC that
// every recovery must give back.
// `must_cover` lists writes (op, part of the target) the run is expected to make.
void sweep_change(Headless& run, MachineState before, const std::vector<Tweak*>& list, bool want, const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& must_cover = {},
                  std::function<bool(const std::string&)> also_intended = {}, Share share = {}) {
    KillSweep sweep(run, std::move(before), power_settings(run), std::move(also_intended), share);
    QuietFront front;
    sweep.arm();
    if (want)
        run.app->tweaks().change_each(list, true, front);
    else
        run.app->tweaks().revert_changes(list, front);
    sweep.finish();
    sweep.report(name);
    for (auto& [op, part] : must_cover) EXPECT_TRUE(sweep.wrote(op, part)) << name << " made no " << op << " write of " << part;
}

}  // namespace

// Writes the bulk runs must make: the adapters' properties, the interfaces' DNS servers and TCP
// values, the QoS policy and the mouse settings are among the tweaks.
const std::vector<std::pair<std::string, std::string>> kNetworkWrites = {
    {"network adapters", ""}, {"registry set", "NameServer"}, {"registry set", "TcpAckFrequency"},
    {"input settings", ""}, {"registry set", "MouseDataQueueSize"}, {"service start type", ""}};
const std::vector<std::pair<std::string, std::string>> kNetworkReverts = {
    {"network adapters", ""}, {"registry set", "NameServer"}, {"registry remove", "TcpAckFrequency"},
    {"input settings", ""}, {"registry set", "MouseDataQueueSize"}, {"service start type", ""}};

// The two bulk runs have thousands of kill points between them, so their sweeps are shared out:
// each test of a share makes the whole run and recovers from its share of the points, and the
// shares run side by side as separate tests.
constexpr int kShares = 4;

class KillAnywhereShare : public ::testing::TestWithParam<int> {
protected:
    Share share() const { return {GetParam(), kShares}; }
};

// Every available tweak of the default image turned on in one bulk run.
TEST_P(KillAnywhereShare, BulkApplyOfEveryTweak) {
    Headless run;
    sweep_change(run, state_of(run), available_tweaks(run), true, "bulk apply", kNetworkWrites, {}, share());
}

// All of them applied (and the product started again), then turned off in one bulk run.
TEST_P(KillAnywhereShare, BulkRevertOfEveryTweak) {
    Headless run;
    auto before = state_of(run);
    QuietFront front;
    run.app->tweaks().change_each(available_tweaks(run), true, front);
    run.restart();
    sweep_change(run, std::move(before), available_tweaks(run), false, "bulk revert", kNetworkReverts, {}, share());
}

INSTANTIATE_TEST_SUITE_P(KillAnywhere, KillAnywhereShare, ::testing::Range(0, kShares));

// The recoveries start without the window: that start must read, record and leave the PC as
// the window's start does, startup entries included.
TEST(KillAnywhere, AStartWithoutTheWindowIsTheSameStart) {
    auto listing = [](Headless& h) {
        std::vector<std::string> out;
        for (auto& t : h.app->tweaks().catalog().tweaks)
            out.push_back(t->id + " " + t->page + " " + std::to_string(t->available) + std::to_string(t->state) +
                          std::to_string(t->recorded) + " " + t->reason);
        return out;
    };
    Headless with("laptop11"), without("laptop11", no_window());
    for (Headless* h : {&with, &without}) {
        QuietFront front;
        // Everything but our power plan, which gets a new id on each PC.
        h->app->tweaks().change_each(available_tweaks(*h, [](const Tweak& t) { return t.id != "power"; }), true, front);
        h->app->tweaks().revert_changes({&h->tweak("svc_sysmain")}, front);
        h->restart();
    }
    EXPECT_GT(std::count_if(with.app->tweaks().catalog().tweaks.begin(), with.app->tweaks().catalog().tweaks.end(),
                            [](auto& t) { return t->kind == Kind::Startup; }),
              0)
        << "the image has no startup entries to scan";
    EXPECT_EQ(listing(with), listing(without));
    EXPECT_EQ(testkit::differences(state_of(with), state_of(without), [](const std::string&) { return false; }),
              std::vector<std::string>{});
}

// The power plan switch with the power settings, on a PC that runs the Power saver plan.
TEST(KillAnywhere, PowerPlanAndSettingsFromPowerSaver) {
    Headless run;
    ASSERT_TRUE(run.pc->power().set_active(kPowerSaver)) << "the image has no Power saver plan";
    run.restart();
    // The settings first, on the user's own plan, then the switch to ours; reverted the other
    // way round, so that each setting goes back into Power saver after the plan did.
    auto settings = available_tweaks(run, [](const Tweak& t) { return t.kind == Kind::Pwr; });
    ASSERT_GT(settings.size(), 1u);
    auto list = settings;
    list.push_back(&run.tweak("power"));
    const auto before = state_of(run);
    // A setting that was on under Balanced was marked applied at the first start; off under
    // Power saver, its apply and revert end with the mark gone, as every revert ends.
    const std::string marks = "reg:HKCU\\" + parse_reg_path(kSettingsKey)->subkey + "|Applied";
    auto unmarked = [&marks](const std::string& k) { return k == marks; };
    sweep_change(run, before, list, true, "power settings, then the power plan", {}, unmarked);
    run.restart();
    std::vector<Tweak*> back{&run.tweak("power")};
    for (Tweak* t : available_tweaks(run, [](const Tweak& t) { return t.kind == Kind::Pwr; })) back.push_back(t);
    sweep_change(run, before, back, false, "the power plan, then the power settings, reverted", {}, unmarked);
}
