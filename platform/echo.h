#pragma once
// ICMP echo (ping) that never makes its caller wait: a request is sent and later looked at.
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace vexlo::platform {

// One echo request in flight.
class PendingEcho {
public:
    virtual ~PendingEcho() = default;
    // True once a reply came or the timeout passed. Never waits.
    virtual bool done() = 0;
    // Once done(): the round-trip time in milliseconds when a successful reply came, nullopt
    // when none did (timeout, unreachable, an error). Throws PlatformError when the result
    // cannot be read, or when called before done().
    virtual std::optional<double> round_trip_ms() = 0;
};

class Echo {
public:
    virtual ~Echo() = default;
    // Sends one echo request to an IPv4 address in dotted form ("1.1.1.1"). Throws
    // PlatformError when it could not be sent at all.
    virtual std::unique_ptr<PendingEcho> send(std::string_view ipv4, uint32_t timeout_ms) = 0;
};

}  // namespace vexlo::platform
