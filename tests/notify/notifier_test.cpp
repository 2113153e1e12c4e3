// The host notifier against a real UDP listener on 127.0.0.1:3000, in a network namespace of
// the test's own.
#include "notify/host_notifier.h"
#include "udp_queue.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

// This namespace's sockets.
constexpr const char* kUdpTable = "/proc/net/udp";
using testing_support::udpQueueEmptiedSoon;
using testing_support::udpQueueOf;

class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(notify::kHostPort);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Listener() { ::close(fd_); }
    bool bound() const { return bound_; }

    // The next datagram and its source port; empty when none came within a second.
    std::vector<uint8_t> receive(uint16_t* sourcePort) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1) return {};
        std::vector<uint8_t> buf(100);
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
        *sourcePort = ntohs(from.sin_port);
        return buf;
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

TEST(HostNotifier, SendsTheResultDatagramFromPort3004) {
    Listener host;
    ASSERT_TRUE(host.bound());
    notify::HostNotifier notifier(notify::kLocalPort);
    notifier.activate();
    uint16_t source = 0;
    for (uint8_t code : {uint8_t{0}, uint8_t{1}}) {
        notifier.sendResultCode(code);
        const auto got = host.receive(&source);
        EXPECT_EQ(got, (std::vector<uint8_t>{0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, code}));
        EXPECT_EQ(source, notify::kLocalPort);
    }
}

TEST(HostNotifier, SecondEndpointOnTheSamePortCannotBind) {
    notify::HostNotifier first(notify::kLocalPort);
    first.activate();
    notify::HostNotifier second(notify::kLocalPort);
    try {
        second.activate();
        FAIL() << "bound twice";
    } catch (const notify::BindError& e) {
        EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
    }
}

// Nothing is expected on the notifier's port, but whatever comes is read: left in the queue it
// would take the socket's memory for as long as the program runs. A datagram sent on loopback is
// in the queue when the send returns, and this is more than the queue holds.
TEST(HostNotifier, DatagramsArrivingAreReadAndTheThreadStopsAtTheEnd) {
    auto notifier = std::make_unique<notify::HostNotifier>(notify::kLocalPort);
    notifier->activate();
    ASSERT_TRUE(udpQueueOf(kUdpTable, notify::kLocalPort));
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(notify::kLocalPort);
    const std::vector<uint8_t> big(60000, 0xAB);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(
            ::sendto(s, big.data(), big.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(big.size()));
        ASSERT_TRUE(udpQueueEmptiedSoon(kUdpTable, notify::kLocalPort))
            << "datagram " << i << " was never read";
    }
    ::close(s);
    EXPECT_EQ(udpQueueOf(kUdpTable, notify::kLocalPort)->dropped, 0);
    notifier.reset(); // joins the receive thread; a hang here would time the test out
    EXPECT_FALSE(udpQueueOf(kUdpTable, notify::kLocalPort)); // and the port is given back
}

} // namespace
