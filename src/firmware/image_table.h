// The firmware images built into the program, by board index and chip slot, and the byte mask
// in which flash bytes travel to the board. All of it is constant data of the build.
#pragma once

#include "chips/chip_table.h"
#include "firmware/image_source.h"

#include <cstdint>
#include <span>

namespace firmware {

// A position the build defines: an image, or a placeholder (one zero byte behind each pointer,
// every length 1).
struct ImagePosition {
    uint8_t boardIndex; // 0 to 254; board 0 holds each chip's general image
    uint8_t chipSlot;   // 0 to 9
    FirmwareImage image;
};

inline constexpr int kBoardCount = 255;

class ImageTable final : public ImageSource {
public:
    constexpr ImageTable(std::span<const ImagePosition> positions, uint8_t scrambleConstant)
        : positions_(positions), scrambleConstant_(scrambleConstant) {}

    // The record at (board, slot); an all-zero record where the build defines none.
    const FirmwareImage& at(int boardIndex, int slot) const;
    // The image for a chip on a board: the board's own when it has one, else board 0's (which
    // may itself be a placeholder or nothing).
    const FirmwareImage& select(uint8_t chipCode, uint8_t boardIndex) const override;

    uint8_t scrambleMask(uint32_t address) const override {
        return frameMask(address, scrambleConstant_);
    }
    ImageIdentity identityOf(const FirmwareImage& image, const chips::Chip& chip) const override {
        return identityIn(image, chip, scrambleMask(0));
    }

    std::span<const ImagePosition> positions() const { return positions_; }
    uint8_t scrambleConstant() const { return scrambleConstant_; }

private:
    std::span<const ImagePosition> positions_;
    uint8_t scrambleConstant_;
};

} // namespace firmware
