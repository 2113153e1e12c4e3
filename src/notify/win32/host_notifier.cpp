// The host notifier over Winsock. The receive thread waits on the socket's read event and on a
// stop event, so that the destructor can end it without closing the socket under it.
#include "notify/host_notifier.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <thread>
#include <vector>

namespace notify {

struct HostNotifier::Impl {
    uint16_t localPort = 0;
    uint16_t hostPort = 0;
    bool started = false; // WSAStartup succeeded and wants its WSACleanup
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT readable = WSA_INVALID_EVENT;
    HANDLE stop = nullptr;
    std::thread receiver;

    void drain() {
        std::vector<char> datagram(65536);
        const HANDLE events[2] = {stop, readable};
        for (;;) {
            const DWORD which = WaitForMultipleObjects(2, events, FALSE, INFINITE);
            if (which != WAIT_OBJECT_0 + 1) return; // stop requested, or the wait itself failed
            WSAResetEvent(readable);
            // Nothing is expected on this endpoint; read everything to keep it drained.
            while (::recv(socket, datagram.data(), static_cast<int>(datagram.size()), 0) !=
                   SOCKET_ERROR) {
            }
        }
    }
};

HostNotifier::HostNotifier(uint16_t localPort, uint16_t hostPort)
    : impl_(std::make_unique<Impl>()) {
    impl_->localPort = localPort;
    impl_->hostPort = hostPort;
}

HostNotifier::~HostNotifier() {
    Impl& d = *impl_;
    if (d.receiver.joinable()) {
        SetEvent(d.stop);
        d.receiver.join();
    }
    if (d.socket != INVALID_SOCKET) ::closesocket(d.socket);
    if (d.readable != WSA_INVALID_EVENT) WSACloseEvent(d.readable);
    if (d.stop != nullptr) CloseHandle(d.stop);
    if (d.started) WSACleanup();
}

void HostNotifier::activate() {
    Impl& d = *impl_;
    WSADATA data{};
    if (!d.started) {
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw BindError();
        d.started = true;
    }
    d.socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (d.socket == INVALID_SOCKET) throw BindError();
    // No other program may share the port with us, even one that asks to reuse addresses.
    const BOOL exclusive = TRUE;
    ::setsockopt(d.socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(d.localPort);
    if (::bind(d.socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::closesocket(d.socket);
        d.socket = INVALID_SOCKET;
        throw BindError();
    }
    int length = sizeof local;
    if (::getsockname(d.socket, reinterpret_cast<sockaddr*>(&local), &length) == 0)
        d.localPort = ntohs(local.sin_port);
    d.readable = WSACreateEvent();
    d.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (d.readable == WSA_INVALID_EVENT || d.stop == nullptr ||
        WSAEventSelect(d.socket, d.readable, FD_READ) != 0)
        throw std::runtime_error("Could not start the notifier thread.");
    d.receiver = std::thread([&d] { d.drain(); });
}

void HostNotifier::sendResultCode(uint8_t resultCode) {
    if (impl_->socket == INVALID_SOCKET) return;
    const auto datagram = resultDatagram(resultCode);
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    host.sin_port = htons(impl_->hostPort);
    // Nobody may be listening: a refused send is of no interest.
    (void)::sendto(impl_->socket, reinterpret_cast<const char*>(datagram.data()),
                   static_cast<int>(datagram.size()), 0, reinterpret_cast<const sockaddr*>(&host),
                   sizeof host);
}

uint16_t HostNotifier::localPort() const {
    return impl_->socket == INVALID_SOCKET ? 0 : impl_->localPort;
}

} // namespace notify
