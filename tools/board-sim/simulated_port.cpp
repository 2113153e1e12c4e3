#include "simulated_port.h"

#include "serial/port_name.h"

namespace boardsim {

SimulatedPort::SimulatedPort(Config config, std::string name)
    : board_(std::move(config)), name_(std::move(name)) {}

serial::PortError SimulatedPort::open(std::string_view name) {
    close();
    if (openError_) return openError_;
    if (!serial::samePortName(name, name_))
        return {serial::PortError::Kind::NotFound, std::string(name) + ": no such device"};
    open_ = true;
    gone_ = false;
    ++opens_;
    latencyMs_ = honoursLowLatency_ && latencyTimerMs_ > 0 ? 1 : latencyTimerMs_;
    board_.lineReset();
    return {};
}

void SimulatedPort::close() {
    open_ = false;
    inFlight_.clear();
    readable_.clear();
}

bool SimulatedPort::usable() {
    if (open_ && gone_) close();
    return open_;
}

std::size_t SimulatedPort::pendingBytes() const {
    return inFlight_.size() + readable_.size();
}

void SimulatedPort::deliverDue() {
    while (!inFlight_.empty() && inFlight_.front().dueWait <= waits_ &&
           inFlight_.front().dueMs <= nowMs_) {
        readable_.push_back(inFlight_.front().byte);
        inFlight_.pop_front();
    }
}

int32_t SimulatedPort::read(uint8_t* buffer, int32_t size) {
    if (open_ && gone_) close();
    if (!open_) return -1;
    deliverDue();
    int32_t count = 0;
    const int32_t limit = readChunk_ > 0 && readChunk_ < size ? readChunk_ : size;
    while (count < limit && !readable_.empty()) {
        buffer[count++] = readable_.front();
        readable_.pop_front();
    }
    return count;
}

bool SimulatedPort::write(const uint8_t* bytes, int32_t count) {
    if (!open_ || gone_ || count < 0) return false;
    writes_.emplace_back(bytes, bytes + count);
    // As a UART whose drain waits: the write returns once its bytes have crossed a 115200 line
    // (11 bits a byte), to the next whole millisecond of the clock.
    nowMs_ += (int64_t{count} * 11 * 1000 + serial::kBaudRate - 1) / serial::kBaudRate;
    for (int32_t i = 0; i < count; ++i) {
        const Outcome out = board_.feed(bytes[i]);
        const int writeMs = out.flashFrame ? flashWriteMs_ : 0;
        for (uint8_t b : out.reply)
            inFlight_.push_back({waits_ + replyDelay_, nowMs_ + writeMs + latencyMs_, b});
        if (out.hangup) {
            gone_ = true;
            return true; // the bytes left; the line dropped behind them
        }
    }
    deliverDue();
    return true;
}

void SimulatedPort::discardInput() {
    if (!open_) return;
    deliverDue();
    readable_.clear();
}

bool SimulatedPort::waitReadable(int ms) {
    ++waits_;
    deliverDue();
    // Input queued already ends the wait at once; a reply the adapter passes on during the
    // wait ends it then, as on a real port.
    if (readable_.empty()) {
        int64_t until = nowMs_ + ms;
        if (!inFlight_.empty() && inFlight_.front().dueWait <= waits_ &&
            inFlight_.front().dueMs > nowMs_ && inFlight_.front().dueMs < until)
            until = inFlight_.front().dueMs;
        nowMs_ = until;
        deliverDue();
    }
    if (waitHook_) waitHook_(waits_);
    return open_ && !readable_.empty();
}

std::optional<serial::AdapterLatency> SimulatedPort::adapterLatency() const {
    if (!open_ || latencyTimerMs_ == 0 || !latencyKnown_) return std::nullopt;
    return serial::AdapterLatency{latencyMs_, "set the simulated adapter's latency timer to 1 ms"};
}

} // namespace boardsim
