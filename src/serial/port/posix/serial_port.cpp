// The serial port on POSIX terminals. The descriptor is opened non-blocking and stays so: with
// VMIN=0 and VTIME=0 every read returns at once with what is queued, and writes wait for room
// themselves and then for the output queue to empty, so that write returns once the bytes have
// been sent. Both together get the time-out a Windows port gets (10 ms a byte plus one second):
// an adapter that stops taking data would otherwise hold a plain tcdrain for ever, and counts as
// gone instead.

#include "serial/serial_port.h"
#include "serial/listing/adapter_facts.h"
#include "serial/listing/port_map.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace serial {

namespace {

using Kind = PortError::Kind;

// Gives the port back: our exclusivity cleared first, because TIOCEXCL outlives our descriptor
// while anyone else (an emulator holding the other end open, say) still has the tty open, and
// would refuse our own next open. Another program's exclusivity is never ours to clear.
void closeDescriptor(int fd, bool exclusiveIsOurs) {
    if (exclusiveIsOurs) ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    ::close(fd);
}

// The errors a terminal gives once its device is gone (adapter unplugged, other end hung up).
bool deviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF || error == EPIPE;
}

bool hungUp(int fd) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 0) != 1) return false;
    return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void sleepMs(int64_t ms) {
    if (ms <= 0) return;
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// USB adapters that hold received bytes back until a timer runs out (FTDI's is 16 ms unless
// told otherwise) make every stop-and-wait reply pay that timer. The low-latency flag has the
// driver set it to 1 ms; an ordinary user may set it on a port they opened. Pseudo-terminals
// and drivers without it refuse the request, which costs nothing then.
void requestLowLatency(int fd) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY) != 0) return;
    info.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &info);
}

int queuedInput(int fd) {
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) != 0) return 0;
    return count;
}

// Waits until the output queue is empty and the transmitter done, but not past the deadline.
// The queue is watched, and tcdrain called only once it is empty: then it waits for no more than
// the bytes in the transmitter, where a tcdrain on a full queue behind an adapter that stopped
// taking data would never return. False when the deadline passed or the device went away.
bool drainBefore(int fd, int64_t deadline) {
    for (;;) {
        int queued = 0;
        if (ioctl(fd, TIOCOUTQ, &queued) != 0) {
            if (deviceGone(errno)) return false;
            break; // a tty that cannot tell: its tcdrain returns at once
        }
        if (queued <= 0) break;
        const int64_t left = deadline - nowMs();
        if (left <= 0) return false;
        // About the time the queued bytes need on the line, at least a millisecond.
        const int64_t wireMs = static_cast<int64_t>(queued) * 11 * 1000 / kBaudRate + 1;
        sleepMs(std::min(left, wireMs));
    }
    return !(tcdrain(fd) != 0 && deviceGone(errno));
}

// The time-out of a write of `count` bytes and its drain, from now.
int64_t writeDeadline(int32_t count) {
    return nowMs() + 10 * static_cast<int64_t>(count) + 1000;
}

// Raw bytes at 115200 baud, 8 data bits, no parity, two stop bits, no flow control of any kind;
// the read timing (VMIN, VTIME) is left as it was.
termios lineFormat(const termios& current) {
    termios tio = current;
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_iflag |= IGNBRK;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CRTSCTS);
    tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tio.c_cc[VMIN] = current.c_cc[VMIN];
    tio.c_cc[VTIME] = current.c_cc[VTIME];
    return tio;
}

