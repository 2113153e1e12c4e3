// Firmware files in place of the built-in images: strict reading, each chip's image from files
// laid out as the PIC18 and PIC24 toolchains write them, what an update writes of them (the
// fix block is each file's own reset vector), and the digests that name files and images.
#include "chips/chip_table.h"
#include "firmware/digest.h"
#include "firmware/file_images.h"
#include "firmware/product.h"
#include "hex_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace hextest;
using firmware::DataRange;
using firmware::DataUse;
using firmware::FileImages;

constexpr uint8_t kFix[16] = {0xA1, 0xA2, 0xA3, 0xA4};
// A product with a general image, and so a fix block, for the PIC18F2580 (slot 1) only.
const firmware::ImagePosition kPositions[] = {{0, 1, {kFix, 4, kFix, 16, kFix, 0}}};
const firmware::Product kProduct{"TEST 01.00", "", "", firmware::ImageTable(kPositions, 0x3C)};

std::vector<uint8_t> counting(size_t n, uint8_t first) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(first + i);
    return v;
}

// As MPASM and XC8 write a PIC18 program: reset and interrupt vectors, code, short records at
// odd addresses, ID locations, the configuration bytes they set, EEPROM data.
std::string pic18File() {
    return upper(0) + rec(0x0000, 0, {0x10, 0xEF, 0x00, 0xF0}) +        // 2: reset GOTO
           rec(0x0008, 0, {0x0D, 0xEF, 0x00, 0xF0, 0, 0, 0x05, 0x04}) + // 3: board 5, prep 4
           rec(0x0010, 0, counting(15, 0x40)) + rec(0x002B, 0, {0x12}) +
           rec(0x1000, 0, counting(16, 0x80)) +        // 6
           rec(0x7FFE, 0, {0xAA, 0xBB}) +              // 7: the bootloader's
           upper(0x0020) + rec(0, 0, counting(8, 1)) + // 8, 9: ID locations
           upper(0x0030) + rec(1, 0, {0x22}) + rec(2, 0, {0x0F, 0x0E}) + rec(6, 0, {0x81}) +
           upper(0x00F0) + rec(0, 0, {0xDE, 0xAD, 0xBE, 0xEF}) + rec(8, 0, {0x55, 0x66}) + kEof;
}

// As XC16 writes a PIC24 program: lower-case digits, byte addresses twice the program address,
// a zero fourth byte per instruction, configuration words at 0xF80000.
std::string pic24File() {
    return upper(0, true) + rec(0x0000, 0, {0x00, 0x02, 0x04, 0, 0, 0, 0, 0}, true) +
           // Board 7, preparation 0x81; a fourth byte of an instruction that is not 0.
           rec(0x0400, 0, {0x07, 0x81, 0, 0, 0x11, 0x22, 0x33, 0x44}, true) + upper(1, true) +
           rec(0x0000, 0, {0xAA, 0xBB, 0xCC, 0}, true) + // 5: at 0x8000
           rec(0x5000, 0, {0x01, 0x02, 0x03, 0}, true) + // 6: the PIC24HJ64's bootloader area
           upper(0x01F0, true) + rec(0x0000, 0, {0xCF, 0, 0, 0}, true) +
           rec(0x000C, 0, {0x83, 0, 0, 0}, true) + ":00000001ff\n";
}

