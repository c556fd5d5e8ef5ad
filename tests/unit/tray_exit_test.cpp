// Closing the window, the tray icon and the way out: with the game booster on (and the tray
// allowed) a closed window goes on in the notification area; otherwise the application exits,
// and exiting undoes what the booster holds and leaves no icon behind.
#include <gtest/gtest.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/app.h"
#include "app/core/booster_options.h"
#include "app/ui/live_stats.h"
#include "test_machine.h"

using namespace vexlo;
using namespace std::chrono_literals;
using Json = nlohmann::json;

namespace {

constexpr const char* kHint = "Game Booster is still running here. Right-click for options.";

void set_booster(sim::SimMachine& pc, uint32_t on, std::optional<uint32_t> tray = std::nullopt) {
    Reg reg(pc.registry());
    booster_options::set(reg, "On", on);
    if (tray) booster_options::set(reg, "Tray", *tray);
}

int balloons_saying(sim::SimMachine& pc, const std::string& text) {
    int n = 0;
    for (auto& b : pc.tray_state().balloons) n += b.text == text;
    return n;
}

// The application after start-up on a frozen clock, driven by hand: its loop runs only when
// the test pumps it.
struct TrayApp : ::testing::Test {
    testkit::TempMachine pc;
    std::unique_ptr<App> app;
    std::vector<std::string> patches;  // every batch the renderers got

    void start(std::vector<std::string> args = {}) {
        pc->freeze_clock();
        StartOptions o;
        o.args = std::move(args);
        o.on_patches = [this](const std::string& p) { patches.push_back(p); };
        app = std::make_unique<App>(*pc, o);
        app->start_up();
        app->start_running();
        pump();
    }
    void pump() { app->window().update_ui(); }
    void advance(std::chrono::milliseconds by) {
        pc->advance_clock(by);
        pump();
    }
    void click(const char* name) {
        app->window()(name).fire("click");
        pump();
    }
    bool visible() { return app->window().window_visible(); }
    // "close" operations sent to the renderers, with their note ("" for none).
    std::vector<std::string> closes() {
        std::vector<std::string> out;
        for (auto& batch : patches)
            for (auto& op : Json::parse(batch))
                if (op.value("op", "") == "close") out.push_back(op.value("note", ""));
        return out;
    }
};

}  // namespace

