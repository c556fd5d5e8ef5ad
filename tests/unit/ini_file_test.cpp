// The game-settings file: encodings, the line grammar, where keys go, and writing that never
// leaves a half-written file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "app/core/ini_file.h"
#include "test_machine.h"

using namespace vexlo;
using platform::PlatformError;
using namespace std::string_literals;

namespace {

constexpr const char* kDir = "C:\\Users\\Player\\AppData\\Local\\FortniteGame\\Saved\\Config\\WindowsClient";
constexpr const char* kPath =
    "C:\\Users\\Player\\AppData\\Local\\FortniteGame\\Saved\\Config\\WindowsClient\\GameUserSettings.ini";
constexpr const char* kCopy = "C:\\Users\\Player\\AppData\\Local\\Vexlo\\Originals\\Fortnite\\GameUserSettings.ini";
constexpr const char* kGame = "/Script/FortniteGame.FortGameUserSettings";

std::string utf16le_with_mark(std::u16string_view s) {
    std::string out = "\xFF\xFE";
    for (char16_t c : s) {
        out += char(c & 0xFF);
        out += char(c >> 8);
    }
    return out;
}

struct IniFixture : ::testing::Test {
    testkit::TempMachine pc;
    IniFile ini{pc->files(), kPath, kCopy};

    // The machine's image may come with the game installed; each test brings its own file.
    void SetUp() override { pc->files().remove(kPath); }

    void put(const std::string& bytes) {
        pc->files().create_directories(kDir);
        pc->files().write(kPath, bytes);
    }
    std::string bytes() { return pc->files().read(kPath).value_or("<missing>"); }
    // Anything next to the settings file, under any name, on the host too (where the simulated
    // PC keeps its own temporary files hidden).
    bool tmp_left_behind() {
        for (auto& entry : std::filesystem::directory_iterator(pc->host_path(kDir)))
            if (entry.path().filename() != "GameUserSettings.ini") return true;
        return false;
    }
};

}  // namespace

// The same settings in each encoding the game may use; one edit changes that one line and
// keeps the encoding, its mark and every other byte.
#define GUS_TEXT(frame_rate)                                              \
    "[/Script/FortniteGame.FortGameUserSettings]\r\n"                     \
    "FrameRateLimit=" frame_rate "\r\n"                                   \
    "LastUser=Jos\u00e9 \U0001F3AE\r\n"                                   \
    "\r\n"                                                                \
    "[ScalabilityGroups]\r\n"                                             \
    "sg.ResolutionQuality=100.000000\r\n"

TEST_F(IniFixture, EditKeepsEncodingAndEveryOtherByte) {
    struct Case {
        const char* name;
        IniEncoding enc;
        std::string before, after;
    };
    const Case cases[] = {
        {"utf16le", IniEncoding::Utf16LeBom, utf16le_with_mark(u"" GUS_TEXT("60.000000")),
         utf16le_with_mark(u"" GUS_TEXT("144"))},
        {"utf8 with mark", IniEncoding::Utf8Bom, "\xEF\xBB\xBF" GUS_TEXT("60.000000"), "\xEF\xBB\xBF" GUS_TEXT("144")},
        {"utf8", IniEncoding::Utf8, GUS_TEXT("60.000000"), GUS_TEXT("144")},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        put(c.before);
        EXPECT_EQ(ini.read().enc, c.enc);
        EXPECT_EQ(ini.get(kGame, "LastUser"), "Jos\u00e9 \U0001F3AE");
        EXPECT_EQ(ini.get(kGame, "FrameRateLimit"), "60.000000");
        ini.set(kGame, "FrameRateLimit", "144");
        EXPECT_EQ(bytes(), c.after);
        EXPECT_EQ(ini.get(kGame, "FrameRateLimit"), "144");
    }
}

