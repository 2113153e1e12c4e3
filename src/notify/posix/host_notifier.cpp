#include "notify/host_notifier.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace notify {

struct HostNotifier::Impl {
    uint16_t localPort = 0;
    uint16_t hostPort = 0;
    int socket = -1;
    int stopEvent = -1;
    std::thread receiver;

    void drain() {
        std::vector<uint8_t> datagram(65536);
        pollfd fds[2] = {{socket, POLLIN, 0}, {stopEvent, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (fds[0].revents & POLLIN) {
                // Nothing is expected on this endpoint; read to keep it drained.
                (void)::recv(socket, datagram.data(), datagram.size(), MSG_DONTWAIT);
            } else if (fds[0].revents) {
                return;
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
    if (impl_->receiver.joinable()) {
        const uint64_t one = 1;
        (void)!::write(impl_->stopEvent, &one, sizeof one);
        impl_->receiver.join();
    }
    if (impl_->stopEvent >= 0) ::close(impl_->stopEvent);
    if (impl_->socket >= 0) ::close(impl_->socket);
}

void HostNotifier::activate() {
    Impl& d = *impl_;
    d.socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (d.socket < 0) throw BindError();
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(d.localPort);
    if (::bind(d.socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(d.socket);
        d.socket = -1;
        throw BindError();
    }
    socklen_t length = sizeof local;
    if (::getsockname(d.socket, reinterpret_cast<sockaddr*>(&local), &length) == 0)
        d.localPort = ntohs(local.sin_port);
    d.stopEvent = ::eventfd(0, EFD_CLOEXEC);
    if (d.stopEvent < 0) throw std::runtime_error("Could not start the notifier thread.");
    d.receiver = std::thread([&d] { d.drain(); });
}

void HostNotifier::sendResultCode(uint8_t resultCode) {
    if (impl_->socket < 0) return;
    const auto datagram = resultDatagram(resultCode);
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    host.sin_port = htons(impl_->hostPort);
    (void)::sendto(impl_->socket, datagram.data(), datagram.size(), 0,
                   reinterpret_cast<sockaddr*>(&host), sizeof host);
}

uint16_t HostNotifier::localPort() const {
    return impl_->socket < 0 ? 0 : impl_->localPort;
}

} // namespace notify
