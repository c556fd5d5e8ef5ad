// The boot entry: bcdedit's listing read into settings, and the refusals that come before
// bcdedit is ever run.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "platform/win32/boot_text.h"
#include "platform/win32/parts.h"
#include "platform/win32/tool_process.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::PlatformError;

// What `bcdedit /enum {current}` prints in English, with a second entry after it (as
// `bcdedit /enum` alone would show) that must not leak into the first.
constexpr const char* kListing =
    "\r\n"
    "Windows Boot Loader\r\n"
    "-------------------\r\n"
    "identifier              {current}\r\n"
    "device                  partition=C:\r\n"
    "path                    \\WINDOWS\\system32\\winload.efi\r\n"
    "description             Windows 10 Pro\r\n"
    "locale                  en-US\r\n"
    "inherit                 {bootloadersettings}\r\n"
    "                        {hypervisorsettings}\r\n"
    "recoveryenabled         Yes\r\n"
    "allowedinmemorysettings 0x15000075\r\n"
    "nx                      OptIn\r\n"
    "DisableDynamicTick      Yes\r\n"
    "custom:250000c2         0x1\r\n"
    "emptyelement\r\n"
    "\r\n"
    "Windows Boot Loader\r\n"
    "-------------------\r\n"
    "identifier              {a5b2c3d4-1111-2222-3333-444455556666}\r\n"
    "description             Other Windows\r\n";

TEST(BootWin, ParsesTheFirstEntryOfTheListing) {
    auto entry = parse_bcdedit_entry(kListing);
    const std::map<std::string, std::string> expected = {
        {"identifier", "{current}"},
        {"device", "partition=C:"},
        {"path", "\\WINDOWS\\system32\\winload.efi"},
        {"description", "Windows 10 Pro"},
        {"locale", "en-US"},
        {"inherit", "{bootloadersettings} {hypervisorsettings}"},
        {"recoveryenabled", "Yes"},
        {"allowedinmemorysettings", "0x15000075"},
        {"nx", "OptIn"},
        {"disabledynamictick", "Yes"},
        {"custom:250000c2", "0x1"},
        {"emptyelement", ""},
    };
    EXPECT_EQ(entry, expected);
}

TEST(BootWin, ListingWithoutAnEntryGivesNothing) {
    EXPECT_TRUE(parse_bcdedit_entry("").empty());
    EXPECT_TRUE(parse_bcdedit_entry("The boot configuration data store could not be opened.\r\nAccess is denied.\r\n").empty());
    // Unix line ends and a lone entry without anything after it.
    auto entry = parse_bcdedit_entry("Windows Boot Loader\n---\nidentifier {current}\nnx OptOut");
    EXPECT_EQ(entry, (std::map<std::string, std::string>{{"identifier", "{current}"}, {"nx", "OptOut"}}));
}

TEST(BootWin, RefusesNamesAndValuesThatAreNotOneArgument) {
    auto boot = make_boot_config();
    for (auto [name, value] : {std::pair{"bad name", "yes"}, std::pair{"", "yes"}, std::pair{"nx", ""},
                               std::pair{"nx", "Opt\"In"}, std::pair{"identifier", "{x}"}, std::pair{"IDENTIFIER", "{x}"}}) {
        try {
            boot->set_value(name, value);
            ADD_FAILURE() << "accepted " << name << " = " << value;
        } catch (const PlatformError& e) {
            EXPECT_NE(std::string(e.what()).find("The parameter is incorrect"), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(boot->delete_value("identifier"), PlatformError);
    EXPECT_THROW(boot->delete_value("two words"), PlatformError);
}

TEST(BootWin, WithoutBcdeditNothingIsReadAndChangesAreRefused) {
    if (GetFileAttributesW(system_tool(L"bcdedit.exe").c_str()) != INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "bcdedit is present: this PC's boot entry is not changed by tests";
    auto boot = make_boot_config();
    EXPECT_TRUE(boot->current_entry().empty());
    try {
        boot->set_value("disabledynamictick", "yes");
        ADD_FAILURE() << "a change without bcdedit passed";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("bcdedit.exe"), std::string::npos) << e.what();
    }
    EXPECT_THROW(boot->delete_value("disabledynamictick"), PlatformError);
}

TEST(BootWin, ReadsTheCurrentEntryWhereBcdeditRuns) {
    if (GetFileAttributesW(system_tool(L"bcdedit.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "bcdedit is not on this system (Wine has none)";
    auto entry = make_boot_config()->current_entry();
    if (entry.empty()) GTEST_SKIP() << "bcdedit refused to list the entry (it needs an elevated run)";
    EXPECT_EQ(entry.count("identifier"), 1u);
    EXPECT_EQ(entry["identifier"], "{current}");
}

}  // namespace
