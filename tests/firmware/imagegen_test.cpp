// The HEX reader and the image builder, directly, and the imagegen tool as the build runs it.
#include "firmware/hex_reader.h"
#include "firmware/image_builder.h"
#include "firmware/image_source.h"
#include "hex_records.h"
#include "product_manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using chips::Family;
namespace fs = std::filesystem;

using hextest::kEof;
using hextest::rec;

std::vector<uint8_t> counting(size_t n, uint8_t first = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(first + i);
    return v;
}

const chips::Chip& slot(int n) {
    return *chips::chipOfSlot(n);
}

const chips::Chip& chipOf(Family family) {
    return *chips::chipByCode(family == Family::Pic18 ? 'B' : 254);
}

struct BadHex {
    const char* what;
    std::string text;
    int line;
    const char* message;
};

TEST(HexReader, RejectsBadRecordsNamingTheLine) {
    const BadHex cases[] = {
        {"checksum", rec(0, 4, {0, 0}) + ":0400000010EF00F00E\n" + kEof, 2,
         "wrong record checksum 0x0E (expected 0x0D)"},
        {"unknown type", rec(0, 0, {1, 2}) + rec(0, 6, {1}) + kEof, 2, "unknown record type 0x06"},
        {"no colon", "0400000010EF00F00D\n" + kEof, 1, "must start with ':'"},
        {"odd digits", ":0400000010EF00F00\n" + kEof, 1, "malformed"},
        {"length", ":0500000010EF00F00C\n" + kEof, 1, "does not match"},
        {"no end", rec(0, 0, {1, 2}) + "\n", 1, "no end-of-file record"},
        {"after end", kEof + rec(0, 0, {1, 2}), 2, "after the end-of-file record"},
        {"segment size", rec(0, 2, {1}) + kEof, 1, "needs 2 bytes"},
    };
    for (const BadHex& c : cases) {
        SCOPED_TRACE(c.what);
        const firmware::HexResult r = firmware::readIntelHex(c.text);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.errorLine, c.line);
        EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
        EXPECT_TRUE(r.chunks.empty());
    }
}

TEST(HexReader, ExtendedAddressesGiveAbsoluteByteAddresses) {
    // As a Windows editor saves it: a byte order mark first, Ctrl-Z last.
    const std::string text = "\xEF\xBB\xBF" + rec(0x0010, 0, {1, 2}) + // line 1: 0x00010
                             rec(0, 4, {0x00, 0x01}) +                 // linear base 0x10000
                             rec(0x0020, 0, {3}) +                     // line 3: 0x10020
                             rec(0, 2, {0x12, 0x34}) +                 // segment base 0x12340
                             rec(0xFFFF, 0, {4, 5}) +                  // wraps inside the segment
                             rec(0, 5, {0, 0, 2, 0}) +                 // start address: skipped
                             rec(0, 4, {0x00, 0x02}) +                 // linear base 0x20000
                             rec(0xFFFF, 0, {6, 7}) +                  // goes on past the window
                             rec(0, 4, {0xFF, 0xFF}) +                 // linear base 0xFFFF0000
                             rec(0xFFFF, 0, {8, 9}) +                  // wraps at 4 GiB
                             "\r\n" + kEof + "\x1A";
    const firmware::HexResult r = firmware::readIntelHex(text);
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.chunks.size(), 7u);
    EXPECT_EQ(r.chunks[4].address, 0x2FFFFu);
    EXPECT_EQ(r.chunks[4].bytes, (std::vector<uint8_t>{6, 7}));
    EXPECT_EQ(r.chunks[5].address, 0xFFFFFFFFu);
    EXPECT_EQ(r.chunks[5].bytes, std::vector<uint8_t>{8});
    EXPECT_EQ(r.chunks[6].address, 0u);
    EXPECT_EQ(r.chunks[6].bytes, std::vector<uint8_t>{9});
    EXPECT_EQ(r.chunks[0].address, 0x10u);
    EXPECT_EQ(r.chunks[0].line, 1);
    EXPECT_EQ(r.chunks[1].address, 0x10020u);
    EXPECT_EQ(r.chunks[1].line, 3);
    EXPECT_EQ(r.chunks[2].address, 0x12340u + 0xFFFF);
    EXPECT_EQ(r.chunks[2].bytes, std::vector<uint8_t>{4});
    EXPECT_EQ(r.chunks[3].address, 0x12340u);
    EXPECT_EQ(r.chunks[3].bytes, std::vector<uint8_t>{5});
}

