// board-sim's bootloader as an in-process serial port: what the update engine writes goes
// through the bootloader state machine and its replies come back on reads, with a virtual
// clock instead of a line (a write takes its bytes' time on a 115200 line, as behind a UART whose
// drain waits), so tests run a whole update in microseconds and without a terminal.
// One thread uses a port at a time; several ports on several threads share nothing.
#pragma once

#include "bootloader.h"
#include "serial/serial_port.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace boardsim {

class SimulatedPort final : public serial::SerialPort {
public:
    // The board answers on the port `name` (a COM name); opening any other name fails as a
    // missing device does.
    explicit SimulatedPort(Config config, std::string name = "COM200");

    serial::PortError open(std::string_view name) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool usable() override;
    int32_t read(uint8_t* buffer, int32_t size) override;
    bool write(const uint8_t* bytes, int32_t count) override;
    void discardInput() override;
    // Passes `ms` of virtual time, or less when a delayed reply comes in meanwhile; then the
    // hook installed with onWait runs.
    bool waitReadable(int ms) override;
    std::optional<serial::AdapterLatency> adapterLatency() const override;
    int64_t clockUs() const override { return nowMs_ * 1000; }

    // Bytes the board sends unasked, readable now.
    void inject(const std::vector<uint8_t>& bytes) {
        readable_.insert(readable_.end(), bytes.begin(), bytes.end());
    }
    // Replies become readable this many waits (of 5 ms) after the byte that caused them.
    void setReplyDelay(int waits) { replyDelay_ = waits; }
    // A USB adapter that holds every reply back for `ms` of virtual time (its latency timer),
    // or for 1 ms when it honours the low-latency request every open makes. `known`: whether
    // the system lets its timer be read (FTDI on Linux, its driver on Windows).
    void setAdapterLatency(int ms, bool honoursLowLatency, bool known = true) {
        latencyTimerMs_ = ms;
        honoursLowLatency_ = honoursLowLatency;
        latencyKnown_ = known;
    }
    // The board's flash work: every flash frame's answer comes this much later.
    void setFlashWriteMs(int ms) { flashWriteMs_ = ms; }
    // At most this many bytes per read (0: all that is readable), to split replies.
    void setReadChunk(int32_t bytes) { readChunk_ = bytes; }
    // Every open fails with this error from now on; a PortError of kind None lets them work.
    void failOpens(serial::PortError error) { openError_ = std::move(error); }
    // The adapter goes away: the next read finds the port gone.
    void unplug() { gone_ = true; }
    // Runs after every wait with the number of waits so far (a test "clicks Stop" at one).
    void onWait(std::function<void(int64_t waits)> hook) { waitHook_ = std::move(hook); }

    int64_t waits() const { return waits_; }
    int64_t elapsedMs() const { return nowMs_; }
    int opens() const { return opens_; }
    const Bootloader& board() const { return board_; }
    const std::vector<std::vector<uint8_t>>& writes() const { return writes_; }
    // Input that is queued but not read yet, readable now or later.
    std::size_t pendingBytes() const;

private:
    struct Reply {
        int64_t dueWait;
        int64_t dueMs; // the adapter passes it on then
        uint8_t byte;
    };
    void deliverDue();

    Bootloader board_;
    std::string name_;
    bool open_ = false;
    bool gone_ = false;
    int opens_ = 0;
    serial::PortError openError_;
    int replyDelay_ = 0;
    int latencyTimerMs_ = 0;
    bool latencyKnown_ = true;
    int flashWriteMs_ = 0;
    bool honoursLowLatency_ = false;
    int latencyMs_ = 0; // in force since the open
    int32_t readChunk_ = 0;
    int64_t waits_ = 0;
    int64_t nowMs_ = 0;
    std::deque<Reply> inFlight_;
    std::deque<uint8_t> readable_;
    std::vector<std::vector<uint8_t>> writes_;
    std::function<void(int64_t)> waitHook_;
};

} // namespace boardsim
