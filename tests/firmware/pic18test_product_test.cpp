// The PIC18 test product's real build: its images, wire form, EEPROM data and Version list.
#include "firmware/hex_reader.h"
#include "firmware/image_table.h"
#include "firmware/product.h"
#include "firmware/version_listing.h"
#include "product_manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const firmware::ImageTable& images() {
    return firmware::thisProduct().images;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Pic18Product, ImagesUnmaskToTheirHexFiles) {
    struct Case {
        int slot;
        const char* hex;
        uint8_t board, preparation;
    } cases[] = {
        {0, "pic18f258.hex", 0, 0x02},
        {1, "pic18f2580.hex", 5, 0x04},
        {5, "pic18f24j10.hex", 14, 0x8A},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hex);
        const firmware::FirmwareImage& image = images().at(0, c.slot);
        ASSERT_GE(image.flashLength, 16);
        std::vector<uint8_t> plain(image.flashData, image.flashData + image.flashLength);
        // 64-byte frames at byte addresses: masks of 0x00, 0x40, 0x80, 0xC0 in turn.
        for (size_t i = 0; i < plain.size(); ++i)
            plain[i] ^= images().scrambleMask(static_cast<uint32_t>(i / 64 * 64));

        const auto hex = firmware::readIntelHex(readText(std::string(PIC18TEST_DIR "/") + c.hex));
        ASSERT_TRUE(hex.ok()) << hex.error;
        std::vector<bool> written(plain.size());
        size_t end = 0;
        for (const firmware::HexChunk& chunk : hex.chunks) {
            if (chunk.address >= 0x200000) continue; // configuration, not program memory
            for (size_t k = 0; k < chunk.bytes.size(); ++k) {
                ASSERT_EQ(plain.at(chunk.address + k), chunk.bytes[k]) << "line " << chunk.line;
                written[chunk.address + k] = true;
            }
            end = std::max(end, chunk.address + chunk.bytes.size());
        }
        EXPECT_EQ(end, plain.size());
        for (size_t i = 0; i < plain.size(); ++i)
            if (!written[i]) {
                ASSERT_EQ(plain[i], 0xFF) << i;
            }
        EXPECT_EQ(plain[14], c.board);
        EXPECT_EQ(plain[15], c.preparation);
        const firmware::ImageIdentity id = images().identityOf(image, *chips::chipOfSlot(c.slot));
        EXPECT_EQ(id.boardIndex, c.board);
        EXPECT_EQ(id.preparation, c.preparation);
        EXPECT_EQ(image.fixLength, 4);
    }
}

TEST(Pic18Product, EepromDataAndBoardSpecificImage) {
    const firmware::FirmwareImage& image = images().at(0, 1);
    const std::vector<uint8_t> expected =
        imagegen::readByteText(PIC18TEST_DIR "/pic18f2580_eeprom.txt", 256, "the EEPROM data are");
    EXPECT_EQ(std::vector<uint8_t>(image.eepromData, image.eepromData + image.eepromLength),
              expected);
    EXPECT_EQ(images().at(0, 5).eepromLength, 0);

    EXPECT_EQ(images().select(254, 5).flashLength, 65175);
    EXPECT_EQ(images().select(254, 0).flashLength, 1); // board 0: a placeholder for the PIC24HJ64
}

TEST(Pic18Product, VersionListingListsEveryFamily) {
    EXPECT_EQ(firmware::versionListing(images()),
              (std::vector<std::string>{"Device - Print          - Preparation",
                                        "-------------------------------------",
                                        "24HJ64 - BD01_R02[14PIN] - CAN+SPI  RES[Code:81]",
                                        "2580   - BD02_R01[16PIN] - CAN   [Code:04]",
                                        "258    - BD01_R02[14PIN] - UNKNOWN   [Code:02]",
                                        "24J10  - BD10_R03[DB9] - ETH0  RES[Code:8a]"}));
}

} // namespace
