// What an update decides before it writes anything: the board that answered, its chip, the
// image, and the frames the write phase sends. The station's dry runs, its records and the
// bench read the same plan, so what it says and what is sent cannot disagree.
#pragma once

#include "chips/chip_table.h"
#include "engine/reply_receiver.h"
#include "firmware/image_source.h"

#include <cstdint>
#include <vector>

namespace engine {

inline constexpr int64_t kBitsPerByte = 11; // on the line: start, 8 data, 2 stop

// The image that will be written: its size, and the addresses its flash frames cover.
struct LoadedImage {
    int32_t bytes = 0;       // image bytes
    int32_t addressUnit = 1; // image bytes per program-memory address
    int32_t firstAddress = 0;
    int32_t endAddress = 0; // the address just past the last byte written
};

// The board that answered the search, once its board data record (if it sends one) is in.
struct BoardFound {
    Identification identification; // an older bootloader's board index reads 2
    bool fullIdentification = false;
    BoardRecord record; // meaningful when sendsBoardRecord(identification.biosCode)
};

// What a session decided for the board that answered, before anything is written: the board,
// its chip, the image and how the write phase would send it.
struct Plan {
    BoardFound board;
    const chips::Chip* chip = nullptr; // nullptr: a chip this program does not know
    const firmware::FirmwareImage* image = nullptr;
    firmware::ImageIdentity imageIdentity;
    LoadedImage loaded;
    int32_t blockSize = 0;        // image bytes a flash frame carries
    int32_t applicationLimit = 0; // the fix frame's address
    int32_t programLength = 0;    // image bytes the flash frames carry
    int32_t protectedStart = 0;   // addresses whose frames are skipped; a start of 0 skips none
    int32_t protectedLength = 0;
    int32_t flashFrames = 0;   // flash frames sent, the protected ones left out
    int32_t skippedFrames = 0; // flash frames left out for the protected range
    int32_t eepromBytes = 0;
    bool programMode = false; // the program-mode byte goes first

    // Frames the write phase sends: flash, the fix frame, EEPROM.
    int32_t frames() const { return flashFrames + 1 + eepromBytes; }
};

// One flash frame of a plan: the image bytes it carries and the addresses it covers.
struct FlashFrame {
    int32_t start = 0; // index of its first image byte
    int32_t count = 0; // image bytes it carries
    int32_t first = 0; // its address
    int32_t end = 0;   // the address just past it
    bool last = false;
    bool skipped = false; // it touches the board's protected range: not sent
};

// Calls `visit` with each flash frame of a plan (whose chip is known), in the order they go
// out, while it returns true. False when a visit stopped it.
template <typename Visit> bool forEachFlashFrame(const Plan& plan, Visit visit) {
    const int32_t unit = plan.chip->addressUnit;
    for (int32_t start = 0; start < plan.programLength; start += plan.blockSize) {
        FlashFrame f;
        f.start = start;
        f.count = plan.programLength - start < plan.blockSize ? plan.programLength - start
                                                              : plan.blockSize;
        f.first = start / unit;
        f.end = (start + f.count + unit - 1) / unit;
        f.last = start + f.count >= plan.programLength;
        // A start of 0 protects nothing.
        f.skipped = plan.protectedStart != 0 &&
                    f.first < plan.protectedStart + plan.protectedLength &&
                    plan.protectedStart < f.end;
        if (!visit(f)) return false;
    }
    return true;
}

// The program addresses a plan's flash frames write, protected frames left out, joined where
// they touch.
struct AddressRange {
    int32_t first = 0;
    int32_t end = 0; // just past the last address
    bool operator==(const AddressRange&) const = default;
};
std::vector<AddressRange> flashRanges(const Plan& plan);

// The bytes a whole update of the plan puts on the line, both ways: the search byte and the
// board's identification (and board data record), the program-mode byte and its answer, each
// frame with its checksum and its "K".
int64_t wireBytes(const Plan& plan);
// Their time on a line of `baud` at 11 bits a byte (start, 8 data, 2 stop).
double wireSeconds(const Plan& plan, uint32_t baud);

} // namespace engine
