#include "chips/chip_table.h"

#include <algorithm>

namespace chips {
namespace {

constexpr uint8_t kPic24Boards[] = {5, 6, 7, 8, 11, 16, 19};
constexpr uint8_t kPic18Boards[] = {2, 4, 5, 6};

// The vendor's memory maps (linker scripts and datasheets) of each part. PIC18F258, F248, F2580,
// F2480 and F2320: eight ID location bytes at 0x200000, configuration bytes 0x300000 to
// 0x30000D, 256 bytes of data EEPROM, which HEX files give from 0xF00000.
constexpr MemoryRegion kPic18Regions[] = {
    {RegionKind::IdLocations, 0x200000, 8},
    {RegionKind::Configuration, 0x300000, 14},
    {RegionKind::Eeprom, 0xF00000, 256},
};
// PIC18F24J10: no data EEPROM and no ID locations; its configuration words are the last flash
// bytes 0x3FF8 to 0x3FFD, copied into the configuration registers at every reset.
constexpr MemoryRegion kPic18JRegions[] = {
    {RegionKind::Configuration, 0x3FF8, 6},
};
// PIC24HJ and dsPIC33FJ: configuration registers FBS to FUID3 at program addresses 0xF80000 to
// 0xF80017, four HEX bytes per address pair as in program memory; no data EEPROM.
constexpr MemoryRegion kPic24Regions[] = {
    {RegionKind::Configuration, 0xF80000 * 2, 0x18 * 2},
};

// PIC18 jumps: GOTO k as 0xEF00|k[7:0], 0xF000|k[19:8], each word low byte first, k being the
// target byte address / 2. PIC24 jumps: GOTO as two instructions, low, middle, high, 0 each.
constexpr ResetJump kGoto7F00{4, {0x80, 0xEF, 0x3F, 0xF0}};
constexpr ResetJump kGoto7E80{4, {0x40, 0xEF, 0x3F, 0xF0}};
constexpr ResetJump kGoto3F00{4, {0x80, 0xEF, 0x1F, 0xF0}};
constexpr ResetJump kGoto3E80{4, {0x40, 0xEF, 0x1F, 0xF0}};
constexpr ResetJump kGoto1F00{4, {0x80, 0xEF, 0x0F, 0xF0}};
constexpr ResetJump kGoto3C00{4, {0x00, 0xEF, 0x1E, 0xF0}};
constexpr ResetJump kGotoA800{8, {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}};
constexpr ResetJump kGoto15400{8, {0x00, 0x54, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00}};

constexpr Chip pic18(uint8_t code, const char* part, const char* status, int32_t top,
                     LimitRule rule, int32_t reserve, ResetJump older, ResetJump newer, int slot,
                     const char* label, std::span<const uint8_t> boards = {},
                     std::span<const MemoryRegion> regions = kPic18Regions) {
    return Chip{.code = code,
                .family = Family::Pic18,
                .part = part,
                .statusText = status,
                .addressUnit = 1,
                .blockSize = 64,
                .limitRule = rule,
                .limitBase = top,
                .fixedReserve = reserve,
                .jumpBeforeBios5 = older,
                .jumpFromBios5 = newer,
                .identityOffset = 14,
                .lengthFieldBytes = 1,
                .imageSlot = slot,
                .memoryBytes = static_cast<uint32_t>(top),
                .listingLabel = label,
                .listingBoards = boards,
                .otherRegions = regions};
}

constexpr Chip pic24(uint8_t code, const char* part, const char* status, int32_t entry,
                     int32_t memoryTop, ResetJump jump, int slot, const char* label,
                     std::span<const uint8_t> boards = {}) {
    return Chip{.code = code,
                .family = Family::Pic24,
                .part = part,
                .statusText = status,
                .addressUnit = 2,
                .blockSize = 256, // 128 addresses: 64 instructions
                .limitRule = LimitRule::FrameBelowEntry,
                .limitBase = entry,
                .fixedReserve = 0,
                .jumpBeforeBios5 = jump,
                .jumpFromBios5 = jump,
                .identityOffset = 1024,
                .lengthFieldBytes = 2,
                .imageSlot = slot,
                .memoryBytes = static_cast<uint32_t>(memoryTop) * 2,
                .listingLabel = label,
                .listingBoards = boards,
                .otherRegions = kPic24Regions};
}

constexpr Chip kChips[] = {
    pic24(254, "PIC24HJ64", "Found 24HJ64", 0xA800, 0xAC00, kGotoA800, 6, "24HJ64", kPic24Boards),
    pic18('C', "PIC18F2580", "Found 2580", 0x8000, LimitRule::BelowBiosReserve, 0, kGoto7F00,
          kGoto7E80, 1, "2580  ", kPic18Boards),
    pic18('B', "PIC18F258", "Found 258", 0x8000, LimitRule::BelowBiosReserve, 0, kGoto7F00,
          kGoto7E80, 0, "258   ", kPic18Boards),
    pic18('D', "PIC18F2480", "Found 2480", 0x4000, LimitRule::BelowBiosReserve, 0, kGoto3F00,
          kGoto3E80, 2, "2480  "),
    pic18('E', "PIC18F248", "Found 248", 0x4000, LimitRule::BelowBiosReserve, 0, kGoto3F00,
          kGoto3E80, 3, "248   "),
    // Its jump keeps going to 0x1F00 although newer bootloaders reserve more below it.
    pic18('F', "PIC18F2320", "Found 2320", 0x2000, LimitRule::BelowBiosReserve, 0, kGoto1F00,
          kGoto1F00, 4, "2320  "),
    pic18(199, "PIC18F24J10", "Found 24j10", 0x4000, LimitRule::BelowFixedReserve, 1088, kGoto3C00,
          kGoto3C00, 5, "24J10 ", {}, kPic18JRegions),
    // The dsPIC33FJ64 shares the PIC24HJ64's memory layout but has no images of its own.
    pic24(252, "dsPIC33FJ64", "Found 33FJ64", 0xA800, 0xAC00, kGotoA800, kNoSlot, nullptr),
    pic24(253, "dsPIC33FJ128", "Found 33FJ128", 0x15400, 0x15800, kGoto15400, 7, nullptr),
};

} // namespace

std::span<const Chip> allChips() {
    return kChips;
}

const Chip* chipByCode(uint8_t code) {
    for (const Chip& chip : kChips)
        if (chip.code == code) return &chip;
    return nullptr;
}

const Chip* chipOfSlot(int slot) {
    for (const Chip& chip : kChips)
        if (chip.imageSlot == slot) return &chip;
    return nullptr;
}

int slotOfCode(uint8_t code) {
    const Chip* chip = chipByCode(code);
    return chip && chip->imageSlot != kNoSlot ? chip->imageSlot : 0;
}

int32_t applicationLimit(const Chip& chip, uint8_t biosCode) {
    switch (chip.limitRule) {
    case LimitRule::BelowBiosReserve:
        return chip.limitBase -
               (biosCode >= kFirstNewerBios ? kNewerBiosReserve : kOlderBiosReserve);
    case LimitRule::BelowFixedReserve:
        return chip.limitBase - chip.fixedReserve;
    case LimitRule::FrameBelowEntry:
        return chip.limitBase - chip.blockSize / chip.addressUnit;
    }
    return 0;
}

ProgramLength programLength(const Chip& chip, int32_t applicationLimit, int64_t imageBytes) {
    const int64_t limitBytes = int64_t{applicationLimit} * chip.addressUnit;
    if (chip.family == Family::Pic18) return {std::min(imageBytes, limitBytes), false};
    return {imageBytes, imageBytes > limitBytes};
}

const char* regionName(RegionKind kind) {
    switch (kind) {
    case RegionKind::IdLocations:
        return "ID locations";
    case RegionKind::Configuration:
        return "configuration";
    case RegionKind::Eeprom:
        return "EEPROM";
    }
    return "";
}

const ResetJump& resetJump(const Chip& chip, uint8_t biosCode) {
    return biosCode >= kFirstNewerBios ? chip.jumpFromBios5 : chip.jumpBeforeBios5;
}

} // namespace chips
