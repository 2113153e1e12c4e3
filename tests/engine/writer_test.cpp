#include "protocol/writer.h"

#include "protocol/geometry.h"
#include "protocol_fixture.h"

namespace {

using namespace testing_support;
using protocol::link;
using protocol::session;
using protocol::sessionGeometry;

class WriterTest : public ProtocolTest {
protected:
    ScriptedBoard board;
    TestImage image;
    bool pic24 = false;

    void SetUp() override {
        ProtocolTest::SetUp();
        serial::openPort(kPort, 115200, 0, 2, 8);
        board.install();
    }

    // Current image and geometry as the session leaves them before writing.
    void prepare(uint8_t chip, int32_t length, uint8_t bios = 0) {
        pic24 = protocol::chipFamily(chip) == protocol::ChipFamily::Pic24;
        image = makeImage(pic24, length, 0, 0);
        makeCurrent(image);
        ASSERT_TRUE(protocol::recogniseChip(chip, bios, statusBar));
    }

    std::vector<DecodedFrame> flashFrames() const {
        std::vector<DecodedFrame> frames;
        for (const auto& f : board.frames)
            if (f[0] != 0x40 || f.size() != 6) frames.push_back(decodeFlashFrame(f, pic24));
        return frames;
    }

    static std::vector<uint8_t> unmask(const DecodedFrame& f) {
        std::vector<uint8_t> plain = f.data;
        for (uint8_t& b : plain)
            b ^= firmware::scrambleMask(f.address);
        return plain;
    }

    std::vector<std::string> activityTexts() const {
        std::vector<std::string> texts;
        for (const auto& [panel, text] : statusBar.history)
            if (panel == 1) texts.push_back(text);
        return texts;
    }
};

TEST_F(WriterTest, Pic18ImageOf65Bytes) {
    prepare('B', 65, 5);
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    const auto frames = flashFrames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].address, 0u);
    EXPECT_EQ(frames[0].length, 64);
    ASSERT_EQ(frames[0].data.size(), 64u);
    std::vector<uint8_t> expected = image.plain;
    const uint8_t jump[] = {0x40, 0xEF, 0x3F, 0xF0};
    std::copy(std::begin(jump), std::end(jump), expected.begin());
    EXPECT_EQ(unmask(frames[0]), std::vector<uint8_t>(expected.begin(), expected.begin() + 64));
    EXPECT_EQ(frames[1].address, 0x40u);
    EXPECT_EQ(frames[1].length, 1);
    EXPECT_EQ(frames[1].data, std::vector<uint8_t>{image.flash[64]});
    EXPECT_EQ(frames[2].address, 0x7E40u) << "fix frame at the application limit";
    EXPECT_EQ(frames[2].length, 64);
    EXPECT_EQ(activityTexts(), (std::vector<std::string>{"Program 00000 (00000)",
                                                         "Program 00064 (00040)", "Fix Program"}));
    EXPECT_EQ(progress.maximum, 65);
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 64, 0}));
}

TEST_F(WriterTest, ExactMultipleOfTheBlockSize) {
    prepare('C', 192);
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    const auto frames = flashFrames();
    ASSERT_EQ(frames.size(), 4u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(frames[k].address, static_cast<uint32_t>(64 * k));
        EXPECT_EQ(frames[k].length, 64);
    }
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 64, 128, 0})) << "one block short";
}

TEST_F(WriterTest, Pic24FramesCarryTwoByteLengthsAndHalvedAddresses) {
    prepare(254, 1500);
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    const auto frames = flashFrames();
    ASSERT_EQ(frames.size(), 7u);
    EXPECT_EQ(board.frames[2][3], 0x01);
    EXPECT_EQ(board.frames[2][4], 0x00);
    EXPECT_EQ(frames[2].address, 0x100u);
    EXPECT_EQ(frames[2].data[0], image.flash[512]) << "image byte 512 in the third frame";
    EXPECT_EQ(frames[5].address, 0x280u);
    EXPECT_EQ(frames[5].length, 1500 - 5 * 256);
    EXPECT_EQ(progress.maximum, 750);

    // Unmasked, the frames give back the plain image with the reset jump at its start.
    std::vector<uint8_t> plain;
    for (size_t k = 0; k < 6; ++k) {
        const auto bytes = unmask(frames[k]);
        plain.insert(plain.end(), bytes.begin(), bytes.end());
    }
    std::vector<uint8_t> expected = image.plain;
    const uint8_t jump[] = {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::copy(std::begin(jump), std::end(jump), expected.begin());
    EXPECT_EQ(plain, expected);
}

TEST_F(WriterTest, FixFramePadding) {
    struct Case {
        uint8_t chip;
        int32_t length;
        std::vector<uint8_t> fix;
        uint32_t address;
        int32_t blockSize;
    };
    const Case cases[] = {
        {254, 1100, {1, 2, 3, 4, 5, 6, 7, 8}, 0xA780, 256},
        {252, 1100, {}, 0xA780, 256},
        {'F', 100, {9, 8, 7}, 0x1EC0, 64},
        {199, 100, std::vector<uint8_t>(64, 0x33), 0x3BC0, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.chip));
        board.frames.clear();
        prepare(c.chip, c.length);
        image.fix = c.fix;
        makeCurrent(image);
        EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
        const DecodedFrame fixFrame = flashFrames().back();
        EXPECT_EQ(fixFrame.address, c.address);
        EXPECT_EQ(fixFrame.length, c.blockSize);
        std::vector<uint8_t> expected(static_cast<size_t>(c.blockSize) - c.fix.size(), 0xFF);
        expected.insert(expected.end(), c.fix.begin(), c.fix.end());
        EXPECT_EQ(unmask(fixFrame), expected);
    }
}

