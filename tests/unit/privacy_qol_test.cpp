// The Debloat page's app permissions, cloud extras, browser and Office policies and quality-of-life
// entries: the permission entries made from their table, the flags, the text values of the
// shutdown timers, Office's two telemetry switches and the classic right-click menu.
#include <gtest/gtest.h>

#include <cctype>

#include "app/core/backup_store.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "headless_app.h"
#include "platform/sim/sim_faults.h"

using namespace vexlo;
using platform::RegKind;
using testkit::Headless;

namespace {

constexpr const char* kConsent = "HKLM:\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager\\ConsentStore";
constexpr const char* kMenuClass = "HKCU:\\Software\\Classes\\CLSID\\{86ca1aa0-34aa-4e8b-a509-50c905bae2a2}";
constexpr const char* kMenuServer =
    "HKCU:\\Software\\Classes\\CLSID\\{86ca1aa0-34aa-4e8b-a509-50c905bae2a2}\\InprocServer32";

std::vector<std::string> ids_of(Headless& h, std::string_view group) {
    std::vector<std::string> out;
    for (auto& t : h.app->tweaks().catalog().tweaks)
        if (t->page == "Debloat" && t->group == group) out.push_back(t->id);
    return out;
}

std::optional<platform::RegValue> raw(Headless& h, const std::string& key, const std::string& name) {
    return h.reg().get_raw(key, name);
}

}  // namespace

// Capability, the words of the title, the words of the card: one entry each, in this order.
TEST(PrivacyCatalog, PermissionEntriesAreTheirTable) {
    struct Row {
        const char* cap;
        const char* title;
        const char* desc;
    };
    const Row rows[] = {
        {"appDiagnostics", "app diagnostics", "information about your other running apps"},
        {"contacts", "contacts", "your contacts"},
        {"appointments", "calendar", "your calendar"},
        {"phoneCall", "phone calls", "phone calls"},
        {"phoneCallHistory", "call history", "your call history"},
        {"email", "email", "your email"},
        {"userDataTasks", "tasks", "your tasks"},
        {"chat", "messaging", "your text messages"},
        {"radios", "radios", "your Wi-Fi and Bluetooth radios"},
        {"bluetoothSync", "unpaired devices", "unpaired wireless devices"},
        {"userAccountInformation", "account info", "your name, picture and account info"},
        {"documentsLibrary", "documents", "your Documents folder"},
        {"picturesLibrary", "pictures", "your Pictures folder"},
        {"videosLibrary", "videos", "your Videos folder"},
        {"broadFileSystemAccess", "file system", "all of your files"},
        {"activity", "motion", "motion activity"},
        {"cellularData", "cellular data", "cellular data"},
        {"userNotificationListener", "notifications", "your notifications"},
    };
    Headless h;
    auto ids = ids_of(h, "App permissions (Store apps)");
    ASSERT_EQ(ids.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(r.cap);
        const Tweak& t = h.tweak(ids[i]);
        std::string id = std::string("perm_") + r.cap;
        EXPECT_EQ(t.id, id);
        EXPECT_EQ(t.title, std::string("Block apps from ") + r.title);
        EXPECT_EQ(t.desc, std::string("Store apps can no longer access ") + r.desc + ". Desktop programs are not affected.");
        EXPECT_EQ(t.impact, "Low");
        EXPECT_FALSE(t.adv || t.restart || t.no_laptop || t.manual);
        ASSERT_EQ(t.kind, Kind::Reg);
        const auto& entries = t.data_as<RegData>().entries;
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].p, std::string(kConsent) + "\\" + r.cap);
        EXPECT_EQ(entries[0].n, "Value");
        EXPECT_EQ(entries[0].t, RegKind::String);
        EXPECT_EQ(entries[0].v, "Deny");
        EXPECT_EQ(entries[0].o, "Allow");
    }
}

