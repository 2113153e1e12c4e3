// The POSIX port class on real pseudo-terminals: the test holds the master side (the board) and
// keeps a slave descriptor open as well, as board-sim does.

#include "serial/serial_port.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using testing_support::TempFolder;

namespace {

using Kind = serial::PortError::Kind;
using Clock = std::chrono::steady_clock;

constexpr uint8_t kSearchByte = 0xC2;

int64_t msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// What a forked child reports back through a pipe: one line of text.
std::string runInChild(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return "<no pipe>";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string text = body();
        const ssize_t ignored = write(fds[1], text.data(), text.size());
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return text;
}

class PortDriverTest : public ::testing::Test {
protected:
    TempFolder links;
    const serial::PortLinks portLinks{links.path()};
    std::unique_ptr<serial::SerialPort> port = serial::makeSystemPort(portLinks);
    int master = -1;
    int slave = -1;
    std::string slavePath;

    void SetUp() override { startLine(); }
    void TearDown() override {
        port.reset();
        if (master >= 0) close(master);
        close(slave);
    }

    // A new pseudo-terminal linked as COM200.
    void startLine() {
        char name[PATH_MAX];
        termios raw{};
        cfmakeraw(&raw);
        ASSERT_EQ(openpty(&master, &slave, name, &raw, nullptr), 0);
        slavePath = name;
        std::filesystem::remove(links / "COM200");
        link("COM200", slavePath);
    }