TEST(FileImages, MalformedFilesAreRefusedNamingFileAndLine) {
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {upper(0) + ":0400000010EF00F00E\n" + kEof,
         "app.hex:2: wrong record checksum 0x0E (expected 0x0D)"},
        {":04000000G0EF00F00D\n" + kEof, "app.hex:1: malformed record (not a hex digit)"},
        {rec(0, 5, {0, 0}) + kEof, "app.hex:1: start address record needs 4 bytes"},
        // The same byte again is no conflict; another one is, named with both lines.
        {upper(0) + rec(0x10, 0, {5, 6, 7}) + upper(0) + rec(0x11, 0, {6, 9}) + kEof,
         "app.hex:4: overlapping data at 0x12 (also written at line 2): 0x09 here, 0x07 there"},
        // A linear and a segment address that meet at one byte.
        {upper(1) + rec(1, 0, {0x22}) + rec(0, 2, {0x10, 0x00}) + rec(1, 0, {0x23}) + kEof,
         "app.hex:4: overlapping data at 0x10001 (also written at line 2): 0x23 here, 0x22 there"},
        // No reset vector: no board could start what the file holds.
        {rec(0x10, 0, counting(16, 0)) + kEof,
         "app.hex: no data at address 0, the application's reset vector: a board written with "
         "this file could never start it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const FileImages files("app.hex", c.text, kProduct);
        EXPECT_FALSE(files.ok());
        EXPECT_EQ(files.error(), c.error);
        for (const chips::Chip& chip : chips::allChips()) {
            EXPECT_EQ(files.select(chip.code, 0).flashLength, 0);
            EXPECT_EQ(files.chipError(chip.code), c.error);
        }
    }
}

TEST(FileImages, ChipsTheFileDoesNotSuitHaveNoImageAndTheirOwnError) {
    const std::string small = upper(0) + rec(0, 0, counting(16, 0)) + upper(0xF0) + rec(0, 0, {1});
    const struct {
        std::string text;
        uint8_t chip;
        const char* error; // how the chip's error starts; "": the file suits the chip
    } cases[] = {
        {pic18File(), 'D', "app.hex:7: data at 0x7FFE lie outside the regions of the PIC18F2480"},
        {pic18File(), 254,
         "app.hex:9: data at 0x200000 lie outside the regions of the PIC24HJ64 (program memory "
         "0x0-0x157FF, configuration 0x1F00000-0x1F0002F)"},
        {small + kEof, 'E', ""},
        {small + kEof, 199,
         "app.hex:4: data at 0xF00000 lie outside the regions of the PIC18F24J10 (program memory "
         "0x0-0x3FFF, configuration 0x3FF8-0x3FFD)"},
        {rec(0, 0, counting(15, 0)) + kEof, 'B',
         "app.hex: the image holds 15 bytes, below the 16 bytes an image of the PIC18F258 needs "
         "(its identity bytes)"},
        {pic24File(), 'C', "app.hex:5: data at 0x10000 lie outside the regions of the PIC18F2580"},
        // Enough of a reset vector for a PIC18, half of one for a PIC24.
        {rec(0, 0, counting(4, 0)) + rec(0x400, 0, counting(4, 0)) + kEof, 253,
         "app.hex: the file gives only part of the reset vector (image bytes 0 to 7) of the "
         "dsPIC33FJ128: a board written with it could never start"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const FileImages files("app.hex", c.text, kProduct);
        ASSERT_TRUE(files.ok()) << files.error();
        EXPECT_EQ(files.chipError(c.chip).rfind(c.error, 0), 0u) << files.chipError(c.chip);
        EXPECT_EQ(files.chipError(c.chip).empty(), *c.error == '\0');
        EXPECT_EQ(files.select(c.chip, 3).hasImage(), *c.error == '\0');
        EXPECT_EQ(files.imageSha256(c.chip).empty(), *c.error != '\0');
    }
}

TEST(FileImages, Pic18ImageEepromAndPlan) {
    const FileImages files("app.hex", pic18File(), kProduct);
    ASSERT_TRUE(files.ok()) << files.error();
    const chips::Chip& chip = *chips::chipByCode('C');
    const firmware::FirmwareImage& image = files.select('C', 9);
    EXPECT_EQ(&files.select('C', 0), &image); // whatever the board
    ASSERT_EQ(image.flashLength, 0x8000);
    const firmware::ImageIdentity id = files.identityOf(image, chip);
    EXPECT_EQ(id.boardIndex, 5);
    EXPECT_EQ(id.preparation, 4);
    EXPECT_EQ(std::vector<uint8_t>(image.eepromData, image.eepromData + image.eepromLength),
              (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF, 0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0x66}));
    // The fix block is the file's reset vector, whatever the product's own image has.
    EXPECT_EQ(std::vector<uint8_t>(image.fixData, image.fixData + image.fixLength),
              (std::vector<uint8_t>{0x10, 0xEF, 0x00, 0xF0}));
    EXPECT_EQ(files.resetVectorText('C'), "GOTO 0x0020");

    const firmware::WritePlan plan = files.plan('C', 5);
    const std::vector<DataRange> ranges{
        {DataUse::Flash, 0, 4},
        {DataUse::Flash, 8, 23},
        {DataUse::Flash, 0x2B, 1},
        {DataUse::Flash, 0x1000, 16},
        {DataUse::PastApplicationLimit, 0x7FFE, 2},
        {DataUse::IdLocations, 0x200000, 8},
        {DataUse::Configuration, 0x300001, 3},
        {DataUse::Configuration, 0x300006, 1},
        {DataUse::Eeprom, 0xF00000, 4},
        {DataUse::Eeprom, 0xF00008, 2},
    };
    EXPECT_EQ(plan.ranges, ranges);
    EXPECT_EQ(plan.flashBytes, 0x7E40u); // cut at the application limit of BIOS 5 and above
    EXPECT_EQ(plan.flashDataBytes, 44u);
    EXPECT_EQ(plan.leftOutBytes, 2u + 8 + 4);
    // Wire form: each byte XOR the mask of its 64-byte frame.
    EXPECT_EQ(image.flashData[0x1005] ^ 0x3C, 0x85);
    EXPECT_EQ(files.plan('C', 4).flashBytes, 0x7EC0u);
    const std::vector<std::string> lines = files.planLines('C', 5);
    ASSERT_EQ(lines.size(), 13u); // 4 flash ranges, 2 EEPROM ranges, 4 left out, 3 in all
    EXPECT_EQ(lines[4], "flash in all: 44 bytes of data in 32320 bytes written in 505 frames of "
                        "64 bytes; gaps filled with 0xFF");
    EXPECT_EQ(lines[8], "EEPROM in all: 6 bytes of data in 10 bytes written from EEPROM address "
                        "0; gaps filled with 0xFF");
    EXPECT_EQ(lines[9], "left out: 0x007FFE-0x007FFF, 2 bytes past the application limit 0x7E40: "
                        "the bootloader's own area");
    EXPECT_EQ(lines[12], "left out: configuration 0x300006-0x300006, 1 byte: the bootloader does "
                         "not write configuration words");
    EXPECT_EQ(lines[5], "image bytes 0 to 3: the jump into the bootloader; the file's own reset "
                        "vector (GOTO 0x0020) goes at the end of the fix frame at 0x7E40");
}

