#include "engine/reply_receiver.h"

#include <iterator>

namespace engine {

void ReplyReceiver::reset() {
    state_ = State::Idle;
    record_ = BoardRecord{};
    identification_ = {};
}

void ReplyReceiver::feed(const uint8_t* bytes, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        feed(bytes[i]);
}

void ReplyReceiver::feed(uint8_t byte) {
    switch (state_) {
    case State::ExpectLength:
        recordLength_ = byte;
        recordPosition_ = 0;
        state_ = State::SkipByte;
        break;
    case State::SkipByte:
        state_ = State::Payload;
        break;
    case State::Payload:
        if (recordPosition_ < recordLength_) {
            storePayloadByte(recordPosition_, byte);
            ++recordPosition_;
        } else if (byte == kReplyAck) {
            // Closes the record; neither an acknowledgement nor a latch.
            record_.complete = true;
            state_ = State::Idle;
        }
        break;
    case State::Idle:
        feedIdle(byte);
        break;
    }
}

void ReplyReceiver::feedIdle(uint8_t byte) {
    if (byte == kReplyBoardRecord && sendsBoardRecord(identification_.biosCode)) {
        recordPosition_ = 0;
        state_ = State::ExpectLength;
    } else if (byte == kReplyAck) {
        identification_ = pending_;
        acknowledged_ = true;
    } else if (byte == kReplyRefused) {
        refused_ = true;
    } else if (byte == kReplyIdentification) {
        heardIdentification_ = true;
        fullIdentification_ = true;
        pending_.biosCode = 1;
        collectPosition_ = 0;
        record_.complete = false;
    } else {
        heardIdentification_ = true;
        takeIdentificationByte(byte);
    }
}

void ReplyReceiver::takeIdentificationByte(uint8_t byte) {
    // The bytes after 'V', in the order a full identification sends them.
    static constexpr uint8_t Identification::*kOrder[] = {
        &Identification::biosCode, &Identification::chipCode, &Identification::boardIndex,
        &Identification::preparation};
    constexpr uint8_t kCount = std::size(kOrder);
    if (collectPosition_ < kCount) {
        pending_.*kOrder[collectPosition_] = byte;
        ++collectPosition_;
        if (collectPosition_ == kCount) collectPosition_ = kNotCollecting;
        return;
    }
    // An older bootloader sends its chip code alone.
    fullIdentification_ = false;
    pending_.biosCode = 0;
    pending_.chipCode = byte;
}

void ReplyReceiver::storePayloadByte(uint16_t position, uint8_t byte) {
    if (position < kBoardDescriptionLength) {
        record_.description[position] = static_cast<char>(byte);
        record_.description[position + 1] = '\0';
        return;
    }
    switch (position) {
    case 24:
        record_.protectedStart = byte;
        break;
    case 25:
        record_.protectedStart = static_cast<uint16_t>(record_.protectedStart | byte << 8);
        break;
    case 26:
        record_.protectedLength = byte;
        break;
    case 27:
        record_.protectedLength = static_cast<uint16_t>(record_.protectedLength | byte << 8);
        break;
    default:
        break; // the rest of a long record is not ours to keep
    }
}

} // namespace engine
