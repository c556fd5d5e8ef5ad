// The restore point and adapter restart actions on the simulated PC: what the player is told,
// in which order, and what the PC is left with.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/tools/system_actions.h"
#include "headless_app.h"

namespace vexlo {
namespace {

using testkit::Headless;

constexpr const char* kRestoreKey = "HKLM:\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";
constexpr const char* kFailed = "Failed. Turn on System Protection for your C: drive and try again.";

// Every line and repaint an action reports, in order.
struct Recorder {
    std::vector<std::string> events;
    ActionReport report() {
        return {[this](std::string_view m, LogKind k) {
                    const char* kind = k == LogKind::Ok ? "ok" : k == LogKind::Err ? "err" : "info";
                    events.push_back(std::string(kind) + ": " + std::string(m));
                },
                [this] { events.push_back("repaint"); }};
    }
};

TEST(ActionDate, TwelveHourClockWithEnglishMonths) {
    struct Case {
        platform::LocalTime t;
        const char* text;
    } cases[] = {
        {{2026, 12, 6, 9, 5, 30}, "Dec 6, 9:05 AM"},
        {{2027, 1, 1, 0, 0, 0}, "Jan 1, 12:00 AM"},  // midnight is 12 AM
        {{2026, 7, 15, 12, 30, 0}, "Jul 15, 12:30 PM"},  // noon is 12 PM
        {{2026, 10, 31, 23, 59, 59}, "Oct 31, 11:59 PM"},
    };
    for (auto& c : cases) EXPECT_EQ(action_date(c.t), c.text);
}

TEST(RestorePoint, CreatesThePointAndLiftsTheDailyLimit) {
    Headless h;
    h.pc->set_fixed_time(platform::LocalTime{2026, 12, 6, 9, 5, 7});
    Reg reg = h.reg();
    reg.set(kRestoreKey, "SystemRestorePointCreationFrequency", 1440);  // Windows' default
    std::vector<std::string> writes;
    Json interval_at_point;
    h.pc->faults().on_write([&](const sim::PendingWrite& w) {
        writes.emplace_back(w.op);
        if (w.op == "system restore") interval_at_point = reg.get(kRestoreKey, "SystemRestorePointCreationFrequency");
    });
    Recorder rec;

    EXPECT_EQ(new_restore_point(*h.pc, reg, rec.report()), "Created Dec 6, 9:05 AM");

    EXPECT_EQ(rec.events, (std::vector<std::string>{
                              "info: Creating a Windows restore point. This can take up to a minute...", "repaint",
                              "ok: Restore point created."}));
    EXPECT_EQ(interval_at_point, 0) << "no limit while the point is made";
    auto points = h.pc->restore_points();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].description, "Vexlo Tweaks");
    EXPECT_EQ(points[0].type, "MODIFY_SETTINGS");
    EXPECT_EQ(points[0].time, "2026-12-06T09:05:07");
    // The point is a write of the machine like any other, so a kill can land on it.
    EXPECT_NE(std::find(writes.begin(), writes.end(), "system restore"), writes.end());

    // A second click the same minute makes a second point, and the points outlive the run.
    new_restore_point(*h.pc, reg, {});
    h.pc.reopen();
    EXPECT_EQ(h.pc->restore_points().size(), 2u);
}

// The interval between points is the player's setting: it is lifted while the point is made and
// put back as it was afterwards (deleted when there was none), whether Windows made the point or
// refused it.
TEST(RestorePoint, TheIntervalIsPutBackMadeOrNot) {
    const char* name = "SystemRestorePointCreationFrequency";
    struct Interval {
        const char* label;
        std::optional<platform::RegValue> value;
    } intervals[] = {
        {"absent", std::nullopt},
        {"Windows' default", platform::RegValue::dword(1440)},
        {"an administrator's, as text", platform::RegValue::string("60")},
    };
    for (auto& iv : intervals)
        for (bool point_fails : {false, true}) {
            SCOPED_TRACE(std::string(iv.label) + (point_fails ? ", creation throws" : ", point made"));
            Headless h;
            Reg reg = h.reg();
            if (iv.value) {
                auto p = parse_reg_path(kRestoreKey);
                h.pc->registry().set(p->hive, p->subkey, name, *iv.value);
            }
            h.pc->faults().fail_restore_point(point_fails);
            Json interval_at_point = "(not tried)";
            h.pc->faults().on_write([&](const sim::PendingWrite& w) {
                if (w.op == "system restore") interval_at_point = reg.get(kRestoreKey, name);
            });
            Recorder rec;

            std::string result = new_restore_point(*h.pc, reg, rec.report());

            EXPECT_EQ(result == kFailed, point_fails) << result;
            if (!point_fails) EXPECT_EQ(interval_at_point, 0);
            auto now = reg.get_raw(kRestoreKey, name);
            ASSERT_EQ(now.has_value(), iv.value.has_value());
            if (now) {
                EXPECT_EQ(now->kind, iv.value->kind);
                EXPECT_EQ(raw_json(*now), raw_json(*iv.value));
            }
            EXPECT_EQ(rec.events.size(), 3u) << "no line about the interval when it went back";
        }
}

