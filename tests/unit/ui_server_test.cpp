// The loopback UI server against real sockets: what it refuses, what it serves, the one-time
// address and its session cookie, how many sockets it holds, and the order in which a renderer
// sees the tree.
#include "app/ui/ui_server.h"

#include <gtest/gtest.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <array>
#include <fstream>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "app/app.h"
#include "app/ui/web_page.h"
#include "platform/error.h"
#include "platform/sim/sim_desktop.h"
#include "test_machine.h"

namespace vexlo::ui {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

constexpr const char* kSnapshot = R"([{"op":"snapshot","root":{"id":1,"type":"window"}}])";
constexpr size_t kMaxMessage = 1024;

// Sends raw bytes and returns what comes back until the server closes (or, with
// `headers_only`, until the end of the response headers). Gives up after 5 s.
std::string http_exchange(uint16_t port, const std::string& request, bool headers_only = false) {
    asio::io_context io;
    tcp::socket s(io);
    s.connect({asio::ip::make_address("127.0.0.1"), port});
    asio::write(s, asio::buffer(request));
    std::string out;
    std::array<char, 4096> buf;
    std::function<void()> next = [&] {
        s.async_read_some(asio::buffer(buf), [&](boost::system::error_code ec, size_t n) {
            out.append(buf.data(), n);
            if (ec || (headers_only && out.find("\r\n\r\n") != std::string::npos)) return;
            next();
        });
    };
    next();
    io.run_for(5s);
    return out;
}

int status_of(const std::string& response) {
    if (response.rfind("HTTP/1.1 ", 0) != 0 || response.size() < 12) return -1;
    return std::stoi(response.substr(9, 3));
}

std::string header_of(const std::string& response, const std::string& name) {
    std::string key = "\r\n" + name + ": ";
    size_t at = response.find(key);
    if (at == std::string::npos) return {};
    at += key.size();
    return response.substr(at, response.find("\r\n", at) - at);
}

// A renderer: a WebSocket client with timeouts, so a broken server fails a test instead of hanging it.
class Renderer {
public:
    // `cookie`: the Cookie header's value ("vx_session=...").
    Renderer(uint16_t port, const std::string& cookie, const std::string& origin) : ws_(io_) {
        ws_.next_layer().connect({asio::ip::make_address("127.0.0.1"), port});
        ws_.set_option(websocket::stream_base::decorator([origin, cookie](websocket::request_type& req) {
            req.set(beast::http::field::origin, origin);
            req.set(beast::http::field::cookie, cookie);
        }));
        ws_.handshake("127.0.0.1:" + std::to_string(port), "/ws");
    }

    // The next text frame, or nullopt when the connection ended (or nothing came within 5 s).
    std::optional<std::string> read() {
        beast::flat_buffer buf;
        std::optional<beast::error_code> result;
        ws_.async_read(buf, [&](beast::error_code ec, size_t) { result = ec; });
        io_.restart();
        io_.run_for(5s);
        if (!result) {
            ws_.next_layer().cancel();
            io_.restart();
            io_.run();
            return std::nullopt;
        }
        if (*result) return std::nullopt;
        return beast::buffers_to_string(buf.data());
    }

    void write(const std::string& text) {
        ws_.text(true);
        ws_.write(asio::buffer(text));
    }

private:
    asio::io_context io_;
    websocket::stream<tcp::socket> ws_;
};

enum class Upgrade { no, yes };

// One request as bytes; `extra` holds more header lines and, after a blank line, a body.
std::string raw(const std::string& method, const std::string& target, const std::string& host,
                const std::optional<std::string>& origin = std::nullopt, Upgrade upgrade = Upgrade::no,
                const std::string& extra = "") {
    std::string s = method + " " + target + " HTTP/1.1\r\n";
    if (!host.empty()) s += "Host: " + host + "\r\n";
    if (origin) s += "Origin: " + *origin + "\r\n";
    if (upgrade == Upgrade::yes)
        s += "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
    else
        s += "Connection: close\r\n";
    return s + (extra.empty() ? "\r\n" : extra);
}

class UiServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The application thread: the loop is made there so on_loop_thread() means what it says.
        std::promise<void> ready;
        app_ = std::thread([&] {
            loop_ = std::make_unique<EventLoop>(clock_);
            ready.set_value();
            loop_->run();
        });
        ready.get_future().wait();

