// A whole session against board-sim's bootloader: which image, whether it suits the board,
// program mode, and every way a session ends before or while it writes.
#include "engine_fixture.h"

#include <algorithm>

namespace {

using namespace enginetest;
using engine::Outcome;

TEST(Compatibility, Examples) {
    struct Case {
        uint8_t deviceBoard, p, imageBoard, q;
        bool full, accepted;
    };
    const Case cases[] = {
        {5, 0x81, 0, 0x02, true, true},   // image for any board
        {5, 0x81, 255, 0x02, true, true}, // image for any board
        {5, 0x81, 6, 0x81, false, true},  // older bootloader: no check
        {5, 0x81, 6, 0x81, true, false},  // other board whatever the preparations
        {5, 0x02, 5, 0x01, true, true},   // p 2 accepts 1, 2, 4
        {5, 0x02, 5, 0x02, true, true},
        {5, 0x02, 5, 0x04, true, true},
        {5, 0x02, 5, 0x03, true, false},
        {5, 0x12, 5, 0x02, true, false}, // bit 4 on the device, not in the image
        {5, 0x12, 5, 0x11, true, true},  // bit 4 on both, then the table
        {5, 0x03, 5, 0x80, true, true},  // p 3 takes any image with bit 7
        {5, 0x85, 5, 0x81, true, true},  // bit 7 on both
        {5, 0x04, 5, 0x24, true, false}, // bit 5 of the image keeps it from the table
        {5, 0x01, 5, 0x04, true, true},
        {5, 0x01, 5, 0x02, true, false},
        {5, 0x05, 5, 0x04, true, true},
        {5, 0x05, 5, 0x01, true, false},
        {5, 0x07, 5, 0x07, true, true},
        {5, 0x07, 5, 0x87, true, true}, // q AND 0x6F is 7
        {5, 0x87, 5, 0x07, true, true}, // p AND 0x0F is 7
        {5, 0x08, 5, 0x09, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int(c.deviceBoard) << "/" << std::hex << int(c.p) << " vs " << std::dec
                     << int(c.imageBoard) << "/" << std::hex << int(c.q));
        engine::Identification id;
        id.boardIndex = c.deviceBoard;
        id.preparation = c.p;
        EXPECT_EQ(engine::imageSuitsBoard(id, c.full, {c.imageBoard, c.q}), c.accepted);
    }
}

class SessionTest : public EngineTest {
protected:
    // Bytes of one-byte commands the board received: search bytes and the program-mode byte.
    int commandBytes(uint8_t value) {
        return static_cast<int>(std::count(port().writes().begin(), port().writes().end(),
                                           std::vector<uint8_t>{value}));
    }
    size_t flashFrameCount() { return flashFrames(port().board()).size(); }
};

TEST_F(SessionTest, SuccessfulUpdateInOrder) {
    board.chip = 'B';
    board.bios = 5;
    addImage(2, 0, makeImage('B', 200, 2, 0x81));
    const engine::Result r = run();
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.text(), " Program Ok ");
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"search", "try 0", "search ended", "session", "board",
                                        "chip Found 258", "image identity 2 129",
                                        "loaded 200 0 200", "program mode", "programming",
                                        "flash 200", "frame 00000", "frame 00040", "frame 00080",
                                        "frame 000C0", "fix", "write ended", "end  Program Ok "}));
    EXPECT_EQ(commandBytes(0xCC), 1);
    EXPECT_EQ(flashFrameCount(), 4u + 1);
}

TEST_F(SessionTest, LoadedTextForTheFullPic24Image) {
    addImage(0, 6, makeImage(254, 65175, 0, 0x81));
    ASSERT_TRUE(run().ok());
    EXPECT_TRUE(recorder.has("loaded 65175 0 32587")); // to 0x7F4B
    EXPECT_EQ(flashFrameCount(), 255u + 1); // 254 whole frames, one of 151 bytes, the fix frame
}

