// The reply receiver: turns the bootloader's reply bytes into the link state (ack and refusal
// flags, identification, board data record). It keeps no bytes between calls; its state lives in
// protocol::link, so a reply may be split across reads anywhere.
#pragma once

#include <cstdint>

namespace protocol {

// Reply bytes with a meaning of their own in the idle state.
inline constexpr uint8_t kReplyAck = 'K';
inline constexpr uint8_t kReplyRefused = 'N';
inline constexpr uint8_t kReplyIdentification = 'V';
inline constexpr uint8_t kReplyBoardRecord = 'R';

// waitReply results.
inline constexpr int16_t kWaitAcknowledged = 1;
inline constexpr int16_t kWaitTimeout = 0;
inline constexpr int16_t kWaitRefused = -1;
inline constexpr int16_t kWaitAborted = -2;

// Reads once from the selected port and runs every byte through the state machine.
void receiveReply();
// Runs one byte through the state machine (what receiveReply does for each byte read).
void feedReplyByte(uint8_t byte);
// Waits up to timeoutMs in 5 ms steps: 1 acknowledged, -1 refused, -2 Stop pressed, 0 time-out.
// The ack and nak flags are left as they are; the caller clears them before writing.
int16_t waitReply(int32_t timeoutMs);
// Zeroes the four fields of the identification record, nothing else.
void clearIdentification();

// BIOS codes whose bootloader sends a board data record after its identification.
constexpr bool sendsBoardRecord(uint8_t biosCode) {
    return biosCode >= 8 && biosCode <= 31;
}

} // namespace protocol