// One call each on a small file, compared byte for byte: which line changes, where a new one
// goes, what counts as a key, and that line ends come back as CR LF.
TEST_F(IniFixture, SetChangesExactlyTheLinesItMust) {
    struct Case {
        const char* name;
        std::string before;
        const char* section;
        const char* key;
        std::optional<std::string_view> value;
        std::string after;
    };
    const Case cases[] = {
        {"LF line ends come back as CR LF", "[A]\nK=1\r\nJ=2\n", "A", "K", "3", "[A]\r\nK=3\r\nJ=2\r\n"},
        {"blanks around = and a comment that looks like the key",
         ";K=0\r\n[A]\r\n; K=1\r\n\t K  =  old  \r\nfree text\r\n", "a", "k", "new",
         ";K=0\r\n[A]\r\n; K=1\r\nk=new\r\nfree text\r\n"},
        {"a commented key is not the key: added after the comment", "[A]\r\n;K=1\r\n", "A", "K", "2",
         "[A]\r\n;K=1\r\nK=2\r\n"},
        {"header with blanks around it", "  [A]\t\r\nK=1\r\n", "A", "K", "2", "  [A]\t\r\nK=2\r\n"},
        {"a key before any header is in no section", "K=1\r\n[A]\r\n", "A", "K", "2", "K=1\r\n[A]\r\nK=2\r\n"},
        {"new key after the last key, before the blank lines",
         "[A]\r\nK1=1\r\n\r\n\r\n[B]\r\nK2=2\r\n", "A", "New", "x",
         "[A]\r\nK1=1\r\nNew=x\r\n\r\n\r\n[B]\r\nK2=2\r\n"},
        {"new key in an empty last section keeps the final line end", "[A]\r\n", "A", "K", "1", "[A]\r\nK=1\r\n"},
        {"new key in an empty section followed by another", "[A]\r\n\r\n[B]\r\n", "A", "K", "1",
         "[A]\r\nK=1\r\n\r\n[B]\r\n"},
        {"missing section is appended with an empty line", "[A]\r\nK=1\r\n", "B", "K2", "v",
         "[A]\r\nK=1\r\n\r\n[B]\r\nK2=v\r\n"},
        {"missing section after a file without a final line end", "[A]\r\nK=1", "B", "K2", "v",
         "[A]\r\nK=1\r\n[B]\r\nK2=v\r\n"},
        {"repeated key in the section: the first one, which get reads, is set",
         "[A]\r\nX=1\r\nY=0\r\nx = 2\r\n", "A", "X", "5", "[A]\r\nX=5\r\nY=0\r\nx = 2\r\n"},
        {"repeated key in the section: the first one is deleted", "[A]\r\nX=1\r\nY=0\r\nx = 2\r\n", "A", "X",
         std::nullopt, "[A]\r\nY=0\r\nx = 2\r\n"},
        {"delete", "[A]\r\nK=1\r\nJ=2\r\n", "A", "K", std::nullopt, "[A]\r\nJ=2\r\n"},
        {"deleting a missing key still rewrites the file", "[A]\nK=1\n", "A", "Missing", std::nullopt,
         "[A]\r\nK=1\r\n"},
        {"deleting in a missing section", "[A]\r\nK=1\r\n", "B", "K", std::nullopt, "[A]\r\nK=1\r\n"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        put(c.before);
        ini.set(c.section, c.key, c.value);
        EXPECT_EQ(bytes(), c.after);
    }
}

// A section that occurs twice: get searches both in file order, set only ever touches the
// first one.
TEST_F(IniFixture, DuplicateSection) {
    const std::string before = "[A]\r\nX=1\r\n\r\n[B]\r\nY=2\r\n[A]\r\nZ=3\r\nX=9\r\n";
    put(before);
    EXPECT_EQ(ini.get("A", "X"), "1");
    EXPECT_EQ(ini.get("A", "Z"), "3");
    EXPECT_EQ(ini.get("B", "Z"), std::nullopt);

    ini.set("A", "X", "5");
    EXPECT_EQ(bytes(), "[A]\r\nX=5\r\n\r\n[B]\r\nY=2\r\n[A]\r\nZ=3\r\nX=9\r\n");
    ini.set("A", "Z", "7");
    EXPECT_EQ(bytes(), "[A]\r\nX=5\r\nZ=7\r\n\r\n[B]\r\nY=2\r\n[A]\r\nZ=3\r\nX=9\r\n");
    EXPECT_EQ(ini.get("A", "Z"), "7");
    ini.set("A", "Z", std::nullopt);
    EXPECT_EQ(ini.get("A", "Z"), "3");  // the second section's again
}

// The game's own file repeats a key line, seven times for the sound mix: what get reads is
// what set changes, and the other six lines stay as they are.
TEST_F(IniFixture, RepeatedKeyReadsAndWritesTheSameLine) {
    std::string before = "[/Script/FortniteGame.FortGameUserSettings]\r\n";
    for (int i = 0; i < 7; ++i) before += "UserMixCurrentValues=" + std::to_string(i) + ".000000\r\n";
    before += "bUseVSync=False\r\n";
    put(before);
    EXPECT_EQ(ini.get(kGame, "UserMixCurrentValues"), "0.000000");

    ini.set(kGame, "UserMixCurrentValues", "0.5");
    EXPECT_EQ(ini.get(kGame, "UserMixCurrentValues"), "0.5");
    std::string after = before;
    after.replace(after.find("0.000000"), 8, "0.5");
    EXPECT_EQ(bytes(), after);
    EXPECT_TRUE(ini_equal(ini.get(kGame, "UserMixCurrentValues"), "0.5"));  // what a tweak's state reads
}

TEST(IniGrammar, Get) {
    const IniText text = decode_ini(
        "Top=0\r\n"
        "[Video]\r\n"
        "  Width =  1920 \t\r\n"
        ";Height=1\r\n"
        "=nokey\r\n"
        "Empty=\r\n"
        "Url=http://x/?a=b\r\n"
        "[Video] trailing\r\n"
        "Height=1080\r\n"
        "[AUDIO]\r\n"
        "Volume=0.5\r\n");
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> want;
    };
    const Case cases[] = {
        {"Video", "width", "1920"},         {"Video", "Empty", ""},
        {"Video", "Url", "http://x/?a=b"},  {"Video", "Height", "1080"},  // "[Video] trailing" is no header
        {"Video", ";Height", std::nullopt}, {"Video", "Top", std::nullopt},
        {"audio", "VOLUME", "0.5"},         {"Video", "Volume", std::nullopt},
        {"Missing", "Width", std::nullopt},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(ini_get(text, c.section, c.key), c.want);
    }
}

