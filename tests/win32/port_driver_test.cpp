// The port driver on a pseudo-terminal that wine maps as COM<TREVANE_TEST_COM>; com_peer.py
// holds the other end and answers every byte with that byte plus one.
#include "serial/port_driver.h"
#include "serial/win32/line_format.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

int pumped = 0;
std::vector<std::string> messages;

void countPump() {
    ++pumped;
}
void recordMessage(const char* text, const char* caption) {
    messages.push_back(std::string(caption) + ": " + text);
}

class MappedPort : public ::testing::Test {
protected:
    void SetUp() override {
        const char* com = std::getenv("TREVANE_TEST_COM");
        if (com == nullptr) GTEST_SKIP() << "needs the COM port that com_peer.py maps";
        n_ = std::atoi(com) - 1;
        serial::resetPortTable();
        pumped = 0;
        messages.clear();
        serial::setEventPump(&countPump);
        serial::setMessageHook(&recordMessage);
    }
    void TearDown() override { serial::resetPortTable(); }

    serial::PortRecord* open() {
        return serial::openPort(n_, serial::baudRateSetting, serial::kNoParity,
                                serial::kTwoStopBits, 8);
    }

    // Reads until `count` bytes came or about two seconds of 5 ms steps passed.
    std::string readAtLeast(size_t count) {
        std::string got;
        for (int step = 0; step < 400 && got.size() < count; ++step) {
            const int32_t n = serial::readPort(n_);
            if (n > 0)
                got.append(reinterpret_cast<const char*>(serial::receiveBuffer),
                           static_cast<size_t>(n));
            else
                serial::pauseWithEvents(5);
        }
        return got;
    }

    int32_t n_ = -1;
};

TEST_F(MappedPort, OpensAt115200EightDataBitsTwoStopBitsWithoutFlowControl) {
    serial::PortRecord* record = open();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->open, 1);
    EXPECT_EQ(record->portNumber, n_);
    EXPECT_EQ(serial::portStatus(static_cast<int16_t>(n_)), 0);
    serial::dropModemLines(n_);

    const HANDLE handle = reinterpret_cast<HANDLE>(record->handle);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(handle, &dcb));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    // DTR and RTS control: wine reads them back as enabled whatever was set; see below.
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);

    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(handle, &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 1000u);
    EXPECT_TRUE(messages.empty());
}

// What an open asks of the driver, from a port that reported every flag set.
TEST(LineFormat, ClearsFlowControlHoldsTheModemLinesLowAndKeepsOtherFields) {
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.XonChar = 0x11;
    dcb.EofChar = 0x1A;
    serial::win32::setLineFormat(dcb, 115200, NOPARITY, TWOSTOPBITS, 8);
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
    ASSERT_NE(open(), nullptr);
    serial::drainPort(n_);
    EXPECT_EQ(serial::readPort(n_), 0); // nothing queued: back at once with nothing

    const uint8_t bytes[] = {'a', 'b', 'c', 0xFF};
    ASSERT_TRUE(serial::writePort(n_, bytes, 4));
    EXPECT_EQ(readAtLeast(4), std::string("bcd\0", 4)); // the peer's answer: each byte plus one
}

TEST_F(MappedPort, DrainEmptiesTheInputQueueEvenBeyondTheBufferSize) {
    serial::PortRecord* record = open();
    ASSERT_NE(record, nullptr);
    const HANDLE handle = reinterpret_cast<HANDLE>(record->handle);
    // More than one read buffer, and less than a terminal's input buffer, so it all queues.
    const DWORD size = serial::kReceiveBufferSize + 400;
    const std::vector<uint8_t> block(size, 0x10);
    ASSERT_TRUE(serial::writePort(n_, block.data(), static_cast<int32_t>(size)));
    COMSTAT status{};
    DWORD errors = 0;
    for (int step = 0; step < 400 && status.cbInQue < size; ++step) {
        serial::pauseWithEvents(5);
        ASSERT_TRUE(ClearCommError(handle, &errors, &status));
    }
    ASSERT_EQ(status.cbInQue, size);
    serial::drainPort(n_);
    ASSERT_TRUE(ClearCommError(handle, &errors, &status));
    EXPECT_EQ(status.cbInQue, 0u);
    EXPECT_EQ(serial::readPort(n_), 0);
}

TEST_F(MappedPort, ReopeningClosesTheFirstHandleAndClosingEndsUse) {
    serial::PortRecord* first = open();
    ASSERT_NE(first, nullptr);
    // The handle value may well be reused, so the count tells whether the first was closed.
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    serial::PortRecord* second = open();
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, before) << "the first handle is still open";
    EXPECT_EQ(serial::portStatus(static_cast<int16_t>(n_)), 0);

    serial::closePort(n_);
    EXPECT_EQ(serial::portStatus(static_cast<int16_t>(n_)), -2);
    const uint8_t byte = 0x41;
    EXPECT_FALSE(serial::writePort(n_, &byte, 1));
    EXPECT_EQ(serial::readPort(n_), -1);
    serial::drainPort(n_); // returns at once on a closed port
}

TEST_F(MappedPort, PortsThatCannotBeOpenedGiveNoneWithoutAMessage) {
    for (int32_t n : {-1, 257, 249 /* COM250, not mapped */}) {
        EXPECT_EQ(serial::openPort(n, 115200, serial::kNoParity, serial::kTwoStopBits, 8), nullptr)
            << n;
        EXPECT_EQ(serial::portStatus(static_cast<int16_t>(n)), -2) << n;
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(MappedPort, PausesMakeOneStepPerFiveMillisecondsStarted) {
    struct Case {
        int32_t ms;
        int steps;
    };
    for (const Case c : {Case{0, 0}, Case{-5, 0}, Case{5, 1}, Case{7, 2}, Case{20, 4}}) {
        pumped = 0;
        serial::pauseWithEvents(c.ms);
        EXPECT_EQ(pumped, c.steps) << c.ms;
    }
    // With the port open and input arriving, a pause still makes all its steps.
    ASSERT_NE(open(), nullptr);
    const uint8_t byte = 1;
    ASSERT_TRUE(serial::writePort(n_, &byte, 1));
    pumped = 0;
    serial::pauseWithEvents(50);
    EXPECT_EQ(pumped, 10);
}

} // namespace