// tcsetattr succeeds when any part of the request took effect, so the settings are read back.
// Empty when they were taken, else what went wrong (and in error the system's code, if any).
std::string setAndConfirm(int fd, const termios& wanted, int& error) {
    termios actual{};
    error = 0;
    if (tcsetattr(fd, TCSANOW, &wanted) != 0 || tcgetattr(fd, &actual) != 0) {
        error = errno;
        return std::strerror(error);
    }
    const tcflag_t cflagMask = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    const bool taken = (actual.c_cflag & cflagMask) == (wanted.c_cflag & cflagMask) &&
                       (actual.c_iflag & (IXON | IXOFF | IXANY)) == 0 &&
                       cfgetispeed(&actual) == cfgetispeed(&wanted) &&
                       cfgetospeed(&actual) == cfgetospeed(&wanted) &&
                       actual.c_cc[VMIN] == wanted.c_cc[VMIN] &&
                       actual.c_cc[VTIME] == wanted.c_cc[VTIME];
    return taken ? std::string() : "the settings read back differ from those set";
}

Kind kindOfOpenError(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO: // a terminal whose device went away (its other end hung up)
        return Kind::NotFound;
    case EACCES:
    case EPERM:
        return Kind::PermissionDenied;
    case EBUSY:
        return Kind::Busy;
    default:
        return Kind::Failed;
    }
}

PortError failure(Kind kind, const std::string& path, int error) {
    return {kind, path + ": " + std::strerror(error)};
}

class PosixSerialPort final : public SerialPort {
public:
    explicit PosixSerialPort(PortLinks links) : links_(std::move(links)) {}
    ~PosixSerialPort() override { close(); }

