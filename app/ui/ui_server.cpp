// The loopback UI server: one HTTP route for the page, one for the logo and a WebSocket that
// carries the element tree out and the renderer's events in.
//
// Threads: one I/O thread runs every socket; it never touches application state. Whatever the
// application must see (a new renderer, a message, a renderer gone) is posted to the EventLoop.
// The set of renderers that receive broadcasts is changed only on the application thread, so a
// new renderer gets its snapshot and every later patch, and never a patch from before it.
//
// Security: an elevated program listening on a socket is an attack surface. Every request must
// carry a Host naming our own address and port and, when it has an Origin (a WebSocket always
// must), our own origin. Then it must carry the session cookie, with one exception: the page
// itself may be loaded once with a one-time secret (?s=) from new_window_url(), and that load
// is answered with the cookie. The one-time address stands on the browser's command line, where
// any program of the user can read it; once used it opens nothing. All of it is checked on the
// I/O thread before anything reaches the application; refusals carry no detail and close the
// connection.
//
// Connections: at most max_connections at once, and one that sends no request within
// idle_timeout is closed. When the limit is reached the oldest connection that is waiting for
// a request makes room, so a pile of idle sockets cannot keep the real window out.
#include "app/ui/ui_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <atomic>
#include <chrono>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/listen_socket.h"

