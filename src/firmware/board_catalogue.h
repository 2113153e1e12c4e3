// The board catalogue and the option list: board index and preparation number in words.
#pragma once

#include <cstdint>

namespace firmware {

inline constexpr int8_t kBoardCatalogueCount = 25;
inline constexpr int8_t kOptionCount = 11;

struct BoardEntry {
    const char* code;      // "BD01_R02"
    const char* connector; // "14PIN"
};

extern const BoardEntry boardCatalogue[kBoardCatalogueCount];
extern const char* const optionList[kOptionCount];

// Board code of entry `index`, or of entry 2 when index is outside 1..24.
const char* boardName(int32_t index);
// Option text of the option index (preparation AND 0x6F), or "UNKNOWN" outside 1..10.
const char* optionName(uint8_t preparation);
// "RES" when bit 7 is set, else " ".
const char* resMark(uint8_t preparation);

} // namespace firmware
