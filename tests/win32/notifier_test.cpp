// The host notifier over Winsock against a real UDP listener on the loopback address.
#include "notify/host_notifier.h"
#include "udp_queue.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class Winsock : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }
};

class UdpSocket {
public:
    explicit UdpSocket(uint16_t port = 0) {
        s_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        bound_ = ::bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        int length = sizeof a;
        if (bound_ && ::getsockname(s_, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~UdpSocket() { ::closesocket(s_); }
    bool bound() const { return bound_; }
    uint16_t port() const { return port_; }

    // The next datagram and its source port; empty when none came in time.
    std::vector<uint8_t> receive(uint16_t* sourcePort, long waitMs = 1000) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s_, &readable);
        timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
        if (::select(0, &readable, nullptr, nullptr, &wait) != 1) return {};
        std::vector<uint8_t> buf(100);
        sockaddr_in from{};
        int len = sizeof from;
        const int n =
            ::recvfrom(s_, reinterpret_cast<char*>(buf.data()), static_cast<int>(buf.size()), 0,
                       reinterpret_cast<sockaddr*>(&from), &len);
        buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
        *sourcePort = ntohs(from.sin_port);
        return buf;
    }

    bool sendTo(uint16_t port, const std::vector<char>& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        return ::sendto(s_, bytes.data(), static_cast<int>(bytes.size()), 0,
                        reinterpret_cast<sockaddr*>(&to),
                        sizeof to) == static_cast<int>(bytes.size());
    }

private:
    SOCKET s_ = INVALID_SOCKET;
    bool bound_ = false;
    uint16_t port_ = 0;
};

// A port that was free a moment ago.
uint16_t freePort() {
    return UdpSocket().port();
}

// Wine's sockets are those of the machine it runs on, seen through wine's drive Z:.
constexpr const char* kUdpTable = "Z:\\proc\\net\\udp";
using testing_support::udpQueueEmptiedSoon;
using testing_support::udpQueueOf;

// The ports the system chooses: under wine the sockets are the machine's, where the program's
// own ports may be taken by a copy that someone runs.
TEST_F(Winsock, ResultDatagramsGoToTheHostFromTheNotifiersPort) {
    UdpSocket host;
    ASSERT_TRUE(host.bound());
    notify::HostNotifier notifier(0, host.port());
    notifier.activate();
    ASSERT_NE(notifier.localPort(), 0);
    for (uint8_t code : {uint8_t{0}, uint8_t{1}}) {
        notifier.sendResultCode(code);
        uint16_t source = 0;
        EXPECT_EQ(host.receive(&source),
                  (std::vector<uint8_t>{0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, code}));
        EXPECT_EQ(source, notifier.localPort());
    }
}

TEST_F(Winsock, ASecondEndpointOnThePortFailsToBindWithTheMessage) {
    notify::HostNotifier first(0);
    first.activate();
    notify::HostNotifier second(first.localPort());
    try {
        second.activate();
        FAIL() << "bound twice";
    } catch (const notify::BindError& e) {
        EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
    }
}

TEST_F(Winsock, AnInactiveNotifierHoldsNoPortAndSendsNothing) {
    UdpSocket host;
    ASSERT_TRUE(host.bound());
    const uint16_t port = freePort();
    notify::HostNotifier notifier(port, host.port());
    notifier.sendResultCode(1);
    uint16_t source = 0;
    EXPECT_TRUE(host.receive(&source, 200).empty());
    UdpSocket other(port);
    EXPECT_TRUE(other.bound());
}

// Whatever arrives is read: left in the queue it would take the socket's memory for as long as
// the program runs. A datagram sent on loopback is in the queue when the send returns.
TEST_F(Winsock, IncomingDatagramsAreReadAndTheThreadStopsWithTheNotifier) {
    auto notifier = std::make_unique<notify::HostNotifier>(0);
    notifier->activate();
    const uint16_t port = notifier->localPort();
    ASSERT_TRUE(udpQueueOf(kUdpTable, port)) << "no socket of port " << port << " in /proc/net/udp";
    UdpSocket sender;
    ASSERT_TRUE(sender.bound());
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(sender.sendTo(port, std::vector<char>(60000, 'x')));
        ASSERT_TRUE(udpQueueEmptiedSoon(kUdpTable, port)) << "datagram " << i << " was never read";
    }
    notifier.reset(); // ends the receive thread; a thread left waiting would hang the test here
    EXPECT_FALSE(udpQueueOf(kUdpTable, port)); // and gives the port back
}

} // namespace
