// Reply times kept in a fixed histogram: what they say of a board after many frames, when two
// stations' times are merged, and which hint they bring.
#include "station/reply_times.h"

#include <gtest/gtest.h>

namespace {

TEST(ReplyTimes, QuantilesOverflowAndMerge) {
    station::ReplyTimes quick;
    for (int i = 0; i < 95; ++i)
        quick.add(1000); // 1 ms: the 0.1 ms bin from 1.0 to 1.1 ms
    for (int i = 0; i < 5; ++i)
        quick.add(30000);
    station::ReplyTiming t = quick.timing();
    EXPECT_EQ(t.count, 100);
    EXPECT_DOUBLE_EQ(t.medianMs, 1.05); // a bin's middle
    EXPECT_DOUBLE_EQ(t.p95Ms, 1.05);    // the 95th of 100 is still a quick one
    EXPECT_DOUBLE_EQ(t.minMs, 1.0);
    EXPECT_DOUBLE_EQ(t.maxMs, 30.0);

    // Past a second every time falls into the last bin; the maximum stays exact.
    station::ReplyTimes slow;
    slow.add(2'500'000);
    slow.add(-5); // a clock that went back counts as 0
    t = slow.timing();
    EXPECT_DOUBLE_EQ(t.maxMs, 2500.0);
    EXPECT_DOUBLE_EQ(t.minMs, 0.0);
    EXPECT_DOUBLE_EQ(t.p95Ms, 999.95); // the overflow bin's middle, below the maximum

    quick.add(slow);
    t = quick.timing();
    EXPECT_EQ(t.count, 102);
    EXPECT_DOUBLE_EQ(t.minMs, 0.0);
    EXPECT_DOUBLE_EQ(t.maxMs, 2500.0);
    EXPECT_DOUBLE_EQ(t.p95Ms, 30.05); // the 97th of 102: the bin of the five 30 ms replies
}

TEST(ReplyTimes, TheHintAndTheBoardsWorkFollowTheAdapterNotTheFrames) {
    const struct {
        double adapterMs, replyMs;
        station::LatencyVerdict verdict;
        double boardWorkMs;
    } rows[] = {
        {0.1, 0.3, station::LatencyVerdict::Quick, 0.2},
        {1.0, 7.0, station::LatencyVerdict::BoardWork, 6.0}, // a PIC18 erasing and writing a block
        {16.0, 16.2, station::LatencyVerdict::Adapter, 0.2}, // an FTDI timer left at 16 ms
        {4.5, 4.6, station::LatencyVerdict::Adapter, 0.1},
        {2.3, 0.25, station::LatencyVerdict::Quick,
         0.0}, // a busy computer late with both quick answers
    };
    for (const auto& r : rows) {
        EXPECT_EQ(station::latencyVerdict(r.adapterMs, r.replyMs), r.verdict) << r.adapterMs;
        EXPECT_NEAR(station::boardWorkMs(r.adapterMs, r.replyMs), r.boardWorkMs, 1e-9)
            << r.adapterMs;
    }
}

} // namespace
