// The loopback UI server against real sockets: what it refuses, what it serves, and the order
// in which a renderer sees the tree.
#include "app/ui/ui_server.h"

#include <gtest/gtest.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "app/ui/web_page.h"
#include "platform/error.h"
#include "platform/sim/sim_desktop.h"

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
    Renderer(uint16_t port, const std::string& secret, const std::string& origin) : ws_(io_) {
        ws_.next_layer().connect({asio::ip::make_address("127.0.0.1"), port});
        ws_.set_option(websocket::stream_base::decorator([origin](websocket::request_type& req) {
            req.set(beast::http::field::origin, origin);
        }));
        ws_.handshake("127.0.0.1:" + std::to_string(port), "/ws?s=" + secret);
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

        secret_ = make_secret(random_);
        UiServerConfig cfg;
        cfg.secret = secret_;
        cfg.index_html = "<!doctype html><title>page</title>";
        cfg.logo_svg = "<svg xmlns=\"http://www.w3.org/2000/svg\"/>";
        cfg.max_message_bytes = kMaxMessage;
        server_ = std::make_unique<UiServer>(
            *loop_, cfg,
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
        port_ = server_->start();
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
    std::string secret_;
    uint16_t port_ = 0;
    std::atomic<int> snapshots_{0};
    std::atomic<int> off_thread_calls_{0};
    std::function<void()> during_snapshot_;
    std::mutex mu_;
    std::vector<std::string> messages_;
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

TEST_F(UiServerTest, RefusesRequestsThatFailAnyCheckWithoutReachingTheApplication) {
    const std::string p = std::to_string(port_);
    const std::string other_port = std::to_string(port_ == 65535 ? 1 : port_ + 1);
    const std::string good = "/?s=" + secret_;
    std::string same_length = secret_;
    same_length.back() = same_length.back() == '0' ? '1' : '0';
    const std::string ws = "/ws?s=" + secret_;

    const auto up = Upgrade::yes;
    const auto none = std::nullopt;
    struct Case {
        const char* what;
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"no secret", raw("GET", "/", host()), 403},
        {"wrong secret", raw("GET", "/?s=0123", host()), 403},
        {"secret of the right length but wrong", raw("GET", "/?s=" + same_length, host()), 403},
        {"secret followed by more", raw("GET", good + "0", host()), 403},
        {"secret under another name", raw("GET", "/?x=" + secret_, host()), 403},
        {"logo without secret", raw("GET", "/logo.svg", host()), 403},
        {"foreign Host", raw("GET", good, "evil.example:" + p), 403},
        {"Host with another port", raw("GET", good, "127.0.0.1:" + other_port), 403},
        {"no Host", raw("GET", good, ""), 403},
        {"foreign Origin", raw("GET", good, host(), "http://evil.example"), 403},
        {"Origin with another scheme", raw("GET", good, host(), "https://" + host()), 403},
        {"POST", raw("POST", good, host(), none, Upgrade::no, "Content-Length: 5\r\n\r\nhello"), 405},
        {"oversized body", raw("GET", good, host(), none, Upgrade::no, "Content-Length: 100000\r\n\r\nxxxx"), 413},
        {"chunked body", raw("GET", good, host(), none, Upgrade::no, "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n"), 413},
        {"oversized body without secret", raw("POST", "/", host(), none, Upgrade::no, "Content-Length: 100000\r\n\r\n"), 403},
        {"upgrade without secret", raw("GET", "/ws", host(), origin(), up), 403},
        {"upgrade with foreign Origin", raw("GET", ws, host(), "http://evil.example", up), 403},
        {"upgrade without Origin", raw("GET", ws, host(), none, up), 403},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string res = http_exchange(port_, c.request);
        EXPECT_EQ(status_of(res), c.status);
        EXPECT_EQ(header_of(res, "Content-Length"), "0");  // no detail
        EXPECT_EQ(res.find(secret_), std::string::npos);
    }
    EXPECT_EQ(snapshots_, 0);
    EXPECT_TRUE(messages().empty());

    // The same upgrade with everything in order is accepted: the refusals above were the checks.
    std::string ok = http_exchange(port_, raw("GET", ws, host(), origin(), up), true);
    EXPECT_EQ(status_of(ok), 101);
}

TEST_F(UiServerTest, ServesThePageAndLogoWithHardenedHeaders) {
    const std::string prefix = "http://" + host();
    ASSERT_EQ(server_->url().rfind(prefix, 0), 0u);
    const std::string page_target = server_->url().substr(prefix.size());
    ASSERT_EQ(page_target, "/?s=" + secret_);

    // localhost is as good as 127.0.0.1, and a same-origin Origin is fine.
    const std::string named = "localhost:" + std::to_string(port_);
    std::string page = http_exchange(port_, raw("GET", page_target, named, "http://" + named));
    EXPECT_EQ(status_of(page), 200);
    EXPECT_EQ(page.substr(page.find("\r\n\r\n") + 4), "<!doctype html><title>page</title>");
    EXPECT_EQ(header_of(page, "Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(header_of(page, "Cache-Control"), "no-store");
    EXPECT_EQ(header_of(page, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(header_of(page, "Referrer-Policy"), "no-referrer");
    std::string csp = header_of(page, "Content-Security-Policy");
    EXPECT_NE(csp.find("connect-src ws://127.0.0.1:" + std::to_string(port_) + " ws://" + named + ";"), std::string::npos) << csp;
    EXPECT_NE(csp.find("default-src 'none'"), std::string::npos) << csp;

    std::string logo = http_exchange(port_, raw("GET", "/logo.svg?s=" + secret_, host()));
    EXPECT_EQ(status_of(logo), 200);
    EXPECT_EQ(header_of(logo, "Content-Type"), "image/svg+xml");

    EXPECT_EQ(status_of(http_exchange(port_, raw("GET", "/other?s=" + secret_, host()))), 404);
    EXPECT_EQ(snapshots_, 0);
}

TEST_F(UiServerTest, RendererGetsSnapshotFirstThenBroadcastsInOrderAndItsMessagesReachTheLoop) {
    Renderer r(port_, secret_, origin());
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
    Renderer first(port_, secret_, origin());
    ASSERT_EQ(first.read(), kSnapshot);
    ASSERT_TRUE(wait_connections(1));

    during_snapshot_ = [this] { server_->broadcast("flushed"); };
    Renderer second(port_, secret_, origin());
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

TEST_F(UiServerTest, OversizedMessageClosesTheSessionWithoutReachingTheApplication) {
    Renderer r(port_, secret_, origin());
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
    Renderer r(port_, secret_, origin());
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

TEST(UiServerSecret, StartRefusesAWeakSecret) {
    sim::SimClock clock;
    EventLoop loop(clock);
    UiServerConfig cfg;
    cfg.secret = "short";
    UiServer server(loop, cfg, [] { return std::string(); }, [](const std::string&) {});
    EXPECT_THROW(server.start(), std::runtime_error);
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
