// The driver on real pseudo-terminals: the test holds the master side (the board) and keeps a
// slave descriptor open as well, as board-sim does.

#include "serial/port_driver.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using testing_support::ScopedEnv;
using testing_support::TempFolder;

namespace {

constexpr int32_t kPort = 199;  // COM200
constexpr int32_t kAlias = 200; // COM201
constexpr uint8_t kSearchByte = 0xC2;

std::vector<std::pair<std::string, std::string>> messages;
int pumps = 0;

class PortDriverTest : public ::testing::Test {
protected:
    TempFolder links;
    ScopedEnv ports{"TREVANE_PORTS", links.path()};
    int master = -1;
    int slave = -1;
    std::string slavePath;

    void SetUp() override {
        serial::resetPortTable();
        messages.clear();
        pumps = 0;
        serial::setMessageHook([](const char* t, const char* c) { messages.emplace_back(t, c); });
        serial::setEventPump([] { ++pumps; });
        startLine();
    }
    void TearDown() override {
        serial::resetPortTable();
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
    static serial::PortRecord* open(int32_t n = kPort) {
        return serial::openPort(n, 115200, serial::kNoParity, serial::kTwoStopBits, 8);
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
    // Waits in the driver's own steps until the port has count bytes queued.
    void sendAndWait(const std::string& bytes) {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        int queued = 0;
        for (int step = 0; step < 400 && queued < static_cast<int>(bytes.size()); ++step) {
            serial::pauseWithEvents(5);
            ioctl(slave, FIONREAD, &queued);
        }
        ASSERT_EQ(queued, static_cast<int>(bytes.size()));
        pumps = 0;
    }
    bool exclusive() const {
        int state = 0;
        EXPECT_EQ(ioctl(slave, TIOCGEXCL, &state), 0);
        return state != 0;
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

    serial::PortRecord* record = open();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->portNumber, kPort);
    EXPECT_EQ(record->open, 1);
    serial::dropModemLines(kPort); // no modem lines on a pseudo-terminal: no error either
    EXPECT_EQ(serial::portStatus(kPort), 0);

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
    EXPECT_TRUE(messages.empty());
}

TEST_F(PortDriverTest, HeldExclusivelyAndReopenedWithOneHandle) {
    link("COM201", slavePath);
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(slaveDescriptors(), 2);
    EXPECT_EQ(open(kAlias), nullptr); // the same device by another name
    const int other = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (other < 0) {
        EXPECT_EQ(errno, EBUSY); // TIOCEXCL turns ordinary users away
    } else {
        EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0); // root passes TIOCEXCL, not the lock
        close(other);
    }
    ASSERT_NE(open(), nullptr); // the same number again: the first handle is closed
    EXPECT_EQ(slaveDescriptors(), 2);
    EXPECT_TRUE(serial::writePort(kPort, &kSearchByte, 1));
    EXPECT_EQ(readMaster(), "\xC2");

    // Closing gives up lock and exclusive mode, though the line stays open elsewhere.
    serial::closePort(kPort);
    EXPECT_EQ(slaveDescriptors(), 1);
    EXPECT_FALSE(exclusive());
    EXPECT_NE(open(kAlias), nullptr);
    EXPECT_TRUE(messages.empty());
}

TEST_F(PortDriverTest, FailedOpensAreSilent) {
    link("COM202", "/dev/null");    // not a terminal
    link("COM203", links / "gone"); // a device no longer there
    for (int32_t n : {257, -1, 201, 202, 1000}) {
        EXPECT_EQ(open(n), nullptr) << n;
        EXPECT_EQ(serial::portStatus(static_cast<int16_t>(n)), -2) << n;
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(PortDriverTest, UnusableLineFormatShowsTheConfigurationMessage) {
    struct Case {
        uint32_t baud;
        uint8_t parity, stopBits, byteSize;
    };
    for (const Case c : {Case{12345, 0, 2, 8}, Case{115200, 9, 2, 8}, Case{115200, 0, 1, 8},
                         Case{115200, 0, 2, 9}}) {
        messages.clear();
        EXPECT_EQ(serial::openPort(kPort, c.baud, c.parity, c.stopBits, c.byteSize), nullptr);
        EXPECT_EQ(messages, (decltype(messages){{"Unable to configure the serial port", "Error"}}));
        EXPECT_EQ(serial::portStatus(kPort), -2);
        EXPECT_EQ(slaveDescriptors(), 1) << "the handle is closed again";
    }
}

TEST_F(PortDriverTest, WritesWholeOrNothing) {
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_FALSE(serial::writePort(kPort, bytes, 3)); // never opened
    ASSERT_NE(open(), nullptr);
    serial::closePort(kPort);
    EXPECT_FALSE(serial::writePort(kPort, bytes, 3));
    EXPECT_EQ(readMaster(), "");

    // Far more than the line buffers hold: the write waits for the board to read.
    ASSERT_NE(open(), nullptr);
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
    const bool ok = serial::writePort(kPort, reinterpret_cast<const uint8_t*>(big.data()),
                                      static_cast<int32_t>(big.size()));
    board.join();
    EXPECT_TRUE(ok);
    EXPECT_TRUE(received == big);
}

TEST_F(PortDriverTest, ReadsWhatIsQueuedAndDrainsEverything) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(serial::readPort(kPort), 0);
    EXPECT_EQ(serial::readPort(kAlias), -1); // not open
    sendAndWait("VK");
    ASSERT_EQ(serial::readPort(kPort), 2);
    EXPECT_EQ(std::string(serial::receiveBuffer, serial::receiveBuffer + 2), "VK");

    sendAndWait(std::string(4000, 'x')); // more than one receive buffer
    serial::drainPort(kPort);
    int queued = -1;
    ASSERT_EQ(ioctl(slave, FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 0);
    EXPECT_EQ(serial::readPort(kPort), 0);
}

TEST_F(PortDriverTest, HangUpClosesTheRecordWhoeverMeetsItFirst) {
    using Meet = bool (*)();
    const std::pair<const char*, Meet> cases[] = {
        {"read", [] { return serial::readPort(kPort) == -1; }},
        {"write", [] { return !serial::writePort(kPort, &kSearchByte, 1); }},
        {"status", [] { return serial::portStatus(kPort) == -2; }},
        {"pause",
         [] {
             serial::pauseWithEvents(50);
             return pumps == 10; // a dead line does not cut the pause short
         }},
    };
    for (const auto& [what, meet] : cases) {
        if (master < 0) {
            close(slave);
            startLine();
        }
        serial::PortRecord* record = open();
        ASSERT_NE(record, nullptr) << what;
        hangUp();
        pumps = 0;
        EXPECT_TRUE(meet()) << what;
        EXPECT_EQ(record->open, 0) << what;
        EXPECT_EQ(serial::readPort(kPort), -1) << what;
    }
}

TEST_F(PortDriverTest, PauseMakesOneStepPerFiveMilliseconds) {
    const std::pair<int32_t, int> cases[] = {{0, 0}, {-5, 0}, {1, 1}, {5, 1}, {7, 2}, {11, 3}};
    for (const auto& [ms, steps] : cases) {
        pumps = 0;
        serial::pauseWithEvents(ms);
        EXPECT_EQ(pumps, steps) << ms << " ms";
    }
    ASSERT_NE(open(), nullptr); // the same with input waiting that nobody reads
    sendAndWait("K");
    serial::pauseWithEvents(20);
    EXPECT_EQ(pumps, 4);
    EXPECT_EQ(serial::readPort(kPort), 1);

    serial::resetPortTable(); // closes the ports and forgets the hooks
    EXPECT_EQ(serial::portStatus(kPort), -2);
    serial::pauseWithEvents(5);
    EXPECT_EQ(pumps, 4);
}

} // namespace
