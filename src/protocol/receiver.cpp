#include "protocol/receiver.h"

#include "protocol/link_state.h"
#include "serial/port_driver.h"

namespace protocol {
namespace {

constexpr uint16_t kIdle = 0;
constexpr uint16_t kExpectLength = 1;
constexpr uint16_t kSkipByte = 2;
constexpr uint16_t kPayload = 3;
constexpr uint8_t kNotCollecting = 255;

void takeIdentificationByte(uint8_t b) {
    Identification& p = link.pending;
    switch (link.collectPosition) {
    case 0:
        p.biosCode = b;
        link.collectPosition = 1;
        break;
    case 1:
        p.chipCode = b;
        link.collectPosition = 2;
        break;
    case 2:
        p.boardIndex = b;
        link.collectPosition = 3;
        break;
    case 3:
        p.preparation = b;
        link.collectPosition = kNotCollecting;
        break;
    default:
        // An older bootloader sends its chip code alone.
        link.fullIdentification = 0;
        p.biosCode = 0;
        p.chipCode = b;
        break;
    }
}

void feedIdle(uint8_t b) {
    if (b == kReplyBoardRecord && sendsBoardRecord(link.identification.biosCode)) {
        link.recordPosition = 0;
        link.receiverState = kExpectLength;
    } else if (b == kReplyAck) {
        link.identification = link.pending;
        link.ackFlag = 1;
    } else if (b == kReplyRefused) {
        link.nakFlag = 1;
    } else if (b == kReplyIdentification) {
        link.fullIdentification = 1;
        link.pending.biosCode = 1;
        link.collectPosition = 0;
        link.recordComplete = 0;
    } else {
        takeIdentificationByte(b);
    }
}

void storePayloadByte(uint16_t position, uint8_t b) {
    if (position < kBoardDescriptionLength) {
        link.boardDescription[position] = static_cast<char>(b);
        link.boardDescription[position + 1] = '\0';
        return;
    }
    switch (position) {
    case 24:
        link.protectedRangeStart = b;
        break;
    case 25:
        link.protectedRangeStart = static_cast<uint16_t>(link.protectedRangeStart | b << 8);
        break;
    case 26:
        link.protectedRangeLength = b;
        break;
    case 27:
        link.protectedRangeLength = static_cast<uint16_t>(link.protectedRangeLength | b << 8);
        break;
    default:
        break; // the rest of a long record is not ours to keep
    }
}

} // namespace

void feedReplyByte(uint8_t b) {
    switch (link.receiverState) {
    case kExpectLength:
        link.recordLength = b;
        link.recordPosition = 0;
        link.receiverState = kSkipByte;
        break;
    case kSkipByte:
        link.receiverState = kPayload;
        break;
    case kPayload:
        if (link.recordPosition < link.recordLength) {
            storePayloadByte(link.recordPosition, b);
            ++link.recordPosition;
        } else if (b == kReplyAck) {
            link.recordComplete = 1;
            link.receiverState = kIdle;
        }
        break;
    default:
        feedIdle(b);
        break;
    }
}

void receiveReply() {
    // readPort answers -1 for a port that is not open, so no separate status query is needed.
    const int32_t count = serial::readPort(link.selectedPort);
    if (count <= 0) return;
    const int32_t n = count < serial::kReceiveBufferSize ? count : serial::kReceiveBufferSize;
    for (int32_t i = 0; i < n; ++i)
        feedReplyByte(serial::receiveBuffer[i]);
}

int16_t waitReply(int32_t timeoutMs) {
    const int32_t steps = timeoutMs / 5;
    for (int32_t i = 0; i < steps; ++i) {
        serial::pauseWithEvents(5);
        receiveReply();
        if (link.abortRequest) {
            link.abortRequest = 0;
            return kWaitAborted;
        }
        if (link.ackFlag) return kWaitAcknowledged;
        if (link.nakFlag) return kWaitRefused;
    }
    return kWaitTimeout;
}

void clearIdentification() {
    link.identification = Identification{};
}

} // namespace protocol
