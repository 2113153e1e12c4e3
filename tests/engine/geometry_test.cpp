#include "protocol/geometry.h"

#include "protocol_fixture.h"

namespace {

using namespace testing_support;
using protocol::chipGeometry;
using protocol::link;
using protocol::sessionGeometry;

// The bootloader entry a reset jump goes to, decoded from the instruction bytes.
int32_t jumpTarget(bool pic24) {
    const uint8_t* j = chipGeometry.resetJump;
    if (pic24) return j[0] | j[1] << 8 | (j[4] & 0x7F) << 16;  // GOTO: target in 16-bit units
    const int32_t k = j[0] | (j[2] | (j[3] & 0x0F) << 8) << 8; // two words, k = byte address / 2
    return 2 * k;
}

class GeometryTest : public ProtocolTest {
protected:
    TestImage image;

    void useImage(bool pic24, int32_t length) {
        image = makeImage(pic24, length, 2, 0x81);
        makeCurrent(image);
    }
};

TEST_F(GeometryTest, ChipRows) {
    struct Row {
        uint8_t chip, bios;
        int32_t unit, blockSize, limit;
        std::vector<uint8_t> jump;
        const char* text;
        int32_t entry; // where the jump goes
    };
    const Row rows[] = {
        {'B', 4, 1, 64, 0x7EC0, {0x80, 0xEF, 0x3F, 0xF0}, "Found 258", 0x7F00},
        {'B', 5, 1, 64, 0x7E40, {0x40, 0xEF, 0x3F, 0xF0}, "Found 258", 0x7E80},
        {'C', 0, 1, 64, 0x7EC0, {0x80, 0xEF, 0x3F, 0xF0}, "Found 2580", 0x7F00},
        {'C', 31, 1, 64, 0x7E40, {0x40, 0xEF, 0x3F, 0xF0}, "Found 2580", 0x7E80},
        {'D', 4, 1, 64, 0x3EC0, {0x80, 0xEF, 0x1F, 0xF0}, "Found 2480", 0x3F00},
        {'E', 5, 1, 64, 0x3E40, {0x40, 0xEF, 0x1F, 0xF0}, "Found 248", 0x3E80},
        {'F', 4, 1, 64, 0x1EC0, {0x80, 0xEF, 0x0F, 0xF0}, "Found 2320", 0x1F00},
        {'F', 5, 1, 64, 0x1E40, {0x80, 0xEF, 0x0F, 0xF0}, "Found 2320", 0x1F00},
        {199, 0, 1, 64, 0x3BC0, {0x00, 0xEF, 0x1E, 0xF0}, "Found 24j10", 0x3C00},
        {199, 20, 1, 64, 0x3BC0, {0x00, 0xEF, 0x1E, 0xF0}, "Found 24j10", 0x3C00},
        {252, 0, 2, 256, 0xA780, {0x00, 0xA8, 0x04, 0, 0, 0, 0, 0}, "Found 33FJ64", 0xA800},
        {254, 9, 2, 256, 0xA780, {0x00, 0xA8, 0x04, 0, 0, 0, 0, 0}, "Found 24HJ64", 0xA800},
        {253, 5, 2, 256, 0x15380, {0x00, 0x54, 0x04, 0, 0x01, 0, 0, 0}, "Found 33FJ128", 0x15400},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "chip " << int(r.chip) << " bios " << int(r.bios));
        const bool pic24 = r.unit == 2;
        useImage(pic24, pic24 ? 4096 : 256);
        statusBar = fake::StatusBar{};
        ASSERT_TRUE(protocol::recogniseChip(r.chip, r.bios, statusBar));
        EXPECT_EQ(chipGeometry.addressUnit, r.unit);
        EXPECT_EQ(sessionGeometry.blockSize, r.blockSize);
        EXPECT_EQ(sessionGeometry.applicationLimit, r.limit);
        EXPECT_EQ(sessionGeometry.programLength, pic24 ? 4096 : 256);
        ASSERT_EQ(chipGeometry.resetJumpLength, static_cast<int32_t>(r.jump.size()));
        EXPECT_EQ(std::vector<uint8_t>(chipGeometry.resetJump,
                                       chipGeometry.resetJump + chipGeometry.resetJumpLength),
                  r.jump);
        EXPECT_EQ(jumpTarget(pic24), r.entry);
        EXPECT_EQ(statusBar.panelText(2), r.text);
        EXPECT_TRUE(reporter.banners.empty());
    }
}

TEST_F(GeometryTest, UnknownChips) {
    for (int chip : {int{'A'}, int{'G'}, 0, 198, 251, 255}) {
        SCOPED_TRACE(int(chip));
        for (bool upgrade : {false, true}) {
            reporter.banners.clear();
            statusBar = fake::StatusBar{};
            reporter.upgrade = upgrade;
            link.devicePanelIndex = upgrade ? -2 : 2;
            useImage(false, 256);
            EXPECT_FALSE(protocol::recogniseChip(static_cast<uint8_t>(chip), 5, statusBar));
            ASSERT_EQ(reporter.banners.size(), 1u);
            EXPECT_EQ(reporter.banners[0].text, " Error !! ");
            EXPECT_EQ(reporter.banners[0].colour, ui::kRed);
            EXPECT_EQ(reporter.banners[0].code, 0);
            if (upgrade)
                EXPECT_TRUE(statusBar.history.empty());
            else
                EXPECT_EQ(statusBar.panelText(2), "Unknow Device");
        }
    }
}

