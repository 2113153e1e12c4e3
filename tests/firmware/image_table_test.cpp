// The image table against the default product's real build.
#include "firmware/image_table.h"
#include "firmware/product.h"
#include "hex_reader.h"
#include "image_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace {

using firmware::currentImage;
using firmware::imageTable;

bool sameRecord(const firmware::FirmwareImage& a, const firmware::FirmwareImage& b) {
    return a.fixData == b.fixData && a.fixLength == b.fixLength && a.flashData == b.flashData &&
           a.flashLength == b.flashLength && a.eepromData == b.eepromData &&
           a.eepromLength == b.eepromLength;
}

class ImageTable : public ::testing::Test {
protected:
    void SetUp() override {
        firmware::buildImageTable();
        std::memcpy(savedStart.data(), imageTable[0][6].flashData, savedStart.size());
    }
    // The reset jump test writes into the image; later tests want it as built.
    void TearDown() override {
        std::memcpy(imageTable[0][6].flashData, savedStart.data(), savedStart.size());
    }
    std::array<uint8_t, 8> savedStart{};
};

TEST_F(ImageTable, HoldsTheTwentyThreePositionsOfTheDefaultBuild) {
    const std::set<std::pair<int, int>> expected{{0, 0}, {0, 1}, {0, 2},  {0, 3},  {0, 4}, {0, 5},
                                                 {0, 6}, {0, 7}, {2, 0},  {2, 1},  {4, 0}, {4, 1},
                                                 {5, 0}, {5, 1}, {5, 6},  {6, 0},  {6, 1}, {6, 6},
                                                 {7, 6}, {8, 6}, {11, 6}, {16, 6}, {19, 6}};
    std::set<const uint8_t*> placeholderObjects;
    int defined = 0;
    for (int board = 0; board < firmware::kBoardCount; ++board) {
        for (int slot = 0; slot < firmware::kSlotCount; ++slot) {
            const firmware::FirmwareImage& r = imageTable[board][slot];
            const bool isDefined = expected.count({board, slot}) != 0;
            if (!isDefined) {
                EXPECT_TRUE(sameRecord(r, {})) << board << "/" << slot;
                continue;
            }
            ++defined;
            if (board == 0 && slot == 6) continue;
            // A placeholder: three one-byte zero objects of its own, lengths 1.
            EXPECT_EQ(r.fixLength, 1);
            EXPECT_EQ(r.flashLength, 1);
            EXPECT_EQ(r.eepromLength, 1);
            ASSERT_TRUE(r.fixData && r.flashData && r.eepromData);
            EXPECT_EQ(r.fixData[0] | r.flashData[0] | r.eepromData[0], 0);
            placeholderObjects.insert(r.fixData);
            placeholderObjects.insert(r.flashData);
            placeholderObjects.insert(r.eepromData);
        }
    }
    EXPECT_EQ(defined, 23);
    EXPECT_EQ(firmware::product::positionCount, 23);
    EXPECT_EQ(placeholderObjects.size(), 22u * 3);

    const firmware::FirmwareImage& image = imageTable[0][6];
    EXPECT_EQ(image.flashLength, 65175);
    EXPECT_EQ(image.fixLength, 8);
    EXPECT_EQ(image.eepromLength, 0);
}

TEST_F(ImageTable, SelectImageFallsBackToBoardZero) {
    // A board's own image wins over board 0's: give board 7 one in slot 0.
    static uint8_t ownFlash[64] = {};
    imageTable[7][0] = {nullptr, 0, ownFlash, 64, nullptr, 0};
    struct Case {
        uint8_t chip;
        uint8_t board;
        int expectBoard;
        int expectSlot;
    } cases[] = {
        {254, 0, 0, 6},   {254, 5, 0, 6}, {254, 200, 0, 6}, {254, 255, 0, 6}, {'C', 2, 0, 1},
        {'B', 2, 0, 0},   {'B', 7, 7, 0}, {252, 7, 7, 0},   {'A', 7, 7, 0},   {255, 7, 7, 0},
        {'B', 255, 0, 0}, {253, 9, 0, 7}, {199, 0, 0, 5},   {'F', 7, 0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.chip) << " on board " << int(c.board));
        currentImage = {};
        firmware::selectImage(c.chip, c.board);
        EXPECT_TRUE(sameRecord(currentImage, imageTable[c.expectBoard][c.expectSlot]));
    }
    imageTable[7][0] = {};
    // 'C' on board 2: both its own record and board 0's are placeholders.
    firmware::selectImage('C', 2);
    EXPECT_EQ(currentImage.flashLength, 1);
    EXPECT_EQ(currentImage.flashData, imageTable[0][1].flashData);
    firmware::selectImage(254, 200);
    EXPECT_EQ(currentImage.flashLength, 65175);
}

