// What an update needs of the firmware it writes, wherever the firmware comes from (the images
// built into the program, or a HEX file): the image for a chip on a board, the mask in which
// flash bytes travel, and the board and preparation an image was made for.
#pragma once

#include "chips/chip_table.h"

#include <cstdint>
#include <string>

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

// The board index and preparation number an image was made for.
struct ImageIdentity {
    uint8_t boardIndex = 0;
    uint8_t preparation = 0;
};

// Every byte of a flash frame travels XOR this mask of the frame's program address: its low
// byte plus the product's scramble constant.
constexpr uint8_t frameMask(uint32_t frameAddress, uint8_t scrambleConstant) {
    return static_cast<uint8_t>((frameAddress & 0xFF) + scrambleConstant);
}

// The program address of the flash frame that carries image byte `index`.
constexpr uint32_t frameAddressOf(const chips::Chip& chip, uint32_t index) {
    const auto block = static_cast<uint32_t>(chip.blockSize);
    return index / block * block / static_cast<uint32_t>(chip.addressUnit);
}

class ImageSource {
public:
    // The image for a chip on a board; a record without image (flashLength 1 or less) when
    // there is none.
    virtual const FirmwareImage& select(uint8_t chipCode, uint8_t boardIndex) const = 0;
    // Every byte of a flash frame travels XOR this mask of the frame's address.
    virtual uint8_t scrambleMask(uint32_t address) const = 0;
    // Read from the image's identity bytes; 0 and 0 for an image too short to hold them.
    virtual ImageIdentity identityOf(const FirmwareImage& image, const chips::Chip& chip) const = 0;

protected:
    // Sources live as long as the program or the command that made them: never deleted
    // through this interface, so that a source can stay constant data of the build.
    ~ImageSource() = default;
};

// The identity bytes of an image in wire form; they lie in frames whose address has a low byte
// of 0, so `maskOfFrameZero` unmasks them.
ImageIdentity identityIn(const FirmwareImage& image, const chips::Chip& chip,
                         uint8_t maskOfFrameZero);

// SHA-256 (lower-case hex) of an image's flash bytes in plain form, as the board receives them
// from the flash frames of the chip: all flashLength bytes from program address 0, gaps erased,
// before the session puts the jump into the bootloader over the first bytes. Fix block and
// EEPROM data are not part of it. "" for a record without image.
std::string flashSha256(const FirmwareImage& image, const chips::Chip& chip,
                        const ImageSource& source);

} // namespace firmware
