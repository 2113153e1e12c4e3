#include "protocol/search.h"

#include "protocol_fixture.h"

#include <cstring>

namespace {

using namespace testing_support;
using protocol::link;

class SearchTest : public ProtocolTest {
protected:
    ScriptedBoard board;

    void SetUp() override {
        ProtocolTest::SetUp();
        board.install();
    }

    std::vector<std::string> activityTexts() const {
        std::vector<std::string> texts;
        for (const auto& [panel, text] : statusBar.history)
            if (panel == 1) texts.push_back(text);
        return texts;
    }
};

TEST_F(SearchTest, FirstSearchOpensThePortAndFindsTheBoard) {
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), 0);
    EXPECT_TRUE(fakeport::isOpen(kPort));
    const fakeport::OpenArguments a = fakeport::lastOpen(kPort);
    EXPECT_EQ(a.baud, 115200u);
    EXPECT_EQ(a.parity, 0);
    EXPECT_EQ(a.stopBits, 2);
    EXPECT_EQ(a.byteSize, 8);
    const std::vector<std::string> start(fakeport::callLog().begin(),
                                         fakeport::callLog().begin() + 5);
    EXPECT_EQ(start,
              (std::vector<std::string>{"close 3", "close 4", "open 4", "drop 4", "drain 4"}));
    EXPECT_EQ(link.openedPort, kPort);
    EXPECT_EQ(statusBar.panelText(0), "COM5");
    EXPECT_EQ(fakeport::writes(kPort).front(), std::vector<uint8_t>{194});
    EXPECT_EQ(activityTexts(), std::vector<std::string>{"Try 0"});
    EXPECT_EQ(reporter.buttons, std::vector<std::string>{"stop"}) << "Stop stays for the session";
    EXPECT_TRUE(progress.smooth);
    EXPECT_EQ(link.identification.chipCode, 'B');
    EXPECT_EQ(link.identification.biosCode, 10);
    EXPECT_TRUE(reporter.banners.empty());
}

TEST_F(SearchTest, AnswerOnlyOnTheLastTry) {
    board.answerFromTry = 99;
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), 0);
    EXPECT_EQ(board.searchBytes, 100);
    EXPECT_EQ(activityTexts().back(), "Try 99");
    EXPECT_EQ(fakeport::drainCount(kPort), 100);
    for (int p : progress.positions)
        EXPECT_EQ(p, 0) << "the Updater window's bar stays at 0";
}

TEST_F(SearchTest, NoAnswerOrRefusalsGiveDeviceNotFound) {
    for (bool refuse : {false, true}) {
        SCOPED_TRACE(refuse);
        fakeport::reset();
        board = ScriptedBoard{};
        board.install();
        board.answerFromTry = 1000;
        board.refuseSearch = refuse;
        reporter.buttons.clear();
        statusBar = fake::StatusBar{};
        EXPECT_EQ(protocol::searchDevice(progress, statusBar), -2);
        EXPECT_EQ(board.searchBytes, 100);
        EXPECT_EQ(statusBar.panelText(1), "Device not Found");
        EXPECT_EQ(reporter.buttons, (std::vector<std::string>{"stop", "update"}));
        EXPECT_EQ(link.identification.chipCode, 0);
        EXPECT_TRUE(reporter.banners.empty()) << "no banner and no result code";
        if (!refuse) {
            EXPECT_EQ(fakeport::steps(), 100 * 20);
        }
    }
}

TEST_F(SearchTest, UpgradeModeUsesItsByteAndCountsDown) {
    reporter.upgrade = true;
    board.answerFromTry = 3;
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), 0);
    for (const auto& w : fakeport::writes(kPort))
        EXPECT_EQ(w, std::vector<uint8_t>{197});
    EXPECT_EQ(progress.maximum, 100);
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 100, 99, 98, 97, 0}));
    EXPECT_EQ(activityTexts(), std::vector<std::string>(4, "Search Device"));
}

