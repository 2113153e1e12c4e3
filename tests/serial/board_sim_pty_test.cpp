// The real board-sim program on a pseudo-terminal, talked to through the real port class.

#include "serial/listing/port_list.h"
#include "serial/serial_port.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using testing_support::TempFolder;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char* kPort = "COM200"; // board-sim's default name

class SimProcess {
public:
    // The simulator's port link goes into `linkFolder`, which its environment names.
    SimProcess(const std::string& linkFolder, std::vector<std::string> args) {
        args.insert(args.begin(), BOARD_SIM_PATH);
        testing_support::ChildEnvironment environment("TREVANE_PORTS", linkFolder);
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, BOARD_SIM_PATH, &actions, nullptr, argv.data(), environment.get()) !=
            0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~SimProcess() {
        stop();
        if (out_ >= 0) close(out_);
    }

    // The next line it prints; empty when none comes (the program hangs or died).
    std::string readLine() {
        std::string line;
        for (;;) {
            pollfd entry{out_, POLLIN, 0};
            if (poll(&entry, 1, 10000) != 1) return {};
            char c = 0;
            if (read(out_, &c, 1) != 1) return {};
            if (c == '\n') return line;
            line.push_back(c);
        }
    }

    // Ends it as a user would (SIGTERM); returns its exit status.
    int stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

Bytes withChecksum(Bytes command) {
    uint8_t sum = 0;
    for (uint8_t b : command)
        sum = static_cast<uint8_t>(sum + b);
    command.push_back(static_cast<uint8_t>(-sum));
    return command;
}

// Writes a command and collects the reply in 5 ms waits, as the updater does.
Bytes talk(serial::SerialPort& port, const Bytes& command, std::size_t expected) {
    // Not checked: a line dropped right after taking the bytes fails the write's drain.
    port.write(command.data(), static_cast<int32_t>(command.size()));
    Bytes reply;
    for (int step = 0; step < 1000 && reply.size() < expected; ++step) {
        port.waitReadable(5);
        uint8_t buffer[256];
        const int32_t count = port.read(buffer, sizeof buffer);
        if (count < 0) break;
        reply.insert(reply.end(), buffer, buffer + count);
    }
    return reply;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class BoardSimPtyTest : public ::testing::Test {
protected:
    TempFolder folder;
    const serial::PortLinks links{folder / "ports"};
    std::unique_ptr<serial::SerialPort> port = serial::makeSystemPort(links);

    Bytes talk(const Bytes& command, std::size_t expected) {
        return ::talk(*port, command, expected);
    }
};

TEST_F(BoardSimPtyTest, WholeExchangeThroughTheDriver) {
    SimProcess sim(links.folder, {"--chip", "B", "--bios", "10", "--board", "2", "--prep", "0x81",
                                  "--description", "Sim board", "--protect", "256:16", "--dump",
                                  folder / "dump.txt"});
    const std::string ready = sim.readLine();
    ASSERT_EQ(ready.rfind("ready COM200 /dev/pts/", 0), 0u) << ready;
    const std::string pty = ready.substr(std::string("ready COM200 ").size());

    // The listing shows the simulator's port.
    bool listed = false;
    for (const serial::PortDescription& entry : serial::listPorts(links))
        listed = listed || (entry.name == "COM200" && entry.device == pty &&
                            entry.friendlyName == "Linked port (" + pty + ")");
    EXPECT_TRUE(listed);

    ASSERT_FALSE(port->open(kPort));
    ASSERT_TRUE(port->usable());

    Bytes identification{'V', 10, 'B', 2, 0x81, 'K', 'R', 28, 0};
    const std::string text = "Sim board";
    identification.insert(identification.end(), text.begin(), text.end());
    identification.insert(identification.end(), 24 - text.size(), 0);
    identification.insert(identification.end(), {0x00, 0x01, 0x10, 0x00, 'K'});
    EXPECT_EQ(talk({0xC2}, identification.size()), identification);
    EXPECT_EQ(talk({0xCC}, 1), Bytes{'K'});
    EXPECT_EQ(talk(withChecksum({0x00, 0x00, 0x00, 0x04, 0xDE, 0xAD, 0xBE, 0xEF}), 1), Bytes{'K'});
    EXPECT_EQ(talk({0x00, 0x00, 0x40, 0x01, 0x55, 0x00}, 1), Bytes{'N'});
    EXPECT_EQ(talk({0x40, 0x03, 0x5A, 0x01, 0x00, 0x62}, 1), Bytes{'K'});

    // Closed and opened again while the simulator keeps its end open: not refused.
    port->close();
    ASSERT_FALSE(port->open(kPort));
    EXPECT_EQ(talk({0xC2}, identification.size()), identification);

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(readFile(folder / "dump.txt"),
              "search C2 answered\n"
              "progmode\n"
              "flash 000000 4 DEADBEEF\n"
              "badsum 000040015500\n"
              "eeprom 03 5A\n"
              "search C2 answered\n"
              "counts searches=2 answered=2 progmode=1 frames=2 refused=0 badsum=1 silent=0\n");
    struct stat st {};
    EXPECT_NE(lstat((folder / "ports/COM200").c_str(), &st), 0) << "link removed at exit";
}

TEST_F(BoardSimPtyTest, HangUpClosesThePortAndReopenComesBack) {
    SimProcess sim(links.folder,
                   {"--chip", "B", "--bios", "4", "--hangup-after", "1", "--reopen", "--split",
                    "--garbage", "2", "--baud", "115200", "--write-ms", "2"});
    ASSERT_EQ(sim.readLine().rfind("ready COM200 ", 0), 0u);
    ASSERT_FALSE(port->open(kPort));
    const Bytes frame0 = withChecksum({0x00, 0x00, 0x00, 0x01, 0x12});
    const Bytes frame1 = withChecksum({0x00, 0x00, 0x40, 0x01, 0x34});
    EXPECT_EQ(talk(frame0, 1), Bytes{'K'});
    EXPECT_TRUE(talk(frame1, 1).empty());
    EXPECT_FALSE(port->isOpen()) << "a hung-up line closes the port";
    EXPECT_FALSE(port->usable());
    uint8_t byte = 0;
    EXPECT_EQ(port->read(&byte, 1), -1);

    EXPECT_EQ(sim.readLine(), "hangup COM200");
    ASSERT_EQ(sim.readLine().rfind("ready COM200 ", 0), 0u);
    ASSERT_FALSE(port->open(kPort));
    EXPECT_EQ(talk({0xC2}, 8), Bytes({0x00, 0xFF, 'V', 4, 'B', 0, 1, 'K'}));
    EXPECT_EQ(talk(frame1, 1), Bytes{'K'});
}

} // namespace
