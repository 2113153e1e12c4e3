#include "firmware/image_table.h"

#include "firmware/product.h"

namespace firmware {

FirmwareImage imageTable[kBoardCount][kSlotCount];
FirmwareImage currentImage;

void buildImageTable() {
    for (auto& board : imageTable)
        for (auto& record : board) record.flashLength = 0;
    for (int i = 0; i < product::positionCount; ++i) {
        const product::Position& p = product::positions[i];
        imageTable[p.boardIndex][p.chipSlot] = FirmwareImage{p.fixData,   p.fixLength,
                                                             p.flashData, p.flashLength,
                                                             p.eepromData, p.eepromLength};
    }
}

uint8_t chipSlot(uint8_t chipCode) {
    switch (chipCode) {
    case 'B': return 0;
    case 'C': return 1;
    case 'D': return 2;
    case 'E': return 3;
    case 'F': return 4;
    case 199: return 5;
    case 254: return 6;
    case 253: return 7;
    default: return 0; // 252 included: it has no slot of its own
    }
}

void selectImage(uint8_t chipCode, uint8_t boardIndex) {
    const uint8_t slot = chipSlot(chipCode);
    if (boardIndex < kBoardCount) {
        currentImage = imageTable[boardIndex][slot];
        if (currentImage.flashLength > 1) return;
    }
    // Board 0 holds the general image of each chip.
    currentImage = imageTable[0][slot];
}

uint8_t scrambleMask(uint32_t address, uint8_t enabled) {
    if (enabled == 0) return 0;
    return static_cast<uint8_t>((address & 0xFF) + product::scrambleConstant);
}

} // namespace firmware
