// What every back end of the platform seam must do alike, written against the interfaces of
// platform/*.h only. Each build supplies its back end through make_test_platform()
// (test_platform.h); where the two disagree, the simulated PC is the one to fix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/conformance/platform_fixture.h"

namespace {

using namespace vexlo::platform;
using vexlo::testkit::test_process_id;

class Conformance : public vexlo::testkit::PlatformTest {
protected:
    Registry& reg() { return registry(); }
    FileSystem& fs() { return files(); }
    // Object names unique to this test process, so runs never meet.
    static std::string object_name(const std::string& base) {
        return "Local\\" + base + "-" + std::to_string(test_process_id());
    }
};

std::string spelled(std::string s, int (*change)(int)) {
    for (auto& c : s) c = char(change(uint8_t(c)));
    return s;
}

std::vector<std::string> sorted_folded(std::vector<std::string> v) {
    for (auto& s : v)
        for (auto& c : s) c = char(std::tolower(uint8_t(c)));
    std::sort(v.begin(), v.end());
    return v;
}

// ---- Registry ----

RegValue raw_value(RegKind kind, std::vector<uint8_t> bytes) {
    RegValue v;
    v.kind = kind;
    v.bytes = std::move(bytes);
    return v;
}

TEST_F(Conformance, RegistryRoundTripsEveryKind) {
    struct Case {
        const char* name;
        RegValue value;
    };
    const Case cases[] = {
        {"DWordZero", RegValue::dword(0)},
        {"DWordMax", RegValue::dword(0xFFFFFFFFu)},
        {"DWordTopBit", RegValue::dword(0x80000000u)},
        {"QWordZero", RegValue::qword(0)},
        {"QWordAbove32Bits", RegValue::qword(0x1'0000'0001ull)},
        {"QWordMax", RegValue::qword(0xFFFF'FFFF'FFFF'FFFFull)},
        {"StringEmpty", RegValue::string("")},
        {"StringUtf8", RegValue::string("Caf\xC3\xA9 \xE2\x9C\x93 \xE6\x97\xA5\xE6\x9C\xAC")},
        {"ExpandStringRaw", RegValue::expand_string("%SystemRoot%\\System32\\x.exe")},
        {"MultiStringEmpty", RegValue::multi_string({})},
        {"MultiString", RegValue::multi_string({"RpcSs", "http", "\xC3\xBC"})},
        {"MultiStringEmptyInside", RegValue::multi_string({"a", "", "c"})},
        {"MultiStringOneEmpty", RegValue::multi_string({""})},
        {"BinaryEmpty", RegValue::binary({})},
        {"Binary", RegValue::binary({0x00, 0x01, 0x7F, 0x80, 0xFF})},
        {"BinaryZeros", RegValue::binary({0x00, 0x00, 0x00})},
        {"RawLinkKind", raw_value(RegKind(6), {'l', 0, 'k', 0})},
        {"RawResourceList", raw_value(RegKind(8), {0x01, 0x00, 0x00, 0x00})},
        {"", RegValue::string("the default value")},
    };
    for (const Case& c : cases) reg().set(Hive::CurrentUser, user_key_, c.name, c.value);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto got = reg().get(Hive::CurrentUser, user_key_, c.name);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->kind, c.value.kind);
        EXPECT_TRUE(*got == c.value);
    }
}

TEST_F(Conformance, RegistryMissingKeysAndValues) {
    const std::string missing = user_key_ + "\\NoSuchKey";
    EXPECT_FALSE(reg().get(Hive::CurrentUser, missing, "x").has_value());
    EXPECT_FALSE(reg().key_exists(Hive::CurrentUser, missing));
    EXPECT_TRUE(reg().subkey_names(Hive::CurrentUser, missing).empty());
    EXPECT_TRUE(reg().value_names(Hive::CurrentUser, missing).empty());
    EXPECT_FALSE(reg().remove(Hive::CurrentUser, missing, "x"));

    reg().set(Hive::CurrentUser, user_key_, "Present", RegValue::dword(1));
    EXPECT_FALSE(reg().get(Hive::CurrentUser, user_key_, "Absent").has_value());
    EXPECT_FALSE(reg().get(Hive::CurrentUser, user_key_, "").has_value());  // no default value was set
    EXPECT_FALSE(reg().remove(Hive::CurrentUser, user_key_, "Absent"));
    // The same path in the other hive is another key.
    EXPECT_FALSE(reg().get(Hive::LocalMachine, user_key_, "Present").has_value());
}

TEST_F(Conformance, RegistryNamesIgnoreCaseAndKeepIt) {
    reg().set(Hive::CurrentUser, user_key_ + "\\MixedCase", "ValueName", RegValue::dword(7));

    auto got = reg().get(Hive::CurrentUser, spelled(user_key_ + "\\MixedCase", ::toupper), "valuename");
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->number, 7u);
    EXPECT_TRUE(reg().key_exists(Hive::CurrentUser, spelled(user_key_ + "\\MixedCase", ::tolower)));
    EXPECT_EQ(reg().subkey_names(Hive::CurrentUser, user_key_), std::vector<std::string>{"MixedCase"});
    EXPECT_EQ(reg().value_names(Hive::CurrentUser, user_key_ + "\\MixedCase"), std::vector<std::string>{"ValueName"});

