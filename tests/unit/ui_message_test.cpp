// Renderer messages: which shapes the core accepts, and that a bad one is dropped with a log
// line instead of ending the application.
#include "app/ui/ui_message.h"

#include <gtest/gtest.h>

#include "app/app.h"
#include "app/core/paths.h"
#include "test_machine.h"

namespace vexlo::ui {
namespace {

TEST(UiMessage, AcceptsTheDocumentedShapes) {
    struct Case {
        const char* text;
        const char* ev;
        int id;
        Json value;
    };
    const Case cases[] = {
        {R"({"id":7,"ev":"click","value":true})", "click", 7, true},
        {R"({"id":7,"ev":"click","value":null})", "click", 7, nullptr},
        {R"({"ev":"click","id":2147483647})", "click", 2147483647, nullptr},
        {R"({"id":3,"ev":"input","value":"ping"})", "input", 3, "ping"},
        {R"({"id":3,"ev":"input","value":""})", "input", 3, ""},
        {R"({"id":9,"ev":"mouseup","value":0})", "mouseup", 9, 0},
        {R"({"id":9,"ev":"mouseup","value":4})", "mouseup", 9, 4},
        {R"({"ev":"rendered"})", "rendered", 0, nullptr},
        {R"({"ev":"key","value":"Escape"})", "key", 0, "Escape"},
        {R"({"ev":"key","value":"Ctrl+F"})", "key", 0, "Ctrl+F"},
        {R"({"ev":"size","id":12,"value":1})", "size", 12, 1},
        {R"({"ev":"size","id":12,"value":100000})", "size", 12, 100000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string why;
        auto m = parse_ui_message(c.text, &why);
        ASSERT_TRUE(m) << why;
        EXPECT_EQ(m->ev, c.ev);
        EXPECT_EQ(m->id, c.id);
        EXPECT_EQ(m->value, c.value);
    }
}

TEST(UiMessage, RefusesEverythingElseWithAReason) {
    const std::string long_input = R"({"id":3,"ev":"input","value":")" + std::string(kMaxInputChars + 1, 'a') + "\"}";
    const char* cases[] = {
        "", "not json", "[]", "5", "null", R"("click")", "{",
        R"({"ev":5})", R"({"ev":null})", R"({"ev":["click"]})", R"({})",
        R"({"ev":"hover","id":1})", R"({"ev":"","id":1})",
        R"({"ev":"click"})", R"({"ev":"click","id":"7"})", R"({"ev":"click","id":7.0})", R"({"ev":"click","id":true})",
        R"({"ev":"click","id":0})", R"({"ev":"click","id":-1})", R"({"ev":"click","id":2147483648})",
        R"({"ev":"click","id":18446744073709551615})", R"({"ev":"click","id":1e400})",
        R"({"ev":"click","id":1,"value":1})", R"({"ev":"click","id":1,"value":"true"})", R"({"ev":"click","id":1,"value":{}})",
        R"({"ev":"input","id":1})", R"({"ev":"input","id":1,"value":5})", R"({"ev":"input","id":1,"value":["a"]})",
        R"({"ev":"mouseup","id":1,"value":true})", R"({"ev":"mouseup","id":1})", R"({"ev":"mouseup","id":1,"value":null})",
        R"({"ev":"mouseup","id":1,"value":5})", R"({"ev":"mouseup","id":1,"value":-1})", R"({"ev":"mouseup","id":1,"value":0.0})",
        R"({"ev":"mouseup","id":1,"value":"0"})", R"({"ev":"mouseup","id":1,"value":18446744073709551615})",
        R"({"ev":"key","value":5})", R"({"ev":"key"})", R"({"ev":"key","value":"F5"})", R"({"ev":"key","id":1,"value":"Escape"})",
        R"({"ev":"rendered","id":1})", R"({"ev":"rendered","value":1})",
        R"({"ev":"click","id":1,"extra":1})",
        R"({"ev":"size","value":200})", R"({"ev":"size","id":1})", R"({"ev":"size","id":1,"value":0})",
        R"({"ev":"size","id":1,"value":100001})", R"({"ev":"size","id":1,"value":-5})",
        R"({"ev":"size","id":1,"value":200.5})", R"({"ev":"size","id":1,"value":"200"})",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        std::string why;
        EXPECT_FALSE(parse_ui_message(text, &why));
        EXPECT_FALSE(why.empty());
    }
    std::string why;
    EXPECT_FALSE(parse_ui_message(long_input, &why));
    EXPECT_EQ(why, "input value too long");
    EXPECT_FALSE(parse_ui_message(std::string(100000, '['), &why));  // deep nesting is no crash either
}

TEST(DroppedMessages, LogsTheFirstFewThenOneLineForTheRest) {
    DroppedMessages drops;
    std::vector<std::string> lines;
    auto note = [&](std::optional<std::string> line) {
        if (line) lines.push_back(*line);
    };
    for (int i = 0; i < 2500; ++i) note(drops.dropped("ev is not a string"));
    ASSERT_EQ(lines.size(), size_t(DroppedMessages::kLoggedInFull) + 2);
    EXPECT_EQ(lines.front(), "Dropped a window message: ev is not a string.");
    EXPECT_EQ(lines[DroppedMessages::kLoggedInFull], "1000 more bad window messages dropped.");
    note(drops.flush());
    EXPECT_EQ(lines.back(), std::to_string(2500 - DroppedMessages::kLoggedInFull - 2000) + " more bad window messages dropped.");
    EXPECT_FALSE(drops.flush());  // nothing new to report
}

// What the hostile tester sent: each used to end the application with a crash line.
TEST(WindowMessages, MalformedOnesAreDroppedAndLoggedWithoutEndingTheApp) {
    testkit::TempMachine pc;
    App app(*pc);
    app.start_up();
    const std::string log_file = AppPaths::from(pc->files()).log_file;
    auto log = [&] { return pc->files().read(log_file).value_or(""); };
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };

    for (const char* bad : {R"({"ev":5})", R"({"ev":null})", R"({"ev":"key","value":5})",
                            R"({"ev":"click","id":1e10})", R"({"ev":"input","id":1,"value":false})"})
        EXPECT_NO_THROW(app.handle_message(bad)) << bad;
    EXPECT_NE(log().find("Dropped a window message: ev is not a string.\r\n"), std::string::npos);
    EXPECT_NE(log().find("Dropped a window message: key value is not a string.\r\n"), std::string::npos);

    for (int i = 0; i < 3001; ++i) app.handle_message(R"({"ev":5})");
    EXPECT_EQ(count(log(), "Dropped a window message"), size_t(DroppedMessages::kLoggedInFull));
    EXPECT_EQ(count(log(), "1000 more bad window messages dropped."), 3u);

    // A good message still works, and reports the drops since the last line.
    Element* nav = app.window().find("Nav_System");
    ASSERT_TRUE(nav);
    ASSERT_FALSE(app.window()("Page_System").visible());
    app.handle_message(R"({"ev":"click","id":)" + std::to_string(nav->id()) + R"(,"value":true})");
    EXPECT_TRUE(app.window()("Page_System").visible());
    EXPECT_NE(log().find("] 1 more bad window messages dropped.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vexlo::ui
