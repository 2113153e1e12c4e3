#include "firmware/image_table.h"

namespace firmware {
namespace {

constexpr FirmwareImage kNoRecord{};

} // namespace

const FirmwareImage& ImageTable::at(int boardIndex, int slot) const {
    for (const ImagePosition& p : positions_)
        if (p.boardIndex == boardIndex && p.chipSlot == slot) return p.image;
    return kNoRecord;
}

const FirmwareImage& ImageTable::select(uint8_t chipCode, uint8_t boardIndex) const {
    const int slot = chips::slotOfCode(chipCode);
    if (boardIndex < kBoardCount) {
        const FirmwareImage& own = at(boardIndex, slot);
        if (own.hasImage()) return own;
    }
    return at(0, slot);
}

} // namespace firmware
