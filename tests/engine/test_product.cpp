// A small product for the protocol tests: placeholders only; tests install their own images
// with installImage().
#include "firmware/product.h"

namespace firmware::product {
namespace {

uint8_t placeholderFix[3][1];
uint8_t placeholderFlash[3][1];
uint8_t placeholderEeprom[3][1];

} // namespace

extern const char identity[] = "TEST 00.01|00|00";
extern const char* const buildDate = "Jan 1 2026";
extern const char* const buildTime = "00:00:00";
extern const uint8_t scrambleConstant = 0x5A;
extern const Position positions[] = {
    {0, 0, placeholderFix[0], 1, placeholderFlash[0], 1, placeholderEeprom[0], 1},
    {2, 1, placeholderFix[1], 1, placeholderFlash[1], 1, placeholderEeprom[1], 1},
    {5, 6, placeholderFix[2], 1, placeholderFlash[2], 1, placeholderEeprom[2], 1},
};
extern const int positionCount = 3;

} // namespace firmware::product