        cfg_.random = &random_;
        cfg_.index_html = "<!doctype html><title>page</title>";
        cfg_.logo_svg = "<svg xmlns=\"http://www.w3.org/2000/svg\"/>";
        cfg_.max_message_bytes = kMaxMessage;
        start_server();
    }

    // A server with the fixture's callbacks and `cfg_` (a test may change it first).
    void start_server() {
        server_.reset();
        server_ = std::make_unique<UiServer>(
            *loop_, cfg_,
            [this] {
                snapshots_++;
                if (!loop_->on_loop_thread()) off_thread_calls_++;
                if (during_snapshot_) during_snapshot_();
                return std::string(kSnapshot);
            },
            [this](const std::string& text) {
                if (!loop_->on_loop_thread()) off_thread_calls_++;
                std::lock_guard lk(mu_);
                messages_.push_back(text);
            });
        server_->on_connections_changed([this](int n) {
            if (!loop_->on_loop_thread()) off_thread_calls_++;
            std::lock_guard lk(mu_);
            counts_.push_back(n);
        });
        port_ = server_->start();
        url_ = server_->new_window_url();
        const std::string prefix = "http://" + host();
        ASSERT_EQ(url_.rfind(prefix + "/?s=", 0), 0u) << url_;
        target_ = url_.substr(prefix.size());
        secret_ = url_.substr(prefix.size() + 4);
    }

    // Trades a fresh one-time address for the session; returns the Cookie header's value.
    std::string session() {
        std::string target = server_->new_window_url().substr(("http://" + host()).size());
        std::string set = header_of(http_exchange(port_, raw("GET", target, host())), "Set-Cookie");
        return set.substr(0, set.find(';'));
    }

    void TearDown() override {
        server_.reset();
        loop_->quit();
        app_.join();
        loop_.reset();  // only now: quit() may still be waking the loop when run() returns
    }

    // Runs `f` on the application thread and waits: also a barrier behind everything posted before.
    template <class F>
    auto on_loop(F f) {
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto result = task.get_future();
        loop_->post([&task] { task(); });
        return result.get();
    }

    bool wait_connections(int n) {
        for (int i = 0; i < 500; ++i) {
            if (on_loop([this] { return server_->connections(); }) == n) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    std::vector<std::string> messages() {
        on_loop([] { return 0; });
        std::lock_guard lk(mu_);
        return messages_;
    }

    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string origin() const { return "http://" + host(); }

    sim::SimClock clock_;
    sim::SimRandom random_;
    std::unique_ptr<EventLoop> loop_;
    std::thread app_;
    std::unique_ptr<UiServer> server_;
    UiServerConfig cfg_;
    std::string url_;     // the first one-time address, unused
    std::string target_;  // its path and query, "/?s=..."
    std::string secret_;  // its secret
    uint16_t port_ = 0;
    std::atomic<int> snapshots_{0};
    std::atomic<int> off_thread_calls_{0};
    std::function<void()> during_snapshot_;
    std::mutex mu_;
    std::vector<std::string> messages_;
    std::vector<int> counts_;  // what on_connections_changed was told, in order
};

std::string cookie_line(const std::string& cookie) { return "Cookie: " + cookie + "\r\n"; }

TEST_F(UiServerTest, RefusesRequestsThatFailAnyCheckWithoutReachingTheApplication) {
    const std::string p = std::to_string(port_);
    const std::string other_port = std::to_string(port_ == 65535 ? 1 : port_ + 1);
    const std::string cookie = session();
    ASSERT_EQ(cookie.rfind(std::string(kSessionCookie) + "=", 0), 0u) << cookie;
    const std::string with = cookie_line(cookie);
    std::string same_length = secret_;
    same_length.back() = same_length.back() == '0' ? '1' : '0';
    std::string wrong_cookie = cookie;
    wrong_cookie.back() = wrong_cookie.back() == '0' ? '1' : '0';

    const auto up = Upgrade::yes;
    const auto none = std::nullopt;
    struct Case {
        const char* what;
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"no secret, no cookie", raw("GET", "/", host()), 403},
        {"wrong secret", raw("GET", "/?s=0123", host()), 403},
        {"secret of the right length but wrong", raw("GET", "/?s=" + same_length, host()), 403},
        {"secret followed by more", raw("GET", target_ + "0", host()), 403},
        {"secret under another name", raw("GET", "/?x=" + secret_, host()), 403},
        {"one-time secret on another path", raw("GET", "/index.html?s=" + secret_, host()), 403},
        {"logo without cookie", raw("GET", "/logo.svg", host()), 403},
        {"logo with the one-time secret", raw("GET", "/logo.svg?s=" + secret_, host()), 403},
        {"wrong cookie", raw("GET", "/", host(), none, Upgrade::no, cookie_line(wrong_cookie) + "\r\n"), 403},
        {"one-time secret as the cookie",
         raw("GET", "/logo.svg", host(), none, Upgrade::no, cookie_line(std::string(kSessionCookie) + "=" + secret_) + "\r\n"), 403},
        {"cookie under another name", raw("GET", "/", host(), none, Upgrade::no, "Cookie: x" + cookie + "\r\n\r\n"), 403},
        {"foreign Host", raw("GET", "/", "evil.example:" + p, none, Upgrade::no, with + "\r\n"), 403},
        {"foreign Host with the one-time secret", raw("GET", target_, "evil.example:" + p), 403},
        {"Host with another port", raw("GET", "/", "127.0.0.1:" + other_port, none, Upgrade::no, with + "\r\n"), 403},
        {"no Host", raw("GET", "/", "", none, Upgrade::no, with + "\r\n"), 403},
        {"foreign Origin", raw("GET", "/", host(), "http://evil.example", Upgrade::no, with + "\r\n"), 403},
        {"Origin with another scheme", raw("GET", "/", host(), "https://" + host(), Upgrade::no, with + "\r\n"), 403},
        {"POST", raw("POST", "/", host(), none, Upgrade::no, with + "Content-Length: 5\r\n\r\nhello"), 405},
        {"oversized body", raw("GET", "/", host(), none, Upgrade::no, with + "Content-Length: 100000\r\n\r\nxxxx"), 413},
        {"chunked body", raw("GET", "/", host(), none, Upgrade::no, with + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n"), 413},
        {"oversized body without cookie", raw("POST", "/", host(), none, Upgrade::no, "Content-Length: 100000\r\n\r\n"), 403},
        {"upgrade without cookie", raw("GET", "/ws", host(), origin(), up), 403},
        {"upgrade with the one-time secret", raw("GET", "/ws?s=" + secret_, host(), origin(), up), 403},
        {"upgrade with foreign Origin", raw("GET", "/ws", host(), "http://evil.example", up, with + "\r\n"), 403},
        {"upgrade without Origin", raw("GET", "/ws", host(), none, up, with + "\r\n"), 403},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string res = http_exchange(port_, c.request);
        EXPECT_EQ(status_of(res), c.status);
        EXPECT_EQ(header_of(res, "Content-Length"), "0");  // no detail
        EXPECT_EQ(header_of(res, "Set-Cookie"), "");
        EXPECT_EQ(res.find(secret_), std::string::npos);
    }
    EXPECT_EQ(snapshots_, 0);
    EXPECT_TRUE(messages().empty());

    // Everything in order is accepted: the refusals above were the checks, and none of them
    // used up the one-time address.
    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", "/ws", host(), origin(), up, with + "\r\n"), true)), 101);
    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", target_, host()))), 200);
}

TEST_F(UiServerTest, ServesThePageAndLogoWithHardenedHeaders) {
    // localhost is as good as 127.0.0.1, and a same-origin Origin is fine.
    const std::string named = "localhost:" + std::to_string(port_);
    std::string page = http_exchange(port_, raw("GET", target_, named, "http://" + named));
    EXPECT_EQ(status_of(page), 200);
    EXPECT_EQ(page.substr(page.find("\r\n\r\n") + 4), "<!doctype html><title>page</title>");
    EXPECT_EQ(header_of(page, "Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(header_of(page, "Cache-Control"), "no-store");
    EXPECT_EQ(header_of(page, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(header_of(page, "Referrer-Policy"), "no-referrer");
    std::string csp = header_of(page, "Content-Security-Policy");
    EXPECT_NE(csp.find("connect-src ws://127.0.0.1:" + std::to_string(port_) + " ws://" + named + ";"), std::string::npos) << csp;
    EXPECT_NE(csp.find("default-src 'none'"), std::string::npos) << csp;

    const std::string with = cookie_line(session()) + "\r\n";
    std::string logo = http_exchange(port_, raw("GET", "/logo.svg", host(), std::nullopt, Upgrade::no, with));
    EXPECT_EQ(status_of(logo), 200);
    EXPECT_EQ(header_of(logo, "Content-Type"), "image/svg+xml");

    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", "/other", host(), std::nullopt, Upgrade::no, with))), 404);
    EXPECT_EQ(snapshots_, 0);
}

// The address stands on the browser's command line, where any program of the user can read it:
// it opens the page once, and the cookie that load gets carries the window from then on.
TEST_F(UiServerTest, AWindowAddressOpensThePageOnceThenTheCookieCarriesTheWindow) {
    std::string first = http_exchange(port_, raw("GET", target_, host()));
    ASSERT_EQ(status_of(first), 200);
    const std::string set = header_of(first, "Set-Cookie");
    const std::string cookie = set.substr(0, set.find(';'));
    ASSERT_EQ(cookie.rfind(std::string(kSessionCookie) + "=", 0), 0u) << set;
    EXPECT_GE(cookie.size(), std::string(kSessionCookie).size() + 1 + 32);  // at least 128 bits of hex
    EXPECT_EQ(set.substr(set.find(';')), "; HttpOnly; SameSite=Strict; Path=/");
    EXPECT_EQ(cookie.find(secret_), std::string::npos);

    // The same address again, without the cookie: another program that read it gets nothing.
    std::string again = http_exchange(port_, raw("GET", target_, host()));
    EXPECT_EQ(status_of(again), 403);
    EXPECT_NE(again.find("This address was already used"), std::string::npos);
    EXPECT_EQ(header_of(again, "Set-Cookie"), "");

    // A reload carries the cookie, at the old address or at "/"; so do the logo and the socket.
    const std::string with = cookie_line(cookie) + "\r\n";
    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", target_, host(), std::nullopt, Upgrade::no, with))), 200);
    std::string reload = http_exchange(port_, raw("GET", "/", host(), std::nullopt, Upgrade::no, with));
    EXPECT_EQ(status_of(reload), 200);
    EXPECT_EQ(header_of(reload, "Set-Cookie"), "");
    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", "/logo.svg", host(), std::nullopt, Upgrade::no, with))), 200);
    Renderer r(port_, cookie, origin());
    EXPECT_EQ(r.read(), kSnapshot);

    // Each opening of the window has its own address; one not loaded yet stays good meanwhile.
    std::string a = server_->new_window_url(), b = server_->new_window_url();
    EXPECT_NE(a, b);
    const size_t cut = ("http://" + host()).size();
    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", b.substr(cut), host()))), 200);
    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", a.substr(cut), host()))), 200);
}

TEST_F(UiServerTest, AWindowAddressNobodyLoadsRunsOut) {
    cfg_.window_url_lifetime = 200ms;
    start_server();
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", target_, host()))), 403);
    std::string fresh = server_->new_window_url().substr(("http://" + host()).size());
    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", fresh, host()))), 200);
}

// The socket is still open: the server has not closed it.
bool still_open(tcp::socket& s) {
    s.non_blocking(true);
    char c;
    boost::system::error_code ec;
    s.read_some(asio::buffer(&c, 1), ec);
    return ec == asio::error::would_block;
}

// The hostile tester's 1,100 idle sockets kept a real client waiting: the server now holds a
// bounded number, and the oldest idle ones make room for the window.
TEST_F(UiServerTest, IdleSocketsMakeRoomAndTheWindowIsStillServed) {
    cfg_.idle_timeout = 60s;  // room is made by the limit here, not by the timeout
    start_server();
    asio::io_context io;
    std::vector<tcp::socket> idle;
    for (int i = 0; i < 300; ++i) {
        idle.emplace_back(io);
        idle.back().connect({asio::ip::make_address("127.0.0.1"), port_});
    }

    std::string page = http_exchange(port_, raw("GET", target_, host()));
    ASSERT_EQ(status_of(page), 200);
    std::string set = header_of(page, "Set-Cookie");
    Renderer r(port_, set.substr(0, set.find(';')), origin());
    EXPECT_EQ(r.read(), kSnapshot);
    EXPECT_TRUE(wait_connections(1));

    size_t open = idle.size();
    for (int tries = 0; tries < 500 && open > cfg_.max_connections; ++tries, std::this_thread::sleep_for(10ms))
        open = size_t(std::count_if(idle.begin(), idle.end(), still_open));
    EXPECT_LE(open, cfg_.max_connections);
    EXPECT_FALSE(still_open(idle.front()));  // the oldest went first
}

TEST_F(UiServerTest, ASocketThatSendsNoRequestIsClosed) {
    cfg_.idle_timeout = 300ms;
    start_server();
    asio::io_context io;
    tcp::socket silent(io), slow(io);
    silent.connect({asio::ip::make_address("127.0.0.1"), port_});
    slow.connect({asio::ip::make_address("127.0.0.1"), port_});
    asio::write(slow, asio::buffer(std::string("GET / HTTP/1.1\r\nHost: ")));  // and never the rest
    for (tcp::socket* s : {&silent, &slow}) {
        std::array<char, 256> buf;
        boost::system::error_code ec;
        auto done = std::async(std::launch::async, [&] {
            while (!ec) s->read_some(asio::buffer(buf), ec);
        });
        // Generous: without the timeout the server would hold it for half a minute.
        if (done.wait_for(10s) != std::future_status::ready) {
            s->shutdown(tcp::socket::shutdown_both);  // wakes the read
            ADD_FAILURE() << "the server kept a silent socket open";
        }
        done.wait();
    }
}

// When every connection is a renderer, a newcomer is turned away rather than one of them.
TEST_F(UiServerTest, WhenAllConnectionsAreRenderersANewOneIsRefused) {
    cfg_.max_connections = 2;
    start_server();
    const std::string cookie = session();
    Renderer a(port_, cookie, origin()), b(port_, cookie, origin());
    ASSERT_EQ(a.read(), kSnapshot);
    ASSERT_EQ(b.read(), kSnapshot);
    ASSERT_TRUE(wait_connections(2));
    EXPECT_ANY_THROW(Renderer(port_, cookie, origin()));
    server_->broadcast("still here");
    EXPECT_EQ(a.read(), "still here");
    EXPECT_EQ(b.read(), "still here");
}

TEST_F(UiServerTest, RendererGetsSnapshotFirstThenBroadcastsInOrderAndItsMessagesReachTheLoop) {
    Renderer r(port_, session(), origin());
    EXPECT_EQ(r.read(), kSnapshot);
    ASSERT_TRUE(wait_connections(1));

    // From another thread and from the application thread; one write queue keeps the order.
    for (int i = 0; i < 100; ++i) server_->broadcast("p" + std::to_string(i));
    on_loop([this] {
        server_->broadcast("from the loop");
        return 0;
    });
    for (int i = 0; i < 100; ++i) ASSERT_EQ(r.read(), "p" + std::to_string(i));
    EXPECT_EQ(r.read(), "from the loop");

    r.write(R"({"id":7,"ev":"click","value":true})");
    std::vector<std::string> got;
    for (int i = 0; i < 500 && got.empty(); ++i, std::this_thread::sleep_for(10ms)) got = messages();
    EXPECT_EQ(got, std::vector<std::string>{R"({"id":7,"ev":"click","value":true})"});
    EXPECT_EQ(snapshots_, 1);
    EXPECT_EQ(off_thread_calls_, 0);
}

// What the application flushes while a newcomer's snapshot is taken goes to the renderers that
// were already there; the newcomer's snapshot holds it, so it must not get it again.
TEST_F(UiServerTest, PatchesFlushedDuringASnapshotGoOnlyToEarlierRenderers) {
    const std::string cookie = session();
    Renderer first(port_, cookie, origin());
    ASSERT_EQ(first.read(), kSnapshot);
    ASSERT_TRUE(wait_connections(1));

    during_snapshot_ = [this] { server_->broadcast("flushed"); };
    Renderer second(port_, cookie, origin());
    EXPECT_EQ(second.read(), kSnapshot);
    ASSERT_TRUE(wait_connections(2));
    EXPECT_EQ(first.read(), "flushed");

    on_loop([this] {
        server_->broadcast("after");
        return 0;
    });
    EXPECT_EQ(second.read(), "after");
    EXPECT_EQ(first.read(), "after");
}

// The application learns when a window's page goes away (closed, or reloading) and comes back.
TEST_F(UiServerTest, TellsTheApplicationEachTimeARendererComesOrGoes) {
    const std::string cookie = session();
    auto counts = [this] {
        on_loop([] { return 0; });
        std::lock_guard lk(mu_);
        return counts_;
    };
    {
        Renderer first(port_, cookie, origin());
        ASSERT_EQ(first.read(), kSnapshot);
        ASSERT_TRUE(wait_connections(1));
        Renderer second(port_, cookie, origin());
        ASSERT_EQ(second.read(), kSnapshot);
        ASSERT_TRUE(wait_connections(2));
        EXPECT_EQ(counts(), (std::vector<int>{1, 2}));
    }
    ASSERT_TRUE(wait_connections(0));
    EXPECT_EQ(counts(), (std::vector<int>{1, 2, 1, 0}));
    Renderer again(port_, cookie, origin());
    ASSERT_EQ(again.read(), kSnapshot);
    ASSERT_TRUE(wait_connections(1));
    EXPECT_EQ(counts(), (std::vector<int>{1, 2, 1, 0, 1}));
    EXPECT_EQ(off_thread_calls_, 0);
}

TEST_F(UiServerTest, OversizedMessageClosesTheSessionWithoutReachingTheApplication) {
    Renderer r(port_, session(), origin());
    ASSERT_EQ(r.read(), kSnapshot);
    ASSERT_TRUE(wait_connections(1));

    std::string largest(kMaxMessage, 'a');
    r.write(largest);
    r.write(largest + "b");
    EXPECT_EQ(r.read(), std::nullopt);  // closed by the server
    EXPECT_TRUE(wait_connections(0));
    EXPECT_EQ(messages(), std::vector<std::string>{largest});
}

TEST_F(UiServerTest, StopDeliversQueuedFramesThenClosesEverything) {
    Renderer r(port_, session(), origin());
    ASSERT_EQ(r.read(), kSnapshot);
    ASSERT_TRUE(wait_connections(1));

    server_->broadcast(R"([{"op":"close"}])");
    server_->stop();
    EXPECT_EQ(r.read(), R"([{"op":"close"}])");
    EXPECT_EQ(r.read(), std::nullopt);
    EXPECT_EQ(server_->connections(), 0);

    asio::io_context io;
    tcp::socket s(io);
    boost::system::error_code ec;
    s.connect({asio::ip::make_address("127.0.0.1"), port_}, ec);
    EXPECT_TRUE(ec);  // no longer listening
}

TEST(UiServerSecret, IsLongRandomHex) {
    sim::SimRandom random;
    std::string a = make_secret(random), b = make_secret(random);
    EXPECT_GE(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, b);
}

// No weaker secret stands in for one the system could not make: the start stops there.
TEST(UiServerSecret, AFailingRandomSourceIsNotPaperedOver) {
    struct Failing final : platform::Random {
        void fill(uint8_t*, size_t) override { throw platform::PlatformError("no random source"); }
    } failing;
    EXPECT_THROW(make_secret(failing), platform::PlatformError);
}

TEST(UiServerSecret, StartRefusesWithoutARandomSource) {
    sim::SimClock clock;
    EventLoop loop(clock);
    UiServerConfig cfg;
    UiServer server(loop, cfg, [] { return std::string(); }, [](const std::string&) {});
    EXPECT_THROW(server.start(), std::runtime_error);
}

// The desktop's log, like any log, never holds the window's secret; yet the address the
// program was given opens the window, once.
TEST(WindowAddress, TheShellLogRecordsTheAddressWithoutItsSecret) {
    EXPECT_EQ(sim::SimShell::without_secrets("open http://127.0.0.1:5/?s=ab12-_Z"), "open http://127.0.0.1:5/?s=<secret>");
    EXPECT_EQ(sim::SimShell::without_secrets("x http://h/?a=1&s=ff y"), "x http://h/?a=1&s=<secret> y");
    EXPECT_EQ(sim::SimShell::without_secrets("keeps s=1 and ?s= alone"), "keeps s=1 and ?s= alone");

    testkit::TempMachine pc;
    std::promise<std::string> url;
    StartOptions opts;
    opts.on_url = [&](const std::string& u) { url.set_value(u); };
    App app(*pc, opts);
    std::thread runner([&] { app.run(); });
    const std::string address = url.get_future().get();
    const std::string secret = address.substr(address.find("?s=") + 3);
    ASSERT_GE(secret.size(), 32u);

    const std::string host = address.substr(7, address.find('/', 7) - 7);
    const uint16_t port = uint16_t(std::stoi(host.substr(host.find(':') + 1)));
    const std::string target = address.substr(7 + host.size());
    EXPECT_EQ(status_of(http_exchange(port, raw("GET", target, host))), 200);
    EXPECT_EQ(status_of(http_exchange(port, raw("GET", target, host))), 403);
    app.request_exit();
    runner.join();

    // The program asked for the window at that address; the log shows it without the secret.
    auto log = pc->shell_log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "open " + address.substr(0, address.find("?s=")) + "?s=<secret>");
    std::ifstream file(pc.dir() / "shell.log");
    std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(text.find("?s=<secret>"), std::string::npos);
    EXPECT_EQ(text.find(secret), std::string::npos);
}

TEST(WebPage, InlinesStylesAndScriptIntoOneDocument) {
    std::string page = compose_index_html();
    EXPECT_EQ(page.find("<!--VEXLO:"), std::string::npos);
    EXPECT_EQ(page.rfind("<!doctype html>", 0), 0u);
    // Exactly one of each closer: nothing inlined ends its element early.
    auto count = [&](const std::string& s) {
        size_t n = 0;
        for (size_t at = page.find(s); at != std::string::npos; at = page.find(s, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("</script"), 1u);
    EXPECT_EQ(count("</style"), 1u);
    EXPECT_NE(page.find("--accent-grad:"), std::string::npos);  // from theme.css
    EXPECT_NE(page.find("Reconnecting"), std::string::npos);   // from renderer.js
}

}  // namespace
}  // namespace vexlo::ui