TEST_F(SearchTest, StopDuringAWaitAborts) {
    board.answerFromTry = 1000;
    fakeport::setStepHook([](int64_t step) {
        if (step == 45) link.abortRequest = 1;
    });
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), -3);
    EXPECT_EQ(board.searchBytes, 3);
    ASSERT_EQ(reporter.banners.size(), 1u);
    EXPECT_EQ(reporter.banners[0].text, " User Abort !! ");
    EXPECT_EQ(reporter.banners[0].colour, ui::kRed);
    EXPECT_EQ(progress.position, 0);
    EXPECT_EQ(link.abortRequest, 0);
}

TEST_F(SearchTest, StrayBytesBeforeATryAreDrained) {
    board.answerFromTry = 1000;
    serial::openPort(kPort, 115200, 0, 2, 8);
    link.openedPort = kPort;
    fakeport::queueInput(kPort, {'V', 1, 'C', 2, 3, 'K'});
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), -2);
    EXPECT_EQ(fakeport::drainedBytes(kPort), 6);
    EXPECT_EQ(link.identification.chipCode, 0);
}

TEST_F(SearchTest, SearchResetsTheReceiver) {
    std::strcpy(link.boardDescription, "old board");
    link.protectedRangeStart = 5;
    link.protectedRangeLength = 6;
    link.receiverState = 3; // an earlier record that never closed
    protocol::session.protectedStart = 7;
    protocol::session.protectedLength = 8;
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), 0);
    EXPECT_STREQ(link.boardDescription, "");
    EXPECT_EQ(link.protectedRangeStart, 0);
    EXPECT_EQ(link.protectedRangeLength, 0);
    EXPECT_EQ(protocol::session.protectedStart, 0);
    EXPECT_EQ(protocol::session.protectedLength, 0);
    EXPECT_EQ(link.identification.chipCode, 'B') << "the receiver was idle again";
}

TEST_F(SearchTest, PortThatCannotBeOpenedIsTriedAgainEverySearch) {
    fakeport::failOpen(kPort);
    for (int search = 1; search <= 2; ++search) {
        SCOPED_TRACE(search);
        EXPECT_EQ(protocol::searchDevice(progress, statusBar), -1);
        EXPECT_EQ(fakeport::openCount(kPort), search);
        ASSERT_EQ(reporter.banners.size(), static_cast<size_t>(search));
        EXPECT_EQ(reporter.banners.back().text, "Invalid Port Com");
        EXPECT_EQ(reporter.banners.back().colour, ui::kRed);
        EXPECT_EQ(reporter.banners.back().code, 0);
        EXPECT_EQ(reporter.buttons.back(), "update");
    }
    EXPECT_TRUE(fakeport::writes(kPort).empty());
    fakeport::failOpen(kPort, false); // the adapter is plugged in
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), 0);
    EXPECT_EQ(reporter.banners.size(), 2u);
}

TEST_F(SearchTest, OpenPortIsKeptAndALostOneReopened) {
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), 0);
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), 0);
    EXPECT_EQ(fakeport::openCount(kPort), 1);
    fakeport::unplug(kPort);
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), 0);
    EXPECT_EQ(fakeport::openCount(kPort), 2);
}

TEST_F(SearchTest, ChangingThePortClosesThePreviousOne) {
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), 0);
    link.selectedPort = kPort + 1;
    protocol::reopenSelectedPort();
    EXPECT_FALSE(fakeport::isOpen(kPort));
    EXPECT_TRUE(fakeport::isOpen(kPort + 1));
    EXPECT_EQ(link.openedPort, kPort + 1);
}

TEST_F(SearchTest, PortPanelText) {
    const std::pair<int16_t, const char*> cases[] = {
        {-1, "-----"}, {0, "COM1"}, {11, "COM12"}, {256, "COM257"}};
    for (const auto& [port, text] : cases) {
        link.selectedPort = port;
        protocol::showPortPanel(statusBar);
        EXPECT_EQ(statusBar.panelText(0), text);
    }
}

TEST_F(SearchTest, NoPortSelected) {
    link.selectedPort = -1;
    link.openedPort = -2;
    EXPECT_EQ(protocol::searchDevice(progress, statusBar), -1);
    EXPECT_EQ(statusBar.panelText(0), "-----");
    EXPECT_EQ(reporter.lastBanner(), "Invalid Port Com");
}

} // namespace
