// Interim: the new port interface over the old port table, until the port classes land.
#include "serial/port_driver.h"
#include "serial/port_list.h"
#include "serial/port_map.h"
#include "serial/serial_port.h"

#include <cstring>
#include <string>

namespace serial {
namespace {

class InterimPort final : public SerialPort {
public:
    ~InterimPort() override { close(); }
    PortError open(std::string_view name) override {
        close();
        const std::string text(name);
        number_ = text.rfind("/", 0) == 0 ? portNumberOfDevice(text.c_str())
                                          : portNumberOfLinkName(text.c_str());
        if (number_ < 0) return {PortError::Kind::InvalidName, text};
        if (!openPort(number_, kBaudRate, kNoParity, kTwoStopBits, 8)) {
            number_ = -1;
            return {PortError::Kind::NotFound, text};
        }
        dropModemLines(number_);
        return {};
    }
    void close() override {
        if (number_ >= 0) closePort(number_);
        number_ = -1;
    }
    bool isOpen() const override { return number_ >= 0 && portStatus(static_cast<int16_t>(number_)) >= 0; }
    bool usable() override { return isOpen(); }
    int32_t read(uint8_t* buffer, int32_t size) override {
        const int32_t n = readPort(number_);
        if (n <= 0) return n;
        const int32_t count = n < size ? n : size;
        std::memcpy(buffer, receiveBuffer, static_cast<size_t>(count));
        return count;
    }
    bool write(const uint8_t* bytes, int32_t count) override { return writePort(number_, bytes, count); }
    void discardInput() override { drainPort(number_); }
    bool waitReadable(int ms) override {
        pauseWithEvents(ms);
        return true;
    }

private:
    int32_t number_ = -1;
};

} // namespace

std::unique_ptr<SerialPort> makeSystemPort() { return std::make_unique<InterimPort>(); }

std::vector<PortDescription> listPorts() { return {}; }

} // namespace serial