TEST_F(SessionTest, IncompatibleBootloaderBeforeAnythingElse) {
    addImage(0, 6, makeImage(254, 2000, 0, 0));
    board.bios = 33;
    const engine::Result r = run();
    EXPECT_EQ(r.outcome(), Outcome::IncompatibleBootloader);
    EXPECT_EQ(r.text(), " Incompatible Bootloader !! ");
    EXPECT_FALSE(recorder.has("board"));
    EXPECT_EQ(port().writes().size(), 1u) << "only the search byte";

    // 32 goes on: no board record wait, program mode as for any code from 5 on.
    board.bios = 32;
    EXPECT_TRUE(run().ok());
    EXPECT_EQ(commandBytes(0xCC), 1);
}

TEST_F(SessionTest, BoardRecordWaitAndProgramModeByBiosCode) {
    addImage(0, 6, makeImage(254, 2000, 0, 0));
    struct Case {
        uint8_t bios;
        bool sendRecord;
        bool programMode;
        int64_t recordWaits; // waits between the search's answer and the program-mode byte
    };
    const Case cases[] = {
        {4, true, false, 0},    {7, true, true, 0},
        {8, true, true, 0},    // the record came with the identification
        {8, false, true, 251}, // about 1.3 s for a record that never comes
        {31, false, true, 251},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.bios));
        board.bios = c.bios;
        board.sendRecord = c.sendRecord;
        prepare();
        int64_t answeredAt = -1, programModeAt = -1;
        port().onWait([&](int64_t wait) {
            if (answeredAt < 0 && recorder.has("session")) answeredAt = wait;
            if (programModeAt < 0 && recorder.has("program mode")) programModeAt = wait;
        });
        EXPECT_TRUE(session().run().ok());
        EXPECT_EQ(commandBytes(0xCC), c.programMode ? 1 : 0);
        if (c.programMode) {
            EXPECT_EQ(programModeAt - answeredAt, c.recordWaits);
        }
    }
}

TEST_F(SessionTest, BoardRecordReachesTheObserver) {
    addImage(0, 6, makeImage(254, 2000, 0, 0));
    board.description = "Bench rig 7";
    ASSERT_TRUE(run().ok());
    EXPECT_STREQ(recorder.board.record.description, "Bench rig 7");
    EXPECT_TRUE(recorder.board.record.complete);
    EXPECT_EQ(recorder.board.identification.preparation, 0x81);
}

TEST_F(SessionTest, OlderBootloaderIsBoardTwoWithoutCheckOrProgramMode) {
    // An image made for board 5 only: a full identification of board 2 would refuse it.
    board.old = true;
    board.chip = 'C';
    addImage(2, 1, makeImage('C', 300, 5, 0x03));
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(recorder.board.identification.boardIndex, 2);
    EXPECT_FALSE(recorder.board.fullIdentification);
    EXPECT_EQ(commandBytes(0xCC), 0);
}

TEST_F(SessionTest, UnsuitableBoardNamesTheImagesBoardAndWritesNothing) {
    board.board = 5;
    board.preparation = 0x81;
    addImage(5, 6, makeImage(254, 2000, 6, 0x2a));
    const engine::Result r = run();
    EXPECT_EQ(r.outcome(), Outcome::UnsuitableBoard);
    EXPECT_EQ(r.text(), "BD03_R01 - Preparation2a");
    EXPECT_EQ(commandBytes(0xCC), 0);
    EXPECT_EQ(flashFrameCount(), 0u);
}

TEST_F(SessionTest, ImageChoice) {
    // Board 0's image of a chip serves every board without one of its own, whatever its
    // board index (0 and 255 are for any board).
    board.board = 200;
    addImage(0, 6, makeImage(254, 1100, 255, 0x07));
    EXPECT_TRUE(run().ok());
    board.board = 7;
    addImage(7, 6, makeImage(254, 1100, 7, 0x81));
    EXPECT_TRUE(run().ok());
    EXPECT_TRUE(recorder.has("image identity 7 129")) << "the board's own image first";
}

