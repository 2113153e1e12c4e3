// On Linux the lock is a socket bound to a name in the abstract namespace: system-wide within
// the network namespace, gone with the process however it ends (nothing stale after a crash),
// and with no file that another user could plant or replace.
#include "app/single_instance.h"

#include <algorithm>
#include <cstddef>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace app {

bool SingleInstance::acquire(const char* name) {
    release();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true; // no way to tell; better to run than to refuse
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t len = std::min(std::strlen(name), sizeof addr.sun_path - 1);
    std::memcpy(addr.sun_path + 1, name, len); // leading zero byte: abstract namespace
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + len);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), size) != 0) {
        const bool taken = errno == EADDRINUSE;
        ::close(fd);
        return !taken;
    }
    handle_ = fd;
    return true;
}

void SingleInstance::release() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

} // namespace app
