// The inputs of one product build, generated from firmware/images/<product>/ and linked into
// that product's executable: its identity, build stamp, scramble constant and images.
#pragma once

#include <cstdint>

namespace firmware::product {

struct Position {
    uint8_t boardIndex;
    uint8_t chipSlot;
    const uint8_t* fixData;
    int32_t fixLength;
    uint8_t* flashData;
    int32_t flashLength;
    const uint8_t* eepromData;
    int32_t eepromLength;
};

extern const char identity[];
extern const char* const buildDate; // "Jan 30 2012"
extern const char* const buildTime; // "16:51:17"
extern const uint8_t scrambleConstant;
extern const Position positions[];
extern const int positionCount;

} // namespace firmware::product
