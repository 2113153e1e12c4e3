// The whole program in one process: the real start-up, the Qt windows (offscreen), the real
// serial driver, and board-sim on a pseudo-terminal as the board. Clicks are made on the real
// widgets; results are read from them, from a UDP listener and from board-sim's dump.
#include "app/program.h"
#include "firmware/image_table.h"
#include "sim_process.h"
#include "ui/qt/qt_toolkit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <sstream>

namespace {

// The launching program: 127.0.0.1:3000.
class Host {
public:
    Host() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(3000);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Host() { ::close(fd_); }
    bool bound() const { return bound_; }
    // Result codes received, each checked for its form and source port.
    std::vector<int> results() {
        std::vector<int> codes;
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, 200) == 1) {
            uint8_t b[64];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(fd_, b, sizeof b, 0, reinterpret_cast<sockaddr*>(&from), &len);
            const bool wellFormed = n == 12 && b[3] == 4 && ntohs(from.sin_port) == 3004;
            codes.push_back(wellFormed ? b[11] : -1);
        }
        return codes;
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

QWidget* topLevel(const char* className) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == className && w->isVisible()) return w;
    return nullptr;
}

QString text(QWidget* window, const char* name) {
    auto* l = window->findChild<QLabel*>(name);
    return l ? l->text() : QString("<no %1>").arg(name);
}

QColor background(QWidget* window, const char* name) {
    return window->findChild<QLabel*>(name)->palette().color(QPalette::Window);
}

void click(QWidget* window, const char* name) { window->findChild<QPushButton*>(name)->click(); }

class QtSession : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "qt_session_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }

    // Runs the program; `user` acts on the main window once it is shown, then it is closed.
    void run(const std::function<void(QWidget*)>& user, std::vector<const char*> args = {}) {
        args.insert(args.begin(), "trevane");
        bool acted = false;
        QTimer::singleShot(0, [&] {
            QWidget* main = topLevel("TForm5");
            if (!main) main = topLevel("TForm1");
            ASSERT_NE(main, nullptr);
            acted = true;
            user(main);
            main->close();
        });
        ui::qt::QtToolkit toolkit;
        app::runApplication(toolkit, static_cast<int>(args.size()), args.data());
        EXPECT_TRUE(acted);
    }

    e2e::Sandbox sandbox;
};

uint8_t mask(uint32_t address) { return firmware::scrambleMask(address); }

