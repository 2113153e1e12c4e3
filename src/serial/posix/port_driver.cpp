// The port driver on POSIX terminals. Ports are opened non-blocking and stay so: with VMIN=0 and
// VTIME=0 every read returns at once with what is queued, and writes wait for room themselves
// (with the time-out a Windows port gets: 10 ms a byte plus one second) and then tcdrain, so
// that writePort returns once the bytes have been sent.

#include "serial/port_driver.h"
#include "serial/port_table.h"
#include "serial/port_map.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

using namespace detail;

namespace {

int fdOf(const PortRecord& record) {
    return static_cast<int>(record.handle);
}

// Gives the port back: exclusivity cleared first, because TIOCEXCL outlives our descriptor
// while anyone else (an emulator holding the other end open, say) still has the tty open, and
// would refuse our own next open.
void closeDescriptor(int fd) {
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    close(fd);
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

bool baudConstant(uint32_t baud, speed_t& speed) {
    struct Entry {
        uint32_t baud;
        speed_t speed;
    };
    static constexpr Entry kSpeeds[] = {
        {1200, B1200},       {2400, B2400},     {4800, B4800},     {9600, B9600},
        {19200, B19200},     {38400, B38400},   {57600, B57600},   {115200, B115200},
        {230400, B230400},   {460800, B460800}, {500000, B500000}, {921600, B921600},
        {1000000, B1000000},
    };
    for (const Entry& entry : kSpeeds) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

// The line format from the Windows codes the callers pass: parity 0 none, 1 odd, 2 even,
// 3 mark, 4 space; stop bits 0 one, 2 two (1.5 has no equivalent here); 5 to 8 data bits.
bool applyLineFormat(termios& tio, uint32_t baud, uint8_t parity, uint8_t stopBits,
                     uint8_t byteSize) {
    speed_t speed{};
    if (!baudConstant(baud, speed)) return false;
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_iflag |= IGNBRK;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (byteSize) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    case 8:
        tio.c_cflag |= CS8;
        break;
    default:
        return false;
    }
    switch (parity) {
    case 0:
        break;
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    case 3:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return false;
    }
    switch (stopBits) {
    case 0:
        break;
    case 2:
        tio.c_cflag |= CSTOPB;
        break;
    default:
        return false;
    }
    return cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0;
}

// tcsetattr succeeds when any part of the request took effect, so the settings are read back.
bool setAndConfirm(int fd, const termios& wanted) {
    if (tcsetattr(fd, TCSANOW, &wanted) != 0) return false;
    termios actual{};
    if (tcgetattr(fd, &actual) != 0) return false;
    const tcflag_t cflagMask = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    return (actual.c_cflag & cflagMask) == (wanted.c_cflag & cflagMask) &&
           (actual.c_iflag & (IXON | IXOFF | IXANY)) == 0 &&
           cfgetispeed(&actual) == cfgetispeed(&wanted) &&
           cfgetospeed(&actual) == cfgetospeed(&wanted) && actual.c_cc[VMIN] == wanted.c_cc[VMIN] &&
           actual.c_cc[VTIME] == wanted.c_cc[VTIME];
}

int64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int queuedInput(int fd) {
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) != 0) return 0;
    return count;
}

} // namespace

void detail::releaseRecord(PortRecord& record) {
    if (record.open == 0) return;
    const int fd = fdOf(record);
    record.open = 0;
    record.handle = -1;
    closeDescriptor(fd);
}

PortRecord* openPort(int32_t n, uint32_t baud, uint8_t parity, uint8_t stopBits, uint8_t byteSize) {
    if (!validNumber(n)) return nullptr;
    PortRecord& record = portTable[n];
    record.portNumber = n;
    releaseRecord(record);

    char path[kDevicePathSize];
    if (!portDevicePath(n, path, sizeof path)) return nullptr;

    // Opening: a device that is missing or held by someone else fails silently, like a port
    // that Windows refuses to open. flock holds even against root, which TIOCEXCL does not.
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        closeDescriptor(fd);
        return nullptr;
    }
    tcdrain(fd);

    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        closeDescriptor(fd);
        return nullptr;
    }

    // The line format; keeps whatever read timing the terminal had until the next step.
    termios format = tio;
    if (!applyLineFormat(format, baud, parity, stopBits, byteSize)) {
        showError("Unable to configure the serial port");
        closeDescriptor(fd);
        return nullptr;
    }
    format.c_cc[VMIN] = tio.c_cc[VMIN];
    format.c_cc[VTIME] = tio.c_cc[VTIME];
    if (!setAndConfirm(fd, format)) {
        showError("Unable to configure the serial port");
        closeDescriptor(fd);
        return nullptr;
    }

    // The time-out step: VMIN=0 and VTIME=0 make every read return at once with what is
    // queued, possibly nothing, as the Windows read time-outs do. Write time-outs are kept by
    // writePort itself.
    termios timing = format;
    timing.c_cc[VMIN] = 0;
    timing.c_cc[VTIME] = 0;
    if (!setAndConfirm(fd, timing)) {
        showError("Unable to set the time-out parameters");
        closeDescriptor(fd);
        return nullptr;
    }

    record.handle = fd;
    record.portNumber = n;
    record.open = 1;
    return &record;
}

