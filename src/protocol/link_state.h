// The program-wide state of the serial link and the bootloader protocol: one instance,
// fields named after the protocol's own terms.
#pragma once

#include <cstdint>

namespace protocol {

// Wire order after "V" is BIOS code, chip code, board index, preparation number.
struct Identification {
    uint8_t chipCode = 0;
    uint8_t biosCode = 0;
    uint8_t boardIndex = 0;
    uint8_t preparation = 0;
};

inline constexpr int kBoardDescriptionLength = 24;

struct LinkState {
    // Device search
    int16_t selectedPort = 0;
    int16_t openedPort = -1;

    // Reply receiver
    uint8_t abortRequest = 0;
    uint8_t ackFlag = 0;
    uint8_t nakFlag = 0;
    Identification identification{};
    Identification pending{};
    uint8_t collectPosition = 255; // 0..3 while collecting; 255 not collecting
    uint8_t fullIdentification = 0;
    uint16_t receiverState = 0; // 0 idle, 1 expect length, 2 skip one byte, 3 payload
    uint16_t recordLength = 0;
    uint16_t recordPosition = 0;
    uint16_t recordComplete = 0;
    char boardDescription[kBoardDescriptionLength + 1] = {};
    uint16_t protectedRangeStart = 0;
    uint16_t protectedRangeLength = 0;

    // Panel of the calling window's status bar that receives the device texts: 2, or -2 when
    // the window has no device panel (the Upgrade window).
    int devicePanelIndex = 2;
};

extern LinkState link;

// Back to the values at program start (tests).
void resetLinkState();

} // namespace protocol
