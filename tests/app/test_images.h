// The images of the window tests' products, small enough for a whole update to run in a test:
// a PIC18F258 image made for any board, and a PIC18F2580 image made for board 5, preparation 4
// only. The scramble constant is 0, so the identity bytes (14 and 15, in the first frame) are
// stored as they are.
#pragma once

#include "firmware/image_table.h"

#include <array>
#include <cstdint>

namespace apptest {

inline constexpr uint8_t kAnyBoard = 0;
inline constexpr uint8_t kPic18ImageLength = 128; // two flash frames of 64 bytes

constexpr std::array<uint8_t, kPic18ImageLength> pic18Image(uint8_t board, uint8_t preparation) {
    std::array<uint8_t, kPic18ImageLength> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(0x30 + i);
    bytes[14] = board;
    bytes[15] = preparation;
    return bytes;
}

inline constexpr auto kPic18F258Flash = pic18Image(kAnyBoard, 0x02);
inline constexpr auto kPic18F2580Flash = pic18Image(5, 0x04);
inline constexpr uint8_t kFix[4] = {0x12, 0x34, 0x56, 0x78};
inline constexpr uint8_t kNoEeprom[1] = {0};

inline constexpr firmware::ImagePosition kTestImages[] = {
    {0, 0, {kFix, 4, kPic18F258Flash.data(), kPic18ImageLength, kNoEeprom, 0}},
    {0, 1, {kFix, 4, kPic18F2580Flash.data(), kPic18ImageLength, kNoEeprom, 0}},
};

} // namespace apptest