TEST(RestorePoint, ProtectionOffAndRefusals) {
    struct Case {
        const char* name;
        bool protection;
        bool enable_fails, point_fails, registry_fails;
        const char* error;  // how the failure line ends; nullptr: the point is made
    } cases[] = {
        {"off, turned on first", false, false, false, false, nullptr},
        {"off, cannot be turned on", false, true, false, false, "System Protection is turned off for C:\\."},
        {"on, enabling refused anyway", true, true, false, false, nullptr},
        {"on, creation fails", true, false, true, false,
         "The restore point could not be created: the shadow copy of C:\\ failed."},
        {"registry refused", true, false, false, true, "Access is denied."},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The laptop ships with System Protection off.
        Headless h(c.protection ? "desktop11" : "laptop11");
        h.pc->faults().fail_restore_enable(c.enable_fails);
        h.pc->faults().fail_restore_point(c.point_fails);
        if (c.registry_fails) h.pc->faults().fail_registry_write(1);
        Reg reg = h.reg();
        Recorder rec;
        std::string result = new_restore_point(*h.pc, reg, rec.report());
        ASSERT_EQ(rec.events.size(), 3u);
        if (!c.error) {
            EXPECT_EQ(result.rfind("Created ", 0), 0u) << result;
            EXPECT_EQ(rec.events[2], "ok: Restore point created.");
            EXPECT_EQ(h.pc->restore_points().size(), 1u);
        } else {
            EXPECT_EQ(result, kFailed);
            const std::string& line = rec.events[2];
            EXPECT_EQ(line.rfind("err: Could not create a restore point: ", 0), 0u) << line;
            EXPECT_TRUE(line.ends_with(c.error)) << line;
            EXPECT_TRUE(h.pc->restore_points().empty());
        }
    }
}

TEST(RestartAdapters, RestartsEveryAdapterThatIsNotDisabled) {
    struct Case {
        const char* image;
        std::vector<std::pair<std::string, std::string>> statuses;  // set before the run
        std::vector<std::pair<std::string, int>> restarts;          // afterwards
    } cases[] = {
        {"desktop11", {}, {{"Ethernet", 1}, {"Wi-Fi", 1}}},
        {"desktop11", {{"Wi-Fi", "Disabled"}}, {{"Ethernet", 1}, {"Wi-Fi", 0}}},
        {"laptop11", {}, {{"Wi-Fi", 1}, {"Ethernet", 1}}},  // a port without a cable restarts too
        {"desktop11", {{"Ethernet", "Disabled"}, {"Wi-Fi", "Disabled"}}, {{"Ethernet", 0}, {"Wi-Fi", 0}}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.image) + " with " + std::to_string(c.statuses.size()) + " disabled");
        Headless h(c.image);
        for (auto& [name, status] : c.statuses) h.pc->set_adapter_status(name, status);
        h.engine().nic_dirty = true;  // an adapter property was changed and waits for the restart
        Recorder rec;

        EXPECT_EQ(restart_adapters(*h.pc, h.app->tweaks(), rec.report()), "Restarted");

        for (auto& [name, count] : c.restarts) EXPECT_EQ(h.pc->adapter_restarts(name), count) << name;
        EXPECT_FALSE(h.app->tweaks().nic_dirty());
        EXPECT_EQ(rec.events, (std::vector<std::string>{"info: Restarting network adapters (a few seconds offline)...",
                                                        "repaint", "ok: Network adapters restarted."}));
    }
}

TEST(RestartAdapters, ADisabledAdapterRefusesARestart) {
    Headless h;
    h.pc->set_adapter_status("Wi-Fi", "Disabled");
    EXPECT_THROW(h.pc->network().restart_adapter("Wi-Fi"), platform::PlatformError);
    EXPECT_THROW(h.pc->network().restart_adapter("No Such Adapter"), platform::PlatformError);
    EXPECT_EQ(h.pc->adapter_restarts("Wi-Fi"), 0);
    auto listed = h.pc->network().physical_adapters();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].name, "Wi-Fi");
    EXPECT_EQ(listed[1].status, "Disabled");
}

}  // namespace
}  // namespace vexlo
