// The search for a bootloader, as a session makes it against board-sim's bootloader.
#include "engine_fixture.h"

namespace {

using namespace enginetest;
using engine::Outcome;

class SearchTest : public EngineTest {
protected:
    // Search bytes the board received (each try writes one).
    int searchBytes() {
        int n = 0;
        for (const auto& w : port().writes())
            n += w.size() == 1 && (w[0] == 0xC2 || w[0] == 0xC5);
        return n;
    }
};

TEST_F(SearchTest, TheFirstAnswerEndsTheSearch) {
    board.chip = 'B'; // no image for it: the session stops right after the search
    board.bios = 5;
    const engine::Result r = run();
    EXPECT_EQ(r.outcome(), Outcome::NoImage);
    EXPECT_EQ(port().writes().front(), std::vector<uint8_t>{0xC2});
    EXPECT_EQ(searchBytes(), 1);
    const std::vector<std::string> start(recorder.events.begin(), recorder.events.begin() + 5);
    EXPECT_EQ(start,
              (std::vector<std::string>{"search", "try 0", "search ended", "session", "board"}));
    EXPECT_EQ(recorder.board.identification.chipCode, 'B');
    EXPECT_EQ(recorder.board.identification.biosCode, 5);
    EXPECT_TRUE(recorder.board.fullIdentification);
}

TEST_F(SearchTest, AnswerOnlyOnTheLastTry) {
    board.chip = 'B';
    board.answerAfter = 99;
    EXPECT_EQ(run().outcome(), Outcome::NoImage);
    EXPECT_EQ(searchBytes(), 100);
    EXPECT_EQ(recorder.count("try "), 100);
    EXPECT_TRUE(recorder.has("try 99"));
}

TEST_F(SearchTest, NoAnswerOrRefusalsGiveDeviceNotFound) {
    for (bool refuse : {false, true}) {
        SCOPED_TRACE(refuse);
        board.answerAfter = 1000;
        board.refuseSearch = refuse;
        const engine::Result r = run();
        EXPECT_EQ(r.outcome(), Outcome::DeviceNotFound);
        EXPECT_EQ(r.text(), "Device not Found");
        EXPECT_EQ(searchBytes(), 100);
        EXPECT_FALSE(recorder.has("session"));
        // A silent try waits its whole 100 ms; a refused one goes on at its first step.
        EXPECT_EQ(port().waits(), refuse ? 100 : 100 * 20);
    }
}

TEST_F(SearchTest, UpgradeRulesSearchWithTheirOwnByte) {
    board.chip = 'B';
    board.acceptC2 = false; // a bootloader of the Upgrade product line
    board.answerAfter = 3;
    EXPECT_EQ(run(engine::SessionOptions::upgrade()).outcome(), Outcome::NoImage);
    for (const auto& w : port().writes())
        EXPECT_EQ(w, std::vector<uint8_t>{0xC5});
    EXPECT_EQ(searchBytes(), 4);
    EXPECT_EQ(run(engine::SessionOptions::updater()).outcome(), Outcome::DeviceNotFound);
}

TEST_F(SearchTest, StopDuringAWaitEndsTheSearch) {
    board.answerAfter = 1000;
    prepare();
    // The third try: its search byte went out after two tries of 20 steps.
    const int64_t stopAt = 2 * 20 + 5;
    port().onWait([&](int64_t wait) {
        if (wait == stopAt) session().requestAbort();
    });
    const engine::Result r = session().run();
    EXPECT_EQ(r.outcome(), Outcome::UserAbort);
    EXPECT_EQ(r.text(), " User Abort !! ");
    EXPECT_EQ(searchBytes(), 3);
    EXPECT_EQ(port().waits(), stopAt);
    EXPECT_EQ(recorder.events.back(), "end  User Abort !! ");
    EXPECT_TRUE(recorder.has("search ended"));
}

TEST_F(SearchTest, StopBeforeTheFirstWaitEndsAtItsFirstStep) {
    prepare();
    session().requestAbort();
    EXPECT_EQ(session().run().outcome(), Outcome::UserAbort);
    EXPECT_EQ(port().waits(), 1);
    EXPECT_EQ(searchBytes(), 1);
}

TEST_F(SearchTest, ALateAnswerToAStoppedUpdateIsNoAnswerToTheSearch) {
    board.chip = 'B'; // no image for it: the session stops right after the search
    for (const int64_t lateBy : {int64_t{1}, int64_t{3}, int64_t{6}}) {
        SCOPED_TRACE(lateBy);
        prepare();
        // The board finishes the frame that an update stopped a moment ago gave it: its "K"
        // comes during the first try, before or after the board's answer to the search.
        port().setReplyDelay(4);
        port().onWait([&](int64_t wait) {
            if (wait == lateBy) port().inject({'K'});
        });
        EXPECT_EQ(session().run().outcome(), Outcome::NoImage);
        EXPECT_EQ(recorder.board.identification.chipCode, 'B');
        EXPECT_EQ(searchBytes(), 1);
    }
}

TEST_F(SearchTest, StrayBytesBeforeATryAreNoAnswer) {
    board.answerAfter = 1000;
    prepare();
    // An identification that answered nothing of this session.
    port().inject({'V', 1, 'C', 2, 3, 'K'});
    EXPECT_EQ(session().run().outcome(), Outcome::DeviceNotFound);
}

TEST_F(SearchTest, PortThatIsNotOpenIsInvalidAndNothingIsSent) {
    prepare();
    port().close();
    const engine::Result r = session().run();
    EXPECT_EQ(r.outcome(), Outcome::InvalidPort);
    EXPECT_EQ(r.text(), "Invalid Port Com");
    EXPECT_TRUE(port().writes().empty());
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"search", "end Invalid Port Com"}));
}

TEST_F(SearchTest, BoardAnswersTellsWhetherABoardIsThere) {
    prepare();
    EXPECT_TRUE(session().boardAnswers());
    board.answerAfter = 1000;
    prepare();
    EXPECT_FALSE(session().boardAnswers());
    EXPECT_EQ(port().waits(), 20); // one try: 100 ms
}

} // namespace
