// The emulated bootloader's state machine and command line, without a pseudo-terminal.

#include "bootloader.h"
#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kAck{'K'};
const Bytes kNak{'N'};

Bytes feed(boardsim::Bootloader& board, const Bytes& bytes, bool* hangup = nullptr) {
    Bytes reply;
    for (uint8_t b : bytes) {
        const boardsim::Outcome out = board.feed(b);
        reply.insert(reply.end(), out.reply.begin(), out.reply.end());
        if (hangup != nullptr && out.hangup) *hangup = true;
    }
    return reply;
}

Bytes withChecksum(Bytes command) {
    uint8_t sum = 0;
    for (uint8_t b : command)
        sum = static_cast<uint8_t>(sum + b);
    command.push_back(static_cast<uint8_t>(-sum));
    return command;
}

Bytes flash18(uint16_t address, uint8_t length, uint8_t fill = 0x11) {
    Bytes frame{0x00, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), length};
    frame.insert(frame.end(), length, fill);
    return withChecksum(frame);
}

boardsim::Config pic18(uint8_t bios = 5) {
    boardsim::Config config;
    config.bios = bios;
    config.chip = 'B';
    config.board = 2;
    config.preparation = 0x81;
    return config;
}

TEST(BoardSim, IdentificationByBootloaderKind) {
    struct Case {
        const char* what;
        void (*change)(boardsim::Config&);
        Bytes reply;
    };
    const Case cases[] = {
        {"full", [](boardsim::Config&) {}, {'V', 5, 'B', 2, 0x81, 'K'}},
        {"older", [](boardsim::Config& c) { c.old = true; }, {'B', 'K'}},
        {"BIOS 7", [](boardsim::Config& c) { c.bios = 7; }, {'V', 7, 'B', 2, 0x81, 'K'}},
        {"BIOS 32", [](boardsim::Config& c) { c.bios = 32; }, {'V', 32, 'B', 2, 0x81, 'K'}},
        {"no record",
         [](boardsim::Config& c) { c.bios = 10, c.sendRecord = false; },
         {'V', 10, 'B', 2, 0x81, 'K'}},
        {"garbage",
         [](boardsim::Config& c) { c.garbage = 3; },
         {0x00, 0xFF, 0x55, 'V', 5, 'B', 2, 0x81, 'K'}},
    };
    for (const Case& c : cases) {
        boardsim::Config config = pic18();
        c.change(config);
        boardsim::Bootloader board(config);
        EXPECT_EQ(feed(board, {0xC2}), c.reply) << c.what;
    }
}

TEST(BoardSim, RecordFollowsForBios8To31) {
    for (uint8_t bios : {uint8_t{8}, uint8_t{31}}) {
        boardsim::Config config = pic18(bios);
        config.description = "Pump controller";
        config.protectStart = 0x1000;
        config.protectLength = 0x0400;
        boardsim::Bootloader board(config);
        Bytes expected{'V', bios, 'B', 2, 0x81, 'K', 'R', 28, 0};
        const std::string text = "Pump controller";
        expected.insert(expected.end(), text.begin(), text.end());
        expected.insert(expected.end(), 24 - text.size(), 0);
        expected.insert(expected.end(), {0x00, 0x10, 0x00, 0x04, 'K'});
        EXPECT_EQ(feed(board, {0xC5}), expected) << int{bios};
    }
}

TEST(BoardSim, SearchFaultsAndFilters) {
    boardsim::Config onlyC5 = pic18();
    onlyC5.acceptC2 = false;
    boardsim::Bootloader filtered(onlyC5);
    EXPECT_TRUE(feed(filtered, {0xC2}).empty());
    EXPECT_EQ(feed(filtered, {0xC5}).size(), 6u);
    EXPECT_EQ(filtered.log().front(), "search C2 ignored");

    boardsim::Config late = pic18();
    late.answerAfter = 3;
    boardsim::Bootloader slow(late);
    EXPECT_TRUE(feed(slow, {0xC2, 0xC2, 0xC2}).empty());
    EXPECT_EQ(feed(slow, {0xC2}).front(), 'V');

    boardsim::Config refusing = pic18();
    refusing.refuseSearch = true;
    boardsim::Bootloader refuser(refusing);
    EXPECT_EQ(feed(refuser, {0xC2, 0xC2}), Bytes({'N', 'N'}));
    EXPECT_EQ(refuser.counters().answered, 0);
}