TEST_F(WriterTest, OverlongFixBlockNeverRunsPastTheFrame) {
    prepare('B', 100);
    image.fix.assign(200, 0x11);
    makeCurrent(image);
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    EXPECT_EQ(board.frames.back().size(), 4u + 64 + 1);
}

TEST_F(WriterTest, ProtectedRangeDropsExactlyTheFramesThatOverlapIt) {
    prepare(253, 0x3000);
    session.protectedStart = 0x1000;
    session.protectedLength = 0x0400;
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    std::vector<uint32_t> addresses;
    for (const auto& f : flashFrames())
        addresses.push_back(f.address);
    for (uint32_t a = 0x1000; a <= 0x1380; a += 0x80)
        EXPECT_EQ(std::count(addresses.begin(), addresses.end(), a), 0) << std::hex << a;
    // The frame that ends where the range starts lies wholly below it.
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), 0x0F80u), 1);
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), 0x1400u), 1);
    EXPECT_EQ(addresses.size(), 0x3000u / 256 - 8 + 1); // and the fix frame
}

TEST_F(WriterTest, LastFrameInsideTheProtectedRangeIsNotSent) {
    prepare(254, 0x3000 + 10); // the last frame holds 10 bytes at 0x1800
    session.protectedStart = 0x1800;
    session.protectedLength = 0x0004;
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    const auto frames = flashFrames();
    ASSERT_EQ(frames.size(), 0x3000u / 256 + 1); // every full frame and the fix frame
    EXPECT_EQ(frames[frames.size() - 2].address, 0x1780u);
    EXPECT_EQ(frames.back().address, 0xA780u);
}

TEST_F(WriterTest, ProtectedStartZeroSendsEverything) {
    prepare(254, 0x3000);
    session.protectedStart = 0;
    session.protectedLength = 0x7000;
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    EXPECT_EQ(flashFrames().size(), 0x3000u / 256 + 1);
}

TEST_F(WriterTest, EepromFrames) {
    prepare('D', 100);
    image.eeprom = {0x11, 0x22, 0x33, 0x5A};
    makeCurrent(image);
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    ASSERT_GE(board.frames.size(), 4u);
    const std::vector<std::vector<uint8_t>> eeprom(board.frames.end() - 4, board.frames.end());
    EXPECT_EQ(eeprom[0], (std::vector<uint8_t>{0x40, 0x00, 0x11, 0x01, 0x00, 0xAE}));
    EXPECT_EQ(eeprom[3], (std::vector<uint8_t>{0x40, 0x03, 0x5A, 0x01, 0x00, 0x62}));
    const auto texts = activityTexts();
    EXPECT_EQ(std::vector<std::string>(texts.end() - 5, texts.end()),
              (std::vector<std::string>{"Fix Program", "Program EEP 0", "Program EEP 1",
                                        "Program EEP 2", "Program EEP 3"}));
    EXPECT_EQ(progress.maximum, 4);
    EXPECT_EQ(std::vector<int>(progress.positions.end() - 6, progress.positions.end()),
              (std::vector<int>{0, 0, 1, 2, 3, 0}));
}

TEST_F(WriterTest, NoEepromStepWithoutData) {
    prepare('D', 64);
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    for (const auto& t : activityTexts())
        EXPECT_EQ(t.find("EEP"), std::string::npos);
    EXPECT_EQ(std::count(progress.positions.begin(), progress.positions.end(), 0), 2)
        << "reset at the start and once at the end";
}

TEST_F(WriterTest, UpgradeModeWritesOnlyFixProgram) {
    reporter.upgrade = true;
    prepare('D', 200);
    image.eeprom = {1, 2};
    makeCurrent(image);
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), 0);
    EXPECT_EQ(activityTexts(), std::vector<std::string>{"Fix Program"});
}

TEST_F(WriterTest, EveryFrameMustBeAnswered) {
    // Frames of a 300-byte PIC18 image with 2 EEPROM bytes: 0..3 full, 4 last, 5 fix, 6-7 EEPROM.
    for (int silent = 0; silent < 8; ++silent) {
        SCOPED_TRACE(silent);
        fakeport::reset();
        serial::openPort(kPort, 115200, 0, 2, 8);
        board = ScriptedBoard{};
        board.silentFrames = {silent};
        board.install();
        prepare('B', 300);
        image.eeprom = {1, 2};
        makeCurrent(image);
        EXPECT_EQ(protocol::writeFirmware(progress, statusBar), -1);
        EXPECT_EQ(board.frames.size(), static_cast<size_t>(silent + 1)) << "nothing after it";
    }
}

TEST_F(WriterTest, RefusalsAndStop) {
    board.refusals = {{1, 5}};
    prepare('B', 300);
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), -3);
    EXPECT_EQ(board.frames.size(), 6u);

    fakeport::reset();
    serial::openPort(kPort, 115200, 0, 2, 8);
    board = ScriptedBoard{};
    board.refusals = {{0, 2}};
    board.replyDelaySteps = 3;
    board.install();
    fakeport::setStepHook([](int64_t step) {
        if (step == 14) link.abortRequest = 1; // during the fifth frame's wait
    });
    prepare('B', 300);
    EXPECT_EQ(protocol::writeFirmware(progress, statusBar), -2);
    EXPECT_EQ(board.frames.size(), 5u);
}

} // namespace
