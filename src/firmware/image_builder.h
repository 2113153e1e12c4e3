// From HEX data to the image of one chip: the flat flash image, the EEPROM data and where the
// file's data lie; and from the flat image to the wire form in which flash bytes travel.
#pragma once

#include "chips/chip_table.h"
#include "firmware/hex_reader.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace firmware {

// The value that fills gaps: 0xFF, and for PIC24 the zero upper byte of each instruction.
uint8_t erasedByte(chips::Family family, uint32_t index);

// The mask of the frame that carries image byte `index`.
uint8_t wireMask(const chips::Chip& chip, uint32_t index, uint8_t scrambleConstant);
// XOR with the frame masks; applying it twice gives the plain bytes back.
void applyWireMask(std::span<uint8_t> image, const chips::Chip& chip, uint8_t scrambleConstant);

// What becomes of data a file gives.
enum class DataUse : uint8_t {
    Flash,                // program memory, written by the flash frames
    Eeprom,               // written by the EEPROM step
    IdLocations,          // left out: the bootloader does not write them
    Configuration,        // left out: the bootloader does not write them
    PastApplicationLimit, // program memory the flash frames do not reach (the bootloader's)
};

// Bytes a file gives at HEX byte addresses [first, first + length), all of one use.
struct DataRange {
    DataUse use = DataUse::Flash;
    uint32_t first = 0;
    uint32_t length = 0;
    bool operator==(const DataRange&) const = default;
};

struct ChipImage {
    std::vector<uint8_t> flash;  // plain, from image byte 0 to the last byte given, gaps erased
    std::vector<uint8_t> eeprom; // from EEPROM address 0 to the last byte given, gaps 0xFF
    // Where the file's data lie, ascending, adjacent bytes of one use joined: Flash for all of
    // program memory, and the chip's other regions.
    std::vector<DataRange> ranges;
    // PIC24: the first line that gives a fourth (phantom) byte of an instruction other than 0;
    // the image holds 0 there, as the chip does. 0: none.
    int phantomLine = 0;
    int errorLine = 0; // line of the HEX file at fault, 0 when the fault has no line
    std::string error;
    bool ok() const { return error.empty(); }
};

// The chip's image from the data records of a file. Conflicting data (findConflict), data
// outside the chip's regions and a flash image below the chip's floor (its identity bytes)
// are errors; data in a region inside program memory (configuration words at its top) stay
// part of the flash image. PIC24 phantom bytes are 0 in the image whatever the file gives.
ChipImage buildChipImage(const std::vector<HexChunk>& chunks, const chips::Chip& chip);

} // namespace firmware
