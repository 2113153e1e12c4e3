#include "firmware/image_table.h"

namespace firmware {
namespace {

// Image scrambling is on in every build: flash bytes always travel masked.
constexpr bool kImageScrambling = true;
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

uint8_t ImageTable::scrambleMask(uint32_t address) const {
    if (!kImageScrambling) return 0;
    return static_cast<uint8_t>((address & 0xFF) + scrambleConstant_);
}

ImageIdentity ImageTable::identityOf(const FirmwareImage& image, const chips::Chip& chip) const {
    const int32_t at = chip.identityOffset;
    if (image.flashData == nullptr || image.flashLength < at + 2) return {};
    // The identity bytes lie in frames whose address has a low byte of 0.
    const uint8_t mask = scrambleMask(0);
    return {static_cast<uint8_t>(image.flashData[at] ^ mask),
            static_cast<uint8_t>(image.flashData[at + 1] ^ mask)};
}

} // namespace firmware
