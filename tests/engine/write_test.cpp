// The write phase: flash frames, the fix frame and the EEPROM frames as board-sim's bootloader
// receives them, with checksums, resends and the protected range.
#include "engine_fixture.h"

#include <algorithm>

namespace {

using namespace enginetest;
using engine::Outcome;

class WriteTest : public EngineTest {
protected:
    // A board of the chip with a BIOS code that sends no board record, and an image for it.
    TestImage& boardAndImage(uint8_t chip, int32_t length, uint8_t bios = 0) {
        board.chip = chip;
        board.bios = bios;
        return addImage(0, chips::slotOfCode(chip), makeImage(chip, length, 0, 0));
    }

    // Every frame as written, checksum last (the one-byte commands left out).
    std::vector<std::vector<uint8_t>> rawFrames() {
        std::vector<std::vector<uint8_t>> frames;
        for (const auto& w : port().writes())
            if (w.size() > 1) frames.push_back(w);
        return frames;
    }

    std::vector<uint32_t> flashAddresses() {
        std::vector<uint32_t> addresses;
        for (const auto& f : flashFrames(port().board()))
            addresses.push_back(f.address);
        return addresses;
    }
};

TEST_F(WriteTest, Pic18ImageOf65Bytes) {
    const TestImage& image = boardAndImage('B', 65, 5);
    ASSERT_TRUE(run().ok());
    const auto frames = flashFrames(port().board());
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].address, 0u);
    std::vector<uint8_t> expected(image.plain.begin(), image.plain.begin() + 64);
    // The jump into the bootloader (BIOS 5 and above: to 0x7E80) over the image's start.
    const uint8_t jump[] = {0x40, 0xEF, 0x3F, 0xF0};
    std::copy(std::begin(jump), std::end(jump), expected.begin());
    EXPECT_EQ(frames[0].data, expected);
    EXPECT_EQ(frames[1].address, 0x40u);
    EXPECT_EQ(frames[1].data, std::vector<uint8_t>{image.plain[64]});
    EXPECT_EQ(frames[2].address, 0x7E40u) << "the fix frame at the application limit";
    // Length fields: a whole block, then what the last frame carries, then a whole block.
    const auto raw = rawFrames();
    EXPECT_EQ(raw[0][3], 64);
    EXPECT_EQ(raw[1][3], 1);
    EXPECT_EQ(raw[1].size(), 4u + 1 + 1);
    EXPECT_EQ(raw[2][3], 64);
    const std::vector<std::string> expectedEvents{"flash 65", "frame 00000", "frame 00040",
                                                  "fix",      "write ended", "end  Program Ok "};
    EXPECT_TRUE(std::search(recorder.events.begin(), recorder.events.end(), expectedEvents.begin(),
                            expectedEvents.end()) != recorder.events.end());
    EXPECT_EQ(recorder.positions, std::vector<int32_t>{64});
}

TEST_F(WriteTest, ExactMultipleOfTheBlockSize) {
    boardAndImage('C', 192);
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(flashAddresses(), (std::vector<uint32_t>{0, 64, 128, 0x7EC0}));
    EXPECT_EQ(rawFrames()[2][3], 64) << "the last frame is whole";
    EXPECT_EQ(recorder.positions, (std::vector<int32_t>{64, 128})) << "one block short";
}