namespace vexlo::ui {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kMaxHeaderBytes = 8 * 1024;
constexpr uint64_t kMaxBodyBytes = 1024;          // only GET is served: a body is never needed
constexpr size_t kMaxQueuedBytes = 64u << 20;     // a renderer this far behind starts over
constexpr auto kHttpTimeout = std::chrono::seconds(30);
constexpr auto kCloseGrace = std::chrono::milliseconds(1000);

std::string_view sv(beast::string_view s) { return {s.data(), s.size()}; }

// Constant time over the secret's length; only the (public) length can be learnt by timing.
bool same_secret(std::string_view given, std::string_view secret) {
    unsigned diff = given.size() != secret.size() ? 1u : 0u;
    for (size_t i = 0; i < secret.size(); ++i) {
        unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        diff |= g ^ static_cast<unsigned char>(secret[i]);
    }
    return diff == 0;
}

// The first value of `key` in a query string ("a=1&s=XYZ"); no percent-decoding (the secret is hex).
std::optional<std::string_view> query_param(std::string_view query, std::string_view key) {
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        size_t eq = pair.find('=');
        if (pair.substr(0, eq) == key) return eq == std::string_view::npos ? "" : pair.substr(eq + 1);
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

// Every value of cookie `name` in the request's Cookie fields.
template <class F>
void for_each_cookie(const http::request_header<>& req, std::string_view name, F&& f) {
    auto range = req.equal_range(http::field::cookie);
    for (auto it = range.first; it != range.second; ++it) {
        std::string_view rest = sv(it->value());
        while (!rest.empty()) {
            size_t semi = rest.find(';');
            std::string_view pair = rest.substr(0, semi);
            while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
            size_t eq = pair.find('=');
            if (eq != std::string_view::npos && pair.substr(0, eq) == name) f(pair.substr(eq + 1));
            if (semi == std::string_view::npos) break;
            rest.remove_prefix(semi + 1);
        }
    }
}

// What a request may do, once Host and Origin are ours.
enum class Access {
    refused,
    session,   // carries the session cookie
    one_time,  // the page, with a one-time secret not used yet
    used,      // the page, with a one-time secret that was used already
};

// The one-time secrets of new_window_url(). Shared by the application thread (which makes them)
// and the I/O thread (which checks and redeems them).
class WindowTickets {
public:
    void add(std::string secret, Clock::time_point expires) {
        std::lock_guard lk(mu_);
        prune(Clock::now());
        if (pending_.size() >= kMaxPending) pending_.erase(pending_.begin());
        pending_.push_back({std::move(secret), expires});
    }

    // Whether `given` is a pending secret (redeem: and uses it up) or one used before.
    Access check(std::string_view given, bool redeem) {
        std::lock_guard lk(mu_);
        prune(Clock::now());
        // Compared with every entry, no early exit: the time taken says nothing about which.
        std::optional<size_t> hit;
        bool was_used = false;
        for (size_t i = 0; i < pending_.size(); ++i)
            if (same_secret(given, pending_[i].secret)) hit = i;
        for (auto& u : used_) was_used |= same_secret(given, u);
        if (hit) {
            if (redeem) {
                used_.push_back(std::move(pending_[*hit].secret));
                if (used_.size() > kMaxUsed) used_.pop_front();
                pending_.erase(pending_.begin() + long(*hit));
            }
            return Access::one_time;
        }
        return was_used ? Access::used : Access::refused;
    }

private:
    struct Ticket {
        std::string secret;
        Clock::time_point expires;
    };
    static constexpr size_t kMaxPending = 8;
    static constexpr size_t kMaxUsed = 16;  // only to tell the user why the address no longer opens

    void prune(Clock::time_point now) {
        std::erase_if(pending_, [&](const Ticket& t) { return t.expires <= now; });
    }

    std::mutex mu_;
    std::vector<Ticket> pending_;
    std::deque<std::string> used_;
};

class WsSession;

// What the application thread shares with the I/O side. Tasks posted to the loop hold it, so
// it outlives the server if the loop runs them late; `stopped` turns them into no-ops.
struct Hub {
    Hub(EventLoop& l, std::function<std::string()> snap, std::function<void(const std::string&)> msg)
        : loop(l), snapshot(std::move(snap)), on_message(std::move(msg)) {}
    EventLoop& loop;
    std::function<std::string()> snapshot;
    std::function<void(const std::string&)> on_message;
    std::atomic<bool> stopped{false};
    std::atomic<int> connections{0};  // written on the application thread only
    std::function<void(int)> connections_changed;  // application thread only
    std::mutex mu;                    // guards `registered` (broadcast may come from any thread)
    std::vector<std::shared_ptr<WsSession>> registered;
};

// A connection the server can wind down at stop() or close to make room. I/O thread only.
class Conn {
public:
    virtual ~Conn() = default;
    virtual void shutdown() = 0;     // finish politely
    virtual void force_close() = 0;  // drop now
    virtual bool open() const = 0;   // its socket is still open
    virtual bool idle() const = 0;   // waiting for a request: closing it loses nothing
};

// The server's state; UiServer::Impl is made of it.
struct Server {
    Server(EventLoop& l, UiServerConfig c, std::function<std::string()> snap,
           std::function<void(const std::string&)> msg)
        : cfg(std::move(c)), hub(std::make_shared<Hub>(l, std::move(snap), std::move(msg))) {}

    asio::io_context ioc{1};  // declared first: destroyed last, after everything using it
    UiServerConfig cfg;
    std::shared_ptr<Hub> hub;
    tcp::acceptor acceptor{ioc};
    asio::steady_timer stop_timer{ioc};
    asio::steady_timer accept_timer{ioc};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread io;
    bool running = false;
    uint16_t port = 0;
    std::string host_ip, host_name, origin_ip, origin_name, csp;
    std::list<std::weak_ptr<Conn>> conns;  // I/O thread only, oldest first
    Clock::time_point stop_deadline;
    std::string session;                   // the cookie's value; set before the I/O thread starts
    WindowTickets tickets;

    void accept();
    bool make_room();
    void track(const std::shared_ptr<Conn>& c);
    void begin_shutdown();
    void poll_shutdown();
    Access admitted(const http::request_header<>& req, std::string_view path, std::string_view query);
    template <class Res>
    void harden(Res& res) const;
};

// ---------------------------------------------------------------------------------------------
// WebSocket: one renderer.

class WsSession : public Conn, public std::enable_shared_from_this<WsSession> {
public:
    WsSession(Server& srv, beast::tcp_stream&& stream)
        : srv_(srv), hub_(srv.hub), ex_(stream.get_executor()), ws_(std::move(stream)) {}

    void run(http::request<http::string_body> req) {
        req_ = std::move(req);
        beast::get_lowest_layer(ws_).expires_never();  // the websocket keeps its own timeouts
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& res) { res.set(http::field::server, "Vexlo"); }));
        ws_.read_message_max(srv_.cfg.max_message_bytes);
        ws_.text(true);
        ws_.async_accept(req_, [self = shared_from_this()](beast::error_code ec) { self->on_accept(ec); });
    }

    // Any thread: queue one frame. Frames go out in the order they were queued.
    void send(std::shared_ptr<const std::string> msg) {
        bool start = false;
        {
            std::lock_guard lk(mu_);
            if (closing_) return;
            if (queued_ + msg->size() > kMaxQueuedBytes) {
                // Stalled renderer: drop it; when it reconnects it gets a fresh snapshot.
                closing_ = true;
                asio::post(ex_, [self = shared_from_this()] { self->force_close(); });
                return;
            }
            queued_ += msg->size();
            queue_.push_back(std::move(msg));
            if (!writing_) start = writing_ = true;
        }
        if (start) asio::post(ex_, [self = shared_from_this()] { self->write_next(); });
    }

    bool closed() const { return closed_; }

    void shutdown() override {
        bool close_now = false;
        {
            std::lock_guard lk(mu_);
            if (closing_) return;
            closing_ = true;
            if (!accepted_) {
                close_now = true;
            } else if (!writing_) {
                writing_ = true;  // the close frame is the last write
                asio::post(ex_, [self = shared_from_this()] { self->write_next(); });
            }  // else the running write chain sends the close once the queue is drained
        }
        if (close_now) force_close();
    }

    void force_close() override { beast::get_lowest_layer(ws_).close(); }
    bool open() const override { return beast::get_lowest_layer(ws_).socket().is_open(); }
    bool idle() const override { return false; }  // a renderer that passed every check

