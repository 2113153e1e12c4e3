#include "protocol/receiver.h"

#include "protocol_fixture.h"

#include <cstring>

namespace {

using namespace testing_support;
using protocol::link;

std::vector<uint8_t> identificationReply() {
    return {0x56, 0x0A, 0x42, 0x02, 0x81, 0x4B};
}

std::vector<uint8_t> boardRecordReply() {
    std::vector<uint8_t> r{0x52, 0x1C, 0x99};
    for (const char* c = "Board description 24 ch."; *c; ++c) r.push_back(static_cast<uint8_t>(*c));
    for (uint8_t b : {0x00, 0x01, 0x10, 0x00, 0x4B}) r.push_back(b);
    return r;
}

std::vector<uint8_t> exampleReplies() {
    std::vector<uint8_t> all = identificationReply();
    const std::vector<uint8_t> record = boardRecordReply();
    all.insert(all.end(), record.begin(), record.end());
    return all;
}

// The link state fields the receiver writes, as one comparable text.
std::string snapshot() {
    const auto& l = link;
    char text[256];
    std::snprintf(text, sizeof text,
                  "id %d %d %d %d pend %d %d %d %d col %d full %d ack %d nak %d st %d len %d "
                  "pos %d rc %d desc '%s' ps %d pl %d",
                  l.identification.biosCode, l.identification.chipCode, l.identification.boardIndex,
                  l.identification.preparation, l.pending.biosCode, l.pending.chipCode,
                  l.pending.boardIndex, l.pending.preparation, l.collectPosition,
                  l.fullIdentification, l.ackFlag, l.nakFlag, l.receiverState, l.recordLength,
                  l.recordPosition, l.recordComplete, l.boardDescription, l.protectedRangeStart,
                  l.protectedRangeLength);
    return text;
}

void feed(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes)
        protocol::feedReplyByte(b);
}

class ReceiverTest : public ProtocolTest {
protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        serial::openPort(kPort, 115200, 0, 2, 8);
    }
};

TEST_F(ReceiverTest, ExampleRepliesFillIdentificationAndBoardRecord) {
    fakeport::queueInput(kPort, exampleReplies());
    protocol::receiveReply();
    EXPECT_EQ(link.identification.biosCode, 0x0A);
    EXPECT_EQ(link.identification.chipCode, 'B');
    EXPECT_EQ(link.identification.boardIndex, 2);
    EXPECT_EQ(link.identification.preparation, 0x81);
    EXPECT_EQ(link.fullIdentification, 1);
    EXPECT_EQ(link.ackFlag, 1);
    EXPECT_STREQ(link.boardDescription, "Board description 24 ch.");
    EXPECT_EQ(link.protectedRangeStart, 0x0100);
    EXPECT_EQ(link.protectedRangeLength, 0x0010);
    EXPECT_EQ(link.recordComplete, 1);
    EXPECT_EQ(link.receiverState, 0);
}

TEST_F(ReceiverTest, SplittingTheRepliesAnywhereGivesTheSameState) {
    const std::vector<uint8_t> all = exampleReplies();
    fakeport::queueInput(kPort, all);
    protocol::receiveReply();
    const std::string whole = snapshot();

    for (size_t cut = 1; cut < all.size(); ++cut) {
        SCOPED_TRACE(cut);
        protocol::resetLinkState();
        link.selectedPort = kPort;
        fakeport::queueInput(kPort, std::span(all).first(cut));
        protocol::receiveReply();
        fakeport::queueInput(kPort, std::span(all).subspan(cut));
        protocol::receiveReply();
        EXPECT_EQ(snapshot(), whole);
    }
    for (int32_t chunk = 1; chunk <= 7; ++chunk) {
        SCOPED_TRACE(chunk);
        protocol::resetLinkState();
        link.selectedPort = kPort;
        fakeport::setReadChunk(chunk);
        fakeport::queueInput(kPort, all);
        while (fakeport::pendingBytes(kPort) > 0)
            protocol::receiveReply();
        EXPECT_EQ(snapshot(), whole);
    }
}

TEST_F(ReceiverTest, ClosedPortLeavesTheStateAlone) {
    fakeport::queueInput(kPort, identificationReply());
    serial::closePort(kPort);
    protocol::receiveReply();
    EXPECT_EQ(link.ackFlag, 0);
    EXPECT_EQ(link.identification.biosCode, 0);
}