// The other groups in page order, and the flags only the few entries carry.
TEST(PrivacyCatalog, GroupsAndFlags) {
    Headless h;
    using L = std::vector<std::string>;
    EXPECT_EQ(ids_of(h, "Windows cloud & AI extras"),
              (L{"consumer", "cloudopt", "spotlight", "searchhl", "cloudsearch", "scoobe", "acctnotif", "iris", "meetnow",
                 "chaticon", "clipcloud", "findmy", "langlist", "phonelink", "onlinespeech", "remassist", "onedrive"}));
    EXPECT_EQ(ids_of(h, "Browser & Office background"),
              (L{"e_sidebar", "e_shopping", "e_rewards", "e_personal", "e_diag", "e_recs", "e_spot", "e_feedback",
                 "e_firstrun", "e_follow", "e_ntp", "e_dnt", "c_bg", "c_metrics", "c_cleanup", "o_telem", "o_feedback"}));
    EXPECT_EQ(ids_of(h, "Quality of life"),
              (L{"endtask", "fileext", "shake", "thispc", "recent", "frequent", "taskview", "searchbox", "lockscreen",
                 "autoend", "hungapp", "killapp", "killsvc", "classicmenu"}));
    for (auto group : {"Windows cloud & AI extras", "Browser & Office background", "Quality of life"})
        for (auto& id : ids_of(h, group)) {
            const Tweak& t = h.tweak(id);
            SCOPED_TRACE(id);
            EXPECT_EQ(t.adv && t.manual, id == "onedrive");
            EXPECT_EQ(t.adv || t.manual, id == "onedrive");
            EXPECT_EQ(t.restart, id == "killsvc");
            EXPECT_FALSE(t.no_laptop);
            EXPECT_EQ(t.impact, (id == "consumer" || id == "onedrive" || id == "c_bg") ? "Med" : "Low");
            EXPECT_EQ(t.kind, id == "classicmenu" ? Kind::Custom : Kind::Reg);
        }
}

// Full access to the file system is denied by Windows itself: the entry reads as on from the
// start, and a revert without a record allows it, as text.
TEST(PrivacyCatalog, BroadFileSystemAccess) {
    Headless h;
    const std::string key = std::string(kConsent) + "\\broadFileSystemAccess";
    EXPECT_EQ(h.tweak("perm_broadFileSystemAccess").title, "Block apps from file system");
    EXPECT_TRUE(h.state("perm_broadFileSystemAccess"));
    ASSERT_FALSE(h.store().has("perm_broadFileSystemAccess"));
    h.engine().revert_kind(h.tweak("perm_broadFileSystemAccess"));
    EXPECT_EQ(raw(h, key, "Value"), platform::RegValue::string("Allow"));
    EXPECT_FALSE(h.state("perm_broadFileSystemAccess"));

    h.engine().apply_kind(h.tweak("perm_broadFileSystemAccess"));
    EXPECT_EQ(raw(h, key, "Value"), platform::RegValue::string("Deny"));
    EXPECT_TRUE(h.state("perm_broadFileSystemAccess"));
    // A capability the user allowed goes back to allowed from the record as well.
    h.engine().revert_kind(h.tweak("perm_broadFileSystemAccess"));
    EXPECT_EQ(raw(h, key, "Value"), platform::RegValue::string("Allow"));
}

// The shutdown timers are text values: written as text, read back as text, and restored as
// text by the fallback.
TEST(PrivacyCatalog, ShutdownTimersAreText) {
    struct Case {
        const char* id;
        const char* key;
        const char* name;
        const char* on;
        const char* fallback;
    };
    const char* desk = "HKCU:\\Control Panel\\Desktop";
    const Case cases[] = {
        {"autoend", desk, "AutoEndTasks", "1", "0"},
        {"hungapp", desk, "HungAppTimeout", "1000", "5000"},
        {"killapp", desk, "WaitToKillAppTimeout", "2000", "20000"},
        {"killsvc", "HKLM:\\SYSTEM\\CurrentControlSet\\Control", "WaitToKillServiceTimeout", "2000", "5000"},
    };
    Headless h;
    for (auto& c : cases) {
        SCOPED_TRACE(c.id);
        auto before = raw(h, c.key, c.name);
        EXPECT_FALSE(h.state(c.id));
        h.engine().apply_kind(h.tweak(c.id));
        EXPECT_EQ(raw(h, c.key, c.name), platform::RegValue::string(c.on));
        EXPECT_TRUE(h.state(c.id));
        h.engine().revert_kind(h.tweak(c.id));
        EXPECT_EQ(raw(h, c.key, c.name), before);
        h.engine().apply_kind(h.tweak(c.id));
        h.store().remove(c.id);
        h.engine().revert_kind(h.tweak(c.id));
        EXPECT_EQ(raw(h, c.key, c.name), platform::RegValue::string(c.fallback));
    }
}

