// Everything the program knows about the microcontrollers it programs, one row per chip code:
// how a chip is named, how its program memory is addressed and framed, where the application
// ends, the jump that keeps it starting in its bootloader, and where its images keep their
// identity. Adding a chip is adding a row.
#pragma once

#include <cstdint>
#include <span>

namespace chips {

enum class Family : uint8_t {
    Pic18, // 8-bit: program memory addressed in bytes
    Pic24, // PIC24H and dsPIC33F: 16-bit addresses, four image bytes per 24-bit instruction
};

// How the first address that ordinary flash frames do not reach (the application limit) is found.
enum class LimitRule : uint8_t {
    BelowBiosReserve,  // memory top minus the family's reserve for the BIOS code (see below)
    BelowFixedReserve, // memory top minus a reserve of the chip's own
    FrameBelowEntry,   // one flash frame below the bootloader's entry
};

// What a chip has besides program memory, as HEX files address it (byte addresses; for the
// PIC24 family twice the program address). None of it is written by the flash frames.
enum class RegionKind : uint8_t {
    IdLocations,   // user ID words
    Configuration, // configuration words
    Eeprom,        // data EEPROM, written byte by byte from EEPROM address 0
};

struct MemoryRegion {
    RegionKind kind;
    uint32_t first;  // HEX byte address
    uint32_t length; // bytes
};

// The unconditional jump written over the start of every image, plain bytes in image order.
struct ResetJump {
    uint8_t length; // 4 or 8
    uint8_t bytes[8];
};

struct Chip {
    uint8_t code; // as the bootloader reports it
    Family family;
    const char* part;       // "PIC18F258"
    const char* statusText; // what the device panel shows: "Found 258"
    int32_t addressUnit;    // image bytes per program-memory address
    int32_t blockSize;      // image bytes a flash frame carries
    LimitRule limitRule;
    int32_t limitBase;    // memory top or bootloader entry, in addresses
    int32_t fixedReserve; // for LimitRule::BelowFixedReserve, in addresses
    ResetJump jumpBeforeBios5;
    ResetJump jumpFromBios5;
    int32_t identityOffset;   // image byte holding the image's board index; preparation next
    int32_t lengthFieldBytes; // width of a flash frame's length field: 1, or 2 high byte first
    int imageSlot;            // column of the image table; kNoSlot: none of its own
    uint32_t memoryBytes;     // image bytes the program memory holds (the image generator's check)
    const char* listingLabel; // the Version dialog's six-character label; nullptr: not listed
    std::span<const uint8_t> listingBoards; // listed too when board 0 has no image of the chip
    // Besides program memory (image bytes 0 to memoryBytes): a HEX file for the chip holds data
    // nowhere else. A region may lie inside program memory (configuration words at its top).
    std::span<const MemoryRegion> otherRegions;
};

inline constexpr int kNoSlot = -1;
inline constexpr int kSlotCount = 10; // slots 8 and 9 belong to no chip
// Reserve at the top of PIC18 program memory for bootloaders with a BIOS code below 5, and from 5
// on.
inline constexpr int32_t kOlderBiosReserve = 320;
inline constexpr int32_t kNewerBiosReserve = 448;
inline constexpr uint8_t kFirstNewerBios = 5;

// Every known chip, in the order the Version dialog lists them (unlisted chips last).
std::span<const Chip> allChips();
// The row of a chip code; nullptr for a chip this program does not know.
const Chip* chipByCode(uint8_t code);
// The chip whose images the slot holds; nullptr for a slot of no chip.
const Chip* chipOfSlot(int slot);
// The image-table column of a chip code: its own slot, else 0 (unknown chips, and chips that
// share another's images).
int slotOfCode(uint8_t code);

int32_t applicationLimit(const Chip& chip, uint8_t biosCode);

// What of an image's flash bytes is written below the application limit (in addresses): a PIC18
// image is cut at the limit, since its tail would overwrite the bootloader; a PIC24 image that
// passes the limit is refused whole.
struct ProgramLength {
    int64_t bytes = 0; // image bytes the flash frames carry; the image's own when too big
    bool tooBig = false;
};
ProgramLength programLength(const Chip& chip, int32_t applicationLimit, int64_t imageBytes);
// The image bytes an image of the chip holds at least: up to its identity bytes.
inline int32_t imageFloor(const Chip& chip) {
    return chip.identityOffset + 2;
}
// "ID locations", "configuration", "EEPROM".
const char* regionName(RegionKind kind);
const ResetJump& resetJump(const Chip& chip, uint8_t biosCode);

} // namespace chips
