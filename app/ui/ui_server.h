#pragma once
// The loopback server that carries the element tree to the renderer and the renderer's
// events back. Its threads only move bytes: every callback runs on the application thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/core/event_loop.h"
#include "platform/random.h"

namespace vexlo::ui {

struct UiServerConfig {
    uint16_t port = 0;                  // 0: any free port on 127.0.0.1
    std::string secret;                 // per-run secret; every request must carry it
    std::string index_html;             // page with the renderer (script and styles inline)
    std::string logo_svg;               // served at /logo.svg (also the page's icon)
    size_t max_message_bytes = 64 * 1024;
};

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
    // http://127.0.0.1:PORT/?s=SECRET
    std::string url() const;
    // Thread safe: sends one text frame to every connected renderer.
    void broadcast(std::string text);
    // Renderers connected now (read on the application thread).
    int connections() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// 256 random bits from the platform's cryptographic source, hex encoded. Throws PlatformError
// when the source fails: a weaker secret is never the fallback.
std::string make_secret(platform::Random& random);

}  // namespace vexlo::ui