struct IdleCase {
    const char* name;
    std::vector<uint8_t> before; // sets up the previous collection
    std::vector<uint8_t> bytes;
    uint8_t bios, chip, board, preparation, full, ack, nak;
};

TEST_F(ReceiverTest, IdleStateRules) {
    const std::vector<uint8_t> earlier{'V', 3, 'C', 7, 0x12, 'K'};
    const IdleCase cases[] = {
        {"V then K latches BIOS 1 and the old rest", earlier, {'V', 'K'}, 1, 'C', 7, 0x12, 1, 1, 0},
        {"older bootloader chip code", earlier, {'E', 'K'}, 0, 'E', 7, 0x12, 0, 1, 0},
        {"fifth byte is an older chip code",
         {},
         {'V', 9, 'B', 3, 4, 'D', 'K'},
         0,
         'D',
         3,
         4,
         0,
         1,
         0},
        {"N sets only the nak flag", earlier, {'N'}, 3, 'C', 7, 0x12, 1, 0, 1},
        {"75 in the identification is an ack", {}, {'V', 9, 75}, 9, 0, 0, 0, 1, 1, 0},
        {"78 in the identification is a refusal", {}, {'V', 9, 78}, 0, 0, 0, 0, 1, 0, 1},
        {"86 in the identification restarts it", {}, {'V', 9, 86, 'K'}, 1, 0, 0, 0, 1, 1, 0},
        {"K and N in one read", {}, {'V', 2, 'B', 1, 1, 'K', 'N'}, 2, 'B', 1, 1, 1, 1, 1},
    };
    for (const IdleCase& c : cases) {
        SCOPED_TRACE(c.name);
        protocol::resetLinkState();
        feed(c.before);
        link.ackFlag = 0;
        feed(c.bytes);
        EXPECT_EQ(link.identification.biosCode, c.bios);
        EXPECT_EQ(link.identification.chipCode, c.chip);
        EXPECT_EQ(link.identification.boardIndex, c.board);
        EXPECT_EQ(link.identification.preparation, c.preparation);
        EXPECT_EQ(link.fullIdentification, c.full);
        EXPECT_EQ(link.ackFlag, c.ack);
        EXPECT_EQ(link.nakFlag, c.nak);
    }
}

TEST_F(ReceiverTest, RecordByteOnlyForBiosEightToThirtyOne) {
    for (uint8_t bios : {7, 8, 31, 32}) {
        SCOPED_TRACE(static_cast<int>(bios));
        protocol::resetLinkState();
        feed({'V', bios, 'B', 2, 1, 'K'});
        feed({'R'});
        const bool record = bios >= 8 && bios <= 31;
        EXPECT_EQ(link.receiverState, record ? 1 : 0);
        // Outside the range "R" is an older bootloader's chip code.
        if (!record) {
            feed({'K'});
            EXPECT_EQ(link.identification.chipCode, 'R');
            EXPECT_EQ(link.fullIdentification, 0);
        }
    }
}

struct RecordCase {
    const char* name;
    std::vector<uint8_t> payload; // after "R", L, the ignored byte
    uint8_t length;
    const char* description;
    uint16_t start, protectedLength;
    uint8_t complete;
    bool keepsEarlierValues; // else the fields start at 0, as after a search
};