TEST(BoardSim, FramesAnsweredByChecksumAtTheirLastByte) {
    boardsim::Bootloader board(pic18());
    EXPECT_EQ(feed(board, {0xCC}), kAck);
    const Bytes frame = flash18(0x0040, 64, 0xC2); // search bytes inside a frame are data
    EXPECT_TRUE(feed(board, Bytes(frame.begin(), frame.end() - 1)).empty());
    EXPECT_EQ(feed(board, {frame.back()}), kAck);
    Bytes bad = flash18(0x0080, 64);
    bad.back() ^= 0x01;
    EXPECT_EQ(feed(board, bad), kNak);
    EXPECT_EQ(feed(board, {0x40, 0x03, 0x5A, 0x01, 0x00, 0x62}), kAck);
    EXPECT_EQ(feed(board, {0x40, 0x03, 0x5A, 0x01, 0x00, 0x00}), kNak);

    ASSERT_EQ(board.log().size(), 5u);
    std::string data;
    for (int i = 0; i < 64; ++i)
        data += "C2";
    EXPECT_EQ(board.log()[1], "flash 000040 64 " + data);
    EXPECT_EQ(board.log()[2].rfind("badsum 000080", 0), 0u);
    EXPECT_EQ(board.log()[3], "eeprom 03 5A");
}

TEST(BoardSim, SixteenBitChipsUseTwoLengthBytes) {
    boardsim::Config config;
    config.chip = 254;
    boardsim::Bootloader board(config);
    Bytes stream{0x00, 0x00, 0x80, 0x01, 0x00};
    stream.insert(stream.end(), 256, 0xAB);
    stream = withChecksum(stream);
    const Bytes last = withChecksum({0x00, 0x01, 0x00, 0x00, 0x03, 1, 2, 3});
    stream.insert(stream.end(), last.begin(), last.end()); // back to back, as one read brings
    EXPECT_EQ(feed(board, stream), Bytes({'K', 'K'}));
    ASSERT_EQ(board.log().size(), 2u);
    EXPECT_EQ(board.log()[0].substr(0, 17), "flash 000080 256 ");
    EXPECT_EQ(board.log()[1], "flash 000100 3 010203");
}

TEST(BoardSim, RefusalsSilenceAndHangUpByFrameNumber) {
    boardsim::Config config = pic18();
    config.refusals[1] = 2;
    config.silentFrames.insert(2);
    config.hangupAfter = 4;
    boardsim::Bootloader board(config);
    EXPECT_EQ(feed(board, flash18(0x00, 64)), kAck);     // frame 0
    EXPECT_EQ(feed(board, flash18(0x40, 64)), kNak);     // frame 1
    EXPECT_EQ(feed(board, flash18(0x40, 64)), kNak);     // its resend
    EXPECT_EQ(feed(board, flash18(0x40, 64)), kAck);     // third send taken
    EXPECT_TRUE(feed(board, flash18(0x80, 64)).empty()); // frame 2, every send of it
    EXPECT_TRUE(feed(board, flash18(0x80, 64)).empty());
    EXPECT_EQ(feed(board, flash18(0xC0, 1)), kAck); // frame 3
    bool hangup = false;
    EXPECT_TRUE(feed(board, flash18(0xC1, 1), &hangup).empty());
    EXPECT_TRUE(hangup);
    // On the new line half a frame is forgotten, and the line is not dropped again.
    feed(board, {0x00, 0x00});
    board.lineReset();
    hangup = false;
    EXPECT_EQ(feed(board, flash18(0xC1, 1), &hangup), kAck);
    EXPECT_FALSE(hangup);
    EXPECT_EQ(board.dump().substr(board.dump().rfind("counts")),
              "counts searches=0 answered=0 progmode=0 frames=4 refused=2 badsum=0 silent=2\n");
}

TEST(BoardSimOptions, RejectsBadInput) {
    boardsim::Options options;
    std::string error;
    const std::vector<std::vector<const char*>> bad = {
        {"x", "--port", "LPT1"},  {"x", "--port", "COM1000"},  {"x", "--bios", "256"},
        {"x", "--chip", "BB"},    {"x", "--search-byte", "1"}, {"x", "--protect", "12"},
        {"x", "--refuse", "x:1"}, {"x", "--frobnicate"},       {"x", "--silent"},
    };
    for (const auto& args : bad) {
        error.clear();
        EXPECT_FALSE(
            boardsim::parseOptions(static_cast<int>(args.size()), args.data(), options, error))
            << args[1];
        EXPECT_FALSE(error.empty()) << args[1];
    }
}

} // namespace