// Names and values that could not be read back as the key they are meant to be.
TEST(IniGrammar, SetRefusesWhatCannotBeWrittenAsAKeyLine) {
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string_view> value;
    };
    const Case cases[] = {
        {"", "K", "1"},     {"A\r\nB", "K", "1"}, {"A", "", "1"},       {"A", "a=b", "1"},    {"A", ";K", "1"},
        {"A", " K", "1"},   {"A", "K ", "1"},     {"A", "K", "1\n[B]"}, {"A", "[K", "]"},     {"A", "K\n", std::nullopt},
        {"A", "K", "\xFF"}, {"A", "K\xC3", "1"},  {"\xFF", "K", "1"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        IniText text = decode_ini("[A]\r\nK=0\r\n");
        const auto before = text.lines;
        EXPECT_THROW(ini_set(text, c.section, c.key, c.value), std::invalid_argument);
        EXPECT_EQ(text.lines, before);
    }
}

// Damaged or unusual bytes decode without failing and split into lines as written.
TEST(IniEncodingTest, Decode) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        const char* name;
        std::string bytes;
        IniEncoding enc;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"empty", "", IniEncoding::Utf8, {""}},
        {"part of a UTF-8 mark", "\xEF\xBB", IniEncoding::Utf8, {"\xEF\xBB"}},
        {"one byte of a UTF-16 mark", "\xFF", IniEncoding::Utf8, {"\xFF"}},
        {"big-endian mark is not ours", "\xFE\xFF\x00\x41"s, IniEncoding::Utf8, {"\xFE\xFF\x00\x41"s}},
        {"UTF-16 mark only", "\xFF\xFE", IniEncoding::Utf16LeBom, {""}},
        {"UTF-16 LF and CR LF", utf16le_with_mark(u"a\nb\r\nc\n"), IniEncoding::Utf16LeBom, {"a", "b", "c", ""}},
        {"UTF-16 odd length", "\xFF\xFE\x41\x00\x42"s, IniEncoding::Utf16LeBom, {"A" + fffd}},
        {"UTF-16 lone high surrogate", "\xFF\xFE\x00\xD8\x41\x00"s, IniEncoding::Utf16LeBom, {fffd + "A"}},
        {"UTF-16 lone low surrogate", "\xFF\xFE\x00\xDC"s, IniEncoding::Utf16LeBom, {fffd}},
        {"UTF-16 high surrogate at the end", "\xFF\xFE\x3D\xD8", IniEncoding::Utf16LeBom, {fffd}},
        {"a second mark is content", "\xEF\xBB\xBF\xEF\xBB\xBFx", IniEncoding::Utf8Bom, {"\xEF\xBB\xBFx"}},
        {"lone CR is not a line end", "a\r\r\nb\rc", IniEncoding::Utf8, {"a\r", "b\rc"}},
        {"invalid UTF-8 is kept", "\xC3(\n\xFF", IniEncoding::Utf8, {"\xC3(", "\xFF"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        IniText t = decode_ini(c.bytes);
        EXPECT_EQ(t.enc, c.enc);
        EXPECT_EQ(t.lines, c.lines);
    }
}

TEST(IniEncodingTest, EncodeToUtf16ReplacesWhatIsNotUtf8) {
    // U+1F3AE as a surrogate pair; a stray byte, an overlong '/' and an encoded surrogate each
    // become U+FFFD, one per byte.
    IniText t{{"\xF0\x9F\x8E\xAE", "\xFF", "\xC0\xAF", "\xED\xA0\x80"}, IniEncoding::Utf16LeBom};
    EXPECT_EQ(encode_ini(t), utf16le_with_mark(u"\U0001F3AE\r\n\uFFFD\r\n\uFFFD\uFFFD\r\n\uFFFD\uFFFD\uFFFD"));
}