    void link(const std::string& name, const std::string& target) {
        ASSERT_EQ(symlink(target.c_str(), (links / name).c_str()), 0);
    }
    void hangUp() {
        close(master);
        master = -1;
    }
    // Descriptors of this process open on the slave side.
    int slaveDescriptors() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            count += std::filesystem::read_symlink(entry.path(), error) == slavePath ? 1 : 0;
        }
        return count;
    }
    std::string readMaster() const {
        std::string got;
        char buffer[4096];
        pollfd entry{master, POLLIN, 0};
        while (poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    // Sends from the board and waits until the port has all of it queued. The terminal layer
    // passes the bytes on in pieces, and a wait for input returns as soon as the first piece is
    // in: so the wait is bounded by time, not by a count of waits.
    void sendAndWait(const std::string& bytes) {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        int queued = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (queued < static_cast<int>(bytes.size()) &&
               std::chrono::steady_clock::now() < deadline) {
            if (!port->waitReadable(5)) continue;
            ioctl(slave, FIONREAD, &queued);
            if (queued < static_cast<int>(bytes.size())) usleep(1000);
        }
        ASSERT_EQ(queued, static_cast<int>(bytes.size()));
    }
    std::string readPort() {
        uint8_t buffer[8192];
        const int32_t n = port->read(buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, buffer + n) : std::string();
    }
    bool exclusive() const {
        int state = 0;
        EXPECT_EQ(ioctl(slave, TIOCGEXCL, &state), 0);
        return state != 0;
    }
    // Locks the given termios fields of the line at their present values, as an administrator
    // can (TIOCSLCKTRMIOS): tcsetattr then succeeds without changing them, as with a driver that
    // ignores what it cannot do.
    bool lockSettings(tcflag_t cflags, int ccIndex = -1) {
        termios locked{};
        locked.c_cflag = cflags;
        if (ccIndex >= 0) locked.c_cc[ccIndex] = 1;
        return ioctl(slave, TIOCSLCKTRMIOS, &locked) == 0;
    }
};

TEST_F(PortDriverTest, OpenSetsRaw115200EightDataTwoStopNoFlowControl) {
    termios cooked{}; // start from a cooked, flow-controlled line so every change shows
    ASSERT_EQ(tcgetattr(slave, &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= IXON | IXOFF | ICRNL;
    cooked.c_oflag |= OPOST;
    cooked.c_cflag |= CRTSCTS | PARENB;
    cooked.c_cc[VMIN] = 1;
    cfsetspeed(&cooked, B9600);
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &cooked), 0);

    // No modem lines on a pseudo-terminal: clearing DTR and RTS fails there, and is no error.
    const serial::PortError error = port->open("COM200");
    ASSERT_FALSE(error) << serial::describe(error, "COM200");
    EXPECT_TRUE(port->isOpen());
    EXPECT_TRUE(port->usable());

    termios tio{};
    ASSERT_EQ(tcgetattr(slave, &tio), 0);
    EXPECT_EQ(tio.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS | CLOCAL | CREAD),
              static_cast<tcflag_t>(CS8 | CSTOPB | CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_TRUE(exclusive());

    // The device path opens the same line.
    port->close();
    ASSERT_FALSE(port->open(slavePath));
    EXPECT_TRUE(exclusive());
}

TEST_F(PortDriverTest, HeldExclusivelyAndReopenedWithOneHandle) {
    link("COM201", slavePath);
    ASSERT_FALSE(port->open("COM200"));
    EXPECT_EQ(slaveDescriptors(), 2);
    const auto alias = serial::makeSystemPort(portLinks);
    const serial::PortError busy = alias->open("COM201"); // the same device by another name
    EXPECT_EQ(busy.kind, Kind::Busy) << busy.message;
    EXPECT_FALSE(alias->isOpen());
    const int other = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (other < 0) {
        EXPECT_EQ(errno, EBUSY); // TIOCEXCL turns ordinary users away
    } else {
        EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0); // root passes TIOCEXCL, not the lock
        close(other);
    }
    ASSERT_FALSE(port->open("COM200")); // opened again: the first descriptor is closed
    EXPECT_EQ(slaveDescriptors(), 2);
    EXPECT_TRUE(port->write(&kSearchByte, 1));
    EXPECT_EQ(readMaster(), "\xC2");

    // Closing gives up lock and exclusive mode, though the line stays open elsewhere.
    port->close();
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(slaveDescriptors(), 1);
    EXPECT_FALSE(exclusive());
    EXPECT_FALSE(alias->open("COM201"));
}

TEST_F(PortDriverTest, APortHeldByAnotherProgramIsBusy) {
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        // Another program that locks the tty as this one does, and holds it until told.
        close(ready[0]);
        close(release[1]);
        const int fd = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        const ssize_t ignored = write(ready[1], &locked, 1);
        (void)ignored;
        char c = 0;
        while (read(release[0], &c, 1) < 0 && errno == EINTR) {
        }
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char locked = 0;
    ASSERT_EQ(read(ready[0], &locked, 1), 1);
    ASSERT_EQ(locked, 'y');

    const serial::PortError error = port->open("COM200");
    EXPECT_EQ(error.kind, Kind::Busy);
    EXPECT_EQ(error.message, links / "COM200" + ": Device or resource busy");
    EXPECT_NE(serial::describe(error, "COM200").find("another program"), std::string::npos);
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(slaveDescriptors(), 1) << "the refused descriptor is closed";

    close(release[1]); // the other program ends: the port is free
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    EXPECT_FALSE(port->open("COM200"));
}

// A terminal program that takes the port with TIOCEXCL alone (no lock): root gets through the
// flag when it opens, so the flag itself must say busy; and it is not ours to clear.
TEST_F(PortDriverTest, AnotherProgramsExclusiveModeIsBusyEvenForRootAndIsKept) {
    ASSERT_EQ(ioctl(slave, TIOCEXCL), 0);
    const serial::PortError error = port->open("COM200");
    EXPECT_EQ(error.kind, Kind::Busy) << error.message << (geteuid() == 0 ? " (as root)" : "");
    EXPECT_FALSE(port->isOpen());
    EXPECT_TRUE(exclusive());
    ASSERT_EQ(ioctl(slave, TIOCNXCL), 0); // the other program lets go
    EXPECT_FALSE(port->open("COM200"));
}

TEST_F(PortDriverTest, AUserOutsideTheDialoutGroupIsToldToJoinIt) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to open the line as another user";
    // A tty as udev makes them: owned by root, and no access for others.
    ASSERT_EQ(fchown(slave, 0, 0), 0);
    ASSERT_EQ(fchmod(slave, 0600), 0);
    const std::string report = runInChild([&] {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            return std::string("<could not drop to nobody>");
        const auto asUser = serial::makeSystemPort(portLinks);
        const serial::PortError error = asUser->open(slavePath);
        return std::to_string(static_cast<int>(error.kind)) + "|" + error.message + "|" +
               serial::describe(error, "COM200") + "|" + (asUser->isOpen() ? "open" : "closed");
    });
    const std::string expected = std::to_string(static_cast<int>(Kind::PermissionDenied)) + "|" +
                                 slavePath + ": Permission denied|";
    ASSERT_EQ(report.substr(0, expected.size()), expected) << report;
    EXPECT_NE(report.find("add your user to the dialout group"), std::string::npos) << report;
    EXPECT_EQ(report.substr(report.size() - 7), "|closed");
}

