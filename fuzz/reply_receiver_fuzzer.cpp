// The reply receiver against whatever the line delivers, split into reads of any size.
//
// Input: byte 0 picks how many read-size bytes follow (1..4) and byte 1 the wait step at which
// Stop is pressed (255: never); the read sizes are used in turn; the rest is the line. A size of
// 0 is a read that finds nothing queued, 255 a failed read, 128..254 a large read.
//
// Checked: the state invariants after every read, that the state does not depend on how the
// bytes were split (the same bytes fed one at a time), and waitReply's answer against the flags.
#include "firmware/product.h"
#include "protocol/link_state.h"
#include "protocol/receiver.h"
#include "serial/port_driver.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A minimal product: the protocol library names its symbols.
namespace firmware::product {
namespace {
uint8_t fixBytes[1];
uint8_t flashBytes[1];
uint8_t eepromBytes[1];
} // namespace
extern const char identity[] = "FUZZ 00.01|00|00";
extern const char* const buildDate = "Jan 1 2026";
extern const char* const buildTime = "00:00:00";
extern const uint8_t scrambleConstant = 0x5A;
extern const Position positions[] = {{0, 0, fixBytes, 1, flashBytes, 1, eepromBytes, 1}};
extern const int positionCount = 1;
} // namespace firmware::product

namespace {

struct Line {
    const uint8_t* sizes = nullptr;
    size_t sizeCount = 0;
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    size_t taken = 0;
    size_t reads = 0;
    uint8_t stopAtStep = 255;
    size_t pauses = 0;

