// Chip recognition: from the chip code and BIOS code to the family, memory geometry and reset
// jump that the programming session needs. Nothing here talks to the device.
#pragma once

#include "ui/widgets.h"

#include <cstdint>

namespace protocol {

enum class ChipFamily { Unknown, Pic18, Pic24 };

ChipFamily chipFamily(uint8_t chipCode);

// Program-wide; rewritten by selectGeometry at every session.
struct ChipGeometry {
    int32_t addressUnit = 1;     // image bytes per program-memory address
    int32_t standardReserve = 0; // PIC18 bytes at the top that flash frames never reach
    int32_t jSeriesReserve = 0;  // the same for chip code 199
    uint8_t resetJump[8] = {};   // in image order, plain (not yet masked)
    int32_t resetJumpLength = 0; // 4 or 8
};

// Program-wide: what recogniseChip hands to the session and the write phase.
struct SessionGeometry {
    int32_t blockSize = 0;        // image bytes per flash frame
    int32_t applicationLimit = 0; // first address (in address units) flash frames do not reach
    int32_t programLength = 0;    // image bytes sent by the flash loop
};

extern ChipGeometry chipGeometry;
extern SessionGeometry sessionGeometry;

struct ImageIdentity {
    uint8_t boardIndex = 0;
    uint8_t preparation = 0;
};

void selectGeometry(uint8_t chipCode, uint8_t biosCode);
// Fills the geometry for the current image, or reports why the session must stop and returns
// false. Chip texts go to the device panel of statusBar when the window has one.
bool recogniseChip(uint8_t chipCode, uint8_t biosCode, ui::StatusBar& statusBar);
// The board index and preparation number the current image was made for.
ImageIdentity readImageIdentity(uint8_t chipCode);
void reportNoImage();
void reportImageTooBig();

// The chip's status text ("Found 258"), or nullptr for an unknown chip code.
const char* chipStatusText(uint8_t chipCode);

// Writes into the device panel of statusBar when the calling window has one.
void writeDevicePanel(ui::StatusBar& statusBar, const char* text);

} // namespace protocol