TEST_F(PortDriverTest, NamesThatCannotBeOpenedSayWhy) {
    link("COM202", "/dev/null");    // not a terminal
    link("COM203", links / "gone"); // a device no longer there
    const std::pair<const char*, Kind> cases[] = {
        {"COM0", Kind::InvalidName},  {"COM258", Kind::InvalidName},
        {"COM01", Kind::InvalidName}, {"LPT1", Kind::InvalidName},
        {"", Kind::InvalidName},      {"ttyS0", Kind::InvalidName},
        {"COM203", Kind::NotFound},   {"/dev/trevane-no-such-tty", Kind::NotFound},
        {"COM202", Kind::Failed},
    };
    for (const auto& [name, kind] : cases) {
        ASSERT_FALSE(port->open("COM200")); // an open port is closed by a failed open too
        const serial::PortError error = port->open(name);
        EXPECT_EQ(error.kind, kind) << name << ": " << error.message;
        EXPECT_FALSE(port->isOpen()) << name;
        EXPECT_EQ(port->read(nullptr, 0), -1) << name;
        EXPECT_EQ(slaveDescriptors(), 1) << name;
    }
    EXPECT_EQ(port->open("COM203").message, links / "COM203" + ": No such file or directory");
}

TEST_F(PortDriverTest, SettingsTheLineDoesNotTakeAreRefused) {
    // CSTOPB locked off: the line format is not taken although tcsetattr succeeds.
    if (!lockSettings(CSTOPB)) GTEST_SKIP() << "locking terminal settings needs CAP_SYS_ADMIN";
    serial::PortError error = port->open("COM200");
    EXPECT_EQ(error.kind, Kind::Configure) << error.message;
    EXPECT_NE(serial::describe(error, "COM200").find("Unable to configure the serial port"),
              std::string::npos);
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(slaveDescriptors(), 1);
    EXPECT_FALSE(exclusive()) << "exclusive mode is given back with the descriptor";

    // VMIN locked at 1: the format is taken, the read timing is not.
    ASSERT_TRUE(lockSettings(0, VMIN));
    termios tio{};
    ASSERT_EQ(tcgetattr(slave, &tio), 0);
    ASSERT_EQ(tio.c_cc[VMIN], 1);
    error = port->open("COM200");
    EXPECT_EQ(error.kind, Kind::Timeouts) << error.message;
    EXPECT_NE(serial::describe(error, "COM200").find("Unable to set the time-out parameters"),
              std::string::npos);
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(slaveDescriptors(), 1);
}