TEST(ImageBuilder, OverlapNamesBothLines) {
    const auto r = firmware::readIntelHex(rec(0, 0, counting(16)) + rec(0x20, 0, counting(4)) +
                                          rec(0x0E, 0, {9, 9, 9}) + kEof);
    ASSERT_TRUE(r.ok());
    const auto image = firmware::buildChipImage(r.chunks, slot(0));
    EXPECT_FALSE(image.ok());
    EXPECT_EQ(image.errorLine, 3);
    EXPECT_NE(image.error.find("overlapping data at 0xE (also written at line 1)"),
              std::string::npos)
        << image.error;

    // A later record at a lower address: the later line is the one at fault.
    const auto lower =
        firmware::readIntelHex(rec(0x10, 0, counting(16)) + rec(0x08, 0, counting(9)) + kEof);
    const auto image2 = firmware::buildChipImage(lower.chunks, slot(0));
    EXPECT_EQ(image2.errorLine, 2);
    EXPECT_NE(image2.error.find("(also written at line 1)"), std::string::npos) << image2.error;

    // Touching records do not overlap.
    const auto touching = firmware::readIntelHex(rec(0, 0, counting(16)) + rec(16, 0, {1}) + kEof);
    EXPECT_TRUE(firmware::buildChipImage(touching.chunks, slot(0)).ok());
}