    bool drained() const { return taken >= length; }
};

Line line;

constexpr int16_t kPort = 7;
constexpr uint8_t kNever = 255;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

// The driver, reduced to what the receiver uses; the rest does nothing.
namespace serial {

uint8_t receiveBuffer[kReceiveBufferSize];
uint32_t baudRateSetting = 115200;

PortRecord* openPort(int32_t, uint32_t, uint8_t, uint8_t, uint8_t) {
    return nullptr;
}
void closePort(int32_t) {}
int16_t portStatus(int16_t) {
    return 0;
}
void dropModemLines(int32_t) {}
bool writePort(int32_t, const uint8_t*, int32_t) {
    return true;
}
void drainPort(int32_t) {}
void setEventPump(EventPump) {}
void setMessageHook(MessageHook) {}
void resetPortTable() {}

void pauseWithEvents(int32_t) {
    if (line.stopAtStep != kNever && line.pauses == line.stopAtStep)
        protocol::link.abortRequest = 1;
    ++line.pauses;
}

int32_t readPort(int32_t n) {
    check(n == kPort, "read from a port other than the selected one");
    const uint8_t code = line.sizes[line.reads++ % line.sizeCount];
    if (code == 255) return -1;
    if (code == 0 || line.drained()) return 0;
    size_t want = code < 128 ? code : static_cast<size_t>(code - 127) * 24;
    if (want > line.length - line.taken) want = line.length - line.taken;
    std::memcpy(receiveBuffer, line.bytes + line.taken, want);
    line.taken += want;
    return static_cast<int32_t>(want);
}

} // namespace serial

namespace {

using protocol::link;

void checkInvariants() {
    check(link.receiverState <= 3, "receiver state outside 0..3");
    const uint8_t c = link.collectPosition;
    check(c <= 3 || c == 255, "collect position outside {0,1,2,3,255}");
    check(std::memchr(link.boardDescription, 0, sizeof link.boardDescription) != nullptr,
          "board description not terminated within its storage");
    check(link.recordLength <= 255, "record length above one byte");
    check(link.recordPosition <= link.recordLength, "record position past the record length");
    check(link.ackFlag <= 1 && link.nakFlag <= 1 && link.fullIdentification <= 1 &&
              link.recordComplete <= 1,
          "a flag other than 0 or 1");
    // What the receiver does not own stays put: no stray store beyond the record's storage.
    check(link.selectedPort == kPort && link.openedPort == kPort && link.devicePanelIndex == 2,
          "a field outside the receiver's changed");
}

void start(const uint8_t* sizes, size_t sizeCount, uint8_t stopAtStep, const uint8_t* bytes,
           size_t length) {
    protocol::resetLinkState();
    link.selectedPort = kPort;
    link.openedPort = kPort;
    line = Line{sizes, sizeCount, bytes, length, 0, 0, stopAtStep, 0};
}

bool sameState(const protocol::LinkState& a, const protocol::LinkState& b) {
    auto sameId = [](const protocol::Identification& x, const protocol::Identification& y) {
        return x.chipCode == y.chipCode && x.biosCode == y.biosCode &&
               x.boardIndex == y.boardIndex && x.preparation == y.preparation;
    };
    return a.ackFlag == b.ackFlag && a.nakFlag == b.nakFlag &&
           sameId(a.identification, b.identification) && sameId(a.pending, b.pending) &&
           a.collectPosition == b.collectPosition && a.fullIdentification == b.fullIdentification &&
           a.receiverState == b.receiverState && a.recordLength == b.recordLength &&
           a.recordPosition == b.recordPosition && a.recordComplete == b.recordComplete &&
           std::strcmp(a.boardDescription, b.boardDescription) == 0 &&
           a.protectedRangeStart == b.protectedRangeStart &&
           a.protectedRangeLength == b.protectedRangeLength;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t sizeCount = data[0] % 4 + 1;
    const uint8_t stopAtStep = data[1];
    if (size < 2 + sizeCount) return 0;
    const uint8_t* sizes = data + 2;
    const uint8_t* bytes = sizes + sizeCount;
    const size_t length = size - 2 - sizeCount;
    bool delivers = false;
    for (size_t i = 0; i < sizeCount; ++i)
        delivers = delivers || (sizes[i] != 0 && sizes[i] != 255);
    if (!delivers) return 0;

    // Split as the sizes say, through receiveReply. Note the first read after which a caller
    // waiting on these bytes would stop: ack before nak, as waitReply tests them.
    start(sizes, sizeCount, kNever, bytes, length);
    size_t firstAnswer = 0;
    int16_t answer = protocol::kWaitTimeout;
    while (!line.drained()) {
        protocol::receiveReply();
        checkInvariants();
        if (answer == protocol::kWaitTimeout && (link.ackFlag || link.nakFlag)) {
            answer = link.ackFlag ? protocol::kWaitAcknowledged : protocol::kWaitRefused;
            firstAnswer = line.reads;
        }
    }
    const size_t readsNeeded = line.reads;
    const protocol::LinkState split = link;

    // The same bytes one at a time.
    start(sizes, sizeCount, kNever, bytes, length);
    for (size_t i = 0; i < length; ++i)
        protocol::feedReplyByte(bytes[i]);
    checkInvariants();
    check(sameState(split, link), "the state depends on how the reply was split");

    // waitReply over the same reads, with Stop pressed before the chosen step.
    start(sizes, sizeCount, stopAtStep, bytes, length);
    const int16_t got = protocol::waitReply(static_cast<int32_t>(readsNeeded * 5 + 4));
    checkInvariants();
    int16_t expected = protocol::kWaitTimeout;
    size_t expectedReads = readsNeeded;
    if (stopAtStep != kNever && stopAtStep < readsNeeded &&
        (answer == protocol::kWaitTimeout || stopAtStep < firstAnswer)) {
        expected = protocol::kWaitAborted;
        expectedReads = size_t{stopAtStep} + 1;
    } else if (answer != protocol::kWaitTimeout) {
        expected = answer;
        expectedReads = firstAnswer;
    }
    check(got == expected, "waitReply's answer does not match the flags");
    check(line.reads == expectedReads, "waitReply did not stop at the first answer");
    check(got != protocol::kWaitAborted || link.abortRequest == 0, "abort request not consumed");
    return 0;
}
