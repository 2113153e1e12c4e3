// What an update writes of a chip's image made from a file, and what it leaves out: for the
// person who gives the file (as lines of text) and for machine-readable output (as data).
#pragma once

#include "chips/chip_table.h"
#include "firmware/image_builder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace firmware {

// The board's protected range, as the update found it: program addresses whose flash frames
// are not sent, and how many frames that leaves out.
struct ProtectedRange {
    int32_t start = 0; // 0: none
    int32_t length = 0;
    int32_t frames = 0;
};

struct WritePlan {
    // The image's ranges; for the PIC18 family, program data from the application limit on
    // become PastApplicationLimit (the session cuts the image there).
    std::vector<DataRange> ranges;
    uint32_t imageBytes = 0;  // the flat flash image
    uint32_t flashBytes = 0;  // image bytes the flash frames carry, from 0, gaps included
    uint32_t flashFrames = 0; // flash frames sent, the fix frame and protected ones not counted
    ProtectedRange protectedRange;
    uint32_t flashDataBytes = 0;  // of flashBytes, those the file gives
    uint32_t eepromBytes = 0;     // written by the EEPROM step, from EEPROM address 0
    uint32_t leftOutBytes = 0;    // bytes the file gives that are not written
    int32_t applicationLimit = 0; // program address of the fix frame
    int32_t jumpBytes = 0; // image bytes from 0 that carry the jump into the bootloader instead
    // The file's own reset vector, which the fix frame carries; empty when the file gives none.
    std::vector<uint8_t> resetVector;
    bool tooBig = false; // PIC24: longer than the application area, so nothing is written
    // The first image byte the file gives at or past the application limit, and the line that
    // gives it (set by the caller that knows the lines; 0: not known).
    std::optional<uint32_t> firstPastLimit;
    int pastLimitLine = 0;
    int phantomLine = 0; // see ChipImage
};

// The plan for a chip whose bootloader reports `biosCode` (the application limit of the PIC18
// family depends on it).
WritePlan planWrite(const ChipImage& image, const chips::Chip& chip, uint8_t biosCode,
                    ProtectedRange protectedRange = {});

// The plan in words, one statement a line:
//   flash 0x000000-0x0007FF: 2048 bytes of data
//   flash in all: 2048 bytes of data in an image of 4096 bytes; gaps filled with 0xFF
//   ...
// Addresses as the HEX file gives them; for the PIC24 family with program addresses too.
// `source` names the file in the lines that point at one of its lines ("app.hex:12: ...").
std::vector<std::string> describePlan(const WritePlan& plan, const chips::Chip& chip,
                                      const std::string& source = "");

// Names for machine-readable output: "flash", "eeprom", "id-locations", "configuration",
// "past-application-limit".
const char* dataUseName(DataUse use);
// How gaps in the flash image are filled: "0xFF", or for the PIC24 family
// "0xFF 0xFF 0xFF 0x00 per instruction".
const char* gapFill(chips::Family family);

} // namespace firmware
