// The catalog's registry tweaks against the real registry: each available one is applied, seen
// as on, then all are reverted last-first, and every value they touch is back as it was, kind
// and data, or gone again when it was missing. It writes HKLM and the user's own settings, so it
// runs only under Wine.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "app/core/app.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "platform/win32/parts.h"
#include "platform/win32/win32_platform.h"

namespace {

using namespace vexlo;

using Snapshot = std::map<std::string, std::optional<platform::RegValue>>;

Snapshot snapshot(platform::Registry& reg, const Catalog& catalog) {
    Snapshot out;
    for (auto& t : catalog.tweaks) {
        if (t->kind != Kind::Reg) continue;
        for (auto& e : t->data_as<RegData>().entries) {
            auto path = parse_reg_path(e.p);
            if (!path) continue;
            out[e.p + " | " + e.n] = reg.get(path->hive, path->subkey, e.n);
        }
    }
    return out;
}

std::string shown(const std::optional<platform::RegValue>& v) {
    if (!v) return "(missing)";
    return reg_kind_name(v->kind) + " " + raw_json(*v).dump();
}

TEST(CatalogRoundTripWin, RegistryTweaksComeBackAsTheyWere) {
    if (!win32::running_under_wine())
        GTEST_SKIP() << "applies and reverts every registry tweak on this PC: run under Wine only";
    auto pf = win32::make_platform();
    const std::string data = pf->files().known_folder(platform::KnownFolder::LocalAppData) + "\\VexloTweaks";
    pf->files().remove(data + "\\backup.json");

    App app(*pf);
    app.window().set_window_visible(false);
    app.start_up();
    const Snapshot before = snapshot(pf->registry(), app.tweaks().catalog());

    std::vector<Tweak*> applied;
    for (auto& t : app.tweaks().catalog().tweaks) {
        if (t->kind != Kind::Reg || !t->available || t->state) continue;
        try {
            app.tweaks().engine().apply_kind(*t);
        } catch (const std::exception& e) {
            ADD_FAILURE() << t->id << ": " << e.what();
            continue;
        }
        app.tweaks().engine().sync_state(*t);
        EXPECT_TRUE(t->state) << t->id << " did not take";
        applied.push_back(t.get());
    }
    ASSERT_GT(applied.size(), 30u);
    for (auto it = applied.rbegin(); it != applied.rend(); ++it) {
        app.tweaks().engine().revert_kind(**it);
        app.tweaks().engine().sync_state(**it);
        EXPECT_FALSE((*it)->state) << (*it)->id << " still on after revert";
    }

    const Snapshot after = snapshot(pf->registry(), app.tweaks().catalog());
    for (auto& [where, was] : before) {
        auto now = after.at(where);
        EXPECT_TRUE(was == now) << where << ": was " << shown(was) << ", now " << shown(now);
    }
    EXPECT_TRUE(app.tweaks().backups().data().empty()) << app.tweaks().backups().data().dump();
    pf->files().remove(data + "\\backup.json");
}

}  // namespace