    // Writing under another spelling changes the one value, it does not add a second.
    reg().set(Hive::CurrentUser, user_key_ + "\\MIXEDCASE", "VALUENAME", RegValue::dword(8));
    auto names = reg().value_names(Hive::CurrentUser, user_key_ + "\\MixedCase");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(sorted_folded(names)[0], "valuename");
    EXPECT_EQ(reg().get(Hive::CurrentUser, user_key_ + "\\MixedCase", "ValueName")->number, 8u);
    EXPECT_EQ(reg().subkey_names(Hive::CurrentUser, user_key_), std::vector<std::string>{"MixedCase"});
}

TEST_F(Conformance, RegistrySetReplacesAValueOfAnotherKind) {
    reg().set(Hive::CurrentUser, user_key_, "Changing", RegValue::dword(5));
    reg().set(Hive::CurrentUser, user_key_, "Changing", RegValue::string("five"));
    EXPECT_TRUE(*reg().get(Hive::CurrentUser, user_key_, "Changing") == RegValue::string("five"));
    reg().set(Hive::CurrentUser, user_key_, "Changing", RegValue::multi_string({"a", "b"}));
    EXPECT_TRUE(*reg().get(Hive::CurrentUser, user_key_, "Changing") == RegValue::multi_string({"a", "b"}));
    EXPECT_EQ(reg().value_names(Hive::CurrentUser, user_key_).size(), 1u);
}

TEST_F(Conformance, RegistryRemoveDeletesTheValueOnly) {
    const std::string key = user_key_ + "\\Removal";
    reg().set(Hive::CurrentUser, key, "Gone", RegValue::dword(1));
    reg().set(Hive::CurrentUser, key, "Stays", RegValue::dword(2));

    EXPECT_TRUE(reg().remove(Hive::CurrentUser, key, "GONE"));
    EXPECT_FALSE(reg().get(Hive::CurrentUser, key, "Gone").has_value());
    EXPECT_TRUE(reg().get(Hive::CurrentUser, key, "Stays").has_value());
    EXPECT_FALSE(reg().remove(Hive::CurrentUser, key, "Gone"));

    EXPECT_TRUE(reg().remove(Hive::CurrentUser, key, "Stays"));
    EXPECT_TRUE(reg().key_exists(Hive::CurrentUser, key));  // an empty key stays
    EXPECT_TRUE(reg().value_names(Hive::CurrentUser, key).empty());

    reg().set(Hive::CurrentUser, key, "", RegValue::string("default"));
    EXPECT_TRUE(reg().remove(Hive::CurrentUser, key, ""));
    EXPECT_FALSE(reg().get(Hive::CurrentUser, key, "").has_value());
    EXPECT_FALSE(reg().remove(Hive::CurrentUser, key, ""));
}

TEST_F(Conformance, RegistryRemoveTreeDeletesTheKeyWithEverythingBelow) {
    const std::string key = user_key_ + "\\Tree";
    reg().set(Hive::CurrentUser, key, "", RegValue::string(""));
    reg().set(Hive::CurrentUser, key + "\\Child\\Grandchild", "Deep", RegValue::dword(1));
    reg().create_key(Hive::CurrentUser, key + "\\EmptyChild");
    reg().set(Hive::CurrentUser, user_key_ + "\\TreeSibling", "Stays", RegValue::dword(2));

    EXPECT_TRUE(reg().remove_tree(Hive::CurrentUser, spelled(key, ::toupper)));
    for (const std::string& gone : {key, key + "\\Child", key + "\\Child\\Grandchild", key + "\\EmptyChild"})
        EXPECT_FALSE(reg().key_exists(Hive::CurrentUser, gone)) << gone;
    EXPECT_FALSE(reg().get(Hive::CurrentUser, key + "\\Child\\Grandchild", "Deep").has_value());
    // The parent and a key whose name begins the same way stay.
    EXPECT_EQ(sorted_folded(reg().subkey_names(Hive::CurrentUser, user_key_)), std::vector<std::string>{"treesibling"});
    EXPECT_EQ(reg().get(Hive::CurrentUser, user_key_ + "\\TreeSibling", "Stays")->number, 2u);
    EXPECT_FALSE(reg().remove_tree(Hive::CurrentUser, key));

    // The same path can be made again at once.
    reg().set(Hive::CurrentUser, key + "\\Child", "Again", RegValue::dword(3));
    EXPECT_EQ(reg().get(Hive::CurrentUser, key + "\\Child", "Again")->number, 3u);
    EXPECT_FALSE(reg().get(Hive::CurrentUser, key, "").has_value());
}