TEST_F(PortDriverTest, WritesWholeOrNothing) {
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_FALSE(port->write(bytes, 3)); // never opened
    ASSERT_FALSE(port->open("COM200"));
    port->close();
    EXPECT_FALSE(port->write(bytes, 3));
    EXPECT_EQ(readMaster(), "");

    // Far more than the line buffers hold: the write waits for the board to read.
    ASSERT_FALSE(port->open("COM200"));
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 251);
    std::string received;
    std::thread board([&] {
        char buffer[8192];
        pollfd entry{master, POLLIN, 0};
        while (received.size() < big.size() && poll(&entry, 1, 5000) == 1) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    const bool ok =
        port->write(reinterpret_cast<const uint8_t*>(big.data()), static_cast<int32_t>(big.size()));
    board.join();
    EXPECT_TRUE(ok);
    EXPECT_TRUE(received == big);
}

TEST_F(PortDriverTest, ReadsWhatIsQueuedAndDiscardsEverything) {
    uint8_t byte = 0;
    EXPECT_EQ(port->read(&byte, 1), -1); // not open
    ASSERT_FALSE(port->open("COM200"));
    EXPECT_EQ(port->read(&byte, 1), 0);
    sendAndWait("VK");
    uint8_t two[2] = {};
    ASSERT_EQ(port->read(two, 1), 1); // no more than asked for
    ASSERT_EQ(port->read(two + 1, 1), 1);
    EXPECT_EQ(std::string(two, two + 2), "VK");

    sendAndWait(std::string(4000, 'x')); // several of discardInput's reads
    port->discardInput();
    int queued = -1;
    ASSERT_EQ(ioctl(slave, FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 0);
    EXPECT_EQ(port->read(&byte, 1), 0);
    EXPECT_TRUE(port->isOpen());
}

TEST_F(PortDriverTest, HangUpClosesThePortWhoeverMeetsItFirst) {
    using Meet = bool (*)(serial::SerialPort&);
    const std::pair<const char*, Meet> cases[] = {
        {"read",
         [](serial::SerialPort& p) {
             uint8_t byte = 0;
             return p.read(&byte, 1) == -1;
         }},
        {"write", [](serial::SerialPort& p) { return !p.write(&kSearchByte, 1); }},
        {"usable", [](serial::SerialPort& p) { return !p.usable(); }},
        {"wait",
         [](serial::SerialPort& p) {
             // A dead line ends the wait: its caller hears of it from the next read.
             const Clock::time_point start = Clock::now();
             const bool readable = p.waitReadable(20000);
             return !readable && msSince(start) < 10000;
         }},
    };
    for (const auto& [what, meet] : cases) {
        if (master < 0) {
            close(slave);
            startLine();
        }
        ASSERT_FALSE(port->open("COM200")) << what;
        hangUp();
        EXPECT_TRUE(meet(*port)) << what;
        EXPECT_FALSE(port->isOpen()) << what;
        uint8_t byte = 0;
        EXPECT_EQ(port->read(&byte, 1), -1) << what;
    }
}

TEST_F(PortDriverTest, WaitsEndWhenInputArrivesAndKeepTheirTimeOtherwise) {
    // Closed: no input ever, and the whole time is waited.
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(port->waitReadable(30));
    EXPECT_GE(msSince(start), 30);
    EXPECT_FALSE(port->waitReadable(0));
    EXPECT_FALSE(port->waitReadable(-5));

    ASSERT_FALSE(port->open("COM200"));
    start = Clock::now();
    EXPECT_FALSE(port->waitReadable(30));
    EXPECT_GE(msSince(start), 30);

    // Input that comes during a long wait ends it.
    std::thread board([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(write(master, "K", 1), 1);
    });
    start = Clock::now();
    const bool readable = port->waitReadable(20000);
    const int64_t waited = msSince(start);
    board.join();
    EXPECT_TRUE(readable);
    EXPECT_LT(waited, 10000) << "the wait ran to its end";

    // Input already queued and not read: every wait ends at once, and it is still there.
    start = Clock::now();
    EXPECT_TRUE(port->waitReadable(20000));
    EXPECT_TRUE(port->waitReadable(0));
    EXPECT_LT(msSince(start), 10000);
    EXPECT_EQ(readPort(), "K");
    EXPECT_FALSE(port->waitReadable(0));
}

} // namespace
