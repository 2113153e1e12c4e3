// The host notifier against a real UDP listener on 127.0.0.1:3000, in a network namespace of
// the test's own.
#include "notify/host_notifier.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace {

// What the kernel holds for the UDP socket bound to `port` (this namespace's /proc/net/udp):
// the bytes waiting to be read and the datagrams dropped for want of room. Nothing when no
// socket is bound there.
struct SocketQueue {
    long waiting = 0;
    long dropped = 0;
};
std::optional<SocketQueue> queueOf(uint16_t port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line); // the column names
    while (std::getline(table, line)) {
        std::istringstream in(line);
        std::string slot, local, remote, state, queues, field;
        in >> slot >> local >> remote >> state >> queues;
        if (std::stoul(local.substr(local.find(':') + 1), nullptr, 16) != port) continue;
        SocketQueue queue;
        queue.waiting = std::stol(queues.substr(queues.find(':') + 1), nullptr, 16);
        while (in >> field)
            queue.dropped = std::stol(field); // the last column
        return queue;
    }
    return std::nullopt;
}

bool emptiedSoon(uint16_t port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto queue = queueOf(port);
        if (queue && queue->waiting == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

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
    ASSERT_TRUE(queueOf(notify::kLocalPort));
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
        ASSERT_TRUE(emptiedSoon(notify::kLocalPort)) << "datagram " << i << " was never read";
    }
    ::close(s);
    EXPECT_EQ(queueOf(notify::kLocalPort)->dropped, 0);
    notifier.reset(); // joins the receive thread; a hang here would time the test out
    EXPECT_FALSE(queueOf(notify::kLocalPort)); // and the port is given back
}

} // namespace
