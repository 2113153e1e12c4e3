// On Linux the lock is a listening socket bound to a name in the abstract namespace: gone with
// the process however it ends (nothing stale after a crash), and with no file that another
// user could plant or replace. The name carries the user id, so that each user has a lock of
// their own, as each session has on Windows. Any user may bind any abstract name: a holder of
// our name that is not ours does not keep us from running.
#include "app/single_instance.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace app {
namespace {

// The user's own name for the lock, in the abstract namespace (a leading zero byte).
socklen_t lockAddress(const char* name, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    const int written = std::snprintf(addr.sun_path + 1, sizeof addr.sun_path - 1, "%s.%u", name,
                                      static_cast<unsigned>(::getuid()));
    const size_t len =
        std::min(static_cast<size_t>(std::max(written, 0)), sizeof addr.sun_path - 2);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + len);
}

// Whether the socket bound to the address belongs to a process of this user.
bool heldByThisUser(const sockaddr_un& addr, socklen_t size) {
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return true; // no way to tell: assume the usual case
    bool ours = true;
    if (::connect(probe, reinterpret_cast<const sockaddr*>(&addr), size) == 0) {
        ucred peer{};
        socklen_t length = sizeof peer;
        if (::getsockopt(probe, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0)
            ours = peer.uid == ::getuid();
    }
    ::close(probe);
    return ours;
}

} // namespace

bool SingleInstance::acquire() {
    release();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true; // no way to tell; better to run than to refuse
    sockaddr_un addr;
    const socklen_t size = lockAddress(name_, addr);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), size) != 0) {
        const bool taken = errno == EADDRINUSE;
        ::close(fd);
        return !taken || !heldByThisUser(addr, size);
    }
    // Listening, so that a second copy can ask who holds it.
    ::listen(fd, 1);
    handle_ = fd;
    return true;
}

void SingleInstance::release() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

} // namespace app
