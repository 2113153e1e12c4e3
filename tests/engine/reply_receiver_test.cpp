#include "engine/reply_receiver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using engine::ReplyReceiver;

std::vector<uint8_t> identificationReply() {
    return {0x56, 0x0A, 0x42, 0x02, 0x81, 0x4B};
}

std::vector<uint8_t> boardRecordReply() {
    std::vector<uint8_t> r{0x52, 0x1C, 0x99};
    for (const char* c = "Board description 24 ch."; *c; ++c)
        r.push_back(static_cast<uint8_t>(*c));
    for (uint8_t b : {0x00, 0x01, 0x10, 0x00, 0x4B})
        r.push_back(b);
    return r;
}

std::vector<uint8_t> exampleReplies() {
    std::vector<uint8_t> all = identificationReply();
    const std::vector<uint8_t> record = boardRecordReply();
    all.insert(all.end(), record.begin(), record.end());
    return all;
}

void feed(ReplyReceiver& r, const std::vector<uint8_t>& bytes) {
    r.feed(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// What the receiver tells, as one comparable text.
std::string snapshot(const ReplyReceiver& r) {
    const engine::Identification& id = r.identification();
    const engine::BoardRecord& rec = r.boardRecord();
    char text[200];
    std::snprintf(text, sizeof text,
                  "id %d %d %d %d full %d ack %d nak %d rc %d desc '%s' ps %d pl %d", id.biosCode,
                  id.chipCode, id.boardIndex, id.preparation, r.fullIdentification(),
                  r.acknowledged(), r.refused(), rec.complete, rec.description, rec.protectedStart,
                  rec.protectedLength);
    return text;
}

TEST(ReplyReceiver, ExampleRepliesFillIdentificationAndBoardRecord) {
    ReplyReceiver r;
    feed(r, exampleReplies());
    EXPECT_EQ(r.identification().biosCode, 0x0A);
    EXPECT_EQ(r.identification().chipCode, 'B');
    EXPECT_EQ(r.identification().boardIndex, 2);
    EXPECT_EQ(r.identification().preparation, 0x81);
    EXPECT_TRUE(r.fullIdentification());
    EXPECT_TRUE(r.acknowledged());
    EXPECT_STREQ(r.boardRecord().description, "Board description 24 ch.");
    EXPECT_EQ(r.boardRecord().protectedStart, 0x0100);
    EXPECT_EQ(r.boardRecord().protectedLength, 0x0010);
    EXPECT_TRUE(r.boardRecord().complete);
}

TEST(ReplyReceiver, SplittingTheRepliesAnywhereGivesTheSameState) {
    const std::vector<uint8_t> all = exampleReplies();
    ReplyReceiver whole;
    feed(whole, all);
    // And it goes on the same way: the next answer is taken as an acknowledgement.
    const std::vector<uint8_t> next{'N', 'K'};
    for (size_t cut = 1; cut < all.size(); ++cut) {
        SCOPED_TRACE(cut);
        ReplyReceiver split;
        split.feed(all.data(), static_cast<int32_t>(cut));
        split.feed(all.data() + cut, static_cast<int32_t>(all.size() - cut));
        EXPECT_EQ(snapshot(split), snapshot(whole));
        ReplyReceiver reference = whole;
        split.clearAnswer();
        reference.clearAnswer();
        feed(split, next);
        feed(reference, next);
        EXPECT_EQ(snapshot(split), snapshot(reference));
    }
}

struct IdleCase {
    const char* name;
    std::vector<uint8_t> before; // sets up the previous collection
    std::vector<uint8_t> bytes;
    uint8_t bios, chip, board, preparation;
    bool full, ack, nak;
};

TEST(ReplyReceiver, IdleStateRules) {
    const std::vector<uint8_t> earlier{'V', 3, 'C', 7, 0x12, 'K'};
    // clang-format off
    const IdleCase cases[] = {
        {"V then K latches BIOS 1 and the old rest", earlier, {'V', 'K'}, 1, 'C', 7, 0x12, true, true, false},
        {"older bootloader chip code", earlier, {'E', 'K'}, 0, 'E', 7, 0x12, false, true, false},
        {"fifth byte is an older chip code", {}, {'V', 9, 'B', 3, 4, 'D', 'K'}, 0, 'D', 3, 4, false, true, false},
        {"N sets only the refusal", earlier, {'N'}, 3, 'C', 7, 0x12, true, false, true},
        {"75 in the identification is an ack", {}, {'V', 9, 75}, 9, 0, 0, 0, true, true, false},
        {"78 in the identification is a refusal", {}, {'V', 9, 78}, 0, 0, 0, 0, true, false, true},
        {"86 in the identification restarts it", {}, {'V', 9, 86, 'K'}, 1, 0, 0, 0, true, true, false},
        {"K and N in one read", {}, {'V', 2, 'B', 1, 1, 'K', 'N'}, 2, 'B', 1, 1, true, true, true},
    };
    // clang-format on
    for (const IdleCase& c : cases) {
        SCOPED_TRACE(c.name);
        ReplyReceiver r;
        feed(r, c.before);
        r.clearAnswer();
        feed(r, c.bytes);
        EXPECT_EQ(r.identification().biosCode, c.bios);
        EXPECT_EQ(r.identification().chipCode, c.chip);
        EXPECT_EQ(r.identification().boardIndex, c.board);
        EXPECT_EQ(r.identification().preparation, c.preparation);
        EXPECT_EQ(r.fullIdentification(), c.full);
        EXPECT_EQ(r.acknowledged(), c.ack);
        EXPECT_EQ(r.refused(), c.nak);
    }
}

TEST(ReplyReceiver, RecordByteOnlyForBiosEightToThirtyOne) {
    for (uint8_t bios : {7, 8, 31, 32}) {
        SCOPED_TRACE(static_cast<int>(bios));
        ReplyReceiver r;
        feed(r, {'V', bios, 'B', 2, 1, 'K'});
        r.clearAnswer();
        const bool record = bios >= 8 && bios <= 31;
        if (record) {
            // The record's closing "K" completes it and acknowledges nothing.
            feed(r, {'R', 0, 0, 'K'});
            EXPECT_TRUE(r.boardRecord().complete);
            EXPECT_FALSE(r.acknowledged());
        } else {
            // Outside the range "R" is an older bootloader's chip code.
            feed(r, {'R', 'K'});
            EXPECT_FALSE(r.boardRecord().complete);
            EXPECT_EQ(r.identification().chipCode, 'R');
            EXPECT_FALSE(r.fullIdentification());
        }
    }
}

struct RecordCase {
    const char* name;
    std::vector<uint8_t> payload; // after "R", L, the ignored byte
    uint8_t length;
    const char* description;
    uint16_t start, protectedLength;
    bool complete;
};

TEST(ReplyReceiver, BoardRecordPayloads) {
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

    // An earlier record left "old", 0x1111 and 0x2222.
    std::vector<uint8_t> earlier{'V', 10, 'B', 2, 1, 'K', 'R', 28, 0, 'o', 'l', 'd'};
    earlier.resize(earlier.size() + 21, 0);
    for (int b : {0x11, 0x11, 0x22, 0x22, int{'K'}})
        earlier.push_back(static_cast<uint8_t>(b));

    const RecordCase cases[] = {
        {"length 0 keeps the old values", {'K'}, 0, "old", 0x1111, 0x2222, true},
        {"long record, tail dropped, K in payload is data", longPayload, 40,
         "xxxxxxxxxxxxxxxxxxxxxxxx", 0x1234, 0x5678, false},
        {"zero byte ends the description", zeroInText, 24, "aaaaa", 0x1111, 0x2222, false},
        {"25 bytes: start low byte only, length kept", twentyFive, 25, "bbbbbbbbbbbbbbbbbbbbbbbb",
         0x77, 0x2222, false},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.name);
        ReplyReceiver r;
        feed(r, earlier);
        ASSERT_STREQ(r.boardRecord().description, "old");
        feed(r, {'V', 10, 'B', 2, 1, 'K'});
        r.clearAnswer();
        feed(r, {'R', c.length, 0xEE});
        feed(r, c.payload);
        EXPECT_EQ(r.boardRecord().complete, c.complete);
        if (!c.complete) {
            // Noise after the payload is ignored until the closing "K".
            feed(r, {'Z', 'N'});
            EXPECT_FALSE(r.boardRecord().complete);
            feed(r, {'K'});
            EXPECT_TRUE(r.boardRecord().complete);
        }
        EXPECT_STREQ(r.boardRecord().description, c.description);
        EXPECT_EQ(r.boardRecord().protectedStart, c.start);
        EXPECT_EQ(r.boardRecord().protectedLength, c.protectedLength);
        EXPECT_FALSE(r.acknowledged()) << "the record's K is not an acknowledgement";
        EXPECT_FALSE(r.refused());
    }
}

TEST(ReplyReceiver, RecordWithoutClosingKSwallowsTheNextAnswer) {
    ReplyReceiver r;
    feed(r, {'V', 10, 'B', 2, 1, 'K', 'R', 2, 0, 'a', 'b'});
    r.clearAnswer();
    feed(r, {'K'});
    EXPECT_FALSE(r.acknowledged());
    EXPECT_TRUE(r.boardRecord().complete);
}

TEST(ReplyReceiver, ResetAndClearIdentification) {
    ReplyReceiver r;
    feed(r, {'V', 10, 'B', 2, 0x81, 'K', 'R', 28, 0, 'd'});
    r.clearIdentification();
    EXPECT_EQ(r.identification().biosCode, 0);
    EXPECT_EQ(r.identification().chipCode, 0);
    EXPECT_TRUE(r.acknowledged()) << "only the identification is forgotten";
    EXPECT_TRUE(r.fullIdentification());
    // A search starts from the idle state: the half-received record is dropped, and a "K"
    // is an answer again.
    r.reset();
    r.clearAnswer();
    EXPECT_STREQ(r.boardRecord().description, "");
    feed(r, {'K'});
    EXPECT_TRUE(r.acknowledged());
    EXPECT_EQ(r.identification().chipCode, 'B') << "the collected identification is latched";
}

} // namespace