TEST(ChipSlot, MapsChipCodesToColumns) {
    const std::pair<uint8_t, uint8_t> cases[] = {
        {'B', 0}, {'C', 1}, {'D', 2}, {'E', 3}, {'F', 4}, {199, 5}, {254, 6},
        {253, 7}, {252, 0}, {0, 0},   {'A', 0}, {'G', 0}, {255, 0}, {198, 0},
    };
    for (auto [chip, slot] : cases)
        EXPECT_EQ(firmware::chipSlot(chip), slot) << int(chip);
}

TEST(ScrambleMask, DependsOnTheLowAddressByteOnly) {
    const uint8_t c = firmware::product::scrambleConstant;
    for (uint32_t address : {0x0000u, 0x0080u, 0x1FFu, 0xA780u, 0xFFFFu})
        EXPECT_EQ(firmware::scrambleMask(address, 0), 0) << address;
    for (uint32_t address : {0x0200u, 0x0400u, 0xA800u, 0x15400u})
        EXPECT_EQ(firmware::scrambleMask(address), firmware::scrambleMask(0)) << address;
    EXPECT_EQ(firmware::scrambleMask(0), c);
    EXPECT_EQ(firmware::scrambleMask(0xA780), static_cast<uint8_t>(0x80 + c));
    EXPECT_EQ(firmware::scrambleMask(0x01FF), static_cast<uint8_t>(0xFF + c)); // wraps
    EXPECT_NE(firmware::scrambleMask(0x80), firmware::scrambleMask(0));
}

TEST_F(ImageTable, RebuildingKeepsTheTableAndTheWrittenResetJump) {
    firmware::FirmwareImage before[firmware::kBoardCount][firmware::kSlotCount];
    std::memcpy(before, imageTable, sizeof before);

    const uint8_t jump[8] = {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (int k = 0; k < 8; ++k)
        imageTable[0][6].flashData[k] = jump[k] ^ firmware::scrambleMask(0);
    // Only the flash lengths are reset before the positions are filled again.
    static const uint8_t stray = 0x55;
    imageTable[100][9] = {&stray, 5, nullptr, 7, nullptr, 0};

    firmware::buildImageTable();
    for (int board = 0; board < firmware::kBoardCount; ++board)
        for (int slot = 0; slot < firmware::kSlotCount; ++slot)
            if (board != 100 || slot != 9) {
                EXPECT_TRUE(sameRecord(imageTable[board][slot], before[board][slot]));
            }
    EXPECT_EQ(imageTable[100][9].flashLength, 0);
    EXPECT_EQ(imageTable[100][9].fixLength, 5);
    imageTable[100][9] = {};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(imageTable[0][6].flashData[k] ^ firmware::scrambleMask(0), jump[k]);
}

// The built image, unmasked frame by frame with the program's own mask, is the checked-in HEX.
TEST_F(ImageTable, DefaultImageIsTheDemoHexInWireForm) {
    std::ifstream in(DEMO_HEX_PATH, std::ios::binary);
    ASSERT_TRUE(in) << DEMO_HEX_PATH;
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const imagegen::HexResult hex = imagegen::readIntelHex(text);
    ASSERT_TRUE(hex.ok()) << hex.error;

    const firmware::FirmwareImage& image = imageTable[0][6];
    std::vector<uint8_t> plain(image.flashData, image.flashData + image.flashLength);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] ^= firmware::scrambleMask(static_cast<uint32_t>(i / 256 * 128));
    size_t checked = 0, end = 0;
    for (const imagegen::HexChunk& chunk : hex.chunks) {
        for (size_t k = 0; k < chunk.bytes.size(); ++k)
            ASSERT_EQ(plain[chunk.address + k], chunk.bytes[k]) << "line " << chunk.line;
        checked += chunk.bytes.size();
        end = std::max(end, chunk.address + chunk.bytes.size());
    }
    EXPECT_EQ(checked, 65175u - 0x2000); // all but the erased gap
    EXPECT_EQ(end, plain.size());        // the HEX data end where the image ends
    // Image identity: board 2, preparation 0x81.
    EXPECT_EQ(plain[1024], 0x02);
    EXPECT_EQ(plain[1025], 0x81);
    // The gap before the constant table reads as erased instructions.
    EXPECT_EQ(plain[0xC000], 0xFF);
    EXPECT_EQ(plain[0xC003], 0x00);
    const uint8_t fix[8] = {0x02, 0x02, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(image.fixData, fix, 8), 0);
}

} // namespace