TEST_F(WriteTest, Pic24FramesCarryTwoByteLengthsAndHalvedAddresses) {
    const TestImage& image = boardAndImage(254, 1500);
    ASSERT_TRUE(run().ok());
    const auto frames = flashFrames(port().board());
    ASSERT_EQ(frames.size(), 7u);
    const auto raw = rawFrames();
    EXPECT_EQ(raw[2][3], 0x01);
    EXPECT_EQ(raw[2][4], 0x00);
    EXPECT_EQ(frames[2].address, 0x100u);
    EXPECT_EQ(frames[2].data[0], image.plain[512]) << "image byte 512 in the third frame";
    EXPECT_EQ(frames[5].address, 0x280u);
    EXPECT_EQ(raw[5][3] << 8 | raw[5][4], 1500 - 5 * 256);
    EXPECT_TRUE(recorder.has("flash 750"));

    // The frames give back the plain image with the reset jump at its start.
    std::vector<uint8_t> plain;
    for (size_t k = 0; k < 6; ++k)
        plain.insert(plain.end(), frames[k].data.begin(), frames[k].data.end());
    std::vector<uint8_t> expected = image.plain;
    const uint8_t jump[] = {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::copy(std::begin(jump), std::end(jump), expected.begin());
    EXPECT_EQ(plain, expected);
}

TEST_F(WriteTest, TheImageItselfIsNeverChanged) {
    const TestImage& image = boardAndImage(254, 1500);
    const std::vector<uint8_t> before = image.flash;
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(image.flash, before) << "the reset jump goes into the session's copy only";
}

TEST_F(WriteTest, FixFramePadding) {
    struct Case {
        uint8_t chip;
        std::vector<uint8_t> fix;
        uint32_t address;
        size_t blockSize;
    };
    const Case cases[] = {
        {254, {1, 2, 3, 4, 5, 6, 7, 8}, 0xA780, 256},
        {252, {}, 0xA780, 256},
        {'F', {9, 8, 7}, 0x1EC0, 64},
        {199, std::vector<uint8_t>(64, 0x33), 0x3BC0, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.chip));
        board.chip = c.chip;
        board.bios = 0;
        clearImages();
        TestImage image = makeImage(c.chip, 1100, 0, 0);
        image.fix = c.fix;
        addImage(0, chips::slotOfCode(c.chip), image);
        ASSERT_TRUE(run().ok());
        const ReceivedFrame fix = flashFrames(port().board()).back();
        EXPECT_EQ(fix.address, c.address);
        std::vector<uint8_t> expected(c.blockSize - c.fix.size(), 0xFF);
        expected.insert(expected.end(), c.fix.begin(), c.fix.end());
        EXPECT_EQ(fix.data, expected);
    }
}

TEST_F(WriteTest, OverlongFixBlockNeverRunsPastTheFrame) {
    board.chip = 'B';
    board.bios = 0;
    TestImage image = makeImage('B', 100, 0, 0);
    image.fix.assign(200, 0x11);
    addImage(0, 0, image);
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(rawFrames().back().size(), 4u + 64 + 1);
}

class ProtectedRange : public WriteTest {
protected:
    // A PIC24 board that sends its board record with the range.
    void protect(uint16_t start, uint16_t length) {
        board.bios = 10;
        board.protectStart = start;
        board.protectLength = length;
    }
};

TEST_F(ProtectedRange, DropsExactlyTheFramesThatOverlapIt) {
    board.chip = 253;
    addImage(0, 7, makeImage(253, 0x3000, 0, 0));
    protect(0x1000, 0x0400);
    ASSERT_TRUE(run().ok());
    const auto sent = flashAddresses();
    for (uint32_t a = 0x1000; a <= 0x1380; a += 0x80)
        EXPECT_EQ(std::count(sent.begin(), sent.end(), a), 0) << std::hex << a;
    // The frame that ends where the range starts lies wholly below it.
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x0F80u), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x1400u), 1);
    EXPECT_EQ(sent.size(), 0x3000u / 256 - 8 + 1); // and the fix frame
}

TEST_F(ProtectedRange, LastFrameInsideItIsNotSent) {
    addImage(0, 6, makeImage(254, 0x3000 + 10, 0, 0)); // the last frame: 10 bytes at 0x1800
    protect(0x1800, 4);
    ASSERT_TRUE(run().ok());
    const auto sent = flashAddresses();
    ASSERT_EQ(sent.size(), 0x3000u / 256 + 1);
    EXPECT_EQ(sent[sent.size() - 2], 0x1780u);
    EXPECT_EQ(sent.back(), 0xA780u);
}

TEST_F(ProtectedRange, StartZeroProtectsNothingAndPic18IgnoresIt) {
    addImage(0, 6, makeImage(254, 0x3000, 0, 0));
    protect(0, 0x7000);
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(flashAddresses().size(), 0x3000u / 256 + 1);

    // Only the 16-bit chips honour the board's range.
    board.chip = 'C';
    addImage(0, 1, makeImage('C', 0x400, 0, 0));
    protect(0x100, 0x100);
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(flashAddresses().size(), 0x400u / 64 + 1);
}

