// What the build carries, as the Version dialog lists it: two header lines, then one line per
// image with the chip, the board and connector it was made for, its options and its code.
#pragma once

#include "firmware/image_table.h"

#include <string>
#include <vector>

namespace firmware {

std::vector<std::string> versionListing(const ImageTable& images);

// One image line: "24HJ64 - BD01_R02[14PIN] - CAN+SPI  RES[Code:81]". Board indexes outside
// the catalogue name the 14-pin board on the first six lines (0 to 5), nothing later on.
std::string imageLine(int lineNumber, const char* chipLabel, int imageBoardIndex,
                      uint8_t imagePreparation);

} // namespace firmware