private:
    void on_accept(beast::error_code ec) {
        if (ec) return finish();
        {
            std::lock_guard lk(mu_);
            accepted_ = true;
            if (closing_) {
                force_close();
                return;
            }
        }
        // On the application thread: snapshot, send it first, then join the broadcasts.
        hub_->loop.post([hub = hub_, weak = weak_from_this()] {
            if (hub->stopped) return;
            auto self = weak.lock();
            if (!self || self->closed()) return;
            std::string snap;
            try {
                snap = hub->snapshot();
            } catch (...) {
                // No snapshot, no renderer: this connection is dropped (the renderer reconnects)
                // and the application thread carries on as if it had never come.
                asio::post(self->ex_, [self] { self->force_close(); });
                return;
            }
            int now = 0;
            {
                std::lock_guard lk(hub->mu);
                if (hub->stopped) return;
                self->send(std::make_shared<const std::string>(std::move(snap)));
                hub->registered.push_back(self);
                now = static_cast<int>(hub->registered.size());
                hub->connections = now;
            }
            if (hub->connections_changed) hub->connections_changed(now);
        });
        read();
    }

    void read() {
        ws_.async_read(buf_, [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec) return self->finish();  // includes message_too_big: Beast sends 1009 and closes
            if (self->ws_.got_text()) {
                self->hub_->loop.post([hub = self->hub_, text = beast::buffers_to_string(self->buf_.data())] {
                    if (!hub->stopped) hub->on_message(text);
                });
            }
            self->buf_.consume(self->buf_.size());
            self->read();
        });
    }

    void write_next() {
        std::shared_ptr<const std::string> msg;
        bool close = false;
        {
            std::lock_guard lk(mu_);
            if (!queue_.empty()) {
                msg = std::move(queue_.front());
                queue_.pop_front();
            } else if (closing_) {
                close = true;
            } else {
                writing_ = false;
                return;
            }
        }
        if (close) {
            ws_.async_close(websocket::close_code::going_away,
                            [self = shared_from_this()](beast::error_code) { self->force_close(); });
            return;
        }
        ws_.async_write(asio::buffer(*msg), [self = shared_from_this(), msg](beast::error_code ec, size_t) {
            {
                std::lock_guard lk(self->mu_);
                self->queued_ -= msg->size();
            }
            if (ec) return self->force_close();  // the pending read fails and calls finish()
            self->write_next();
        });
    }

    // The read side ended: the renderer is gone.
    void finish() {
        if (closed_.exchange(true)) return;
        {
            std::lock_guard lk(mu_);
            closing_ = true;
            queue_.clear();
            queued_ = 0;
        }
        force_close();
        hub_->loop.post([hub = hub_, weak = weak_from_this()] {
            auto self = weak.lock();  // expired: it was never registered
            if (!self) return;
            int now = 0;
            {
                std::lock_guard lk(hub->mu);
                if (std::erase(hub->registered, self) == 0 || hub->stopped) return;
                now = static_cast<int>(hub->registered.size());
                hub->connections = now;
            }
            if (hub->connections_changed) hub->connections_changed(now);
        });
    }

    Server& srv_;
    std::shared_ptr<Hub> hub_;
    asio::any_io_executor ex_;  // the I/O thread; posting to it is safe from any thread
    websocket::stream<beast::tcp_stream> ws_;
    http::request<http::string_body> req_;
    beast::flat_buffer buf_;
    std::atomic<bool> closed_{false};

    std::mutex mu_;  // the write queue and its flags
    std::deque<std::shared_ptr<const std::string>> queue_;
    size_t queued_ = 0;
    bool writing_ = false;
    bool closing_ = false;
    bool accepted_ = false;
};