    PortError open(std::string_view name) override {
        close();
        std::string path;
        if (!name.empty() && name.front() == '/') {
            path = name;
        } else {
            const std::string text(name);
            const int32_t n = portNumberOfLinkName(text.c_str());
            char device[kDevicePathSize];
            if (n < 0 || !portDevicePath(n, links_, device, sizeof device))
                return {Kind::InvalidName, {}};
            path = device;
        }

        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            return failure(kindOfOpenError(error), path, error);
        }
        // flock holds even against root, whom TIOCEXCL lets through.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK
                       ? failure(Kind::Busy, path, EBUSY)
                       : failure(deviceGone(error) ? Kind::NotFound : Kind::Failed, path, error);
        }
        // Root gets through another program's TIOCEXCL: the flag itself says it is taken.
        int exclusive = 0;
        if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
            closeDescriptor(fd, false);
            return failure(Kind::Busy, path, EBUSY);
        }
        if (ioctl(fd, TIOCEXCL) != 0) {
            const int error = errno;
            closeDescriptor(fd, false);
            return failure(deviceGone(error) ? Kind::NotFound : Kind::Failed, path, error);
        }
        // Whatever an earlier user left queued goes out first, but not for ever.
        if (!drainBefore(fd, nowMs() + 1000)) {
            closeDescriptor(fd, true);
            return {Kind::NotFound, path + ": the adapter takes no data"};
        }

        termios tio{};
        if (tcgetattr(fd, &tio) != 0) {
            const int error = errno;
            closeDescriptor(fd, true);
            return failure(deviceGone(error) ? Kind::NotFound : Kind::Failed, path, error);
        }
        // The line format first, then the read timing, so that each refusal is told apart; a
        // device that went away meanwhile is not one of them.
        int error = 0;
        const termios format = lineFormat(tio);
        if (const std::string refused = setAndConfirm(fd, format, error); !refused.empty()) {
            closeDescriptor(fd, true);
            return {deviceGone(error) ? Kind::NotFound : Kind::Configure, path + ": " + refused};
        }
        termios timing = format;
        timing.c_cc[VMIN] = 0;
        timing.c_cc[VTIME] = 0;
        if (const std::string refused = setAndConfirm(fd, timing, error); !refused.empty()) {
            closeDescriptor(fd, true);
            return {deviceGone(error) ? Kind::NotFound : Kind::Timeouts, path + ": " + refused};
        }

        // Pseudo-terminals have no modem lines (ENOTTY); the result is of no interest either way.
        int lines = TIOCM_DTR;
        ioctl(fd, TIOCMBIC, &lines);
        lines = TIOCM_RTS;
        ioctl(fd, TIOCMBIC, &lines);
        requestLowLatency(fd);

        fd_ = fd;
        path_ = path;
        return {};
    }

    void close() override {
        waitedQuietly_ = false;
        if (fd_ < 0) return;
        closeDescriptor(fd_, true);
        fd_ = -1;
    }

    bool isOpen() const override { return fd_ >= 0; }

    bool usable() override {
        waitedQuietly_ = false;
        if (fd_ < 0) return false;
        if (!drainBefore(fd_, nowMs() + 1000) || hungUp(fd_)) {
            close();
            return false;
        }
        return true;
    }

    int32_t read(uint8_t* buffer, int32_t size) override {
        const bool afterQuietWait = std::exchange(waitedQuietly_, false);
        if (fd_ < 0) return -1;
        if (buffer == nullptr || size <= 0) return 0;
        const ssize_t count = ::read(fd_, buffer, static_cast<size_t>(size));
        if (count > 0) return static_cast<int32_t>(count);
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
            if (deviceGone(errno)) close();
            return -1;
        }
        // Zero bytes is both "nothing queued" and "the other side hung up". A wait that has just
        // ended with nothing has asked already; a hang-up since then ends the next wait.
        if (!afterQuietWait && hungUp(fd_)) {
            close();
            return -1;
        }
        return 0;
    }

    // One call, where reading the queue empty would cost a read and a hang-up check.
    void discardInput() override {
        waitedQuietly_ = false;
        if (fd_ >= 0) tcflush(fd_, TCIFLUSH);
    }

    bool write(const uint8_t* bytes, int32_t count) override {
        waitedQuietly_ = false;
        if (fd_ < 0 || count < 0 || (bytes == nullptr && count > 0)) return false;
        const int64_t deadline = writeDeadline(count);
        int32_t sent = 0;
        while (sent < count) {
            const ssize_t written = ::write(fd_, bytes + sent, static_cast<size_t>(count - sent));
            if (written > 0) {
                sent += static_cast<int32_t>(written);
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                if (deviceGone(errno)) close();
                return false;
            }
            // Output queue full: wait for room, as a synchronous write would, but not forever.
            // A port that takes nothing for so long has lost its adapter, or its adapter is
            // stuck: as good as gone.
            const int64_t left = deadline - nowMs();
            if (left <= 0) {
                close();
                return false;
            }
            pollfd entry{fd_, POLLOUT, 0};
            if (poll(&entry, 1, static_cast<int>(left)) < 0 && errno != EINTR) return false;
            if ((entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                close();
                return false;
            }
        }
        if (!drainBefore(fd_, deadline)) {
            close();
            return false;
        }
        return true;
    }

    bool waitReadable(int ms) override {
        waitedQuietly_ = false;
        const int64_t deadline = nowMs() + ms;
        while (fd_ >= 0) {
            if (queuedInput(fd_) > 0) return true;
            const int64_t left = deadline - nowMs();
            if (left <= 0) return false;
            pollfd entry{fd_, POLLIN, 0};
            const int ready = poll(&entry, 1, static_cast<int>(left));
            if (ready < 0 && errno != EINTR) break;
            if (ready == 0) { // the whole time passed, with nothing to read and the line up
                waitedQuietly_ = true;
                return false;
            }
            // A device that went away would end every later wait at once: close it now. This
            // wait ends here, so that its caller learns of it at once from its next read; later
            // waits keep their time, as on any closed port.
            if ((entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && queuedInput(fd_) == 0) {
                close();
                return false;
            }
        }
        sleepMs(deadline - nowMs());
        return false;
    }

    std::optional<AdapterLatency> adapterLatency() const override {
        if (fd_ < 0) return std::nullopt;
        return adapterLatencyOf(path_);
    }

private:
    const PortLinks links_;
    int fd_ = -1;
    std::string path_;           // what the last open opened
    bool waitedQuietly_ = false; // the last call was a wait that ended with nothing
};

} // namespace

std::unique_ptr<SerialPort> makeSystemPort(const PortLinks& links) {
    return std::make_unique<PosixSerialPort>(links);
}

} // namespace serial
