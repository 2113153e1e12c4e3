// A serial port that forwards to one the test owns, so that the test can still look at it
// (what was written, the simulated board's record) after handing "the port" to the program.
#pragma once

#include "serial/serial_port.h"

namespace testsupport {

class PortRef final : public serial::SerialPort {
public:
    explicit PortRef(serial::SerialPort& port) : port_(port) {}
    serial::PortError open(std::string_view name) override { return port_.open(name); }
    void close() override { port_.close(); }
    bool isOpen() const override { return port_.isOpen(); }
    bool usable() override { return port_.usable(); }
    int32_t read(uint8_t* buffer, int32_t size) override { return port_.read(buffer, size); }
    bool write(const uint8_t* bytes, int32_t count) override { return port_.write(bytes, count); }
    void discardInput() override { port_.discardInput(); }
    bool waitReadable(int ms) override { return port_.waitReadable(ms); }

private:
    serial::SerialPort& port_;
};

} // namespace testsupport