TEST(FileImages, Pic24ImagePlanAndTheChipItIsTooBigFor) {
    const FileImages files("app.hex", pic24File(), kProduct);
    ASSERT_TRUE(files.ok()) << files.error();
    const firmware::FirmwareImage& image = files.select(253, 0);
    ASSERT_EQ(image.flashLength, 0x15004);
    const firmware::ImageIdentity id = files.identityOf(image, *chips::chipByCode(253));
    EXPECT_EQ(id.boardIndex, 7);
    EXPECT_EQ(id.preparation, 0x81);
    // Erased instructions in the gaps; 256-byte frames at program addresses 0x80 apart.
    EXPECT_EQ(image.flashData[0x900] ^ (0x80 + 0x3C), 0xFF);
    EXPECT_EQ(image.flashData[0x903] ^ (0x80 + 0x3C), 0x00);
    EXPECT_EQ(image.flashData[0x407] ^ 0x3C, 0x00); // the file's 0x44: the chip holds 0
    EXPECT_EQ(files.resetVectorText(253), "GOTO 0x0200");

    const firmware::WritePlan plan = files.plan(253, 10);
    EXPECT_EQ(plan.ranges, (std::vector<DataRange>{{DataUse::Flash, 0, 8},
                                                   {DataUse::Flash, 0x400, 8},
                                                   {DataUse::Flash, 0x10000, 4},
                                                   {DataUse::Flash, 0x15000, 4},
                                                   {DataUse::Configuration, 0x1F00000, 4},
                                                   {DataUse::Configuration, 0x1F0000C, 4}}));
    // A board that protects 0x1000-0x13FF: the frames the update leaves out are said here too.
    const std::vector<std::string> lines = files.planLines(253, 10, {0x1000, 0x400, 8});
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[4], "flash in all: 24 bytes of data in 86020 bytes written in 329 frames of "
                        "256 bytes; gaps filled with 0xFF 0xFF 0xFF 0x00 per instruction");
    EXPECT_EQ(lines[5], "left out: program addresses 0x1000-0x13FF, the board's protected range: "
                        "8 frames not sent");
    EXPECT_EQ(lines[7], "app.hex:3: the fourth byte of an instruction is not 0 (the first such "
                        "line); every such byte is sent as 0, as the chip holds it");
    EXPECT_EQ(lines[9], "left out: configuration 0x1F0000C-0x1F0000F (program addresses "
                        "0xF80006-0xF80007), 4 bytes: the bootloader does not write "
                        "configuration words");

    // The PIC24HJ64's application area ends at program address 0xA780: nothing is written.
    EXPECT_EQ(files.plan(254, 10).leftOutBytes, 32u);
    EXPECT_EQ(files.planLines(254, 10),
              (std::vector<std::string>{"refused: the image of 86020 bytes is longer than the "
                                        "application area of the PIC24HJ64 (85760 bytes, below "
                                        "program address 0xA780): nothing is written",
                                        "app.hex:6: data at 0x15000 (program address 0xA800) lie "
                                        "past the application area, whose last byte is 0x14EFF "
                                        "(program address 0xA77F)"}));
}