TEST_F(TrayApp, WithTheBoosterOffOrTheTrayRefusedClosingTheWindowExits) {
    struct Case {
        const char* name;
        std::optional<uint32_t> on, tray;
    };
    const Case cases[] = {{"booster never set", std::nullopt, std::nullopt},
                          {"booster off", 0, 1},
                          {"booster on, Tray 0", 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        patches.clear();
        if (c.on) set_booster(*pc, *c.on, c.tray);
        start();
        EXPECT_FALSE(app->exiting());
        click("BtnClose");
        EXPECT_TRUE(app->exiting());
        EXPECT_EQ(closes(), std::vector<std::string>{""}) << "the page is told the application has ended";
        EXPECT_FALSE(pc->tray_state().shown);
        EXPECT_TRUE(pc->tray_state().balloons.empty());
        EXPECT_FALSE(app->live_stats()->running());
        EXPECT_FALSE(app->boost_timer_running());
        app.reset();
    }
}

TEST_F(TrayApp, WithTheBoosterOnClosingHidesToTheTrayAndHintsOnce) {
    set_booster(*pc, 1);  // Tray unset: allowed
    start();
    EXPECT_FALSE(pc->tray_state().shown) << "no icon while the window is on screen";

    click("BtnClose");
    EXPECT_FALSE(app->exiting());
    EXPECT_FALSE(visible());
    auto tray = pc->tray_state();
    EXPECT_TRUE(tray.shown);
    EXPECT_EQ(tray.tooltip, "Vexlo Tweaks");
    EXPECT_EQ(tray.menu, (std::vector<std::string>{"Open Vexlo Tweaks", "Clean memory now", "", "Exit"}));
    ASSERT_EQ(tray.balloons.size(), 1u);
    EXPECT_EQ(tray.balloons[0].title, "Vexlo Tweaks");
    EXPECT_EQ(tray.balloons[0].text, kHint);
    EXPECT_EQ(tray.balloons[0].timeout_ms, 3000u);
    ASSERT_EQ(closes().size(), 1u);
    EXPECT_NE(closes()[0], "") << "the page says the product goes on";
    EXPECT_TRUE(app->live_stats()->running()) << "the ping keeps measuring in the tray";
    EXPECT_TRUE(app->boost_timer_running());

    // A toast while hidden is the icon's balloon.
    app->window().show_toast("Standby memory cleaned.");
    tray = pc->tray_state();
    ASSERT_EQ(tray.balloons.size(), 2u);
    EXPECT_EQ(tray.balloons[1].title, "Vexlo Tweaks");
    EXPECT_EQ(tray.balloons[1].text, "Standby memory cleaned.");

    // Open from the menu, close again: no second hint. Then a double click opens it too.
    pc->tray_choose("Open Vexlo Tweaks");
    pump();
    EXPECT_TRUE(visible());
    click("BtnClose");
    EXPECT_FALSE(visible());
    EXPECT_EQ(balloons_saying(*pc, kHint), 1);
    pc->tray_double_click();
    pump();
    EXPECT_TRUE(visible());

    // Booster switched off meanwhile: the next close exits and takes the icon away.
    set_booster(*pc, 0);
    click("BtnClose");
    EXPECT_TRUE(app->exiting());
    EXPECT_FALSE(pc->tray_state().shown);
    EXPECT_EQ(balloons_saying(*pc, kHint), 1);
}

TEST_F(TrayApp, ExitFromTheTrayMenuEndsTheRunWithTheBoosterOnAndUndoesItsChanges) {
    auto priorities = [&] {
        std::map<uint32_t, platform::PriorityClass> out;
        for (auto& p : pc->process_list())
            if (p.image != "FortniteClient-Win64-Shipping.exe") out[p.pid] = p.priority;
        return out;
    };
    auto timer_held = [&] {
        for (auto& r : pc->timer_requests())
            if (r.alive) return true;
        return false;
    };
    const auto before = priorities();
    set_booster(*pc, 1);
    start();
    pc->start_process("FortniteClient-Win64-Shipping.exe");
    advance(1s);
    ASSERT_TRUE(timer_held());
    ASSERT_NE(priorities(), before) << "the game's start lowered nothing";

    click("BtnClose");
    ASSERT_TRUE(pc->tray_state().shown);
    // "Clean memory now" purges at once; its toast is a balloon while the window is away.
    const int purges = pc->memory_state().purges;
    pc->tray_choose("Clean memory now");
    pump();
    EXPECT_EQ(pc->memory_state().purges, purges + 1);
    EXPECT_EQ(balloons_saying(*pc, "Standby memory cleaned."), 1);

    pc->tray_choose("Exit");
    pump();
    EXPECT_TRUE(app->exiting());
    EXPECT_FALSE(timer_held());
    EXPECT_EQ(priorities(), before);
    EXPECT_FALSE(pc->tray_state().shown);
    EXPECT_FALSE(app->live_stats()->running());
    EXPECT_FALSE(app->boost_timer_running());
    // Nothing brings it back once it is on its way out.
    app->show_window();
    EXPECT_FALSE(visible());
}

// The browser window closed: its page went away and did not come back. A reload comes back.
TEST_F(TrayApp, APageGoneForThreeSecondsIsAClosedWindowAReloadIsNot) {
    start();
    app->renderers_changed(1);
    // Reload: the page's socket goes and a new one comes within the grace time.
    app->renderers_changed(0);
    advance(2999ms);
    app->renderers_changed(1);
    advance(10s);
    EXPECT_FALSE(app->exiting());
    EXPECT_TRUE(visible());
    // Two pages, one closed: the window is still there.
    app->renderers_changed(2);
    app->renderers_changed(1);
    advance(10s);
    EXPECT_FALSE(app->exiting());

    app->renderers_changed(0);
    advance(2999ms);
    EXPECT_FALSE(app->exiting());
    advance(1ms);
    EXPECT_TRUE(app->exiting());
}

TEST_F(TrayApp, APageGoneWithTheBoosterOnGoesToTheTrayOnce) {
    set_booster(*pc, 1, 1);
    start();
    app->renderers_changed(1);
    app->renderers_changed(0);
    advance(3s);
    EXPECT_FALSE(app->exiting());
    EXPECT_FALSE(visible());
    EXPECT_TRUE(pc->tray_state().shown);
    EXPECT_EQ(balloons_saying(*pc, kHint), 1);
    // The page it told to close goes too: nothing more happens.
    advance(10s);
    EXPECT_EQ(balloons_saying(*pc, kHint), 1);
    EXPECT_FALSE(app->exiting());
    // That page reloaded by hand comes back: the window is on screen again, and its going is
    // a close again.
    app->renderers_changed(1);
    EXPECT_TRUE(visible());
    app->renderers_changed(0);
    advance(3s);
    EXPECT_FALSE(visible());
}

TEST_F(TrayApp, ATrayStartShowsTheIconAndNoWindowAndMeasuresNothing) {
    start({"--TRAY"});
    EXPECT_FALSE(visible());
    EXPECT_TRUE(pc->tray_state().shown);
    EXPECT_TRUE(pc->tray_state().balloons.empty()) << "the hint belongs to a closed window";
    EXPECT_FALSE(app->window()("Main").visible());
    EXPECT_TRUE(app->boost_timer_running());
    EXPECT_FALSE(app->live_stats()->running());
    advance(5s);
    EXPECT_EQ(app->live_stats()->ticks(), 0);

    // The address the start printed, opened by hand, shows the window too.
    app->renderers_changed(1);
    EXPECT_TRUE(visible());
    EXPECT_TRUE(app->window()("Main").visible());
    app->renderers_changed(0);
    advance(3s);
    EXPECT_TRUE(app->exiting()) << "the booster is off: its window closed ends the run";
    EXPECT_FALSE(pc->tray_state().shown);
}

TEST_F(TrayApp, ATrayStartWithTheGameAlreadyRunningSaysSoInABalloon) {
    // Signed in, the task starts the product while the game already runs: the booster's first
    // tick engages, and with no window the player hears of it from the icon.
    set_booster(*pc, 1);
    pc->start_process("FortniteClient-Win64-Shipping.exe");
    start({"--tray"});
    EXPECT_EQ(balloons_saying(*pc, "Fortnite detected. Booster engaged."), 1);
}

TEST_F(TrayApp, ATrayStartOpensItsWindowOnADoubleClick) {
    start({"--tray"});
    pc->tray_double_click();
    pump();
    EXPECT_TRUE(visible());
    EXPECT_TRUE(app->window()("Main").visible());
    EXPECT_FALSE(app->live_stats()->running()) << "showing the window later does not start it";
    EXPECT_EQ(app->window()("TilePing").text(), "--");

    // "Exit" with the window never closed since: the icon goes with the application.
    pc->tray_choose("Exit");
    pump();
    EXPECT_TRUE(app->exiting());
    EXPECT_FALSE(pc->tray_state().shown);
}

TEST_F(TrayApp, AStartWithTheWindowMeasuresPingWithinSeconds) {
    pc->set_echo_target("1.1.1.1", 23);
    start();
    EXPECT_TRUE(app->live_stats()->running());
    EXPECT_FALSE(pc->tray_state().shown);
    for (int i = 0; i < 3; ++i) advance(1s);
    EXPECT_EQ(app->window()("TilePing").text(), "23 ms");
    EXPECT_EQ(app->window()("TilePingSub").text(), "avg 23 ms  \u00B7  0% loss");
}

// ---------------------------------------------------------------------------------------------
// The same with the UI server and real sockets: the application on a thread of its own.

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

// A browser page: loads a window's one-time address for the session cookie, then holds the
// window's socket open. A reload is a new Page with the same cookie.
class Page {
public:
    static std::string cookie_for(const std::string& url) {
        auto [port, target] = split(url);
        asio::io_context io;
        tcp::socket s(io);
        s.connect({asio::ip::make_address("127.0.0.1"), port});
        std::string req = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                          "\r\nConnection: close\r\n\r\n";
        asio::write(s, asio::buffer(req));
        std::string out;
        boost::system::error_code ec;
        char buf[4096];
        while (out.find("\r\n\r\n") == std::string::npos) {
            size_t n = s.read_some(asio::buffer(buf), ec);
            if (ec) break;
            out.append(buf, n);
        }
        const std::string key = "\r\nSet-Cookie: ";
        size_t at = out.find(key);
        if (at == std::string::npos) return {};
        at += key.size();
        return out.substr(at, out.find_first_of(";\r", at) - at);
    }

    Page(uint16_t port, const std::string& cookie) : ws_(io_) {
        const std::string host = "127.0.0.1:" + std::to_string(port);
        ws_.next_layer().connect({asio::ip::make_address("127.0.0.1"), port});
        ws_.set_option(websocket::stream_base::decorator([host, cookie](websocket::request_type& req) {
            req.set(beast::http::field::origin, "http://" + host);
            req.set(beast::http::field::cookie, cookie);
        }));
        ws_.handshake(host, "/ws");
    }

    static uint16_t port_of(const std::string& url) { return split(url).first; }

    // The next frame, or nullopt when the socket ended or nothing came within `wait`.
    std::optional<std::string> read(std::chrono::milliseconds wait = 5s) {
        beast::flat_buffer buf;
        std::optional<beast::error_code> result;
        ws_.async_read(buf, [&](beast::error_code ec, size_t) { result = ec; });
        io_.restart();
        io_.run_for(wait);
        if (!result) {
            ws_.next_layer().cancel();
            io_.restart();
            io_.run();
            return std::nullopt;
        }
        if (*result) return std::nullopt;
        return beast::buffers_to_string(buf.data());
    }
    void send(const std::string& text) {
        ws_.text(true);
        ws_.write(asio::buffer(text));
    }
    void close() {
        boost::system::error_code ec;
        ws_.next_layer().close(ec);
    }

private:
    static std::pair<uint16_t, std::string> split(const std::string& url) {
        const std::string prefix = "http://127.0.0.1:";
        size_t slash = url.find('/', prefix.size());
        return {uint16_t(std::stoi(url.substr(prefix.size(), slash - prefix.size()))), url.substr(slash)};
    }
    asio::io_context io_;
    websocket::stream<tcp::socket> ws_;
};

// The id of the element named `name` in a node and what it holds; 0 when absent.
int element_id(const Json& node, const std::string& name) {
    if (node.value("name", "") == name) return node.value("id", 0);
    for (auto& child : node.value("children", Json::array()))
        if (int id = element_id(child, name)) return id;
    return 0;
}

// The id of the element named `name` as the page learns it from a snapshot or an insert; 0
// when the frame does not bring it.
int element_id_in(const std::string& frame, const std::string& name) {
    for (auto& op : Json::parse(frame)) {
        const std::string kind = op.value("op", "");
        if (int id = kind == "snapshot" ? element_id(op["root"], name) : kind == "insert" ? element_id(op["node"], name) : 0)
            return id;
    }
    return 0;
}

// The application running as the product does, on a frozen clock the test moves. No browser is
// started: every window address comes to the test.
class Running {
public:
    explicit Running(std::function<void(sim::SimMachine&)> prepare = {}) {
        pc->freeze_clock();
        if (prepare) prepare(*pc);
        StartOptions o;
        o.open_window = false;
        o.on_url = [this](const std::string& u) {
            std::lock_guard lk(mu_);
            urls_.push_back(u);
            cv_.notify_all();
        };
        app_ = std::make_unique<App>(*pc, o);
        runner_ = std::thread([this] {
            code_ = app_->run();
            ended_ = true;
        });
    }
    ~Running() {
        if (!ended_) app_->request_exit();
        runner_.join();
    }
    // The n-th window address (0: the first), waiting up to 10 s for it.
    std::string url(size_t n) {
        std::unique_lock lk(mu_);
        cv_.wait_for(lk, 10s, [&] { return urls_.size() > n; });
        return urls_.size() > n ? urls_[n] : std::string();
    }
    size_t urls() {
        std::lock_guard lk(mu_);
        return urls_.size();
    }
    // Moves the frozen clock on a second at a time until `done`, at most `seconds` times.
    // The loop looks at the clock when it wakes: `wake` (a message from a page) wakes it at
    // once, else it notices within about a second.
    bool advance_until(const std::function<bool()>& done, const std::function<void()>& wake = {},
                       int seconds = 100) {
        for (int i = 0; i < seconds && !done(); ++i) {
            pc->advance_clock(1s);
            if (wake) wake();
            std::this_thread::sleep_for(wake ? 50ms : 200ms);
        }
        return done();
    }
    // Start-up has logged that it is ready (its handlers are wired), plus a moment for the
    // tools to start.
    bool wait_ready() {
        const std::string log_file = AppPaths::from(pc->files()).log_file;
        for (int i = 0; i < 400; ++i) {
            if (pc->files().read(log_file).value_or("").find(" ready: ") != std::string::npos) {
                std::this_thread::sleep_for(200ms);
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    bool ended() const { return ended_; }
    int code() const { return code_; }

    testkit::TempMachine pc;

private:
    std::unique_ptr<App> app_;
    std::thread runner_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<std::string> urls_;
    std::atomic<bool> ended_{false};
    std::atomic<int> code_{-1};
};

}  // namespace

// What changed in the window just before a page connects is in the page's snapshot; it must
// not come again as patches (an insert twice is a duplicate element on screen).
TEST(WindowPages, ANewPageGetsWhatWasPendingOnceInItsSnapshot) {
    Running run;
    const std::string url = run.url(0);
    ASSERT_FALSE(url.empty());
    const std::string cookie = Page::cookie_for(url);
    // Start-up's last changes (the status line, the window made visible) are still pending
    // once it is over: on the frozen clock nothing wakes the loop since.
    ASSERT_TRUE(run.wait_ready());
    Page page(Page::port_of(url), cookie);
    auto snapshot = page.read();
    ASSERT_TRUE(snapshot);
    auto snap = Json::parse(*snapshot);
    ASSERT_EQ(snap[0]["op"], "snapshot");
    ASSERT_NE(snapshot->find(" ready: "), std::string::npos) << "start-up had not finished";
    while (auto frame = page.read(1s)) {
        for (auto& op : Json::parse(*frame)) {
            EXPECT_NE(op.value("op", ""), "insert") << "an element the snapshot already held: " << op.dump().substr(0, 200);
            if (op.value("op", "") == "set" && op["value"].is_string())
                EXPECT_EQ(op["value"].get<std::string>().find(" ready: "), std::string::npos) << op.dump();
        }
    }
}

TEST(WindowPages, AReloadKeepsTheWindowAPageThatStaysAwayClosesIt) {
    Running run;
    const std::string url = run.url(0);
    const std::string cookie = Page::cookie_for(url);
    const uint16_t port = Page::port_of(url);
    {
        Page page(port, cookie);
        ASSERT_TRUE(page.read());
        ASSERT_TRUE(run.wait_ready());  // the window is on screen
        page.close();
    }
    // The page's socket is gone; the reloaded page opens a new one with the same session.
    std::this_thread::sleep_for(300ms);
    Page reloaded(port, cookie);
    ASSERT_TRUE(reloaded.read());
    auto wake = [&] { reloaded.send(R"({"ev":"key","value":"Ctrl+F"})"); };
    EXPECT_FALSE(run.advance_until([&] { return run.ended(); }, wake, 15)) << "a reload ended the application";

    reloaded.close();
    EXPECT_TRUE(run.advance_until([&] { return run.ended(); }));
    EXPECT_EQ(run.code(), 0);
    EXPECT_FALSE(run.pc->tray_state().shown);
}

// Hidden in the tray, a second start (or the tray's "Open") opens a new window at a fresh
// address; the closed window's address opens nothing any more.
TEST(WindowPages, ASecondStartWhileHiddenOpensANewWindow) {
    Running run([](sim::SimMachine& pc) { set_booster(pc, 1); });
    const std::string first = run.url(0);
    Page page(Page::port_of(first), Page::cookie_for(first));
    // The page may come while start-up still builds the window: it gets the rest as patches.
    int close_button = 0;
    while (!close_button) {
        auto frame = page.read();
        ASSERT_TRUE(frame) << "no close button";
        close_button = element_id_in(*frame, "BtnClose");
    }
    ASSERT_TRUE(run.wait_ready());
    page.send(R"({"ev":"click","id":)" + std::to_string(close_button) + "}");
    // The page is told to close, saying the product goes on.
    std::optional<std::string> note;
    while (auto frame = page.read()) {
        for (auto& op : Json::parse(*frame))
            if (op.value("op", "") == "close") note = op.value("note", "");
        if (note) break;
    }
    ASSERT_TRUE(note);
    EXPECT_NE(note->find("notification area"), std::string::npos) << *note;
    ASSERT_TRUE(run.advance_until([&] { return run.pc->tray_state().shown; }));
    EXPECT_EQ(balloons_saying(*run.pc, kHint), 1);
    page.close();

    auto second_pc = sim::SimMachine::open(run.pc.dir());
    App second(*second_pc);
    EXPECT_EQ(second.run(), 0);
    ASSERT_TRUE(run.advance_until([&] { return run.urls() >= 2; }));
    const std::string again = run.url(1);
    EXPECT_NE(again, first);
    EXPECT_TRUE(Page::cookie_for(first).empty()) << "the first address opened a page twice";
    Page reopened(Page::port_of(again), Page::cookie_for(again));
    auto snapshot = reopened.read();
    ASSERT_TRUE(snapshot);
    // The window shows; the icon stays for as long as the booster runs.
    EXPECT_TRUE(run.pc->tray_state().shown);
    auto wake = [&] { reopened.send(R"({"ev":"key","value":"Ctrl+F"})"); };
    EXPECT_FALSE(run.advance_until([&] { return run.ended(); }, wake, 15))
        << "the reopened window was taken for a closed one";

    run.pc->tray_choose("Exit");
    EXPECT_TRUE(run.advance_until([&] { return run.ended(); }));
    EXPECT_FALSE(run.pc->tray_state().shown);
}