int16_t portStatus(int16_t n) {
    PortRecord* record = openRecord(n);
    if (record == nullptr) return -2;
    const int fd = fdOf(*record);
    if ((tcdrain(fd) != 0 && deviceGone(errno)) || hungUp(fd)) {
        releaseRecord(*record);
        return -2;
    }
    return 0;
}

void dropModemLines(int32_t n) {
    PortRecord* record = openRecord(n);
    if (record == nullptr) return;
    // Pseudo-terminals have no modem lines (ENOTTY); the result is of no interest either way.
    int lines = TIOCM_DTR;
    ioctl(fdOf(*record), TIOCMBIC, &lines);
    lines = TIOCM_RTS;
    ioctl(fdOf(*record), TIOCMBIC, &lines);
}

bool writePort(int32_t n, const uint8_t* bytes, int32_t count) {
    PortRecord* record = openRecord(n);
    if (record == nullptr || count < 0 || (bytes == nullptr && count > 0)) return false;
    const int fd = fdOf(*record);
    const int64_t deadline = nowMs() + 10 * static_cast<int64_t>(count) + 1000;
    int32_t sent = 0;
    while (sent < count) {
        const ssize_t written = write(fd, bytes + sent, static_cast<size_t>(count - sent));
        if (written > 0) {
            sent += static_cast<int32_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (deviceGone(errno)) releaseRecord(*record);
            return false;
        }
        // Output queue full: wait for room, as a synchronous write would, but not forever.
        const int64_t left = deadline - nowMs();
        if (left <= 0) return false;
        pollfd entry{fd, POLLOUT, 0};
        if (poll(&entry, 1, static_cast<int>(left)) < 0 && errno != EINTR) return false;
        if ((entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            releaseRecord(*record);
            return false;
        }
    }
    if (tcdrain(fd) != 0) {
        if (deviceGone(errno)) {
            releaseRecord(*record);
            return false;
        }
    }
    return true;
}

int32_t readPort(int32_t n) {
    PortRecord* record = openRecord(n);
    if (record == nullptr) return -1;
    const int fd = fdOf(*record);
    const ssize_t count = read(fd, receiveBuffer, sizeof receiveBuffer);
    if (count > 0) return static_cast<int32_t>(count);
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
        if (deviceGone(errno)) releaseRecord(*record);
        return -1;
    }
    // Zero bytes is both "nothing queued" and "the other side hung up".
    if (hungUp(fd)) {
        releaseRecord(*record);
        return -1;
    }
    return 0;
}

void drainPort(int32_t n) {
    // Bounded, so that a line streaming without end cannot hold the window thread here.
    for (int reads = 0; reads < 4096; ++reads) {
        if (readPort(n) <= 0) return;
    }
}

void pauseWithEvents(int32_t ms) {
    static pollfd watched[kPortCount];
    static int32_t watchedPort[kPortCount];
    while (ms > 0) {
        // Ports whose input is already queued are left out: that input waits for its reader,
        // and watching it would end every step at once.
        int count = 0;
        for (int32_t n = 0; n < kPortCount; ++n) {
            if (portTable[n].open == 0) continue;
            const int fd = fdOf(portTable[n]);
            if (queuedInput(fd) > 0) continue;
            watched[count] = pollfd{fd, POLLIN, 0};
            watchedPort[count] = n;
            ++count;
        }
        if (poll(watched, static_cast<nfds_t>(count), kStepMs) > 0) {
            for (int i = 0; i < count; ++i) {
                // A device that went away would end every later step at once: close it now.
                if ((watched[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
                    releaseRecord(portTable[watchedPort[i]]);
            }
        }
        if (eventPump != nullptr) eventPump();
        ms -= kStepMs;
    }
}

} // namespace serial