TEST_F(Conformance, RegistryRemoveTreeRefusesTheRootAndMalformedPaths) {
    reg().set(Hive::CurrentUser, user_key_ + "\\Real", "v", RegValue::dword(1));
    EXPECT_THROW(reg().remove_tree(Hive::CurrentUser, ""), PlatformError);
    for (const std::string& bad : {"\\" + user_key_ + "\\Real", user_key_ + "\\Real\\", user_key_ + "\\\\Real"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(reg().remove_tree(Hive::CurrentUser, bad), PlatformError);
    }
    EXPECT_TRUE(reg().key_exists(Hive::CurrentUser, "Software"));
    EXPECT_EQ(reg().get(Hive::CurrentUser, user_key_ + "\\Real", "v")->number, 1u);
}

// Key paths are names joined by single backslashes: other spellings are refused on writes
// and find nothing on reads, on every back end alike.
TEST_F(Conformance, RegistryRefusesMalformedKeyPaths) {
    reg().set(Hive::CurrentUser, user_key_ + "\\Real", "v", RegValue::dword(1));
    for (const std::string& bad : {"\\" + user_key_ + "\\Real", user_key_ + "\\Real\\", user_key_ + "\\\\Real"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(reg().set(Hive::CurrentUser, bad, "v", RegValue::dword(2)), PlatformError);
        EXPECT_THROW(reg().create_key(Hive::CurrentUser, bad), PlatformError);
        EXPECT_FALSE(reg().get(Hive::CurrentUser, bad, "v").has_value());
        EXPECT_FALSE(reg().key_exists(Hive::CurrentUser, bad));
    }
    EXPECT_EQ(reg().get(Hive::CurrentUser, user_key_ + "\\Real", "v")->number, 1u);
}

TEST_F(Conformance, RegistryMakesParentKeysAndListsChildren) {
    reg().set(Hive::CurrentUser, user_key_ + "\\A\\B\\C", "Deep", RegValue::dword(1));
    EXPECT_TRUE(reg().key_exists(Hive::CurrentUser, user_key_ + "\\A"));
    EXPECT_TRUE(reg().key_exists(Hive::CurrentUser, user_key_ + "\\A\\B"));
    EXPECT_EQ(reg().subkey_names(Hive::CurrentUser, user_key_ + "\\A"), std::vector<std::string>{"B"});

    reg().create_key(Hive::CurrentUser, user_key_ + "\\A\\Empty\\Below");
    reg().create_key(Hive::CurrentUser, user_key_ + "\\A\\Empty");  // already there: nothing changes
    EXPECT_TRUE(reg().key_exists(Hive::CurrentUser, user_key_ + "\\A\\Empty\\Below"));
    EXPECT_EQ(sorted_folded(reg().subkey_names(Hive::CurrentUser, user_key_ + "\\A")),
              (std::vector<std::string>{"b", "empty"}));

    reg().set(Hive::CurrentUser, user_key_ + "\\A", "one", RegValue::dword(1));
    reg().set(Hive::CurrentUser, user_key_ + "\\A", "Two", RegValue::string("2"));
    reg().set(Hive::CurrentUser, user_key_ + "\\A", "", RegValue::string("default"));
    EXPECT_EQ(sorted_folded(reg().value_names(Hive::CurrentUser, user_key_ + "\\A")),
              (std::vector<std::string>{"", "one", "two"}));
    EXPECT_TRUE(reg().value_names(Hive::CurrentUser, user_key_ + "\\A\\B").empty());  // C's values are not B's
}

TEST_F(Conformance, ExpandEnvironment) {
    const std::string root = reg().expand_environment("%SystemRoot%");
    ASSERT_FALSE(root.empty());
    EXPECT_NE(root.front(), '%');

    struct Case {
        const char* text;
        std::string expected;
    };
    const Case cases[] = {
        {"%SYSTEMROOT%\\System32", root + "\\System32"},
        {"%systemroot%", root},
        {"%windir%;%SystemRoot%", root + ";" + root},
        {"", ""},
        {"no references", "no references"},
        {"%VEXLO_NO_SUCH_VARIABLE%\\x", "%VEXLO_NO_SUCH_VARIABLE%\\x"},
        {"100%", "100%"},
        {"%%", "%%"},
    };
    for (const Case& c : cases) EXPECT_EQ(reg().expand_environment(c.text), c.expected) << c.text;
}

// Windows goes on from the '%' that closed an unknown name, so it may open the next reference.
TEST_F(Conformance, ExpandEnvironmentUnknownNameClosingPercentOpensTheNext) {
    if (made().under_wine)
        GTEST_SKIP() << "Wine's ExpandEnvironmentStringsW keeps an unknown %name% whole with its closing '%' "
                        "and goes on after it (\"50% of %SystemRoot%\" stays as it is)";
    const std::string root = reg().expand_environment("%SystemRoot%");
    EXPECT_EQ(reg().expand_environment("50% of %SystemRoot%"), "50% of " + root);
}

TEST_F(Conformance, RegistryGetReturnsExpandStringUnexpanded) {
    reg().set(Hive::CurrentUser, user_key_, "Path", RegValue::expand_string("%USERPROFILE%\\x"));
    auto got = reg().get(Hive::CurrentUser, user_key_, "Path");
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->kind, RegKind::ExpandString);
    EXPECT_EQ(got->text, "%USERPROFILE%\\x");
}

// ---- Files ----

TEST_F(Conformance, KnownFoldersAreAbsoluteAndExist) {
    for (KnownFolder f : {KnownFolder::LocalAppData, KnownFolder::Temp, KnownFolder::ProgramData, KnownFolder::Desktop,
                          KnownFolder::UserProfile, KnownFolder::Startup, KnownFolder::CommonStartup}) {
        std::string path = fs().known_folder(f);
        SCOPED_TRACE(path);
        ASSERT_GE(path.size(), 3u);
        EXPECT_EQ(path.substr(1, 2), ":\\");
        EXPECT_NE(path.back(), '\\');
        EXPECT_TRUE(fs().is_directory(path));
    }
}

TEST_F(Conformance, FileWriteReadAppend) {
    const std::string bytes("line one\r\n\0binary\xFF", 19);
    fs().write(file("a.txt"), bytes);
    EXPECT_EQ(fs().read(file("a.txt")), bytes);
    EXPECT_TRUE(fs().exists(file("a.txt")));
    EXPECT_FALSE(fs().is_directory(file("a.txt")));

    fs().write(file("a.txt"), "short");  // truncates
    EXPECT_EQ(fs().read(file("a.txt")), "short");
    fs().write(file("empty.txt"), "");
    EXPECT_EQ(fs().read(file("empty.txt")), "");

    fs().append(file("log.txt"), "first\n");  // creates
    fs().append(file("log.txt"), "second\n");
    EXPECT_EQ(fs().read(file("log.txt")), "first\nsecond\n");

    EXPECT_FALSE(fs().read(file("missing.txt")).has_value());
    EXPECT_FALSE(fs().exists(file("missing.txt")));
    EXPECT_FALSE(fs().read(folder_).has_value());  // a folder is not a file
    EXPECT_THROW(fs().write(file("no-such-folder\\x.txt"), "x"), PlatformError);
}

TEST_F(Conformance, FileReplaceAndRemove) {
    fs().write(file("settings.json"), "old");
    fs().write(file("settings.json.new"), "new");
    fs().replace(file("settings.json.new"), file("settings.json"));
    EXPECT_EQ(fs().read(file("settings.json")), "new");
    EXPECT_FALSE(fs().exists(file("settings.json.new")));

    fs().write(file("fresh.tmp"), "x");
    fs().replace(file("fresh.tmp"), file("fresh.json"));  // onto a name that did not exist
    EXPECT_EQ(fs().read(file("fresh.json")), "x");
    EXPECT_THROW(fs().replace(file("fresh.tmp"), file("other.json")), PlatformError);

    EXPECT_TRUE(fs().remove(file("settings.json")));
    EXPECT_FALSE(fs().exists(file("settings.json")));
    EXPECT_FALSE(fs().remove(file("settings.json")));
}

TEST_F(Conformance, FileListAndDirectories) {
    fs().create_directories(file("sub\\deeper"));
    fs().create_directories(file("sub\\deeper"));  // already there
    EXPECT_TRUE(fs().is_directory(file("sub\\deeper")));
    fs().write(file("five.bin"), "12345");
    fs().write(file("sub\\inner.txt"), "x");

    auto entries = fs().list(folder_);
    std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "five.bin");
    EXPECT_FALSE(entries[0].is_directory);
    EXPECT_EQ(entries[0].size, 5u);
    EXPECT_EQ(entries[1].name, "sub");
    EXPECT_TRUE(entries[1].is_directory);

    EXPECT_TRUE(fs().list(file("missing-folder")).empty());
    EXPECT_TRUE(fs().list(file("five.bin")).empty());  // a file is not a folder to list
    EXPECT_THROW(fs().create_directories(file("five.bin\\below")), PlatformError);

    // A folder is removed only when empty.
    EXPECT_THROW(fs().remove(file("sub")), PlatformError);
    EXPECT_TRUE(fs().is_directory(file("sub\\deeper")));
    EXPECT_TRUE(fs().remove(file("sub\\deeper")));
    EXPECT_FALSE(fs().exists(file("sub\\deeper")));
    EXPECT_TRUE(fs().exists(file("sub\\inner.txt")));
}

