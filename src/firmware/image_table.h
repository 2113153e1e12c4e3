// The firmware images built into the program, by board index and chip slot, and the byte mask
// in which flash bytes travel to the board.
#pragma once

#include <cstdint>

namespace firmware {

struct FirmwareImage {
    const uint8_t* fixData = nullptr;
    int32_t fixLength = 0;
    uint8_t* flashData = nullptr; // wire form; the session writes the reset jump into it
    int32_t flashLength = 0;      // 1 or less: no image
    const uint8_t* eepromData = nullptr;
    int32_t eepromLength = 0; // 0 or less: no EEPROM step
};

inline constexpr int kBoardCount = 255;
inline constexpr int kSlotCount = 10;

extern FirmwareImage imageTable[kBoardCount][kSlotCount];
extern FirmwareImage currentImage;

void buildImageTable();
void selectImage(uint8_t chipCode, uint8_t boardIndex);
uint8_t chipSlot(uint8_t chipCode);

// Image scrambling flag of this build: every caller passes it as `enabled`.
inline constexpr uint8_t kImageScrambling = 1;
uint8_t scrambleMask(uint32_t address, uint8_t enabled = kImageScrambling);

} // namespace firmware
