// The image table: lookups on tables of the test's making, and the default product's real build.
#include "chips/chip_table.h"
#include "firmware/build_stamp.h"
#include "firmware/hex_reader.h"
#include "firmware/image_table.h"
#include "firmware/product.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace {

using firmware::FirmwareImage;
using firmware::ImagePosition;
using firmware::ImageTable;

const ImageTable& productImages() {
    return firmware::thisProduct().images;
}

bool isPlaceholder(const FirmwareImage& r) {
    return r.fixLength == 1 && r.flashLength == 1 && r.eepromLength == 1 && r.fixData &&
           r.flashData && r.eepromData && (r.fixData[0] | r.flashData[0] | r.eepromData[0]) == 0;
}

bool isEmptyRecord(const FirmwareImage& r) {
    return r.fixData == nullptr && r.fixLength == 0 && r.flashData == nullptr &&
           r.flashLength == 0 && r.eepromData == nullptr && r.eepromLength == 0;
}

TEST(ProductImageTable, HoldsTheTwentyThreePositionsOfTheDefaultBuild) {
    const std::set<std::pair<int, int>> expected{{0, 0}, {0, 1}, {0, 2},  {0, 3},  {0, 4}, {0, 5},
                                                 {0, 6}, {0, 7}, {2, 0},  {2, 1},  {4, 0}, {4, 1},
                                                 {5, 0}, {5, 1}, {5, 6},  {6, 0},  {6, 1}, {6, 6},
                                                 {7, 6}, {8, 6}, {11, 6}, {16, 6}, {19, 6}};
    std::set<std::pair<int, int>> defined;
    for (const ImagePosition& p : productImages().positions())
        defined.insert({p.boardIndex, p.chipSlot});
    EXPECT_EQ(defined, expected);
    EXPECT_EQ(productImages().positions().size(), expected.size()); // none defined twice

    std::set<const uint8_t*> placeholderObjects;
    for (int board = 0; board < firmware::kBoardCount; ++board) {
        for (int slot = 0; slot < chips::kSlotCount; ++slot) {
            const FirmwareImage& r = productImages().at(board, slot);
            if (expected.count({board, slot}) == 0) {
                EXPECT_TRUE(isEmptyRecord(r)) << board << "/" << slot;
                continue;
            }
            if (board == 0 && slot == 6) continue;
            // A placeholder: three one-byte zero objects of its own, lengths 1.
            EXPECT_TRUE(isPlaceholder(r)) << board << "/" << slot;
            placeholderObjects.insert({r.fixData, r.flashData, r.eepromData});
        }
    }
    EXPECT_EQ(placeholderObjects.size(), 22u * 3);

    const FirmwareImage& image = productImages().at(0, 6);
    EXPECT_EQ(image.flashLength, 65175);
    EXPECT_EQ(image.fixLength, 8);
    EXPECT_EQ(image.eepromLength, 0);
    EXPECT_TRUE(image.hasImage());
    EXPECT_FALSE(productImages().at(0, 1).hasImage()); // a placeholder is no image
}

// A table of the test's own: records told apart by their addresses.
class ImageLookup : public ::testing::Test {
protected:
    static constexpr uint8_t kZero[1] = {0};
    static constexpr uint8_t kBytes[64] = {};
    static constexpr FirmwareImage image() { return {kZero, 1, kBytes, 64, kZero, 0}; }
    static constexpr FirmwareImage placeholder() { return {kZero, 1, kZero, 1, kZero, 1}; }

    const ImagePosition positions[9] = {
        {0, 0, image()}, {0, 1, placeholder()}, {2, 1, placeholder()},
        {0, 4, image()}, {0, 5, image()},       {0, 6, image()},
        {0, 7, image()}, {7, 0, image()},       {9, 6, placeholder()},
    };
    const ImageTable table{positions, 0};
};

TEST_F(ImageLookup, SelectTakesTheBoardsOwnImageElseBoardZeros) {
    struct Case {
        uint8_t chip;
        uint8_t board;
        int expectBoard;
        int expectSlot;
    } cases[] = {
        {254, 0, 0, 6}, {254, 5, 0, 6}, {254, 200, 0, 6}, {254, 255, 0, 6},
        {'B', 2, 0, 0}, {'B', 7, 7, 0}, {'B', 255, 0, 0}, // 255 is no board index
        {252, 7, 7, 0},                                   // no slot of its own: slot 0
        {'A', 7, 7, 0},                                   // an unknown chip: slot 0
        {255, 7, 7, 0}, {253, 9, 0, 7}, {199, 0, 0, 5},   {'F', 7, 0, 4},
        {'C', 2, 0, 1}, // a placeholder of its own is no image: board 0's (a placeholder too)
        {254, 9, 0, 6}, // the same for another chip
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.chip) << " on board " << int(c.board));
        EXPECT_EQ(&table.select(c.chip, c.board), &table.at(c.expectBoard, c.expectSlot));
    }
    // No record at all where the table defines none, board 0 included.
    EXPECT_TRUE(isEmptyRecord(table.select('D', 0)));
    EXPECT_TRUE(isEmptyRecord(table.at(3, 0)));
    EXPECT_TRUE(isEmptyRecord(table.at(0, 9)));
}

