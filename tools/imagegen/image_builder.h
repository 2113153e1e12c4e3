// From HEX data to the flat flash image of one chip slot, and from there to the wire form in
// which the program carries it.
#pragma once

#include "chips/chip_table.h"
#include "hex_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace imagegen {

using Family = chips::Family;

struct SlotInfo {
    Family family;
    const char* chip;     // for messages
    uint32_t memoryBytes; // image bytes the chip's program memory holds
};

// From the chip table: the chip whose images the slot holds. False for a slot of no chip
// (8 and 9).
bool slotInfo(int slot, SlotInfo& info);

inline constexpr uint32_t kPic18Floor = 16;   // identity bytes 14 and 15 must exist
inline constexpr uint32_t kPic24Floor = 1026; // identity bytes 1024 and 1025 must exist
inline constexpr int kPic18Block = 64;
inline constexpr int kPic24Block = 256;

// HEX byte addresses from here on are not program memory (PIC18: ID locations, configuration,
// EEPROM at 0x300000 and 0xF00000; PIC24: configuration at program address 0xF80000).
inline constexpr uint32_t kPic18ProgramCeiling = 0x200000;
inline constexpr uint32_t kPic24ProgramCeiling = 0x1000000;

uint32_t floorOf(Family family);
int blockOf(Family family);
int addressUnitOf(Family family);
// The value that fills gaps: 0xFF, and for PIC24 the zero upper byte of each instruction.
uint8_t erasedByte(Family family, uint32_t index);

struct ImageResult {
    std::vector<uint8_t> bytes;
    int errorLine = 0; // line of the HEX file at fault, 0 when the fault has no line
    std::string error;
    bool ok() const { return error.empty(); }
};

// The flat image from address 0 to the last byte the HEX data give, gaps erased. Overlapping
// data, data beyond the chip's memory and an image below the family's floor are errors.
ImageResult buildFlatImage(const std::vector<HexChunk>& chunks, const SlotInfo& slot);

// The mask of the frame that carries image byte `index` (the same formula as the program's).
uint8_t wireMask(Family family, uint32_t index, uint8_t scrambleConstant);
// XOR with the frame masks; applying it twice gives the plain bytes back.
void applyWireMask(std::vector<uint8_t>& image, Family family, uint8_t scrambleConstant);

} // namespace imagegen
