// The Win32 port class on a pseudo-terminal that wine maps as COM<TREVANE_TEST_COM>;
// com_peer.py holds the other end and answers every byte with that byte plus one.
#include "serial/port/win32/line_format.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Kind = serial::PortError::Kind;
using Clock = std::chrono::steady_clock;

int64_t msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class MappedPort : public ::testing::Test {
protected:
    void SetUp() override {
        const char* com = std::getenv("TREVANE_TEST_COM");
        if (com == nullptr) GTEST_SKIP() << "needs the COM port that com_peer.py maps";
        name_ = std::string("COM") + com;
    }

    serial::PortError open() { return port_->open(name_); }
    HANDLE handle() const { return serial::win32::portHandle(*port_); }

    // Reads until `count` bytes came or about two seconds of 5 ms waits passed.
    std::string readAtLeast(size_t count) {
        std::string got;
        for (int step = 0; step < 400 && got.size() < count; ++step) {
            port_->waitReadable(5);
            uint8_t buffer[256];
            const int32_t n = port_->read(buffer, sizeof buffer);
            if (n > 0) got.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        }
        return got;
    }
    DWORD queued() const {
        COMSTAT status{};
        DWORD errors = 0;
        EXPECT_TRUE(ClearCommError(handle(), &errors, &status));
        return status.cbInQue;
    }

    std::string name_;
    std::unique_ptr<serial::SerialPort> port_ = serial::makeSystemPort({});
};

TEST_F(MappedPort, OpensAt115200EightDataBitsTwoStopBitsWithoutFlowControl) {
    const serial::PortError error = open();
    ASSERT_FALSE(error) << serial::describe(error, name_);
    EXPECT_TRUE(port_->isOpen());
    EXPECT_TRUE(port_->usable());

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    // DTR and RTS control: wine reads them back as enabled whatever was set; see LineFormat.
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);

    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(handle(), &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 1000u);

    // The device path that the listing gives opens the same port.
    ASSERT_FALSE(port_->open("\\\\.\\" + name_));
    EXPECT_TRUE(port_->usable());
}

// What an open asks of the driver, from a port that reported every flag set.
TEST(LineFormat, ClearsFlowControlHoldsTheModemLinesLowAndKeepsOtherFields) {
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.XonChar = 0x11;
    dcb.EofChar = 0x1A;
    serial::win32::setLineFormat(dcb);
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    const DWORD cleared[] = {
        dcb.fParity, dcb.fOutxCtsFlow, dcb.fOutxDsrFlow, dcb.fDsrSensitivity, dcb.fTXContinueOnXoff,
        dcb.fOutX,   dcb.fInX,         dcb.fErrorChar,   dcb.fNull,           dcb.fAbortOnError};
    for (size_t i = 0; i < std::size(cleared); ++i)
        EXPECT_EQ(cleared[i], 0u) << "flag " << i;
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.EofChar, 0x1A);
    EXPECT_EQ(dcb.DCBlength, sizeof dcb);

    const COMMTIMEOUTS t = serial::win32::portTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier + t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST_F(MappedPort, ReadsReturnAtOnceAndWritesArrive) {
    ASSERT_FALSE(open());
    port_->discardInput();
    uint8_t byte = 0;
    EXPECT_EQ(port_->read(&byte, 1), 0); // nothing queued: back at once with nothing

    const uint8_t bytes[] = {'a', 'b', 'c', 0xFF};
    ASSERT_TRUE(port_->write(bytes, 4));
    EXPECT_EQ(readAtLeast(4), std::string("bcd\0", 4)); // the peer's answer: each byte plus one
}

TEST_F(MappedPort, DiscardEmptiesTheInputQueueBeyondOneRead) {
    ASSERT_FALSE(open());
    // Several of discardInput's reads, and less than a terminal's input buffer (4096 bytes), so
    // that it all queues.
    const DWORD size = 3072 + 400;
    const std::vector<uint8_t> block(size, 0x10);
    ASSERT_TRUE(port_->write(block.data(), static_cast<int32_t>(size)));
    for (int step = 0; step < 400 && queued() < size; ++step)
        Sleep(5);
    ASSERT_EQ(queued(), size);
    port_->discardInput();
    EXPECT_EQ(queued(), 0u);
    uint8_t byte = 0;
    EXPECT_EQ(port_->read(&byte, 1), 0);
    EXPECT_TRUE(port_->isOpen());
}

