// The application's reset vector: the first instructions of a firmware image, which the update
// replaces with the jump into the bootloader and sends again, unchanged, at the end of the fix
// frame, where the bootloader runs them to start the application.
#pragma once

#include "chips/chip_table.h"
#include "firmware/image_builder.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace firmware {

// The image bytes of the reset vector: as many as the jump into the bootloader covers (4 for
// the PIC18 family, 8 for the PIC24 family).
int32_t resetVectorLength(const chips::Chip& chip);

// The plain bytes the file gives at the reset vector; none when it leaves any of them out (for
// the PIC24 family the fourth byte of each instruction does not count: it is always 0).
std::optional<std::vector<uint8_t>> resetVectorOf(const ChipImage& image, const chips::Chip& chip);

// Where a reset vector sends the chip, as a program address, when it is a GOTO.
std::optional<uint32_t> jumpTarget(std::span<const uint8_t> vector, chips::Family family);

// For a person: "GOTO 0x0202", or the bytes when they are no GOTO ("12 34 56 78, no GOTO").
std::string describeResetVector(std::span<const uint8_t> vector, chips::Family family);

} // namespace firmware
