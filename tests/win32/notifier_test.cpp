// The host notifier over Winsock against a real UDP listener on 127.0.0.1:3000.
#include "notify/host_notifier.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
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
    }
    ~UdpSocket() { ::closesocket(s_); }
    bool bound() const { return bound_; }

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
};

TEST_F(Winsock, ResultDatagramsGoTo3000FromPort3004) {
    UdpSocket host(notify::kHostPort);
    ASSERT_TRUE(host.bound());
    notify::HostNotifier notifier(notify::kLocalPort);
    notifier.activate();
    for (uint8_t code : {uint8_t{0}, uint8_t{1}}) {
        notifier.sendResultCode(code);
        uint16_t source = 0;
        EXPECT_EQ(host.receive(&source),
                  (std::vector<uint8_t>{0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, code}));
        EXPECT_EQ(source, notify::kLocalPort);
    }
}

TEST_F(Winsock, ASecondEndpointOnThePortFailsToBindWithTheMessage) {
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

TEST_F(Winsock, AnInactiveNotifierHoldsNoPortAndSendsNothing) {
    UdpSocket host(notify::kHostPort);
    ASSERT_TRUE(host.bound());
    notify::HostNotifier notifier(notify::kLocalPort);
    notifier.sendResultCode(1);
    uint16_t source = 0;
    EXPECT_TRUE(host.receive(&source, 200).empty());
    UdpSocket other(notify::kLocalPort);
    EXPECT_TRUE(other.bound());
}

TEST_F(Winsock, IncomingDatagramsAreDrainedAndTheThreadStopsWithTheNotifier) {
    auto notifier = std::make_unique<notify::HostNotifier>(notify::kLocalPort);
    notifier->activate();
    UdpSocket sender;
    ASSERT_TRUE(sender.bound());
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(sender.sendTo(notify::kLocalPort, std::vector<char>(60000, 'x')));
    // Still sending after all that arrived, and the destructor ends the receive thread (a
    // thread left waiting would hang the test here).
    UdpSocket host(notify::kHostPort);
    ASSERT_TRUE(host.bound());
    notifier->sendResultCode(0);
    uint16_t source = 0;
    EXPECT_EQ(host.receive(&source).size(), 12u);
    notifier.reset();
    UdpSocket rebound(notify::kLocalPort);
    EXPECT_TRUE(rebound.bound()); // the port was given back
}

} // namespace