TEST_F(ReceiverTest, BoardRecordPayloads) {
    std::vector<uint8_t> longPayload(40, 'x');
    longPayload[24] = 0x34;
    longPayload[25] = 0x12;
    longPayload[26] = 0x78;
    longPayload[27] = 0x56;
    longPayload[30] = 'K'; // inside the payload: data
    std::vector<uint8_t> zeroInText(24, 'a');
    zeroInText[5] = 0;
    std::vector<uint8_t> twentyFive(25, 'b');
    twentyFive[24] = 0x77;

    const RecordCase cases[] = {
        {"length 0 keeps the old values", {'K'}, 0, "old", 0x1111, 0x2222, 1, true},
        {"long record, tail dropped, K in payload is data", longPayload, 40,
         "xxxxxxxxxxxxxxxxxxxxxxxx", 0x1234, 0x5678, 0, true},
        {"zero byte ends the description", zeroInText, 24, "aaaaa", 0x1111, 0x2222, 0, true},
        {"25 bytes: start low byte only, length 0", twentyFive, 25, "bbbbbbbbbbbbbbbbbbbbbbbb",
         0x77, 0, 0, false},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.name);
        protocol::resetLinkState();
        if (c.keepsEarlierValues) {
            std::strcpy(link.boardDescription, "old");
            link.protectedRangeStart = 0x1111;
            link.protectedRangeLength = 0x2222;
        }
        feed({'V', 10, 'B', 2, 1, 'K'});
        link.ackFlag = 0;
        feed({'R', c.length, 0xEE});
        feed(c.payload);
        EXPECT_EQ(link.recordComplete, c.complete);
        if (!c.complete) {
            // Noise after the payload is ignored until the closing "K".
            feed({'Z', 'N'});
            EXPECT_EQ(link.recordComplete, 0);
            feed({'K'});
            EXPECT_EQ(link.recordComplete, 1);
        }
        EXPECT_STREQ(link.boardDescription, c.description);
        EXPECT_EQ(link.protectedRangeStart, c.start);
        EXPECT_EQ(link.protectedRangeLength, c.protectedLength);
        EXPECT_EQ(link.ackFlag, 0) << "the record's K is not an acknowledgement";
        EXPECT_EQ(link.nakFlag, 0);
        EXPECT_EQ(link.receiverState, 0);
    }
}

TEST_F(ReceiverTest, RecordWithoutClosingKSwallowsTheNextAnswer) {
    feed({'V', 10, 'B', 2, 1, 'K', 'R', 2, 0, 'a', 'b'});
    link.ackFlag = 0;
    fakeport::queueInput(kPort, {'K'}, 3);
    EXPECT_EQ(protocol::waitReply(100), protocol::kWaitTimeout);
    EXPECT_EQ(link.recordComplete, 1);
}

TEST_F(ReceiverTest, WaitReplyStepsAndResults) {
    EXPECT_EQ(protocol::waitReply(4), 0);
    EXPECT_EQ(fakeport::steps(), 0);
    EXPECT_EQ(protocol::waitReply(1000), 0);
    EXPECT_EQ(fakeport::steps(), 200);
    EXPECT_EQ(protocol::waitReply(100), 0);
    EXPECT_EQ(fakeport::steps(), 220);

    fakeport::queueInput(kPort, {'N'}, 7);
    EXPECT_EQ(protocol::waitReply(100), -1);
    EXPECT_EQ(fakeport::steps(), 227);

    link.nakFlag = 0;
    fakeport::queueInput(kPort, {'K', 'N'}, 2);
    EXPECT_EQ(protocol::waitReply(100), 1);
    EXPECT_EQ(link.ackFlag, 1) << "flags stay set on return";
    EXPECT_EQ(link.nakFlag, 1);
}

TEST_F(ReceiverTest, StopBeforeAWaitEndsTheNextWaitAfterOneStep) {
    link.ackFlag = 1; // abort wins over a flag already set
    link.abortRequest = 1;
    EXPECT_EQ(protocol::waitReply(1000), -2);
    EXPECT_EQ(fakeport::steps(), 1);
    EXPECT_EQ(link.abortRequest, 0);
}

TEST_F(ReceiverTest, StopDuringAWait) {
    fakeport::setStepHook([](int64_t step) {
        if (step == 30) link.abortRequest = 1;
    });
    EXPECT_EQ(protocol::waitReply(1000), -2);
    EXPECT_EQ(fakeport::steps(), 30);
}

TEST_F(ReceiverTest, ClearIdentificationTouchesNothingElse) {
    feed({'V', 10, 'B', 2, 0x81, 'K'});
    const protocol::Identification pending = link.pending;
    protocol::clearIdentification();
    EXPECT_EQ(link.identification.biosCode, 0);
    EXPECT_EQ(link.identification.chipCode, 0);
    EXPECT_EQ(link.identification.boardIndex, 0);
    EXPECT_EQ(link.identification.preparation, 0);
    EXPECT_EQ(link.pending.chipCode, pending.chipCode);
    EXPECT_EQ(link.ackFlag, 1);
    EXPECT_EQ(link.fullIdentification, 1);
}

} // namespace