// ---------------------------------------------------------------------------------------------
// HTTP: the page, the logo and the upgrade to /ws.

class HttpSession : public Conn, public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(Server& srv, tcp::socket&& socket) : srv_(srv), stream_(std::move(socket)) {}

    void run() { read(); }
    void shutdown() override { stream_.close(); }  // a page or logo in flight is not worth waiting for
    void force_close() override { stream_.close(); }
    bool open() const override { return stream_.socket().is_open(); }
    bool idle() const override { return idle_; }

private:
    void read() {
        idle_ = true;
        parser_.emplace();
        parser_->header_limit(kMaxHeaderBytes);
        // No body limit yet: the parser would refuse a large Content-Length before the checks
        // below ran, and the checks come first. The limit is set before any body is read.
        parser_->body_limit(boost::none);
        stream_.expires_after(srv_.cfg.idle_timeout);
        http::async_read_header(stream_, buf_, *parser_,
                                [self = shared_from_this()](beast::error_code ec, size_t) { self->on_header(ec); });
    }

    void on_header(beast::error_code ec) {
        if (ec == http::error::header_limit) return refuse(http::status::request_header_fields_too_large);
        if (ec && ec.category() == http::make_error_code(http::error::bad_target).category())
            return refuse(http::status::bad_request);
        if (ec) return stream_.close();  // gone, timed out or stopped
        idle_ = false;

        auto& req = parser_->get();
        std::string_view target = sv(req.target());
        size_t q = target.find('?');
        path_ = std::string(target.substr(0, q));
        std::string_view query = q == std::string_view::npos ? std::string_view{} : target.substr(q + 1);

        access_ = srv_.admitted(req, path_, query);
        if (access_ == Access::used && req.method() == http::verb::get) return refuse_used();
        if (access_ == Access::refused || access_ == Access::used) return refuse(http::status::forbidden);
        if (access_ == Access::one_time) secret_ = std::string(query_param(query, "s").value_or(""));
        if (req.method() != http::verb::get) return refuse(http::status::method_not_allowed);
        if (!parser_->is_done()) {
            // A GET with a body: tolerate a small one, refuse anything bigger or unbounded.
            auto len = parser_->content_length();
            if (!len || *len > kMaxBodyBytes) return refuse(http::status::payload_too_large);
            parser_->body_limit(kMaxBodyBytes);
            http::async_read(stream_, buf_, *parser_, [self = shared_from_this()](beast::error_code ec, size_t) {
                if (ec) return self->stream_.close();
                self->on_request();
            });
            return;
        }
        on_request();
    }

    void on_request() {
        auto& req = parser_->get();
        if (path_ == "/ws") {
            if (!websocket::is_upgrade(req)) return refuse(http::status::bad_request);
            auto ws = std::make_shared<WsSession>(srv_, std::move(stream_));
            srv_.track(ws);
            ws->run(parser_->release());
            return;
        }
        if (path_ == "/") {
            if (access_ != Access::one_time) return reply("text/html; charset=utf-8", srv_.cfg.index_html);
            // Used up here, on the I/O thread, so two loads of one address cannot both succeed.
            Access now = srv_.tickets.check(secret_, /*redeem=*/true);
            if (now != Access::one_time) return now == Access::used ? refuse_used() : refuse(http::status::forbidden);
            return reply("text/html; charset=utf-8", srv_.cfg.index_html,
                         std::string(kSessionCookie) + "=" + srv_.session + "; HttpOnly; SameSite=Strict; Path=/");
        }
        if (path_ == "/logo.svg" && !srv_.cfg.logo_svg.empty()) return reply("image/svg+xml", srv_.cfg.logo_svg);
        refuse(http::status::not_found);
    }

    void reply(const char* type, const std::string& body, const std::string& cookie = {}) {
        auto res = std::make_shared<http::response<http::string_body>>(http::status::ok, parser_->get().version());
        srv_.harden(*res);
        res->set(http::field::content_type, type);
        if (!cookie.empty()) res->set(http::field::set_cookie, cookie);
        res->keep_alive(parser_->get().keep_alive());
        res->body() = body;
        res->prepare_payload();
        write(std::move(res));
    }

    // No detail, no echo of the request, and the connection ends.
    void refuse(http::status status) {
        auto res = std::make_shared<http::response<http::string_body>>(status, 11);
        srv_.harden(*res);
        res->keep_alive(false);
        res->prepare_payload();
        write(std::move(res));
    }

    // A one-time address loaded a second time: most likely the user opened it again by hand.
    void refuse_used() {
        auto res = std::make_shared<http::response<http::string_body>>(http::status::forbidden, 11);
        srv_.harden(*res);
        res->set(http::field::content_type, "text/plain; charset=utf-8");
        res->keep_alive(false);
        res->body() = "This address was already used. Open Vexlo Tweaks again from its tray icon.";
        res->prepare_payload();
        write(std::move(res));
    }

    void write(std::shared_ptr<http::response<http::string_body>> res) {
        stream_.expires_after(kHttpTimeout);
        http::async_write(stream_, *res, [self = shared_from_this(), res](beast::error_code ec, size_t) {
            if (ec) return self->stream_.close();
            if (!res->keep_alive()) return self->linger();
            self->read();
        });
    }

    // Closing a socket with unread input resets it, and the peer may lose our answer: send FIN,
    // then read and drop what the peer still sends (bounded in time and bytes) before closing.
    void linger() {
        idle_ = true;  // nothing more will be answered
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(std::chrono::seconds(2));
        drain(0);
    }

    void drain(size_t total) {
        stream_.async_read_some(asio::buffer(scratch_), [self = shared_from_this(), total](beast::error_code ec, size_t n) {
            if (ec || total + n > kMaxDrainBytes) return self->stream_.close();
            self->drain(total + n);
        });
    }

    static constexpr size_t kMaxDrainBytes = 256 * 1024;
    char scratch_[4096];
    Server& srv_;
    beast::tcp_stream stream_;
    beast::flat_buffer buf_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::string path_;
    Access access_ = Access::refused;
    std::string secret_;  // the one-time secret of this request, when it has one
    bool idle_ = true;
};