// Office keeps its telemetry switch in two places; the entry is on only when both say so.
TEST(PrivacyCatalog, OfficeTelemetryNeedsBothValues) {
    Headless h("laptop11");
    const std::string policy = "HKCU:\\Software\\Policies\\Microsoft\\office\\common\\clienttelemetry";
    const std::string own = "HKCU:\\Software\\Microsoft\\Office\\Common\\ClientTelemetry";
    Reg reg = h.reg();
    EXPECT_FALSE(h.state("o_telem"));
    h.engine().apply_kind(h.tweak("o_telem"));
    EXPECT_EQ(raw(h, policy, "DisableTelemetry"), platform::RegValue::dword(1));
    EXPECT_EQ(raw(h, own, "DisableTelemetry"), platform::RegValue::dword(1));
    EXPECT_TRUE(h.state("o_telem"));
    for (const std::string& key : {policy, own}) {
        SCOPED_TRACE(key);
        reg.set(key, "DisableTelemetry", 0);
        EXPECT_FALSE(h.state("o_telem"));
        reg.set(key, "DisableTelemetry", 1);
        EXPECT_TRUE(h.state("o_telem"));
    }
    // Neither value was there: the revert deletes both.
    h.engine().revert_kind(h.tweak("o_telem"));
    EXPECT_FALSE(raw(h, policy, "DisableTelemetry"));
    EXPECT_FALSE(raw(h, own, "DisableTelemetry"));
    EXPECT_TRUE(reg.key_exists(own));  // Office's own key stays
}

TEST(PrivacyCatalog, ClassicMenuOnlyOnWindows11) {
    for (auto [image, available] : {std::pair{"desktop11", true}, std::pair{"laptop11", true}, std::pair{"desktop10", false}}) {
        Headless h(image);
        SCOPED_TRACE(image);
        const Tweak& t = h.tweak("classicmenu");
        EXPECT_EQ(t.available, available);
        EXPECT_EQ(t.reason, available ? "" : "Windows 11 only.");
    }
}

// The apply registers the class with an empty server; the revert takes the whole class key
// away, whatever else was put below it, and leaves the other classes.
TEST(PrivacyCatalog, ClassicMenuApplyAndRevert) {
    Headless h;
    Reg reg = h.reg();
    ASSERT_FALSE(reg.key_exists(kMenuClass));
    EXPECT_FALSE(h.state("classicmenu"));
    h.engine().apply_kind(h.tweak("classicmenu"));
    EXPECT_EQ(raw(h, kMenuServer, ""), platform::RegValue::string(""));
    EXPECT_TRUE(h.state("classicmenu"));

    reg.set(std::string(kMenuServer), "ThreadingModel", "Apartment", RegKind::String);
    reg.set(std::string(kMenuClass) + "\\Extra", "Note", 1);
    h.engine().revert_kind(h.tweak("classicmenu"));
    EXPECT_FALSE(reg.key_exists(kMenuClass));
    EXPECT_FALSE(reg.key_exists(std::string(kMenuClass) + "\\Extra"));
    EXPECT_TRUE(reg.key_exists("HKCU:\\Software\\Classes\\CLSID"));
    EXPECT_FALSE(h.state("classicmenu"));

    // A revert Windows refuses is not an error: the entry simply stays on.
    h.engine().apply_kind(h.tweak("classicmenu"));
    h.pc->faults().fail_registry_write(1);
    EXPECT_NO_THROW(h.engine().revert_kind(h.tweak("classicmenu")));
    EXPECT_TRUE(reg.key_exists(kMenuServer));
    EXPECT_TRUE(h.state("classicmenu"));
    h.engine().revert_kind(h.tweak("classicmenu"));
    EXPECT_FALSE(reg.key_exists(kMenuClass));
}

// The previews name the value the apply writes and every value the revert takes with the key.
TEST(PrivacyCatalog, ClassicMenuPreview) {
    Headless h;
    auto lines = [&](bool apply) {
        std::vector<std::string> out;
        for (auto& c : h.engine().describe(h.tweak("classicmenu"), apply)) out.push_back(change_text(c));
        return out;
    };
    const std::string server = std::string(kMenuServer) + "\\(default): ";
    ASSERT_EQ(lines(true).size(), 1u);
    EXPECT_EQ(lines(true)[0].rfind(server, 0), 0u) << lines(true)[0];
    EXPECT_TRUE(lines(false).empty());
    h.engine().apply_kind(h.tweak("classicmenu"));
    h.reg().set(std::string(kMenuClass) + "\\Extra", "Note", 1);
    auto revert = lines(false);
    ASSERT_EQ(revert.size(), 2u);
    EXPECT_NE(revert[0].find("(deleted)"), std::string::npos) << revert[0];
    EXPECT_NE(revert[1].find("(deleted)"), std::string::npos) << revert[1];
}