TEST_F(Conformance, FileCopyAndReadOnly) {
    fs().write(file("source.ini"), "content\r\n");
    fs().copy(file("source.ini"), file("copy.ini"));
    EXPECT_EQ(fs().read(file("copy.ini")), "content\r\n");
    fs().write(file("other.ini"), "other");
    fs().copy(file("other.ini"), file("copy.ini"));  // replaces
    EXPECT_EQ(fs().read(file("copy.ini")), "other");
    EXPECT_EQ(fs().read(file("source.ini")), "content\r\n");
    EXPECT_THROW(fs().copy(file("missing.ini"), file("copy.ini")), PlatformError);

    EXPECT_FALSE(fs().is_read_only(file("source.ini")));
    fs().set_read_only(file("source.ini"), true);
    EXPECT_TRUE(fs().is_read_only(file("source.ini")));
    EXPECT_THROW(fs().write(file("source.ini"), "changed"), PlatformError);
    EXPECT_THROW(fs().append(file("source.ini"), "more"), PlatformError);
    EXPECT_THROW(fs().remove(file("source.ini")), PlatformError);
    EXPECT_EQ(fs().read(file("source.ini")), "content\r\n");  // still readable, unchanged

    // A copy takes the read-only attribute along, and a read-only file is not replaced.
    fs().copy(file("source.ini"), file("ro-copy.ini"));
    EXPECT_TRUE(fs().is_read_only(file("ro-copy.ini")));
    EXPECT_EQ(fs().read(file("ro-copy.ini")), "content\r\n");
    fs().write(file("incoming.ini"), "incoming");
    EXPECT_THROW(fs().replace(file("incoming.ini"), file("ro-copy.ini")), PlatformError);
    EXPECT_THROW(fs().copy(file("incoming.ini"), file("ro-copy.ini")), PlatformError);
    EXPECT_EQ(fs().read(file("ro-copy.ini")), "content\r\n");
    // But it may be moved away under a new name, keeping the attribute.
    fs().replace(file("ro-copy.ini"), file("moved.ini"));
    EXPECT_TRUE(fs().is_read_only(file("moved.ini")));
    EXPECT_FALSE(fs().exists(file("ro-copy.ini")));
    EXPECT_FALSE(fs().is_read_only(folder_));  // folders do not carry it here
    EXPECT_THROW(fs().set_read_only(folder_, true), PlatformError);

    fs().set_read_only(file("source.ini"), false);
    EXPECT_FALSE(fs().is_read_only(file("source.ini")));
    fs().write(file("source.ini"), "changed");
    EXPECT_EQ(fs().read(file("source.ini")), "changed");

    EXPECT_FALSE(fs().is_read_only(file("missing.ini")));
    EXPECT_THROW(fs().set_read_only(file("missing.ini"), true), PlatformError);
}