TEST_F(GeometryTest, LongPic18ImageIsCutSilently) {
    useImage(false, 40000);
    ASSERT_TRUE(protocol::recogniseChip('B', 0, statusBar));
    EXPECT_EQ(sessionGeometry.programLength, 0x7EC0);
    EXPECT_TRUE(reporter.banners.empty());
}

TEST_F(GeometryTest, Pic24SizeLimit) {
    useImage(true, 2 * 0xA780);
    EXPECT_TRUE(protocol::recogniseChip(254, 0, statusBar));
    EXPECT_EQ(sessionGeometry.programLength, 2 * 0xA780);

    useImage(true, 2 * 0xA780 + 1);
    EXPECT_FALSE(protocol::recogniseChip(254, 0, statusBar));
    EXPECT_EQ(reporter.lastBanner(), " Hex too Big !! ");
    EXPECT_EQ(reporter.updaterBar.panelText(2), "Warning");
    EXPECT_TRUE(reporter.bios.shown) << "the BIOS label is refreshed";

    useImage(true, 2 * 0x15380 + 1);
    EXPECT_FALSE(protocol::recogniseChip(253, 0, statusBar));
    useImage(true, 2 * 0x15380);
    EXPECT_TRUE(protocol::recogniseChip(253, 0, statusBar));
}

TEST_F(GeometryTest, MissingImage) {
    for (int32_t length : {1, 0, -3}) {
        SCOPED_TRACE(length);
        for (int chip : {int{'D'}, 254}) {
            reporter.banners.clear();
            reporter.updaterBar = fake::StatusBar{};
            statusBar = fake::StatusBar{};
            useImage(false, 16);
            firmware::currentImage.flashLength = length;
            EXPECT_FALSE(protocol::recogniseChip(static_cast<uint8_t>(chip), 0, statusBar));
            ASSERT_EQ(reporter.banners.size(), 1u);
            EXPECT_EQ(reporter.banners[0].text, " No Hex inside !! ");
            EXPECT_EQ(reporter.banners[0].code, 0);
            EXPECT_EQ(reporter.updaterBar.panelText(2), "Warning");
            EXPECT_EQ(statusBar.panelText(2), "") << "no chip text after a stop";
        }
    }
}

TEST_F(GeometryTest, ImageReportsInUpgradeModeReachTheHostButNotTheUpdaterWindow) {
    reporter.upgrade = true;
    link.devicePanelIndex = -2;
    useImage(true, 1);
    EXPECT_FALSE(protocol::recogniseChip(254, 0, statusBar));
    useImage(true, 2 * 0xA780 + 4);
    EXPECT_FALSE(protocol::recogniseChip(254, 0, statusBar));
    ASSERT_EQ(reporter.banners.size(), 2u);
    EXPECT_EQ(reporter.banners[0].text, " No Hex inside !! ");
    EXPECT_EQ(reporter.banners[1].text, " Hex too Big !! ");
    EXPECT_EQ(reporter.banners[1].code, 0);
    EXPECT_TRUE(reporter.updaterBar.history.empty());
    EXPECT_FALSE(reporter.bios.shown);
    EXPECT_TRUE(statusBar.history.empty()) << "no device panel in the Upgrade window";
}

TEST_F(GeometryTest, ChipTextNotShownWithoutDevicePanel) {
    link.devicePanelIndex = -2;
    useImage(false, 256);
    EXPECT_TRUE(protocol::recogniseChip('C', 0, statusBar));
    EXPECT_TRUE(statusBar.history.empty());
}

TEST_F(GeometryTest, ImageIdentity) {
    useImage(false, 64);
    EXPECT_EQ(protocol::readImageIdentity('E').boardIndex, 2);
    EXPECT_EQ(protocol::readImageIdentity('E').preparation, 0x81);
    EXPECT_EQ(protocol::readImageIdentity(254).boardIndex, 0) << "too short for a PIC24 identity";

    image = makeImage(true, 1026, 17, 0x45);
    makeCurrent(image);
    EXPECT_EQ(protocol::readImageIdentity(252).boardIndex, 17);
    EXPECT_EQ(protocol::readImageIdentity(253).preparation, 0x45);
    EXPECT_EQ(protocol::readImageIdentity('A').boardIndex, 0);
    EXPECT_EQ(protocol::readImageIdentity('A').preparation, 0);
    // Bytes 14 and 15 of a PIC24 image are ordinary program bytes.
    EXPECT_EQ(protocol::readImageIdentity('B').boardIndex, image.plain[14]);
}

} // namespace