TEST_F(MappedPort, ReopeningClosesTheFirstHandleAndClosingEndsUse) {
    ASSERT_FALSE(open());
    // The handle value may well be reused, so the count tells whether the first was closed.
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    ASSERT_FALSE(open());
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, before) << "the first handle is still open";
    EXPECT_TRUE(port_->usable());

    EXPECT_FALSE(port_->waitReadable(10));
    port_->close();
    EXPECT_FALSE(port_->isOpen());
    EXPECT_FALSE(port_->usable());
    const uint8_t byte = 0x41;
    EXPECT_FALSE(port_->write(&byte, 1));
    uint8_t in = 0;
    EXPECT_EQ(port_->read(&in, 1), -1);
    port_->discardInput(); // returns at once on a closed port

    // The port is free again, also for another object.
    const auto other = serial::makeSystemPort({});
    EXPECT_FALSE(other->open(name_));
}

TEST_F(MappedPort, PortsThatCannotBeOpenedSayWhy) {
    const std::pair<const char*, Kind> cases[] = {
        {"COM0", Kind::InvalidName},  {"COM258", Kind::InvalidName},
        {"COM01", Kind::InvalidName}, {"LPT1", Kind::InvalidName},
        {"", Kind::InvalidName},      {"/dev/ttyS0", Kind::InvalidName},
        {"COM250", Kind::NotFound}, // not mapped
    };
    for (const auto& [name, kind] : cases) {
        ASSERT_FALSE(open());
        const serial::PortError error = port_->open(name);
        EXPECT_EQ(error.kind, kind) << name << ": " << error.message;
        EXPECT_FALSE(port_->isOpen()) << name;
        EXPECT_EQ(error.message.empty(), kind == Kind::InvalidName) << name;
    }
}

TEST_F(MappedPort, WaitsEndWhenInputArrivesAndKeepTheirTimeOtherwise) {
    // Closed: no input ever, and the whole time is waited.
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(port_->waitReadable(30));
    EXPECT_GE(msSince(start), 30);
    EXPECT_FALSE(port_->waitReadable(0));

    ASSERT_FALSE(open());
    port_->discardInput();
    start = Clock::now();
    EXPECT_FALSE(port_->waitReadable(30));
    EXPECT_GE(msSince(start), 30);

    // The peer answers at once: a long wait ends with the answer, not at its end.
    const uint8_t byte = 'J';
    ASSERT_TRUE(port_->write(&byte, 1));
    start = Clock::now();
    EXPECT_TRUE(port_->waitReadable(20000));
    EXPECT_LT(msSince(start), 10000) << "the wait ran to its end";

    // Input queued and not read: every wait ends at once, and it is still there.
    start = Clock::now();
    EXPECT_TRUE(port_->waitReadable(20000));
    EXPECT_TRUE(port_->waitReadable(0));
    EXPECT_LT(msSince(start), 10000);
    uint8_t in = 0;
    EXPECT_EQ(port_->read(&in, 1), 1);
    EXPECT_EQ(in, 'K');
    EXPECT_FALSE(port_->waitReadable(0));

    // Again after a wait that timed out, and with a reply of several bytes: the byte that
    // ends a wait is read first, the rest with it.
    EXPECT_FALSE(port_->waitReadable(20));
    const uint8_t frame[] = {'U', 'J', 'Q'};
    ASSERT_TRUE(port_->write(frame, 3));
    start = Clock::now();
    EXPECT_TRUE(port_->waitReadable(20000));
    EXPECT_LT(msSince(start), 10000);
    EXPECT_EQ(readAtLeast(3), "VKR");

    // A wait's byte not yet read is thrown away with the rest, and is gone with a close.
    ASSERT_TRUE(port_->write(frame, 3));
    ASSERT_TRUE(port_->waitReadable(20000));
    port_->discardInput();
    for (int step = 0; step < 20; ++step) // what was still on its way
        port_->discardInput(), Sleep(5);
    EXPECT_FALSE(port_->waitReadable(0));
    ASSERT_TRUE(port_->write(frame, 1));
    ASSERT_TRUE(port_->waitReadable(20000));
    port_->close();
    ASSERT_FALSE(open());
    EXPECT_FALSE(port_->waitReadable(50));
}

} // namespace
