// A product with an Upgrade code in the middle of its identity.
#include "firmware/product.h"

namespace firmware::product {
extern const char identity[] = "XR-HBD7 02.00|01|00";
extern const char* const buildDate = "Feb 2 2026";
extern const char* const buildTime = "08:00:00";
extern const uint8_t scrambleConstant = 0;
extern const Position positions[1] = {};
extern const int positionCount = 0;
} // namespace firmware::product