TEST_F(SessionTest, ChipsWithoutImagesAndUnknownChips) {
    struct Case {
        uint8_t chip;
        Outcome outcome;
        const char* text;
    };
    const Case cases[] = {
        {'C', Outcome::NoImage, " No Hex inside !! "},
        {252, Outcome::NoImage, " No Hex inside !! "}, // no slot of its own: slot 0's images
        {'A', Outcome::UnknownChip, " Error !! "},
        {255, Outcome::UnknownChip, " Error !! "},
    };
    // A placeholder (one byte) is no image.
    addImage(0, 1, makeImage('C', 1, 0, 0));
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.chip));
        board.chip = c.chip;
        const engine::Result r = run();
        EXPECT_EQ(r.outcome(), c.outcome);
        EXPECT_EQ(r.text(), c.text);
        EXPECT_EQ(commandBytes(0xCC), 0);
        EXPECT_EQ(recorder.count("chip "), 0) << "nothing named";
    }
}

TEST_F(SessionTest, ImageSizeLimits) {
    // A 16-bit image may fill twice the application limit, not one byte more.
    board.chip = 254;
    board.bios = 0;
    addImage(0, 6, makeImage(254, 2 * 0xA780, 0, 0));
    EXPECT_TRUE(run().ok());
    addImage(2, 6, makeImage(254, 2 * 0xA780 + 1, 0, 0));
    board.board = 2;
    const engine::Result tooBig = run();
    EXPECT_EQ(tooBig.outcome(), Outcome::ImageTooBig);
    EXPECT_EQ(tooBig.text(), " Hex too Big !! ");

    // A PIC18 image longer than the application area loses its tail, silently.
    board.chip = 'B';
    addImage(0, 0, makeImage('B', 40000, 0, 0));
    EXPECT_TRUE(run().ok());
    const auto frames = flashFrames(port().board());
    ASSERT_GE(frames.size(), 2u);
    const ReceivedFrame& last = frames[frames.size() - 2];
    EXPECT_EQ(last.address + last.data.size(), 0x7EC0u);
}

TEST_F(SessionTest, StopDuringTheProgramModeWaitEndsBeforeWriting) {
    addImage(0, 6, makeImage(254, 2000, 0, 0));
    prepare();
    port().onWait([this](int64_t) {
        if (!port().writes().empty() && port().writes().back() == std::vector<uint8_t>{0xCC})
            session().requestAbort();
    });
    EXPECT_EQ(session().run().outcome(), Outcome::UserAbort);
    EXPECT_EQ(flashFrameCount(), 0u);
}

TEST_F(SessionTest, SilentProgramModeGoesOnAfterTwoSeconds) {
    addImage(0, 6, makeImage(254, 2000, 0, 0));
    board.silentProgramMode = true;
    prepare();
    int64_t sentAt = -1, firstFrameAt = -1;
    port().onWait([&](int64_t wait) {
        if (port().writes().empty()) return; // the line settling before the search
        if (sentAt < 0 && port().writes().back() == std::vector<uint8_t>{0xCC}) sentAt = wait;
        if (firstFrameAt < 0 && port().writes().back().size() > 1) firstFrameAt = wait;
    });
    EXPECT_TRUE(session().run().ok());
    EXPECT_EQ(firstFrameAt - sentAt, 400);
}

TEST_F(SessionTest, AStopThatNoWaitMeetsEndsWithItsSession) {
    // The board record wait does not look at Stop; a session that then stops for want of an
    // image takes the request with it.
    board.chip = 'C';
    board.sendRecord = false;
    prepare();
    port().onWait([this](int64_t wait) {
        if (wait == 10) session().requestAbort();
    });
    EXPECT_EQ(session().run().outcome(), Outcome::NoImage);
}

TEST_F(SessionTest, AnAdaptersLatencyTimerDelaysEveryReply) {
    addImage(0, 6, makeImage(254, 2000, 0, 0));
    struct Case {
        int timerMs;
        bool honoursLowLatency;
        int32_t replyUs;
    };
    const Case cases[] = {{0, false, 0}, {16, false, 16000}, {16, true, 1000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timerMs);
        prepare();
        port().setAdapterLatency(c.timerMs, c.honoursLowLatency);
        ASSERT_FALSE(port().open("COM1")); // the open is what asks for low latency
        ASSERT_TRUE(session().run().ok());
        // Eight flash frames and the fix frame, each timed from its write to its answer.
        ASSERT_EQ(recorder.replyUs.size(), 9u);
        for (int32_t us : recorder.replyUs)
            EXPECT_EQ(us, c.replyUs);
    }
}

