#include "fake_port.h"

#include <deque>

namespace serial {

uint8_t receiveBuffer[kReceiveBufferSize];
uint32_t baudRateSetting = 115200;

} // namespace serial

namespace fakeport {
namespace {

constexpr int32_t kPorts = serial::kLastPortNumber + 1;

struct Queued {
    uint8_t byte;
    int64_t readyAt;
};

struct Port {
    serial::PortRecord record;
    bool failOpen = false;
    int opens = 0;
    OpenArguments arguments;
    int drains = 0;
    int32_t drained = 0;
    std::deque<Queued> input;
    std::vector<std::vector<uint8_t>> writes;
    std::vector<int64_t> writeSteps;
};

struct State {
    Port ports[kPorts];
    WriteHandler writeHandler;
    StepHook stepHook;
    serial::EventPump pump = nullptr;
    serial::MessageHook messageHook = nullptr;
    int32_t readChunk = 0;
    int64_t steps = 0;
    std::vector<std::string> log;
};

State& state() {
    static State s;
    return s;
}

int depth = 0;

struct Inside {
    Inside() { ++depth; }
    ~Inside() { --depth; }
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;
};

bool valid(int32_t n) {
    return n >= 0 && n < kPorts;
}

Port* port(int32_t n) {
    return valid(n) ? &state().ports[n] : nullptr;
}

void logCall(const char* what, int32_t n) {
    state().log.push_back(std::string(what) + " " + std::to_string(n));
}

const std::vector<std::vector<uint8_t>> kNoWrites;

} // namespace

void reset() {
    Inside in;
    State& s = state();
    for (int32_t n = 0; n < kPorts; ++n)
        s.ports[n] = Port{};
    s.writeHandler = nullptr;
    s.stepHook = nullptr;
    s.pump = nullptr;
    s.messageHook = nullptr;
    s.readChunk = 0;
    s.steps = 0;
    s.log.clear();
}

void setWriteHandler(WriteHandler handler) {
    state().writeHandler = std::move(handler);
}
void setStepHook(StepHook hook) {
    state().stepHook = std::move(hook);
}

void queueInput(int32_t n, std::span<const uint8_t> bytes, int32_t afterSteps) {
    Inside in;
    Port* p = port(n);
    if (!p) return;
    for (uint8_t b : bytes)
        p->input.push_back({b, state().steps + afterSteps});
}

void queueInput(int32_t n, std::initializer_list<uint8_t> bytes, int32_t afterSteps) {
    queueInput(n, std::span<const uint8_t>(bytes.begin(), bytes.size()), afterSteps);
}

void setReadChunk(int32_t maxBytes) {
    state().readChunk = maxBytes;
}

void failOpen(int32_t n, bool fail) {
    if (Port* p = port(n)) p->failOpen = fail;
}

void unplug(int32_t n) {
    if (Port* p = port(n)) p->record.open = 0;
}

bool isOpen(int32_t n) {
    Port* p = port(n);
    return p && p->record.open;
}

int openCount(int32_t n) {
    return valid(n) ? state().ports[n].opens : 0;
}
OpenArguments lastOpen(int32_t n) {
    return valid(n) ? state().ports[n].arguments : OpenArguments{};
}
int drainCount(int32_t n) {
    return valid(n) ? state().ports[n].drains : 0;
}
int32_t drainedBytes(int32_t n) {
    return valid(n) ? state().ports[n].drained : 0;
}
int32_t pendingBytes(int32_t n) {
    return valid(n) ? static_cast<int32_t>(state().ports[n].input.size()) : 0;
}

const std::vector<std::vector<uint8_t>>& writes(int32_t n) {
    return valid(n) ? state().ports[n].writes : kNoWrites;
}

std::vector<uint8_t> writtenBytes(int32_t n) {
    std::vector<uint8_t> all;
    for (const auto& w : writes(n))
        all.insert(all.end(), w.begin(), w.end());
    return all;
}

const std::vector<std::string>& callLog() {
    return state().log;
}

int64_t steps() {
    return state().steps;
}
int64_t clockMs() {
    return state().steps * 5;
}

int64_t writeStep(int32_t n, size_t index) {
    if (!valid(n)) return -1;
    const auto& w = state().ports[n].writeSteps;
    return index < w.size() ? w[index] : -1;
}

bool insideDriver() {
    return depth > 0;
}

} // namespace fakeport

namespace serial {

using fakeport::Inside;

PortRecord* openPort(int32_t n, uint32_t baud, uint8_t parity, uint8_t stopBits, uint8_t byteSize) {
    Inside in;
    fakeport::Port* p = fakeport::port(n);
    if (!p) return nullptr;
    fakeport::logCall("open", n);
    ++p->opens;
    p->arguments = {baud, parity, stopBits, byteSize};
    p->record.open = 0;
    if (p->failOpen) return nullptr;
    p->record.portNumber = n;
    p->record.handle = 100 + n;
    p->record.open = 1;
    return &p->record;
}

void closePort(int32_t n) {
    Inside in;
    fakeport::Port* p = fakeport::port(n);
    if (!p) return;
    fakeport::logCall("close", n);
    p->record.open = 0;
}

int16_t portStatus(int16_t n) {
    return fakeport::isOpen(n) ? 0 : -2;
}

void dropModemLines(int32_t n) {
    Inside in;
    if (fakeport::valid(n)) fakeport::logCall("drop", n);
}

bool writePort(int32_t n, const uint8_t* bytes, int32_t count) {
    Inside in;
    fakeport::Port* p = fakeport::port(n);
    if (!p || !p->record.open || count < 0) return false;
    fakeport::logCall("write", n);
    p->writes.emplace_back(bytes, bytes + count);
    p->writeSteps.push_back(fakeport::state().steps);
    if (fakeport::state().writeHandler)
        fakeport::state().writeHandler(n,
                                       std::span<const uint8_t>(bytes, static_cast<size_t>(count)));
    return true;
}

int32_t readPort(int32_t n) {
    Inside in;
    fakeport::Port* p = fakeport::port(n);
    if (!p || !p->record.open) return -1;
    const int32_t chunk = fakeport::state().readChunk;
    int32_t count = 0;
    while (!p->input.empty() && p->input.front().readyAt <= fakeport::state().steps &&
           count < kReceiveBufferSize && (chunk <= 0 || count < chunk)) {
        receiveBuffer[count++] = p->input.front().byte;
        p->input.pop_front();
    }
    return count;
}

void drainPort(int32_t n) {
    Inside in;
    fakeport::Port* p = fakeport::port(n);
    if (!p) return;
    fakeport::logCall("drain", n);
    ++p->drains;
    while (!p->input.empty() && p->input.front().readyAt <= fakeport::state().steps) {
        p->input.pop_front();
        ++p->drained;
    }
}

void pauseWithEvents(int32_t ms) {
    Inside in;
    fakeport::State& s = fakeport::state();
    for (; ms > 0; ms -= 5) {
        ++s.steps;
        if (s.pump) s.pump();
        if (s.stepHook) s.stepHook(s.steps);
    }
}

void setEventPump(EventPump pump) {
    fakeport::state().pump = pump;
}
void setMessageHook(MessageHook hook) {
    fakeport::state().messageHook = hook;
}

void resetPortTable() {
    fakeport::State& s = fakeport::state();
    for (auto& p : s.ports)
        p.record.open = 0;
    s.pump = nullptr;
    s.messageHook = nullptr;
}

} // namespace serial
