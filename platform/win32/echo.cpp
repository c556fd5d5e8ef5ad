// ICMP echo through the IP helper, asynchronously: IcmpSendEcho2 with an event returns at once
// and the system fills the reply buffer and signals the event when the reply came or the
// timeout passed. The caller only ever looks at the event.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winternl.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <memory>
#include <mutex>
#include <utility>
#include <string>
#include <vector>

#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

using platform::PlatformError;

// What ping.exe sends.
constexpr WORD kPayloadSize = 32;
// After the timeout, how long the destructor of an unfinished request still waits for the
// system to let go of its buffer.
constexpr DWORD kReleaseMarginMs = 1000;

// IP_GENERAL_FAILURE, the last of the IP helper's status codes.
constexpr DWORD kLastIpStatus = IP_STATUS_BASE + 50;

using IcmpHandle = std::shared_ptr<void>;

class Win32PendingEcho final : public platform::PendingEcho {
public:
    Win32PendingEcho(IcmpHandle icmp, HANDLE event, uint32_t timeout_ms)
        : icmp_(std::move(icmp)),
          event_(event),
          deadline_(GetTickCount64() + timeout_ms),
          payload_(kPayloadSize, 'v'),
          // The documented minimum for one reply, plus room for the ICMP error that may come
          // back instead and for the status block of an asynchronous call.
          reply_(sizeof(ICMP_ECHO_REPLY) + kPayloadSize + 8 + sizeof(IO_STATUS_BLOCK) + 64) {}

    // The system writes into the reply buffer until it signals the event, whenever that is; the
    // request may not be cancelled. So the destructor waits for the event (at most until the
    // request's own timeout and a margin, which the live tiles never reach: they drop a request
    // only at exit), and should the system still hold on after that, the buffer and the event
    // are left to the process rather than freed under a pending write: a few hundred bytes,
    // against memory corruption.
    ~Win32PendingEcho() override {
        if (!event_) return;
        const uint64_t now = GetTickCount64();
        const DWORD wait = DWORD(now < deadline_ ? deadline_ - now : 0) + kReleaseMarginMs;
        if (WaitForSingleObject(event_, wait) == WAIT_OBJECT_0) {
            CloseHandle(event_);
            return;
        }
        new std::vector<unsigned char>(std::move(reply_));  // deliberately never freed
        new IcmpHandle(std::move(icmp_));
    }

    bool done() override { return failed_ || WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }

    std::optional<double> round_trip_ms() override {
        if (!done()) throw PlatformError("The echo reply was read before the request had finished.");
        if (failed_) return std::nullopt;
        // Zero replies: the last error says why (timed out, unreachable): no time either way.
        if (IcmpParseReplies(reply_.data(), DWORD(reply_.size())) == 0) return std::nullopt;
        const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply_.data());
        if (reply->Status != IP_SUCCESS) return std::nullopt;
        return double(reply->RoundTripTime);
    }

    // Sends the request; throws PlatformError when it could not be sent.
    void send(IPAddr address, uint32_t timeout_ms, const std::string& what) {
        DWORD sent = IcmpSendEcho2(icmp_.get(), event_, nullptr, nullptr, address, payload_.data(), kPayloadSize,
                                   nullptr, reply_.data(), DWORD(reply_.size()), timeout_ms);
        if (sent != 0) {
            SetEvent(event_);  // answered before returning: make sure done() says so
            return;
        }
        DWORD err = GetLastError();
        if (err == ERROR_IO_PENDING) return;
        // Nothing is in flight: the destructor must not wait for a signal that never comes.
        CloseHandle(std::exchange(event_, nullptr));
        // An answer about the network (no route, the stack has no address yet) is this
        // request's outcome, a lost echo like a timed-out one; anything else means it was never
        // sent.
        if ((err >= IP_STATUS_BASE && err <= kLastIpStatus) || err == ERROR_NETWORK_UNREACHABLE ||
            err == ERROR_HOST_UNREACHABLE) {
            failed_ = true;
            return;
        }
        fail(what, err);
    }

private:
    IcmpHandle icmp_;  // the requests in flight keep the ICMP handle open
    HANDLE event_;
    bool failed_ = false;  // refused at once, with an IP status
    uint64_t deadline_;
    std::string payload_;
    std::vector<unsigned char> reply_;
};

// A dotted IPv4 address, and nothing after it.
std::optional<IPAddr> parse_ipv4(std::string_view text) {
    const std::string s(text);
    if (s.empty() || s.find('\0') != std::string::npos) return std::nullopt;  // inet_pton stops at a NUL
    IN_ADDR address{};
    if (inet_pton(AF_INET, s.c_str(), &address) != 1) return std::nullopt;
    return address.S_un.S_addr;
}

class Win32Echo final : public platform::Echo {
public:
    std::unique_ptr<platform::PendingEcho> send(std::string_view ipv4, uint32_t timeout_ms) override {
        const std::string what = "Cannot send an echo request to " + std::string(ipv4);
        std::optional<IPAddr> address = parse_ipv4(ipv4);
        if (!address) throw PlatformError(what + ": it is not an IPv4 address.");
        IcmpHandle icmp = handle(what);
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!event) fail(what, GetLastError());
        auto pending = std::make_unique<Win32PendingEcho>(std::move(icmp), event, timeout_ms);
        pending->send(*address, timeout_ms, what);
        return pending;
    }

private:
    // One ICMP handle for the life of the program, opened on first use.
    IcmpHandle handle(const std::string& what) {
        std::lock_guard lock(mutex_);
        if (!icmp_) {
            HANDLE h = IcmpCreateFile();
            if (h == INVALID_HANDLE_VALUE) fail(what, GetLastError());
            icmp_ = IcmpHandle(h, [](void* p) { IcmpCloseHandle(p); });
        }
        return icmp_;
    }

    std::mutex mutex_;
    IcmpHandle icmp_;
};

}  // namespace

std::unique_ptr<platform::Echo> make_echo() { return std::make_unique<Win32Echo>(); }

}  // namespace vexlo::win32