TEST(ImageBuilder, SizeFloorsAndMemoryLimits) {
    struct Case {
        int slot;
        uint32_t lastAddress; // of a one-byte record
        bool ok;
        const char* message;
    } cases[] = {
        {0, 14, false, "holds 15 bytes, below the 16 bytes"},
        {0, 15, true, ""},
        {6, 1024, false, "holds 1025 bytes, below the 1026 bytes"},
        {6, 1025, true, ""},
        {4, 0x1FFF, true, ""},
        {4, 0x2000, false, "outside the regions of the PIC18F2320 (program memory 0x0-0x1FFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastAddress);
        std::vector<firmware::HexChunk> chunks{{0, 1, {0x12}}, {c.lastAddress, 2, {0x34}}};
        const auto image = firmware::buildChipImage(chunks, slot(c.slot));
        EXPECT_EQ(image.ok(), c.ok) << image.error;
        if (c.ok) {
            EXPECT_EQ(image.flash.size(), c.lastAddress + 1);
        } else {
            EXPECT_NE(image.error.find(c.message), std::string::npos) << image.error;
        }
    }
}

TEST(WireMask, FollowsTheFrameAddress) {
    struct Case {
        Family family;
        uint32_t index;
        uint8_t constant;
        uint8_t mask;
    } cases[] = {
        {Family::Pic18, 0, 0x3C, 0x3C},      {Family::Pic18, 63, 0x3C, 0x3C},
        {Family::Pic18, 64, 0x3C, 0x7C},     {Family::Pic18, 255, 0x3C, 0xFC},
        {Family::Pic18, 256, 0x3C, 0x3C},    {Family::Pic18, 0xC0, 0x81, 0x41},   // wraps
        {Family::Pic24, 255, 0x3C, 0x3C},    {Family::Pic24, 256, 0x3C, 0xBC},    // address 0x80
        {Family::Pic24, 512, 0x3C, 0x3C},    {Family::Pic24, 1024, 0x3C, 0x3C},   // 0x100, 0x200
        {Family::Pic24, 0xFE96, 0x00, 0x00}, {Family::Pic24, 0xFF00, 0x00, 0x80}, // 0x7F80
    };
    for (const Case& c : cases)
        EXPECT_EQ(firmware::wireMask(chipOf(c.family), c.index, c.constant), c.mask) << c.index;
}

// HEX -> flat image -> wire form -> unmasked frame by frame as a bootloader would -> HEX data.
TEST(WireMask, RoundTripGivesTheHexDataBack) {
    for (Family family : {Family::Pic18, Family::Pic24}) {
        const int slotNumber = family == Family::Pic18 ? 1 : 6;
        const uint8_t constant = 0xC7;
        const std::vector<uint8_t> low = counting(200, 7);
        const std::vector<uint8_t> high = counting(100, 90);
        const std::string text = rec(0, 4, {0, 0}) + rec(0x0000, 0, low) + rec(0, 2, {0x00, 0x40}) +
                                 rec(0x0010, 0, high) + kEof; // 0x400 + 0x10 = 0x410
        const auto hex = firmware::readIntelHex(text);
        ASSERT_TRUE(hex.ok()) << hex.error;
        auto image = firmware::buildChipImage(hex.chunks, slot(slotNumber));
        ASSERT_TRUE(image.ok()) << image.error;
        std::vector<uint8_t> wire = image.flash;
        firmware::applyWireMask(wire, slot(slotNumber), constant);

        const size_t block = family == Family::Pic18 ? 64 : 256;
        const size_t unit = family == Family::Pic18 ? 1 : 2;
        ASSERT_EQ(wire.size(), 0x410u + high.size());
        for (size_t frame = 0; frame * block < wire.size(); ++frame) {
            const uint32_t address = static_cast<uint32_t>(frame * block / unit);
            for (size_t i = frame * block; i < std::min(wire.size(), (frame + 1) * block); ++i)
                wire[i] ^= firmware::frameMask(address, constant);
        }
        // The PIC24's fourth byte of an instruction is 0 whatever the file says: the chip has
        // none.
        const auto given = [family](size_t at, uint8_t byte) {
            return family == Family::Pic24 && at % 4 == 3 ? uint8_t{0} : byte;
        };
        for (size_t i = 0; i < low.size(); ++i)
            ASSERT_EQ(wire[i], given(i, low[i])) << i;
        for (size_t i = 0; i < high.size(); ++i)
            ASSERT_EQ(wire[0x410 + i], given(0x410 + i, high[i])) << i;
        EXPECT_EQ(image.phantomLine, family == Family::Pic24 ? 2 : 0);
        EXPECT_EQ(wire[300], family == Family::Pic18 || 300 % 4 != 3 ? 0xFF : 0x00);
    }
}

// The real tool on small product folders: each bad input stops it with FILE:LINE.
class ImagegenTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir =
            fs::temp_directory_path() /
            ("imagegen_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        write("identity.txt", "TEST 01.00|00|00\n");
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }

    // Runs imagegen; returns its exit status and leaves its messages in `output`.
    int run() {
        const std::string command = std::string("'") + IMAGEGEN_PATH + "' '" + dir.string() +
                                    "' '" + (dir / "out.cpp").string() + "' 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return -1;
        output.clear();
        char buf[256];
        while (std::fgets(buf, sizeof buf, pipe))
            output += buf;
        return pclose(pipe);
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
    std::string output;
};

std::string byteText(size_t n) {
    std::string text = "# bytes\n";
    for (size_t i = 0; i < n; ++i)
        text += (i % 16 == 15) ? "01\n" : "01 ";
    return text;
}

TEST_F(ImagegenTool, BadInputsStopTheBuildNamingFileAndLine) {
    const std::string header = "identity identity.txt\nscramble 0x10\n";
    const std::string pic18 = rec(0, 0, counting(16)) + kEof;
    struct Case {
        const char* what;
        std::string manifest;
        std::string hex;
        std::string fix;
        std::string eeprom;
        const char* where;
        const char* message;
    } cases[] = {
        {"checksum", header + "image 0 1 a.hex fix.txt\n",
         rec(0, 4, {0, 0}) + rec(0, 0, counting(8)) + ":08000800000102030405060702\n" + kEof, "",
         "", "a.hex:3: error: ", "wrong record checksum"},
        {"overlap", header + "image 0 1 a.hex fix.txt\n",
         rec(0, 0, counting(16)) + rec(0x10, 0, {1}) + rec(0x0F, 0, {2, 3}) + kEof, "", "",
         "a.hex:3: error: ", "overlapping data at 0xF (also written at line 1)"},
        {"unknown record", header + "image 0 1 a.hex fix.txt\n",
         rec(0, 0, counting(16)) + rec(0, 3, {0, 0, 0, 0}) + rec(0, 7, {}) + kEof, "", "",
         "a.hex:3: error: ", "unknown record type 0x07"},
        {"too small", header + "\nimage 0 6 a.hex fix.txt\n", rec(0, 0, counting(200)) + kEof, "",
         "", "product.txt:4: error: ", "a.hex: the image holds 200 bytes, below the 1026 bytes"},
        {"fix too long", header + "image 0 1 a.hex fix.txt\n", pic18, byteText(65), "",
         "fix.txt:6: error: ", "the fix block is longer than 64 bytes"},
        {"eeprom too long", header + "image 0 1 a.hex fix.txt ee.txt\n", pic18, "00 01 02 03",
         byteText(257), "ee.txt:18: error: ", "the EEPROM data are longer than 256 bytes"},
        {"twice", header + "placeholder 3 1 2\nplaceholder 3 2\n", pic18, "", "",
         "product.txt:4: error: ", "position 3/2 is defined twice"},
        {"no scramble", "identity identity.txt\n", pic18, "", "",
         "product.txt: error: ", "no 'scramble' line"},
        {"files", header + "files sometimes\n", pic18, "", "",
         "product.txt:3: error: ", "usage: files forbidden|allowed"},
        {"fix not the reset vector", header + "image 0 1 a.hex fix.txt\n", pic18, "01 02 03 04", "",
         "product.txt:3: error: ",
         "the fix block fix.txt (01 02 03 04) is not the reset vector of a.hex (00 01 02 03)"},
        {"eeprom twice", header + "image 0 1 a.hex fix.txt ee.txt\n",
         rec(0, 0, counting(16)) + hextest::upper(0xF0) + rec(0, 0, {1}) + kEof, "00 01 02 03",
         "01\n",
         "product.txt:3: error: ", "a.hex holds EEPROM data of its own: name no EEPROM file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write("product.txt", c.manifest);
        write("a.hex", c.hex);
        write("fix.txt", c.fix);
        write("ee.txt", c.eeprom);
        EXPECT_NE(run(), 0);
        EXPECT_NE(output.find(std::string(c.where) + c.message), std::string::npos) << output;
        EXPECT_EQ(output.find(dir.string()), 0u) << output; // the full path of the file
        EXPECT_FALSE(fs::exists(dir / "out.cpp"));
    }
}

TEST_F(ImagegenTool, LimitsThemselvesAreAccepted) {
    write("product.txt", "identity identity.txt\nscramble 0x10\nimage 7 5 a.hex fix.txt ee.txt\n"
                         "placeholder 0 5 9\n");
    write("a.hex", rec(0, 0, counting(16)) + kEof);
    write("fix.txt", "00 01 02 03");
    write("ee.txt", byteText(256));
    ASSERT_EQ(run(), 0) << output;
    std::ifstream in(dir / "out.cpp");
    const std::string source{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(source.find("{7, 5, {fix_b7_s5, 4, flash_b7_s5, 16, eeprom_b7_s5, 256}}"),
              std::string::npos);
    EXPECT_NE(source.find("{0, 9, {fix_b0_s9, 1, flash_b0_s9, 1, eeprom_b0_s9, 1}}"),
              std::string::npos);
    EXPECT_NE(source.find("const uint8_t flash_b7_s5[16] = {"), std::string::npos);
    EXPECT_NE(source.find("const uint8_t eeprom_b7_s5[256] = {"), std::string::npos);
    // Three positions in the table, which the product's image table is made of.
    const std::string header = "ImagePosition kPositions[] = {\n";
    const size_t table = source.find(header);
    ASSERT_NE(table, std::string::npos) << source;
    const size_t first = table + header.size();
    const std::string rows = source.substr(first, source.find("};", first) - first);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 3) << rows;
    EXPECT_NE(source.find("ImageTable(kPositions, 0x10)"), std::string::npos);
    EXPECT_NE(source.find("const Product& thisProduct()"), std::string::npos);
}

TEST_F(ImagegenTool, FilesForbiddenAndEepromDataFromTheHexFile) {
    write("product.txt", "identity identity.txt\nscramble 0x10\nfiles forbidden\n"
                         "image 0 1 a.hex fix.txt\n");
    write("a.hex", rec(0, 0, counting(16)) + hextest::upper(0xF0) + rec(2, 0, {7}) + kEof);
    write("fix.txt", "0x00, 0x01, 0x02, 0x03 # the reset vector");
    ASSERT_EQ(run(), 0) << output;
    std::ifstream in(dir / "out.cpp");
    const std::string source{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(source.find("{0, 1, {fix_b0_s1, 4, flash_b0_s1, 16, eeprom_b0_s1, 3}}"),
              std::string::npos);
    EXPECT_NE(source.find("eeprom_b0_s1[3] = {\n    0xFF, 0xFF, 0x07,\n};"), std::string::npos);
    EXPECT_NE(source.find("ImageTable(kPositions, 0x10), true};"), std::string::npos) << source;
}

TEST_F(ImagegenTool, IdentityTextIsEscapedInTheSource) {
    write("identity.txt", "Q\"uote\\d 01.00\n");
    write("product.txt", "identity identity.txt\nscramble 0xC7\n");
    ASSERT_EQ(run(), 0) << output;
    std::ifstream in(dir / "out.cpp");
    const std::string source{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(source.find("const char kIdentity[] = \"Q\\\"uote\\\\d 01.00\";"), std::string::npos)
        << source;
}

} // namespace