TEST_F(SessionTest, AnAdapterPulledOutEndsTheRunAtOnce) {
    addImage(0, 6, makeImage(254, 2000, 0, 0));
    struct Case {
        const char* when;
        size_t afterWrites; // the adapter goes away while the answer to this write is awaited
        Outcome outcome;
        int percent;
    };
    const Case cases[] = {
        {"searching", 1, Outcome::DeviceNotFound, 0},
        // Four searches, 0xCC, then five of nine frames; the fifth goes unanswered.
        {"writing", 10, Outcome::NotResponse, 44},
    };
    board.answerAfter = 3; // the first searches go unanswered
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        prepare();
        int64_t goneAt = -1;
        port().onWait([&](int64_t wait) {
            if (goneAt < 0 && port().writes().size() == c.afterWrites) {
                port().unplug();
                goneAt = wait;
            }
        });
        const engine::Result r = session().run();
        EXPECT_EQ(r.outcome(), c.outcome);
        EXPECT_EQ(r.cause(), engine::Cause::PortGone);
        EXPECT_EQ(r.percentDone(), c.percent);
        EXPECT_EQ(port().writes().size(), c.afterWrites) << "nothing sent to a port gone";
        EXPECT_LE(port().waits() - goneAt, 1) << "no waiting on a port gone";
    }
}

TEST_F(SessionTest, InspectionDecidesAndSendsOnlySearchBytes) {
    // A PIC24 board whose record protects 0x0100 to 0x01FF: the frames at 0x0100 and 0x0180
    // are left out of the plan.
    board.protectStart = 0x0100;
    board.protectLength = 0x0100;
    addImage(0, 6, makeImage(254, 2000, 0, 0));
    prepare();
    engine::Plan plan;
    const engine::Result r = session().inspect(plan);
    EXPECT_TRUE(r.ok());
    EXPECT_FALSE(recorder.has("end  Program Ok ")) << "an inspection reports no result";
    for (const std::vector<uint8_t>& written : port().writes())
        EXPECT_EQ(written, std::vector<uint8_t>{engine::kUpdaterSearchByte});
    EXPECT_EQ(plan.chip->code, 254);
    EXPECT_EQ(plan.applicationLimit, 0xA780);
    EXPECT_EQ(plan.flashFrames, 6); // 2000 bytes: 8 frames of 256, two of them protected
    EXPECT_EQ(plan.skippedFrames, 2);
    EXPECT_TRUE(plan.programMode);
    EXPECT_EQ(plan.frames(), 7);
    // What the frames write: the addresses on either side of the protected gap.
    EXPECT_EQ(engine::flashRanges(plan),
              (std::vector<engine::AddressRange>{{0, 0x100}, {0x200, 1000}}));
    // The dry run's time: the search and its answer with the board record (7 + 32 bytes), the
    // program-mode byte and its answer (2), six frames of 256 bytes but the last of 208, and the
    // fix frame, each with header (5), checksum and answer (2); 11 bits a byte at 115200 baud.
    const int64_t bytes = 7 + 32 + 2 + 5 * (5 + 256 + 2) + (5 + 208 + 2) + (5 + 256 + 2);
    EXPECT_EQ(engine::wireBytes(plan), bytes);
    EXPECT_DOUBLE_EQ(engine::wireSeconds(plan, 115200), bytes * 11.0 / 115200);

    // A board the image does not suit: the same refusal as an update would end with.
    board.board = 5;
    addImage(5, 6, makeImage(254, 2000, 6, 0x2a));
    prepare();
    EXPECT_EQ(session().inspect(plan).text(), "BD03_R01 - Preparation2a");
}

} // namespace
