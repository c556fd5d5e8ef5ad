#pragma once
// The loopback server that carries the element tree to the renderer and the renderer's
// events back. Its threads only move bytes: every callback runs on the application thread.
// A window's address is good for one page load; the page then lives on a session cookie.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/core/event_loop.h"
#include "platform/random.h"

namespace vexlo::ui {

struct UiServerConfig {
    uint16_t port = 0;                  // 0: any free port on 127.0.0.1
    platform::Random* random = nullptr; // source of every secret; required
    std::string index_html;             // page with the renderer (script and styles inline)
    std::string logo_svg;               // served at /logo.svg (also the page's icon)
    size_t max_message_bytes = 64 * 1024;
    // Sockets open at once, renderers included. When a new one would pass the limit the oldest
    // connection that has not sent a request is closed, or, when there is none, the new one.
    size_t max_connections = 16;
    // How long a connection may take to send a request (and between requests on a kept-alive one).
    std::chrono::milliseconds idle_timeout{5000};
    // How long an address from new_window_url() stays good when nobody loads it.
    std::chrono::milliseconds window_url_lifetime{120000};
};

// The session cookie the page is given in exchange for its one-time address.
inline constexpr const char* kSessionCookie = "vx_session";

class UiServer {
public:
    // snapshot(): full tree for a new renderer (a JSON text), called on the application thread.
    // on_message(text): one renderer message, called on the application thread.
    UiServer(EventLoop& loop, UiServerConfig config, std::function<std::string()> snapshot,
             std::function<void(const std::string&)> on_message);
    ~UiServer();

    // Binds 127.0.0.1 and starts serving; returns the port. Throws std::runtime_error.
    uint16_t start();
    void stop();
    // A fresh one-time address, http://127.0.0.1:PORT/?s=SECRET. Its first load gets the page
    // and the session cookie (HttpOnly, SameSite=Strict); a second load gets 403, and so does
    // any other request without the cookie. Unused addresses stay good for window_url_lifetime
    // (a browser may be slow to start; a second start or the tray may open another meanwhile).
    // Thread safe. Throws PlatformError when the random source fails.
    std::string new_window_url();
    // Thread safe: sends one text frame to every connected renderer.
    void broadcast(std::string text);
    // Renderers connected now (read on the application thread).
    int connections() const;
    // Told on the application thread, with the new count, each time a renderer joins (after
    // its snapshot) or goes. Set before start().
    void on_connections_changed(std::function<void(int)> changed);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// 256 random bits from the platform's cryptographic source, hex encoded. Throws PlatformError
// when the source fails: a weaker secret is never the fallback.
std::string make_secret(platform::Random& random);

}  // namespace vexlo::ui