// The same HEX file built into the program and given at run time: the same bytes in wire form,
// the same digest and the same fix block, for every chip of the family.
TEST(FileImages, DemoFileGivesTheBuiltInImage) {
    std::ifstream in(DEMO_HEX_PATH, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const firmware::Product& product = firmware::thisProduct();
    const FileImages files("zq710c_demo.hex", text, product);
    ASSERT_TRUE(files.ok()) << files.error();
    const firmware::FirmwareImage& builtIn = product.images.at(0, 6);
    const firmware::FirmwareImage& fromFile = files.select(254, 2);
    ASSERT_EQ(fromFile.flashLength, builtIn.flashLength);
    EXPECT_EQ(std::memcmp(fromFile.flashData, builtIn.flashData,
                          static_cast<size_t>(builtIn.flashLength)),
              0);
    // The digest is of the plain bytes: unmasked here frame by frame, 128 addresses each.
    std::vector<uint8_t> plain(builtIn.flashData, builtIn.flashData + builtIn.flashLength);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] ^= product.images.scrambleMask(static_cast<uint32_t>(i / 256 * 128));
    const std::string digest = files.imageSha256(254);
    EXPECT_EQ(digest, firmware::sha256Hex(plain));
    EXPECT_EQ(digest, firmware::flashSha256(builtIn, *chips::chipByCode(254), product.images));
    EXPECT_EQ(files.imageSha256(252), digest); // the same layout, no slot of its own
    const auto fixOf = [](const firmware::FirmwareImage& image) {
        return std::vector<uint8_t>(image.fixData, image.fixData + image.fixLength);
    };
    EXPECT_EQ(fixOf(fromFile), fixOf(builtIn));
    EXPECT_EQ(fixOf(files.select(253, 0)), fixOf(builtIn)); // a placeholder in this product
    EXPECT_NE(files.fileSha256(), digest);
}

TEST(Sha256, StandardVectors) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits behind the tail, a second block follows.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopq"
         "rlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(firmware::sha256Hex(c.message), c.digest) << c.message.size() << " bytes";
}

} // namespace