// ---------------------------------------------------------------------------------------------
// Server.

Access Server::admitted(const http::request_header<>& req, std::string_view path, std::string_view query) {
    // Always compared, before the other checks: no early exit on host.
    bool has_session = false;
    for_each_cookie(req, kSessionCookie, [&](std::string_view v) { has_session |= same_secret(v, session); });
    Access access = Access::refused;
    if (has_session) {
        access = Access::session;
    } else if (auto secret = query_param(query, "s"); secret && path == "/") {
        access = tickets.check(*secret, /*redeem=*/false);
    }
    if (req.count(http::field::host) != 1) return Access::refused;
    std::string_view host = sv(req[http::field::host]);
    if (host != host_ip && host != host_name) return Access::refused;
    size_t origins = req.count(http::field::origin);
    if (origins > 1) return Access::refused;
    if (origins == 1) {
        std::string_view origin = sv(req[http::field::origin]);
        if (origin != origin_ip && origin != origin_name) return Access::refused;
    } else if (path == "/ws") {
        return Access::refused;  // browsers always send Origin on a WebSocket; its absence is not a browser
    }
    return access;
}

template <class Res>
void Server::harden(Res& res) const {
    res.set(http::field::cache_control, "no-store");
    res.set("X-Content-Type-Options", "nosniff");
    res.set("Content-Security-Policy", csp);
    res.set("Referrer-Policy", "no-referrer");
    res.set("X-Frame-Options", "DENY");
    res.set("Cross-Origin-Opener-Policy", "same-origin");
    res.set("Cross-Origin-Resource-Policy", "same-origin");
}

