#include "protocol/framing.h"

#include "protocol_fixture.h"

namespace {

using namespace testing_support;
using protocol::link;

class FramingTest : public ProtocolTest {
protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        serial::openPort(kPort, 115200, 0, 2, 8);
    }

    // The board answers the k-th send with answers[k] ("" = silence); later sends get silence.
    void answerSends(std::vector<std::string> answers) {
        fakeport::setWriteHandler(
            [answers, sends = size_t{0}](int32_t port, std::span<const uint8_t>) mutable {
                if (sends < answers.size())
                    for (char c : answers[sends])
                        fakeport::queueInput(port, {static_cast<uint8_t>(c)}, 2);
                ++sends;
            });
    }

    std::vector<std::string> resendTexts() const {
        std::vector<std::string> texts;
        for (const auto& [panel, text] : reporter.updaterBar.history)
            if (panel == 1) texts.push_back(text);
        return texts;
    }
};

TEST_F(FramingTest, ChecksumMakesTheFrameAddUpToZero) {
    struct Case {
        std::vector<uint8_t> command;
        uint8_t checksum;
    };
    const Case cases[] = {
        {{0x40, 0x05, 0xAA, 0x01, 0x00}, 0x10},
        {{}, 0x00},
        {{0x80, 0x80}, 0x00},
        {{0x01}, 0xFF},
        {{0xFF, 0xFF, 0x03}, 0xFF},
    };
    answerSends({"K", "K", "K", "K", "K"});
    for (const Case& c : cases) {
        uint8_t buffer[16] = {};
        std::copy(c.command.begin(), c.command.end(), buffer);
        const auto n = static_cast<int32_t>(c.command.size());
        EXPECT_EQ(protocol::sendCommand(buffer, n), 0);
        EXPECT_EQ(buffer[n], c.checksum) << "the checksum stays in the caller's buffer";
        std::vector<uint8_t> expected = c.command;
        expected.push_back(c.checksum);
        EXPECT_EQ(fakeport::writes(kPort).back(), expected);
    }
}

TEST_F(FramingTest, ResendRules) {
    struct Case {
        const char* name;
        std::vector<std::string> answers;
        int16_t result;
        size_t sends;
        std::vector<std::string> resendTexts;
    };
    const Case cases[] = {
        {"acknowledged", {"K"}, 0, 1, {}},
        {"refused then acknowledged", {"N", "K"}, 0, 2, {"Resend 0"}},
        {"refused five times",
         {"N", "N", "N", "N", "N", "K"},
         -3,
         5,
         {"Resend 0", "Resend 1", "Resend 2", "Resend 3", "Resend 4"}},
        {"four refusals then acknowledged",
         {"N", "N", "N", "N", "K"},
         0,
         5,
         {"Resend 0", "Resend 1", "Resend 2", "Resend 3"}},
        {"refused then silent", {"N", ""}, -1, 2, {"Resend 0"}},
        {"silent: never resent", {""}, -1, 1, {}},
        {"K and N in one read", {"KN"}, 0, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakeport::reset();
        serial::openPort(kPort, 115200, 0, 2, 8);
        reporter.updaterBar = fake::StatusBar{};
        answerSends(c.answers);
        uint8_t buffer[8] = {0x12, 0x34};
        EXPECT_EQ(protocol::sendCommand(buffer, 2), c.result);
        ASSERT_EQ(fakeport::writes(kPort).size(), c.sends);
        for (const auto& w : fakeport::writes(kPort))
            EXPECT_EQ(w, (std::vector<uint8_t>{0x12, 0x34, 0xBA})) << "resent unchanged";
        EXPECT_EQ(resendTexts(), c.resendTexts);
        EXPECT_EQ(reporter.updaterBar.repaints, static_cast<int>(c.resendTexts.size()));
    }
    EXPECT_TRUE(reporter.banners.empty()) << "sendCommand shows no error text itself";
}

TEST_F(FramingTest, UnansweredFrameWaitsOneSecond) {
    uint8_t buffer[4] = {1, 2, 3};
    EXPECT_EQ(protocol::sendCommand(buffer, 3), -1);
    EXPECT_EQ(fakeport::clockMs(), 1000);
}

TEST_F(FramingTest, StopDuringTheSecondWaitSendsNoMore) {
    answerSends({"N"});
    fakeport::setStepHook([](int64_t step) {
        if (step == 10) link.abortRequest = 1;
    });
    uint8_t buffer[4] = {7};
    EXPECT_EQ(protocol::sendCommand(buffer, 1), -2);
    EXPECT_EQ(fakeport::writes(kPort).size(), 2u);
    EXPECT_EQ(link.abortRequest, 0);
}

TEST_F(FramingTest, RefusalsWithoutUpdaterWindowStillResend) {
    reporter.updaterExists = false;
    answerSends({"N", "K"});
    uint8_t buffer[4] = {7};
    EXPECT_EQ(protocol::sendCommand(buffer, 1), 0);
    EXPECT_EQ(fakeport::writes(kPort).size(), 2u);
    EXPECT_TRUE(reporter.updaterBar.history.empty());
}

TEST_F(FramingTest, StaleFlagsAreClearedBeforeEachSend) {
    link.ackFlag = 1;
    link.nakFlag = 1;
    uint8_t buffer[4] = {7};
    EXPECT_EQ(protocol::sendCommand(buffer, 1), -1);
}

TEST_F(FramingTest, LinkErrorTexts) {
    struct Case {
        int16_t code;
        const char* text;
    };
    const Case cases[] = {{-1, " not Response "},
                          {-2, " User Abort !! "},
                          {-3, " CHK Error !! "},
                          {-4, " Incompatible Bootloader !! "},
                          {0, nullptr},
                          {-5, nullptr},
                          {1, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        reporter.banners.clear();
        protocol::showLinkError(c.code);
        if (!c.text) {
            EXPECT_TRUE(reporter.banners.empty());
            continue;
        }
        ASSERT_EQ(reporter.banners.size(), 1u);
        EXPECT_EQ(reporter.banners[0].text, c.text);
        EXPECT_EQ(reporter.banners[0].colour, ui::kRed);
        EXPECT_EQ(reporter.banners[0].code, 0);
    }
}

} // namespace