TEST(ChipSlot, MapsChipCodesToColumns) {
    const std::pair<uint8_t, int> cases[] = {
        {'B', 0}, {'C', 1}, {'D', 2}, {'E', 3}, {'F', 4}, {199, 5}, {254, 6},
        {253, 7}, {252, 0}, {0, 0},   {'A', 0}, {'G', 0}, {255, 0}, {198, 0},
    };
    for (auto [chip, slot] : cases)
        EXPECT_EQ(chips::slotOfCode(chip), slot) << int(chip);
}

TEST(ScrambleMask, IsTheLowAddressBytePlusTheConstant) {
    const ImageTable plain({}, 0);
    for (uint32_t address : {0x0000u, 0x0080u, 0x1FFu, 0xA780u, 0xFFFFu})
        EXPECT_EQ(plain.scrambleMask(address), address & 0xFF) << address;

    const ImageTable table({}, 0x3C);
    for (uint32_t address : {0x0200u, 0x0400u, 0xA800u, 0x15400u})
        EXPECT_EQ(table.scrambleMask(address), table.scrambleMask(0)) << address;
    EXPECT_EQ(table.scrambleMask(0), 0x3C);
    EXPECT_EQ(table.scrambleMask(0xA780), 0x80 + 0x3C);
    EXPECT_EQ(table.scrambleMask(0x01FF), static_cast<uint8_t>(0xFF + 0x3C)); // wraps
}

TEST(ImageIdentity, ReadsTheIdentityBytesOfTheChipsFamilyUnmasked) {
    const ImageTable table({}, 0x5A);
    const chips::Chip& pic18 = *chips::chipByCode('B');
    const chips::Chip& pic24 = *chips::chipByCode(254);
    std::vector<uint8_t> bytes(1026, 0xFF);
    bytes[14] = 0x05 ^ 0x5A;
    bytes[15] = 0x84 ^ 0x5A;
    bytes[1024] = 0x13 ^ 0x5A;
    bytes[1025] = 0x07 ^ 0x5A;
    const auto identity = [&](const chips::Chip& chip, int32_t length) {
        const FirmwareImage image{nullptr, 0, bytes.data(), length, nullptr, 0};
        const firmware::ImageIdentity id = table.identityOf(image, chip);
        return std::make_pair(int(id.boardIndex), int(id.preparation));
    };
    EXPECT_EQ(identity(pic18, 1026), std::make_pair(0x05, 0x84));
    EXPECT_EQ(identity(pic24, 1026), std::make_pair(0x13, 0x07));
    // Too short to hold both bytes: 0 and 0.
    EXPECT_EQ(identity(pic18, 16), std::make_pair(0x05, 0x84));
    EXPECT_EQ(identity(pic18, 15), std::make_pair(0, 0));
    EXPECT_EQ(identity(pic24, 1025), std::make_pair(0, 0));
    const FirmwareImage none{};
    EXPECT_EQ(table.identityOf(none, pic24).boardIndex, 0);
}

// The built image, unmasked frame by frame with the table's own mask, is the checked-in HEX.
TEST(ProductImageTable, DefaultImageIsTheDemoHexInWireForm) {
    std::ifstream in(DEMO_HEX_PATH, std::ios::binary);
    ASSERT_TRUE(in) << DEMO_HEX_PATH;
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const firmware::HexResult hex = firmware::readIntelHex(text);
    ASSERT_TRUE(hex.ok()) << hex.error;

    const FirmwareImage& image = productImages().at(0, 6);
    std::vector<uint8_t> plain(image.flashData, image.flashData + image.flashLength);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] ^= productImages().scrambleMask(static_cast<uint32_t>(i / 256 * 128));
    size_t checked = 0, end = 0;
    for (const firmware::HexChunk& chunk : hex.chunks) {
        for (size_t k = 0; k < chunk.bytes.size(); ++k)
            ASSERT_EQ(plain[chunk.address + k], chunk.bytes[k]) << "line " << chunk.line;
        checked += chunk.bytes.size();
        end = std::max(end, chunk.address + chunk.bytes.size());
    }
    EXPECT_EQ(checked, 65175u - 0x2000); // all but the erased gap
    EXPECT_EQ(end, plain.size());        // the HEX data end where the image ends
    // Image identity: board 2, preparation 0x81, read the way the program reads it.
    EXPECT_EQ(plain[1024], 0x02);
    EXPECT_EQ(plain[1025], 0x81);
    const firmware::ImageIdentity id = productImages().identityOf(image, *chips::chipByCode(254));
    EXPECT_EQ(id.boardIndex, 0x02);
    EXPECT_EQ(id.preparation, 0x81);
    // The gap before the constant table reads as erased instructions.
    EXPECT_EQ(plain[0xC000], 0xFF);
    EXPECT_EQ(plain[0xC003], 0x00);
    const uint8_t fix[8] = {0x02, 0x02, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(image.fixData, fix, 8), 0);
}

TEST(BuildStamp, CompilerDateLosesTheBlankThatPadsTheDay) {
    EXPECT_STREQ(firmware::dateFromCompiler("Jan  3 2012").text, "Jan 3 2012");
    EXPECT_STREQ(firmware::dateFromCompiler("Jan 30 2012").text, "Jan 30 2012");
    EXPECT_STREQ(firmware::dateFromCompiler("Feb 12 2026").text, "Feb 12 2026");
    // The build's own stamp, whichever way it was made.
    EXPECT_EQ(std::string(firmware::thisProduct().buildDate).find("  "), std::string::npos);
}

} // namespace