void Server::track(const std::shared_ptr<Conn>& c) {
    conns.remove_if([](const std::weak_ptr<Conn>& w) { return w.expired(); });
    conns.push_back(c);
}

// Below the limit, or closes the oldest connection still waiting for a request. False: every
// connection is busy, and the new one is refused.
bool Server::make_room() {
    conns.remove_if([](const std::weak_ptr<Conn>& w) {
        auto c = w.lock();
        return !c || !c->open();
    });
    if (conns.size() < cfg.max_connections) return true;
    for (auto it = conns.begin(); it != conns.end(); ++it) {
        auto c = it->lock();
        if (c && c->idle()) {
            c->force_close();
            conns.erase(it);
            return true;
        }
    }
    return false;
}

void Server::accept() {
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open()) return;
        if (ec) {
            // Out of descriptors or the like: breathe instead of spinning.
            accept_timer.expires_after(std::chrono::milliseconds(50));
            accept_timer.async_wait([this](beast::error_code e) {
                if (!e) accept();
            });
            return;
        }
        beast::error_code ignored;
        if (!make_room()) {
            socket.close(ignored);
            return accept();
        }
        socket.set_option(tcp::no_delay(true), ignored);
        auto s = std::make_shared<HttpSession>(*this, std::move(socket));
        track(s);
        s->run();
        accept();
    });
}

void Server::begin_shutdown() {
    beast::error_code ignored;
    acceptor.close(ignored);
    accept_timer.cancel();
    for (auto& w : conns)
        if (auto c = w.lock()) c->shutdown();
    stop_deadline = Clock::now() + kCloseGrace;
    poll_shutdown();
}

// Lets pending frames (the "close" op above all) reach the renderers, within a grace period.
void Server::poll_shutdown() {
    conns.remove_if([](const std::weak_ptr<Conn>& w) { return w.expired(); });
    if (conns.empty()) return;  // nothing left: run() returns
    if (Clock::now() >= stop_deadline) {
        for (auto& w : conns)
            if (auto c = w.lock()) c->force_close();
        ioc.stop();
        return;
    }
    stop_timer.expires_after(std::chrono::milliseconds(10));
    stop_timer.async_wait([this](beast::error_code) { poll_shutdown(); });
}

}  // namespace