TEST_F(WriteTest, EepromFramesAndTheirChecksums) {
    board.chip = 'D';
    board.bios = 0;
    TestImage image = makeImage('D', 100, 0, 0);
    image.eeprom = {0x11, 0x22, 0x33, 0x5A, 0x44, 0xAA};
    addImage(0, 2, image);
    ASSERT_TRUE(run().ok());
    const auto raw = rawFrames();
    ASSERT_GE(raw.size(), 6u);
    const std::vector<std::vector<uint8_t>> eeprom(raw.end() - 6, raw.end());
    EXPECT_EQ(eeprom[3], (std::vector<uint8_t>{0x40, 0x03, 0x5A, 0x01, 0x00, 0x62}));
    EXPECT_EQ(eeprom[5], (std::vector<uint8_t>{0x40, 0x05, 0xAA, 0x01, 0x00, 0x10}));
    for (const auto& frame : raw) {
        uint8_t sum = 0;
        for (uint8_t b : frame)
            sum = static_cast<uint8_t>(sum + b);
        EXPECT_EQ(sum, 0) << "every frame adds up to 0";
    }
    EXPECT_TRUE(recorder.has("start eeprom 6"));
    EXPECT_TRUE(recorder.has("eeprom 5"));
    // Flash progress, then each EEPROM byte's index once it is written.
    EXPECT_EQ(std::vector<int32_t>(recorder.positions.end() - 6, recorder.positions.end()),
              (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(port().board().counters().badChecksums, 0);
}

TEST_F(WriteTest, NoEepromStepWithoutData) {
    boardAndImage('D', 100);
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(recorder.count("eeprom"), 0);
    EXPECT_EQ(recorder.count("write ended"), 1);
}

TEST_F(WriteTest, EveryFrameMustBeAnswered) {
    boardAndImage(254, 4000);
    board.silentFrames = {5};
    const engine::Result r = run();
    EXPECT_EQ(r.outcome(), Outcome::NotResponse);
    EXPECT_EQ(r.text(), " not Response ");
    // Five frames written, the sixth left unanswered after one second, and nothing after it.
    EXPECT_EQ(flashFrames(port().board()).size(), 5u);
    EXPECT_EQ(receivedFrames(port().board()).size(), 6u);
    EXPECT_EQ(rawFrames().size(), 6u);
    EXPECT_EQ(recorder.count("resend"), 0) << "an unanswered frame is never sent again";
}

TEST_F(WriteTest, UnansweredLastFixOrEepromFrameIsNotResponse) {
    board.chip = 'D';
    board.bios = 0;
    TestImage image = makeImage('D', 100, 0, 0);
    image.eeprom = {1, 2, 3};
    addImage(0, 2, image);
    // Frames: 0 and 1 flash, 2 the fix frame, 3 to 5 the EEPROM bytes.
    for (int silent : {1, 2, 4}) {
        SCOPED_TRACE(silent);
        board.silentFrames = {silent};
        EXPECT_EQ(run().outcome(), Outcome::NotResponse);
        EXPECT_EQ(rawFrames().size(), static_cast<size_t>(silent + 1));
    }
}

TEST_F(WriteTest, RefusedFramesAreSentAgainUpToFiveTimes) {
    boardAndImage(254, 4000);
    board.refusals = {{3, 2}};
    ASSERT_TRUE(run().ok());
    EXPECT_TRUE(recorder.has("resend 0"));
    EXPECT_TRUE(recorder.has("resend 1"));
    EXPECT_EQ(recorder.count("resend"), 2);
    const auto raw = rawFrames();
    EXPECT_EQ(raw[3], raw[4]) << "the same frame, checksum unchanged";
    EXPECT_EQ(raw[4], raw[5]);

    board.refusals = {{3, 5}};
    const engine::Result r = run();
    EXPECT_EQ(r.outcome(), Outcome::ChecksumError);
    EXPECT_EQ(r.text(), " CHK Error !! ");
    EXPECT_EQ(rawFrames().size(), 3u + 5);
    EXPECT_EQ(recorder.count("resend"), 5);
    EXPECT_TRUE(recorder.has("resend 4"));
}

TEST_F(WriteTest, StopDuringTheSecondWaitOfAFrameSendsNoMore) {
    boardAndImage(254, 4000);
    board.refusals = {{2, 3}};
    board.silentFrames = {};
    prepare();
    port().setReplyDelay(3);
    int frames = 0;
    port().onWait([&](int64_t) {
        // While the second send of frame 2 waits for its answer.
        if (rawFrames().size() == 4 && ++frames == 2) session().requestAbort();
    });
    EXPECT_EQ(session().run().outcome(), Outcome::UserAbort);
    EXPECT_EQ(rawFrames().size(), 4u);
}

} // namespace
