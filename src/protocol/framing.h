// Command frames: the caller's bytes plus a one-byte checksum, resent while the bootloader
// refuses them; and the link result codes of the whole protocol with their texts.
#pragma once

#include <cstdint>

namespace protocol {

// Link results (16-bit signed throughout the protocol).
inline constexpr int16_t kLinkOk = 0;
inline constexpr int16_t kLinkNoResponse = -1;
inline constexpr int16_t kLinkUserAbort = -2;
inline constexpr int16_t kLinkChecksumError = -3;
inline constexpr int16_t kLinkIncompatibleBootloader = -4;

// A frame is sent at most this many times.
inline constexpr int kMaxSends = 5;
inline constexpr int32_t kCommandReplyTimeoutMs = 1000;

// The byte that makes all bytes of a frame add up to 0 mod 256.
uint8_t frameChecksum(const uint8_t* bytes, int32_t length);

// Appends the checksum at buffer[length] (the buffer needs room for it), sends the frame on the
// selected port and waits for the answer; resends on refusal. Returns kLinkOk, kLinkNoResponse,
// kLinkUserAbort or kLinkChecksumError.
int16_t sendCommand(uint8_t* buffer, int32_t length);

// The text of a failure code, or nullptr for codes that have none.
const char* linkErrorText(int16_t code);
// Shows the text of -1..-4 in red through the error banner with result code 0; other codes
// show nothing.
void showLinkError(int16_t code);

} // namespace protocol
