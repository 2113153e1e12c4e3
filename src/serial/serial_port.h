// A serial port to a board: opened by name exclusively at the bootloader's line format (115200
// baud, 8 data bits, no parity, two stop bits, no flow control, DTR and RTS low), reads that
// return at once with what is queued, writes that return once the bytes have left. One class
// per operating system implements it; the update engine and the tests' simulated boards see
// only this.
#pragma once

#include "serial/listing/port_map.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace serial {

inline constexpr uint32_t kBaudRate = 115200;

// Why a port could not be opened: a kind the program can act on, and the system's own words.
struct PortError {
    enum class Kind {
        None,
        InvalidName,      // neither a COM name (COM1 to COM257) nor a device this system has
        NotFound,         // no such device (an adapter not plugged in)
        PermissionDenied, // the user may not open the device
        Busy,             // another program holds it
        Configure,        // the line format was refused: "Unable to configure the serial port"
        Timeouts,         // "Unable to set the time-out parameters"
        Failed,           // anything else
    };
    Kind kind = Kind::None;
    std::string message; // what the system said, e.g. "Permission denied"

    explicit operator bool() const { return kind != Kind::None; }
};

// For a person: what went wrong with the port `name` and, where one helps, what to do.
std::string describe(const PortError& error, std::string_view name);

// The latency timer of the USB adapter behind a port: how long the adapter may hold a reply
// back before passing it on. Every stop-and-wait frame pays it.
struct AdapterLatency {
    int timerMs = 0;
    std::string fix; // how to lower it on this system, for a person
};
// A timer at most this long costs little: the program says nothing about it.
inline constexpr int kLowLatencyMs = 2;

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the port `name` (a COM name, or a device path where the system has them); an open
    // port is closed first. Closed after a failure.
    virtual PortError open(std::string_view name) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Open, with its device still there, once pending output has left.
    virtual bool usable() = 0;
    // Up to `size` queued bytes, at once: the count, 0 when nothing is queued, or -1 when the
    // port is not open or its device has gone (it is closed then).
    virtual int32_t read(uint8_t* buffer, int32_t size) = 0;
    // Sends the bytes and returns once they have left; false when they could not be.
    virtual bool write(const uint8_t* bytes, int32_t count) = 0;
    // Throws away everything that is queued for reading (by reading it, unless a port knows
    // better). Bounded, so that a line streaming without end cannot hold the caller here.
    virtual void discardInput() {
        uint8_t buffer[1024];
        for (int reads = 0; reads < 4096; ++reads) {
            if (read(buffer, sizeof buffer) <= 0) return;
        }
    }
    // Waits up to `ms` milliseconds for input, returning as soon as some is queued (at once when
    // some already is). True when there is input to read.
    virtual bool waitReadable(int ms) = 0;
    // The adapter's latency timer as it stands after the open (which asks for low latency),
    // where the system lets it be read; none for ports without one.
    virtual std::optional<AdapterLatency> adapterLatency() const { return std::nullopt; }
    // A monotonic clock in microseconds, by which writes end and answers come. Simulated ports
    // keep time of their own.
    virtual int64_t clockUs() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// The port class of this operating system, closed; COM names reach the devices that `links`
// and the fixed ranges give them (listing/port_map.h).
std::unique_ptr<SerialPort> makeSystemPort(const PortLinks& links);

} // namespace serial