TEST(IniEqual, Cases) {
    struct Case {
        std::optional<std::string> current;
        const char* wanted;
        bool equal;
    };
    const Case cases[] = {
        {"144.000000", "144", true}, {"60.0004", "60", true},   {"60.002", "60", false},
        {"-1.5", "-1.500000", true}, {"1.5", "-1.5", false},    {"True", "true", true},
        {"False", "true", false},    {std::nullopt, "", false}, {std::nullopt, "144", false},
        {"", "", true},              {"60fps", "60", false},    {"1,5", "1.5", false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.current.value_or("<none>") + " vs " + c.wanted);
        EXPECT_EQ(ini_equal(c.current, c.wanted), c.equal);
    }
}

TEST_F(IniFixture, ReadOnlyFileIsEditedAndStaysReadOnly) {
    put("[A]\r\nK=1\r\n");
    pc->files().set_read_only(kPath, true);
    ini.set("A", "K", "2");
    EXPECT_EQ(bytes(), "[A]\r\nK=2\r\n");
    EXPECT_TRUE(pc->files().is_read_only(kPath));
    EXPECT_FALSE(tmp_left_behind());
}

// Writing the temporary file fails, or putting it in place fails, or the disk is full: the
// settings stay whole and nothing is left next to them.
TEST_F(IniFixture, FailedWriteLeavesTheOldFileWhole) {
    const std::string before = "[A]\r\nK=1\r\n";
    struct Case {
        const char* name;
        int fail_nth;
        bool disk_full;
    };
    const Case cases[] = {{"temporary file", 1, false}, {"replace", 2, false}, {"disk full", 0, true}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        pc->faults().clear();
        put(before);
        pc->faults().fail_file_write(c.fail_nth);
        pc->faults().set_disk_full(c.disk_full);
        EXPECT_THROW(ini.set("A", "K", "2"), PlatformError);
        EXPECT_EQ(bytes(), before);
        EXPECT_FALSE(tmp_left_behind());
    }
    // And once the fault is gone the same edit goes through.
    pc->faults().clear();
    ini.set("A", "K", "2");
    EXPECT_EQ(bytes(), "[A]\r\nK=2\r\n");
}

TEST_F(IniFixture, MissingOrLockedFile) {
    EXPECT_FALSE(ini.exists());
    EXPECT_EQ(ini.get("A", "K"), std::nullopt);
    EXPECT_THROW(ini.read(), PlatformError);
    EXPECT_THROW(ini.set("A", "K", "1"), PlatformError);
    EXPECT_FALSE(pc->files().exists(kPath));  // set does not create it

    put("[A]\r\nK=1\r\n");
    EXPECT_TRUE(ini.exists());
    pc->faults().lock_file(kPath);
    EXPECT_EQ(ini.get("A", "K"), std::nullopt);
    EXPECT_THROW(ini.set("A", "K", "2"), PlatformError);
    pc->faults().unlock_file(kPath);
    EXPECT_EQ(bytes(), "[A]\r\nK=1\r\n");
}

// A link in place of the settings file (planted by any program of the player's) is neither
// copied out, nor read, nor written through; its target stays as it was.
TEST_F(IniFixture, LinkInPlaceOfTheFileIsRefused) {
    const std::string secret = "C:\\Windows\\System32\\config\\SAM";
    pc->files().create_directories("C:\\Windows\\System32\\config");
    pc->files().write(secret, "[A]\r\nK=secret\r\n");
    pc->files().create_directories(kDir);
    std::filesystem::create_symlink(pc->host_path(secret), pc->host_path(kPath));
    auto expect_refused = [&](auto action) {
        try {
            action();
            ADD_FAILURE() << "not refused";
        } catch (const PlatformError& e) {
            EXPECT_NE(std::string(e.what()).find("is a link; Vexlo Tweaks does not follow links"), std::string::npos)
                << e.what();
        }
    };
    expect_refused([&] { ini.backup_once(); });
    expect_refused([&] { ini.set("A", "K", "changed"); });
    expect_refused([&] { ini.read(); });
    EXPECT_EQ(ini.get("A", "K"), std::nullopt);
    EXPECT_FALSE(pc->files().exists(kCopy));
    EXPECT_EQ(pc->files().read(secret), "[A]\r\nK=secret\r\n");
    EXPECT_TRUE(pc->files().is_link(kPath));
}

TEST_F(IniFixture, BackupOnceCopiesTheFirstFileItSeesAndNeverRefreshes) {
    ini.backup_once();  // no settings file yet: nothing to keep
    EXPECT_FALSE(pc->files().exists(kCopy));

    const std::string original = utf16le_with_mark(u"[A]\r\nK=1\r\n");
    put(original);
    ini.backup_once();
    EXPECT_EQ(pc->files().read(kCopy), original);

    ini.set("A", "K", "2");
    ini.backup_once();
    EXPECT_EQ(pc->files().read(kCopy), original);
}
