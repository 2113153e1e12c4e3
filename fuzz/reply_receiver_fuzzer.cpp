// The reply receiver, and a session listening to it, against whatever the line delivers, split
// into reads of any size.
//
// Input: byte 0 picks how many read-size bytes follow (1..4) and byte 1 the wait at which Stop
// is pressed (255: never); the read sizes are used in turn; the rest is the line. A size of 0
// is a read that finds nothing queued, 255 a failed read, 128..254 a large read.
//
// Checked: the receiver's invariants after every read; that its state does not depend on how
// the bytes were split (the same bytes fed one at a time); and that a session reading the same
// line as the board's answer to its search ends, with a result its situation allows.
#include "engine/reply_receiver.h"
#include "engine/session.h"
#include "serial/serial_port.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kNever = 255;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The line: reads deliver the input's bytes in the input's read sizes.
struct Line {
    const uint8_t* sizes = nullptr;
    size_t sizeCount = 0;
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    size_t taken = 0;
    size_t reads = 0;

    bool drained() const { return taken >= length; }
    // -1 for a failed read.
    int32_t read(uint8_t* buffer, int32_t room) {
        const uint8_t code = sizes[reads++ % sizeCount];
        if (code == 255) return -1;
        if (code == 0 || drained()) return 0;
        size_t want = code < 128 ? code : static_cast<size_t>(code - 127) * 24;
        if (want > length - taken) want = length - taken;
        if (want > static_cast<size_t>(room)) want = static_cast<size_t>(room);
        std::memcpy(buffer, bytes + taken, want);
        taken += want;
        return static_cast<int32_t>(want);
    }
};

void checkInvariants(const engine::ReplyReceiver& r) {
    const char* description = r.boardRecord().description;
    check(std::memchr(description, 0, engine::kBoardDescriptionLength + 1) != nullptr,
          "board description not terminated within its storage");
}

bool sameState(const engine::ReplyReceiver& a, const engine::ReplyReceiver& b) {
    const engine::Identification& x = a.identification();
    const engine::Identification& y = b.identification();
    const engine::BoardRecord& p = a.boardRecord();
    const engine::BoardRecord& q = b.boardRecord();
    return x.chipCode == y.chipCode && x.biosCode == y.biosCode && x.boardIndex == y.boardIndex &&
           x.preparation == y.preparation && a.fullIdentification() == b.fullIdentification() &&
           a.acknowledged() == b.acknowledged() && a.refused() == b.refused() &&
           p.complete == q.complete && std::strcmp(p.description, q.description) == 0 &&
           p.protectedStart == q.protectedStart && p.protectedLength == q.protectedLength;
}

// A port whose reads deliver the line, once the session has written its first byte.
class LinePort final : public serial::SerialPort {
public:
    explicit LinePort(Line line) : line_(line) {}
    serial::PortError open(std::string_view) override { return {}; }
    void close() override {}
    bool isOpen() const override { return true; }
    bool usable() override { return true; }
    int32_t read(uint8_t* buffer, int32_t size) override {
        return written_ ? line_.read(buffer, size) : 0;
    }
    bool write(const uint8_t*, int32_t) override {
        written_ = true;
        return true;
    }
    void discardInput() override {} // the line's bytes all answer this session
    bool waitReadable(int) override { return !line_.drained(); }

private:
    Line line_;
    bool written_ = false;
};

class StopAt final : public engine::WaitStrategy {
public:
    StopAt(uint8_t wait, engine::Session*& session) : wait_(wait), session_(session) {}
    void step(serial::SerialPort& port) override {
        if (wait_ != kNever && waits_ == wait_) session_->requestAbort();
        ++waits_;
        port.waitReadable(engine::kStepMs);
    }

private:
    uint8_t wait_;
    engine::Session*& session_;
    int waits_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t sizeCount = data[0] % 4 + 1;
    const uint8_t stopAtWait = data[1];
    if (size < 2 + sizeCount) return 0;
    const Line line{data + 2, sizeCount, data + 2 + sizeCount, size - 2 - sizeCount};
    bool delivers = false;
    for (size_t i = 0; i < sizeCount; ++i)
        delivers = delivers || (line.sizes[i] != 0 && line.sizes[i] != 255);
    if (!delivers) return 0;

    // Split as the sizes say.
    engine::ReplyReceiver split;
    Line reads = line;
    uint8_t buffer[engine::kReceiveBufferSize];
    while (!reads.drained()) {
        const int32_t n = reads.read(buffer, sizeof buffer);
        if (n > 0) split.feed(buffer, n);
        checkInvariants(split);
    }

    // The same bytes one at a time.
    engine::ReplyReceiver whole;
    for (size_t i = 0; i < line.length; ++i)
        whole.feed(line.bytes[i]);
    checkInvariants(whole);
    check(sameState(split, whole), "the state depends on how the reply was split");

    // A session that hears the line as the answer to its search. Its product has no images.
    const firmware::ImagePosition none[] = {{0, 8, {}}};
    const firmware::ImageTable images(none, 0x5A);
    LinePort port(line);
    engine::Session* running = nullptr;
    StopAt wait(stopAtWait, running);
    engine::SessionObserver quiet;
    engine::Session session(port, images, engine::SessionOptions::updater(), wait, quiet);
    running = &session;
    const engine::Result result = session.run();
    using engine::Outcome;
    const Outcome o = result.outcome();
    check(o == Outcome::DeviceNotFound || o == Outcome::UserAbort || o == Outcome::NoImage ||
              o == Outcome::ImageTooBig || o == Outcome::UnknownChip ||
              o == Outcome::IncompatibleBootloader,
          "a session without images ended in a way it cannot");
    check(o != Outcome::UserAbort || stopAtWait != kNever, "aborted without a Stop");
    check(!result.text().empty(), "a result without its text");
    return 0;
}