// A link in place of a file the core changes (planted by any unelevated program) is refused
// at either end of every change and never written, appended or copied through; read does
// not follow it either. Dangling links too: writing through one would create its target.
TEST_F(Conformance, FileChangesRefuseALink) {
    fs().write(file("target.txt"), "target");
    fs().write(file("plain.txt"), "plain");
    if (std::string why = made().make_link(file("link.txt"), file("target.txt")); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(made().make_link(file("dangling.txt"), file("nowhere.txt")).empty());
    EXPECT_TRUE(fs().is_link(file("link.txt")));
    EXPECT_TRUE(fs().is_link(file("dangling.txt")));
    EXPECT_FALSE(fs().is_link(file("target.txt")));
    EXPECT_FALSE(fs().is_link(file("missing.txt")));
    EXPECT_FALSE(fs().is_link(folder_));

    EXPECT_FALSE(fs().read(file("link.txt")).has_value());
    struct Change {
        const char* name;
        std::function<void()> run;
    };
    const Change changes[] = {
        {"write", [&] { fs().write(file("link.txt"), "through"); }},
        {"write, dangling", [&] { fs().write(file("dangling.txt"), "through"); }},
        {"append", [&] { fs().append(file("link.txt"), "through"); }},
        {"append, dangling", [&] { fs().append(file("dangling.txt"), "through"); }},
        {"copy from", [&] { fs().copy(file("link.txt"), file("copy.txt")); }},
        {"copy to", [&] { fs().copy(file("plain.txt"), file("link.txt")); }},
        {"replace from", [&] { fs().replace(file("link.txt"), file("moved.txt")); }},
        {"replace to", [&] { fs().replace(file("plain.txt"), file("link.txt")); }},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.name);
        try {
            c.run();
            ADD_FAILURE() << "not refused";
        } catch (const PlatformError& e) {
            EXPECT_NE(std::string(e.what()).find("is a link; Vexlo Tweaks does not follow links"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(fs().read(file("target.txt")), "target");
    EXPECT_EQ(fs().read(file("plain.txt")), "plain");
    EXPECT_FALSE(fs().exists(file("nowhere.txt")));
    EXPECT_FALSE(fs().exists(file("copy.txt")));
    EXPECT_FALSE(fs().exists(file("moved.txt")));
    EXPECT_TRUE(fs().is_link(file("link.txt")));

    // Removing a link removes the link alone.
    EXPECT_TRUE(fs().remove(file("link.txt")));
    EXPECT_FALSE(fs().is_link(file("link.txt")));
    EXPECT_EQ(fs().read(file("target.txt")), "target");
}

// ---- Services ----

// The service manager keeps its own copy of each start type, read from the registry when
// Windows starts. A start type set through it counts at once and lands in the Start value; a
// Start value written alone changes nothing the manager does until the next restart.
TEST_F(Conformance, ServiceStartTypeGoesThroughTheServiceManager) {
    std::string skip;
    const std::string name = made().make_service ? made().make_service(skip) : std::string();
    if (name.empty()) GTEST_SKIP() << skip;
    Services& svc = p().services();
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    auto start_value = [&]() -> int64_t {
        auto v = reg().get(Hive::LocalMachine, key, "Start");
        return v && v->kind == RegKind::DWord ? int64_t(v->number) : -1;
    };
    ASSERT_FALSE(svc.is_running(name));
    ASSERT_EQ(svc.start_type(name), 3u);
    ASSERT_EQ(start_value(), 3);

    svc.set_start_type(spelled(name, ::toupper), 4);
    EXPECT_EQ(svc.start_type(name), 4u);
    EXPECT_EQ(start_value(), 4);
    EXPECT_THROW(svc.start(name), PlatformError);
    // On demand in the registry alone: the manager still has it disabled.
    reg().set(Hive::LocalMachine, key, "Start", RegValue::dword(3));
    EXPECT_EQ(svc.start_type(name), 4u);
    EXPECT_THROW(svc.start(name), PlatformError);
    EXPECT_FALSE(svc.is_running(name));

    svc.set_start_type(name, 2);
    EXPECT_EQ(svc.start_type(name), 2u);
    EXPECT_EQ(start_value(), 2);
    svc.start(name);
    EXPECT_TRUE(svc.is_running(name));
    svc.stop(name);
    // Disabled in the registry alone: the manager still starts it.
    reg().set(Hive::LocalMachine, key, "Start", RegValue::dword(4));
    EXPECT_EQ(svc.start_type(name), 2u);
    svc.start(name);
    EXPECT_TRUE(svc.is_running(name));
    svc.stop(name);
    EXPECT_FALSE(svc.is_running(name));

    // Refusals change nothing.
    svc.set_start_type(name, 3);
    const std::string missing = "VexloNoSuchService" + std::to_string(test_process_id());
    EXPECT_FALSE(svc.start_type(missing).has_value());
    try {
        svc.set_start_type(missing, 3);
        ADD_FAILURE() << "no error for a missing service";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    }
    EXPECT_THROW(svc.set_start_type(name, 5), PlatformError);
    EXPECT_EQ(svc.start_type(name), 3u);
    EXPECT_EQ(start_value(), 3);
}

// ---- Scheduled tasks and power (a back end may leave these out, see TestPlatform) ----

TEST_F(Conformance, TaskDisableAndEnableRoundTrip) {
    if (!made().can_change_tasks) GTEST_SKIP() << made().tasks_skip_reason;
    auto all = p().tasks().list();
    auto ready = std::find_if(all.begin(), all.end(), [](auto& t) { return t.state == "Ready"; });
    ASSERT_NE(ready, all.end()) << "no task is ready";
    const ScheduledTask task = *ready;
    ASSERT_FALSE(task.folder.empty());
    EXPECT_EQ(task.folder.front(), '\\');
    EXPECT_EQ(task.folder.back(), '\\');

    auto found = p().tasks().find(spelled(task.folder, ::toupper), spelled(task.name, ::tolower));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->name, task.name);

    p().tasks().set_enabled(task.folder, task.name, false);
    EXPECT_EQ(p().tasks().find(task.folder, task.name)->state, "Disabled");
    p().tasks().set_enabled(task.folder, task.name, true);
    EXPECT_EQ(p().tasks().find(task.folder, task.name)->state, "Ready");
    EXPECT_FALSE(p().tasks().find(task.folder, task.name + "-no-such-task").has_value());
    EXPECT_THROW(p().tasks().set_enabled(task.folder, task.name + "-no-such-task", false), PlatformError);
}

TEST_F(Conformance, PowerIndexRoundTrip) {
    if (!made().can_change_power) GTEST_SKIP() << made().power_skip_reason;
    // Maximum processor state, which every plan of every PC exposes.
    const char* sub = "54533251-82be-4824-96c1-47b60b740d00";
    const char* setting = "bc5038f7-23e0-4960-96da-33abaf5935ec";
    auto plan = p().power().active_plan();
    ASSERT_TRUE(plan.has_value());
    auto listed = p().power().plans();
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [&](auto& x) { return x.guid == plan->guid; }));

    auto before = p().power().ac_index(sub, setting);
    ASSERT_TRUE(before.has_value());
    const int32_t other = *before == 100 ? 99 : 100;
    p().power().set_ac_index(sub, setting, other);
    EXPECT_EQ(p().power().ac_index(sub, setting), other);
    EXPECT_EQ(p().power().active_plan()->guid, plan->guid);
    p().power().set_ac_index(sub, setting, *before);
    EXPECT_EQ(p().power().ac_index(sub, setting), before);
}

// ---- Network adapters and System Restore ----

TEST_F(Conformance, PhysicalAdaptersListAStatusAndUnknownOnesDoNotRestart) {
    // A PC may have no adapter the seam counts as physical (Wine lists none): the list may be
    // empty, but it never throws, and what it lists is named and has a known status.
    for (const AdapterStatus& a : p().network().physical_adapters()) {
        EXPECT_FALSE(a.name.empty());
        EXPECT_TRUE(a.status == "Up" || a.status == "Disconnected" || a.status == "Disabled") << a.name << ": " << a.status;
    }
    EXPECT_THROW(p().network().restart_adapter("Vexlo no such adapter " + std::to_string(test_process_id())),
                 PlatformError);
}

TEST_F(Conformance, PhysicalAdaptersHaveAnInterfaceAndReadableDnsServers) {
    for (const AdapterStatus& a : p().network().physical_adapters()) {
        if (a.status == "Disabled") continue;  // Windows may give a disabled adapter no interface
        EXPECT_NE(a.if_index, 0u) << a.name;
        // Exactly the form the TCP/IP keys are named by, which is how a DNS record names the
        // adapter: the index changes when the adapter is restarted, the GUID does not.
        ASSERT_EQ(a.guid.size(), 38u) << a.name;
        EXPECT_EQ(a.guid.front(), '{') << a.name;
        EXPECT_EQ(a.guid.back(), '}') << a.name;
        for (size_t i = 1; i < 37; ++i)
            EXPECT_TRUE(i == 9 || i == 14 || i == 19 || i == 24 ? a.guid[i] == '-' : std::isxdigit((unsigned char)a.guid[i]))
                << a.guid;
        for (auto& server : p().network().dns_servers(a.if_index)) EXPECT_EQ(std::count(server.begin(), server.end(), '.'), 3) << server;
    }
}

TEST_F(Conformance, DnsChangesRefuseBadServersAndMissingInterfaces) {
    const uint32_t missing = 0x7ffffff0u;
    EXPECT_TRUE(p().network().dns_servers(missing).empty());
    EXPECT_THROW(p().network().set_dns_servers(missing, {"1.1.1.1"}), PlatformError);
    EXPECT_THROW(p().network().reset_dns_servers(missing), PlatformError);
    // Refused before any interface is looked at: nothing can be half-changed by a bad list.
    for (auto& a : p().network().physical_adapters()) {
        if (a.if_index == 0) continue;
        auto before = p().network().dns_servers(a.if_index);
        for (const std::vector<std::string>& bad :
             {std::vector<std::string>{}, {"1.1.1.1", "dns.example"}, {"1.1.1"}, {"256.1.1.1"}, {"::1"}})
            EXPECT_THROW(p().network().set_dns_servers(a.if_index, bad), PlatformError);
        EXPECT_EQ(p().network().dns_servers(a.if_index), before) << a.name;
    }
}

TEST_F(Conformance, QosPolicyRoundTrip) {
    const std::string name = "Vexlo conformance " + std::to_string(test_process_id());
    ASSERT_FALSE(p().network().qos_policy_exists(name));
    p().network().create_qos_policy({name, "vexlo-conformance.exe", 46});
    EXPECT_TRUE(p().network().qos_policy_exists(spelled(name, ::toupper)));
    p().network().create_qos_policy({name, "vexlo-conformance.exe", 10});  // replaces it
    EXPECT_TRUE(p().network().qos_policy_exists(name));
    EXPECT_NO_THROW(p().network().refresh_qos_policies());  // whatever Windows answers
    EXPECT_TRUE(p().network().qos_policy_exists(name)) << "a refresh keeps what was written";
    EXPECT_TRUE(p().network().remove_qos_policy(name));
    EXPECT_FALSE(p().network().qos_policy_exists(name));
    EXPECT_NO_THROW(p().network().refresh_qos_policies());
    EXPECT_FALSE(p().network().remove_qos_policy(name));
    EXPECT_THROW(p().network().create_qos_policy({"", "x.exe", 46}), PlatformError);
    EXPECT_THROW(p().network().create_qos_policy({"a\\b", "x.exe", 46}), PlatformError);
    EXPECT_THROW(p().network().create_qos_policy({name, "x.exe", 64}), PlatformError);
    EXPECT_FALSE(p().network().qos_policy_exists(name));
}

TEST_F(Conformance, MouseParametersReadBackAsSet) {
    auto before = p().input().mouse_parameters();
    ASSERT_TRUE(before.has_value());
    // The same values, without writing the profile or telling other programs: nothing changes.
    EXPECT_TRUE(p().input().set_mouse_parameters(*before, 0));
    EXPECT_EQ(p().input().mouse_parameters(), before);
}

TEST_F(Conformance, RestorePointOnTheSystemDrive) {
    if (made().under_wine) GTEST_SKIP() << "Wine has no System Restore: root\\default holds no SystemRestore class";
    std::string data = fs().known_folder(KnownFolder::ProgramData);
    ASSERT_GE(data.size(), 2u);
    const std::string root = data.substr(0, 2) + "\\";
    p().restore().enable(root);
    p().restore().enable(root);  // on already: no error
    EXPECT_NO_THROW(p().restore().create_point("Vexlo Tweaks conformance"));
}

// ---- Named objects ----

TEST_F(Conformance, NamedMutexIsExclusive) {
    auto& objects = p().named_objects();
    const std::string name = object_name("VexloConformanceMutex");
    {
        MutexResult first = objects.create_mutex(name);
        ASSERT_NE(first.handle, nullptr);
        EXPECT_TRUE(first.created_new);

        MutexResult second = objects.create_mutex(name);
        EXPECT_NE(second.handle, nullptr);
        EXPECT_FALSE(second.created_new);

        MutexResult other = objects.create_mutex(name + "-other");
        EXPECT_TRUE(other.created_new);
    }
    // Every handle closed: the mutex is gone and can be made anew.
    MutexResult again = objects.create_mutex(name);
    EXPECT_TRUE(again.created_new);
}

// The mutex lives while any handle to it is open, owning or not: when the first copy ends
// while a second start still holds its handle, a third start is not the first either.
TEST_F(Conformance, NamedMutexLivesWhileAnyHandleIsOpen) {
    auto& objects = p().named_objects();
    const std::string name = object_name("VexloConformanceMutexLife");
    MutexResult first = objects.create_mutex(name);
    ASSERT_TRUE(first.created_new);
    MutexResult second = objects.create_mutex(name);
    ASSERT_NE(second.handle, nullptr);
    ASSERT_FALSE(second.created_new);

    first.handle.reset();
    MutexResult third = objects.create_mutex(name);
    ASSERT_NE(third.handle, nullptr);
    EXPECT_FALSE(third.created_new);

    second.handle.reset();
    third.handle.reset();
    EXPECT_TRUE(objects.create_mutex(name).created_new);
}

TEST_F(Conformance, NamedEventIsAutoReset) {
    auto& objects = p().named_objects();
    const std::string name = object_name("VexloConformanceEvent");
    auto event = objects.open_event(name);
    auto other = objects.open_event(name);
    ASSERT_NE(event, nullptr);
    ASSERT_NE(other, nullptr);

    EXPECT_FALSE(event->poll());  // not signalled when made
    event->signal();
    EXPECT_TRUE(event->poll());
    EXPECT_FALSE(event->poll());  // the poll consumed it

    event->signal();
    event->signal();  // signals do not add up
    EXPECT_TRUE(other->poll());
    EXPECT_FALSE(event->poll());
    EXPECT_FALSE(other->poll());

    auto unrelated = objects.open_event(name + "-other");
    event->signal();
    EXPECT_FALSE(unrelated->poll());
    EXPECT_TRUE(event->poll());
}

// ---- Facts, processes, clock ----

TEST_F(Conformance, FactsProcessesAndClockAreSane) {
    auto& sys = p().system();
    EXPECT_GT(sys.windows_build(), 10000u);
    EXPECT_GT(sys.total_memory_bytes(), 1ull << 30);
    EXPECT_GT(sys.refresh_hz(), 0);
    EXPECT_FALSE(sys.cpu_names().empty());
    EXPECT_EQ(sys.os_caption().rfind("Microsoft Windows", 0), 0u);

    auto list = p().processes().list();
    ASSERT_FALSE(list.empty());
    ASSERT_FALSE(made().running_image.empty());
    EXPECT_TRUE(std::any_of(list.begin(), list.end(), [&](auto& pi) { return pi.image == made().running_image; }))
        << made().running_image << " is not listed";

    auto& clock = p().clock();
    int64_t a = clock.steady_ms();
    int64_t b = clock.steady_ms();
    EXPECT_LE(a, b);
    LocalTime now = clock.local_now();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
}

// Secrets come from here: every byte asked for is filled, and two draws differ.
TEST_F(Conformance, RandomFillsEveryByteAndNeverRepeats) {
    auto& random = p().random();
    std::vector<uint8_t> a(100'000, 0), b(32, 0), c(32, 0);
    random.fill(a.data(), a.size());
    // A short fill would leave the tail as it was: 64 zero bytes by chance are 2^-512 likely.
    EXPECT_TRUE(std::any_of(a.end() - 64, a.end(), [](uint8_t x) { return x != 0; }));
    random.fill(b.data(), b.size());
    random.fill(c.data(), c.size());
    EXPECT_NE(b, c);
    random.fill(c.data(), 0);  // nothing asked, nothing changed
}

}  // namespace
