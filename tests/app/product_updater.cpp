// The product the window tests run as: the example identity and build stamp, no images.
#include "firmware/product.h"

namespace firmware::product {
extern const char identity[] = "ZQ710c 01.02|03|00";
extern const char* const buildDate = "Jan 30 2012";
extern const char* const buildTime = "16:51:17";
extern const uint8_t scrambleConstant = 0;
extern const Position positions[1] = {};
extern const int positionCount = 0;
} // namespace firmware::product
