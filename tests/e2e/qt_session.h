// Shared by the in-process whole-program tests: the launching program's UDP listener, access to
// the real Qt widgets by object name, and a fixture that runs the real start-up with a user
// script and a sandbox of its own.
#pragma once

#include "app/application.h"
#include "serial/listing/port_list.h"
#include "serial/serial_port.h"
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

namespace e2e {

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
            const ssize_t n =
                ::recvfrom(fd_, b, sizeof b, 0, reinterpret_cast<sockaddr*>(&from), &len);
            const bool wellFormed = n == 12 && b[3] == 4 && ntohs(from.sin_port) == 3004;
            codes.push_back(wellFormed ? b[11] : -1);
        }
        return codes;
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

inline QWidget* topLevel(const char* className) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == className && w->isVisible()) return w;
    return nullptr;
}

// What a label shows once the event loop has handed it its latest text (the status bar's
// panels take theirs at the loop's next pass).
inline QString text(QWidget* window, const char* name) {
    QCoreApplication::sendPostedEvents();
    auto* l = window->findChild<QLabel*>(name);
    return l ? l->text() : QString("<no %1>").arg(name);
}

inline QColor background(QWidget* window, const char* name) {
    return window->findChild<QLabel*>(name)->palette().color(QPalette::Window);
}

inline void click(QWidget* window, const char* name) {
    window->findChild<QPushButton*>(name)->click();
}

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
            QWidget* main = topLevel("UpgradeWindow");
            if (!main) main = topLevel("UpdaterWindow");
            ASSERT_NE(main, nullptr);
            acted = true;
            user(main);
            main->close();
        });
        ui::qt::QtToolkit toolkit;
        app::runApplication(toolkit, static_cast<int>(args.size()), args.data(),
                            app::systemPlatform(sandbox.portLinks()));
        EXPECT_TRUE(acted);
    }

    e2e::Sandbox sandbox;
};

// One acknowledged or refused frame of board-sim's dump.
struct DumpFrame {
    std::string kind; // "flash", "eeprom", "refused", "silent", ...
    uint32_t address = 0;
    std::vector<uint8_t> data; // as received (wire form) for flash; {value} for eeprom
};

inline std::vector<DumpFrame> framesOf(const std::vector<std::string>& dump) {
    std::vector<DumpFrame> frames;
    for (const std::string& line : dump) {
        std::istringstream in(line);
        DumpFrame f;
        in >> f.kind;
        std::string what = f.kind;
        if (f.kind == "refused" || f.kind == "silent") in >> what;
        std::string address;
        if (what == "flash") {
            int length = 0;
            std::string hex;
            in >> address >> length >> hex;
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                f.data.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        } else if (what == "eeprom") {
            std::string value;
            in >> address >> value;
            f.data.push_back(static_cast<uint8_t>(std::stoul(value, nullptr, 16)));
        } else {
            continue;
        }
        f.address = static_cast<uint32_t>(std::stoul(address, nullptr, 16));
        if (f.kind != "flash" && f.kind != "eeprom") f.kind += " " + what;
        frames.push_back(f);
    }
    return frames;
}

} // namespace e2e
