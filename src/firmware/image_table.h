// The firmware images built into the program, by board index and chip slot, and the byte mask
// in which flash bytes travel to the board. All of it is constant data of the build.
#pragma once

#include "chips/chip_table.h"

#include <cstdint>
#include <span>

namespace firmware {

struct FirmwareImage {
    const uint8_t* fixData = nullptr; // plain; masked when sent
    int32_t fixLength = 0;
    const uint8_t* flashData = nullptr; // wire form, from program address 0
    int32_t flashLength = 0;            // 1 or less: no image
    const uint8_t* eepromData = nullptr;
    int32_t eepromLength = 0; // 0 or less: no EEPROM step

    bool hasImage() const { return flashLength > 1; }
};

// A position the build defines: an image, or a placeholder (one zero byte behind each pointer,
// every length 1).
struct ImagePosition {
    uint8_t boardIndex; // 0 to 254; board 0 holds each chip's general image
    uint8_t chipSlot;   // 0 to 9
    FirmwareImage image;
};

inline constexpr int kBoardCount = 255;

// The board index and preparation number an image was made for.
struct ImageIdentity {
    uint8_t boardIndex = 0;
    uint8_t preparation = 0;
};

class ImageTable {
public:
    constexpr ImageTable(std::span<const ImagePosition> positions, uint8_t scrambleConstant)
        : positions_(positions), scrambleConstant_(scrambleConstant) {}

    // The record at (board, slot); an all-zero record where the build defines none.
    const FirmwareImage& at(int boardIndex, int slot) const;
    // The image for a chip on a board: the board's own when it has one, else board 0's (which
    // may itself be a placeholder or nothing).
    const FirmwareImage& select(uint8_t chipCode, uint8_t boardIndex) const;

    // Every byte of a flash frame travels XOR this mask of the frame's address.
    uint8_t scrambleMask(uint32_t address) const;
    // Read from the image's identity bytes; 0 and 0 for an image too short to hold them.
    ImageIdentity identityOf(const FirmwareImage& image, const chips::Chip& chip) const;

    std::span<const ImagePosition> positions() const { return positions_; }

private:
    std::span<const ImagePosition> positions_;
    uint8_t scrambleConstant_;
};

} // namespace firmware