TEST_F(QtSession, UpdateProgramsTheBoardAndReportsSuccess) {
    Host host;
    ASSERT_TRUE(host.bound());
    firmware::buildImageTable();
    const firmware::FirmwareImage image = firmware::imageTable[0][6];
    ASSERT_EQ(image.flashLength, 65175);
    const int imageBoard = image.flashData[1024] ^ mask(0);
    const int imagePrep = image.flashData[1025] ^ mask(0);
    e2e::BoardSim sim(sandbox, {"--chip", "254", "--bios", "10", "--board",
                                std::to_string(imageBoard == 255 ? 0 : imageBoard), "--prep",
                                std::to_string(imagePrep), "--description", "Test bench board"});
    sandbox.storePort(199);

    run(
        [](QWidget* w) {
            click(w, "Button1");
            EXPECT_EQ(text(w, "Label2"), " Program Ok ");
            EXPECT_EQ(background(w, "Label2"), QColor(0, 128, 0));
            EXPECT_EQ(text(w, "StatusBar1.0"), "COM200");
            EXPECT_EQ(text(w, "StatusBar1.2"), "Found 24HJ64");
            EXPECT_EQ(text(w, "StatusBar1.3"), "Loaded 32587 bytes (0000 to 7F4B)");
            EXPECT_TRUE(text(w, "Label3").startsWith("BIOS:0a - "));
            EXPECT_EQ(text(w, "Label4"), "Test bench board");
            EXPECT_TRUE(w->findChild<QPushButton*>("Button1")->isVisible());
        },
        {"\\P"});
    EXPECT_EQ(host.results(), std::vector<int>{1});

    // What the board received, unmasked, is the image with the reset jump at its start.
    std::vector<int> received(65175, -1);
    std::vector<uint8_t> fix;
    int flashFrames = 0;
    for (const std::string& line : sim.dump()) {
        std::istringstream in(line);
        std::string kind, addressHex, dataHex;
        int length = 0;
        in >> kind;
        if (kind != "flash") continue;
        in >> addressHex >> length >> dataHex;
        const uint32_t address = std::stoul(addressHex, nullptr, 16);
        ASSERT_EQ(dataHex.size(), static_cast<size_t>(2 * length)) << line;
        std::vector<uint8_t> data;
        for (int i = 0; i < length; ++i)
            data.push_back(static_cast<uint8_t>(std::stoul(dataHex.substr(2 * i, 2), nullptr, 16) ^
                                                mask(address)));
        if (address == 0xA780) {
            fix = data;
            continue;
        }
        ++flashFrames;
        for (int i = 0; i < length; ++i) received[address * 2 + i] = data[static_cast<size_t>(i)];
    }
    EXPECT_EQ(flashFrames, 255); // 254 full frames and a last one of 151 bytes
    const uint8_t jump[8] = {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(received[i], jump[i]) << i;
    int mismatches = 0;
    for (int i = 8; i < 65175; ++i)
        if (received[i] != (image.flashData[i] ^ mask(static_cast<uint32_t>(i / 256 * 128))))
            ++mismatches;
    EXPECT_EQ(mismatches, 0);
    ASSERT_EQ(fix.size(), 256u);
    for (int i = 0; i < 248; ++i) EXPECT_EQ(fix[static_cast<size_t>(i)], 0xFF) << i;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(fix[static_cast<size_t>(248 + i)], image.fixData[i]) << i;
}

TEST_F(QtSession, NoBoardIsDeviceNotFoundAndSendsNothing) {
    Host host;
    e2e::BoardSim sim(sandbox, {"--refuse-search"});
    sandbox.storePort(199);
    run(
        [](QWidget* w) {
            click(w, "Button1");
            EXPECT_EQ(text(w, "StatusBar1.1"), "Device not Found");
            EXPECT_FALSE(text(w, "Label2") == " Program Ok ");
        },
        {"\\P"});
    EXPECT_TRUE(host.results().empty());
    const auto dump = sim.dump();
    ASSERT_FALSE(dump.empty());
    EXPECT_EQ(dump.back().rfind("counts searches=100 ", 0), 0u) << dump.back();
}

TEST_F(QtSession, PortThatDoesNotExistIsInvalidPortCom) {
    Host host;
    sandbox.linkPort("COM9", "/nonexistent/tty");
    sandbox.storePort(8);
    run(
        [](QWidget* w) {
            click(w, "Button1");
            EXPECT_EQ(text(w, "Label2"), "Invalid Port Com");
            EXPECT_EQ(background(w, "Label2"), QColor(255, 0, 0));
            EXPECT_EQ(text(w, "StatusBar1.0"), "COM9");
        },
        {"\\P"});
    EXPECT_EQ(host.results(), std::vector<int>{0});
}

TEST_F(QtSession, StopDuringTheSearchIsUserAbort) {
    Host host;
    e2e::BoardSim sim(sandbox, {"--answer-after", "100000"});
    sandbox.storePort(199);
    run(
        [](QWidget* w) {
            QTimer::singleShot(400, [w] { click(w, "Button2"); });
            click(w, "Button1");
            EXPECT_EQ(text(w, "Label2"), " User Abort !! ");
            EXPECT_TRUE(w->findChild<QPushButton*>("Button1")->isVisible());
            EXPECT_FALSE(w->findChild<QPushButton*>("Button2")->isVisible());
        },
        {"\\P"});
    EXPECT_EQ(host.results(), std::vector<int>{0});
}

} // namespace