struct UiServer::Impl : Server {
    using Server::Server;
};

UiServer::UiServer(EventLoop& loop, UiServerConfig config, std::function<std::string()> snapshot,
                   std::function<void(const std::string&)> on_message)
    : impl_(std::make_unique<Impl>(loop, std::move(config), std::move(snapshot), std::move(on_message))) {}

UiServer::~UiServer() { stop(); }

uint16_t UiServer::start() {
    Impl& d = *impl_;
    if (d.running) return d.port;
    if (!d.cfg.random) throw std::runtime_error("UI server: no random source for its secrets");
    if (d.cfg.max_connections < 2) throw std::runtime_error("UI server: at least two connections are needed");
    d.session = make_secret(*d.cfg.random);
    beast::error_code ec;
    tcp::endpoint ep(asio::ip::make_address_v4("127.0.0.1"), d.cfg.port);
    d.acceptor.open(ep.protocol(), ec);
    // No other process may bind our port while we hold it.
    if (!ec)
        if (int err = platform::claim_listen_port(uintptr_t(d.acceptor.native_handle())))
            ec = beast::error_code(err, asio::error::get_system_category());
    if (!ec) d.acceptor.bind(ep, ec);
    if (!ec) d.acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        beast::error_code ignored;
        d.acceptor.close(ignored);
        throw std::runtime_error("UI server: cannot listen on 127.0.0.1:" + std::to_string(d.cfg.port) +
                                 ": " + ec.message());
    }
    d.port = d.acceptor.local_endpoint().port();
    std::string p = std::to_string(d.port);
    d.host_ip = "127.0.0.1:" + p;
    d.host_name = "localhost:" + p;
    d.origin_ip = "http://" + d.host_ip;
    d.origin_name = "http://" + d.host_name;
    d.csp = "default-src 'none'; script-src 'self' 'unsafe-inline'; style-src 'self' 'unsafe-inline'; "
            "img-src 'self' data:; connect-src ws://" + d.host_ip + " ws://" + d.host_name +
            "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

    d.hub->stopped = false;
    d.ioc.restart();
    d.work.emplace(d.ioc.get_executor());
    d.accept();
    d.io = std::thread([&d] {
        for (;;) {
            try {
                d.ioc.run();
                return;
            } catch (...) {
                // A handler threw (out of memory); the connection it served is lost, the server goes on.
            }
        }
    });
    d.running = true;
    return d.port;
}

void UiServer::stop() {
    Impl& d = *impl_;
    if (!d.running) return;
    d.running = false;
    d.hub->stopped = true;
    {
        std::lock_guard lk(d.hub->mu);
        d.hub->registered.clear();
    }
    d.hub->connections = 0;
    asio::post(d.ioc, [&d] { d.begin_shutdown(); });
    d.work.reset();
    if (d.io.joinable()) d.io.join();
}

std::string UiServer::new_window_url() {
    std::string secret = make_secret(*impl_->cfg.random);
    impl_->tickets.add(secret, Clock::now() + impl_->cfg.window_url_lifetime);
    return "http://127.0.0.1:" + std::to_string(impl_->port) + "/?s=" + secret;
}

void UiServer::broadcast(std::string text) {
    auto msg = std::make_shared<const std::string>(std::move(text));
    std::lock_guard lk(impl_->hub->mu);
    for (auto& s : impl_->hub->registered) s->send(msg);
}

int UiServer::connections() const { return impl_->hub->connections; }

void UiServer::on_connections_changed(std::function<void(int)> changed) {
    impl_->hub->connections_changed = std::move(changed);
}

std::string make_secret(platform::Random& random) {
    uint8_t bytes[32];  // 256 bits
    random.fill(bytes, sizeof bytes);
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(2 * sizeof bytes);
    for (uint8_t b : bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

}  // namespace vexlo::ui
