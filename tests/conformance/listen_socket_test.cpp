// The window server's port policy (platform/listen_socket.h) on a real socket of this build's
// OS: a claimed, listening port cannot be taken over, and on Linux a restart on a fixed port
// is not refused for the connections the last run left in TIME_WAIT.
#include <gtest/gtest.h>

#include <boost/asio.hpp>

#include <stdexcept>

#include "platform/listen_socket.h"

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

const tcp::endpoint kLoopbackAnyPort(asio::ip::make_address_v4("127.0.0.1"), 0);

// Opens, claims and binds as the server does; the bind's error comes back in `ec`.
void claim_and_bind(tcp::acceptor& a, const tcp::endpoint& at, error_code& ec) {
    a.open(tcp::v4());
    if (int err = vexlo::platform::claim_listen_port(uintptr_t(a.native_handle())))
        throw std::runtime_error("claim_listen_port failed: " + std::to_string(err));
    a.bind(at, ec);
}

struct ListenSocket : ::testing::Test {
    // Claimed, bound to a free loopback port and listening, as the server starts.
    tcp::acceptor claimed_listener() {
        tcp::acceptor a(io);
        claim_and_bind(a, kLoopbackAnyPort, ec);
        if (ec) throw boost::system::system_error(ec, "bind");
        a.listen();
        return a;
    }
    asio::io_context io;
    error_code ec;
};

// What a program trying to take the port over would do: ask to reuse the address and bind.
TEST_F(ListenSocket, AClaimedListeningPortCannotBeTakenOver) {
    tcp::acceptor ours = claimed_listener();
    tcp::acceptor theirs(io);
    theirs.open(tcp::v4());
    theirs.set_option(asio::socket_base::reuse_address(true));
    theirs.bind(ours.local_endpoint(), ec);
    EXPECT_TRUE(ec) << "another socket bound our port " << ours.local_endpoint().port();
}

TEST_F(ListenSocket, RestartOnTheSamePortWhileTheLastConnectionLingers) {
#ifdef _WIN32
    GTEST_SKIP() << "exclusive use on Windows keeps the port through TIME_WAIT, by design";
#endif
    tcp::acceptor first = claimed_listener();
    const tcp::endpoint port = first.local_endpoint();
    {
        // The server hangs up first, as ours does on exit: its side of the connection lingers.
        tcp::socket client(io), served(io);
        client.connect(port);
        first.accept(served);
        served.shutdown(tcp::socket::shutdown_both);
        served.close();
        char byte;
        client.read_some(asio::buffer(&byte, 1), ec);
        ASSERT_EQ(ec, asio::error::eof);
    }
    first.close();

    tcp::acceptor plain(io);
    plain.open(tcp::v4());
    plain.bind(port, ec);
    ASSERT_TRUE(ec) << "no connection lingered, so this test would prove nothing";

    tcp::acceptor second(io);
    claim_and_bind(second, port, ec);
    EXPECT_FALSE(ec) << ec.message();
}

}  // namespace
