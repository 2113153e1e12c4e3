#include "protocol/session.h"

#include "protocol/bios_label.h"
#include "protocol/geometry.h"
#include "protocol/search.h"
#include "protocol_fixture.h"

#include <cstring>

namespace {

using namespace testing_support;
using protocol::link;
using protocol::session;

TEST(CompatibilityTest, Examples) {
    struct Case {
        uint8_t deviceBoard, p, imageBoard, q, full;
        bool accepted;
    };
    const Case cases[] = {
        {5, 0x81, 0, 0x02, 1, true},   // image for any board
        {5, 0x81, 255, 0x02, 1, true}, // image for any board
        {5, 0x81, 6, 0x81, 0, true},   // older bootloader: no check
        {5, 0x81, 6, 0x81, 1, false},  // other board whatever the preparations
        {5, 0x02, 5, 0x01, 1, true},   // p 2 accepts 1, 2, 4
        {5, 0x02, 5, 0x02, 1, true},
        {5, 0x02, 5, 0x04, 1, true},
        {5, 0x02, 5, 0x03, 1, false},
        {5, 0x12, 5, 0x02, 1, false}, // bit 4 on the device, not in the image
        {5, 0x12, 5, 0x11, 1, true},  // bit 4 on both, then the table
        {5, 0x03, 5, 0x80, 1, true},  // p 3 takes any image with bit 7
        {5, 0x85, 5, 0x81, 1, true},  // bit 7 on both
        {5, 0x04, 5, 0x24, 1, false}, // bit 5 of the image keeps it from the table
        {5, 0x01, 5, 0x04, 1, true},
        {5, 0x01, 5, 0x02, 1, false},
        {5, 0x05, 5, 0x04, 1, true},
        {5, 0x05, 5, 0x01, 1, false},
        {5, 0x07, 5, 0x07, 1, true},
        {5, 0x07, 5, 0x87, 1, true}, // q AND 0x6F is 7
        {5, 0x87, 5, 0x07, 1, true}, // p AND 0x0F is 7
        {5, 0x08, 5, 0x09, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int(c.deviceBoard) << "/" << std::hex << int(c.p) << " vs " << std::dec
                     << int(c.imageBoard) << "/" << std::hex << int(c.q));
        protocol::Identification id;
        id.boardIndex = c.deviceBoard;
        id.preparation = c.p;
        EXPECT_EQ(protocol::checkCompatibility(id, c.full, c.imageBoard, c.q), c.accepted);
    }
}

class SessionTest : public ProtocolTest {
protected:
    ScriptedBoard board;
    TestImage pic18;
    TestImage pic24;

    void SetUp() override {
        ProtocolTest::SetUp();
        board.install();
        pic18 = makeImage(false, 200, 2, 0x81);
        pic24 = makeImage(true, 65175, 0, 0x81);
        installImage(pic18, 2, 0);
        installImage(pic24, 0, 6);
    }

    // Search, then the session, as the windows run them.
    void update() {
        ASSERT_EQ(protocol::searchDevice(progress, statusBar), 0);
        protocol::runProgrammingSession(progress, statusBar);
    }

    bool sawBanner(const std::string& text) const {
        for (const Banner& b : reporter.banners)
            if (b.text == text) return true;
        return false;
    }
};

TEST_F(SessionTest, SuccessfulPic18Update) {
    update();
    EXPECT_EQ(reporter.programOk, 1);
    EXPECT_EQ(board.programModeBytes, 1);
    EXPECT_EQ(board.frames.size(), 4u + 1); // 200 bytes: 3 full, 1 last, the fix frame
    ASSERT_FALSE(reporter.banners.empty());
    EXPECT_EQ(reporter.banners.back().text, " Programming... ");
    EXPECT_EQ(reporter.banners.back().colour, ui::kButtonFace);
    EXPECT_EQ(statusBar.panelText(2), "Found 258");
    EXPECT_EQ(statusBar.panelText(3), "Loaded 200 bytes (0000 to 00C8)");
    EXPECT_EQ(reporter.bios.value, "BIOS:0a - BD01_R02 - Preparation81");
    EXPECT_TRUE(reporter.description.shown);
    EXPECT_FALSE(progress.smooth);
    // The program-mode byte goes out raw, right after the search's answer.
    const auto& writes = fakeport::writes(kPort);
    EXPECT_EQ(writes[1], std::vector<uint8_t>{0xCC});
}

TEST_F(SessionTest, LoadedTextForTheFullPic24Image) {
    board.identification = {'V', 5, 254, 9, 1, 'K'};
    update();
    EXPECT_EQ(statusBar.panelText(3), "Loaded 32587 bytes (0000 to 7F4B)");
    EXPECT_EQ(reporter.programOk, 1);
    EXPECT_EQ(board.frames.size(), 255u + 1);
}

TEST_F(SessionTest, IncompatibleBootloaderBeforeAnythingElse) {
    board.identification = {'V', 33, 'B', 2, 0x81, 'K'};
    firmware::currentImage.flashLength = 12345;
    update();
    ASSERT_EQ(reporter.banners.size(), 1u);
    EXPECT_EQ(reporter.banners[0].text, " Incompatible Bootloader !! ");
    EXPECT_EQ(reporter.banners[0].code, 0);
    EXPECT_EQ(firmware::currentImage.flashLength, 12345) << "the image was not looked at";
    EXPECT_EQ(fakeport::writes(kPort).size(), 1u) << "only the search byte";
    EXPECT_EQ(reporter.programOk, 0);
}

TEST_F(SessionTest, BoardRecordWaitAndProgramModeByBiosCode) {
    struct Case {
        uint8_t bios;
        bool sendsRecord;
        int64_t stepsToProgramMode; // from the search byte that found the board
    };
    // A record is only waited for from BIOS 8 to 31; a BIOS 8 board that never sends it costs
    // the whole wait and is programmed all the same.
    const Case cases[] = {
        {7, false, 1}, {8, false, 1 + 251}, {31, false, 1 + 251}, {32, false, 1}, {8, true, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.bios));
        fakeport::reset();
        reporter.programOk = 0;
        board = ScriptedBoard{};
        board.identification = {'V', c.bios, 'B', 2, 0x81, 'K'};
        if (c.sendsRecord) {
            board.afterIdentification = {'R', 2, 0, 'h', 'i'};
            fakeport::setStepHook([](int64_t step) {
                if (step == 5) fakeport::queueInput(kPort, {'K'});
            });
        }
        board.install();
        link.openedPort = -1;
        update();
        EXPECT_EQ(board.programModeBytes, 1);
        const auto& writes = fakeport::writes(kPort);
        ASSERT_GE(writes.size(), 2u);
        EXPECT_EQ(writes[1], std::vector<uint8_t>{0xCC});
        EXPECT_EQ(fakeport::writeStep(kPort, 1) - fakeport::writeStep(kPort, 0),
                  c.stepsToProgramMode);
        EXPECT_EQ(reporter.programOk, 1);
    }
}

TEST_F(SessionTest, OlderBootloader) {
    board.identification = {'B', 'K'};
    pic18 = makeImage(false, 200, 7, 0x44); // made for another board
    installImage(pic18, 2, 0);
    update();
    EXPECT_EQ(firmware::currentImage.flashData, pic18.flash.data()) << "board 2's image";
    EXPECT_EQ(board.programModeBytes, 0);
    EXPECT_EQ(reporter.programOk, 1) << "no compatibility check";
    EXPECT_EQ(reporter.bios.value, "BIOS:00 - BD04_R01 - Preparation44") << "image's board";
}

TEST_F(SessionTest, UnsuitableBoard) {
    board.identification = {'V', 10, 'B', 5, 0x81, 'K'};
    pic18 = makeImage(false, 200, 6, 0x2c);
    installImage(pic18, 5, 0);
    update();
    ASSERT_FALSE(reporter.banners.empty());
    EXPECT_EQ(reporter.banners.back().text, "BD03_R01 - Preparation2c") << "image's board and prep";
    EXPECT_EQ(reporter.banners.back().colour, ui::kRed);
    EXPECT_EQ(statusBar.panelText(2), "Warning!!");
    EXPECT_EQ(statusBar.panelText(3), "not suitable apparatus");
    EXPECT_EQ(board.programModeBytes, 0);
    EXPECT_TRUE(board.frames.empty());
    EXPECT_EQ(reporter.programOk, 0);
}

TEST_F(SessionTest, ImageForAnyBoard) {
    for (uint8_t imageBoard : {0, 255}) {
        board.frames.clear();
        reporter.programOk = 0;
        board.identification = {'V', 10, 'C', 9, 0x03, 'K'};
        pic18 = makeImage(false, 200, imageBoard, 0x55);
        installImage(pic18, 9, 1);
        update();
        EXPECT_EQ(reporter.programOk, 1) << int(imageBoard);
    }
}

TEST_F(SessionTest, ImageFallsBackToBoardZero) {
    board.identification = {'V', 10, 254, 200, 0x81, 'K'};
    update();
    EXPECT_EQ(firmware::currentImage.flashData, pic24.flash.data());
    EXPECT_EQ(reporter.programOk, 1);
}

TEST_F(SessionTest, ChipWithoutImageAndUnknownChip) {
    board.identification = {'V', 10, 'E', 2, 0x81, 'K'};
    update();
    EXPECT_EQ(reporter.lastBanner(), " No Hex inside !! ");
    EXPECT_TRUE(board.frames.empty());
    EXPECT_EQ(board.programModeBytes, 0);

    board.identification = {'V', 10, 'A', 2, 0x81, 'K'};
    update();
    EXPECT_EQ(reporter.lastBanner(), " Error !! ");
    EXPECT_EQ(statusBar.panelText(2), "Unknow Device");
    EXPECT_EQ(reporter.programOk, 0);
}

TEST_F(SessionTest, ProtectedRangeFromTheBoardRecordForPic24Only) {
    std::vector<uint8_t> record{'R', 28, 0};
    for (int i = 0; i < 24; ++i)
        record.push_back('d');
    record.insert(record.end(), {0x00, 0x10, 0x00, 0x04, 'K'});
    board.identification = {'V', 10, 254, 2, 0x81, 'K'};
    board.afterIdentification = record;
    update();
    EXPECT_EQ(session.protectedStart, 0x1000);
    EXPECT_EQ(session.protectedLength, 0x0400);
    EXPECT_EQ(board.frames.size(), 255u + 1 - 8);
    EXPECT_EQ(reporter.description.value, std::string(24, 'd'));

    board.frames.clear();
    board.identification = {'V', 10, 'B', 2, 0x81, 'K'};
    update();
    EXPECT_EQ(session.protectedStart, 0);
    EXPECT_EQ(session.protectedLength, 0);
}

TEST_F(SessionTest, StopDuringTheProgramModeWaitEndsBeforeWriting) {
    board.answerProgramMode = false;
    ASSERT_EQ(protocol::searchDevice(progress, statusBar), 0);
    fakeport::setStepHook([start = fakeport::steps()](int64_t step) {
        if (step == start + 100) link.abortRequest = 1;
    });
    protocol::runProgrammingSession(progress, statusBar);
    EXPECT_EQ(reporter.lastBanner(), " User Abort !! ");
    EXPECT_TRUE(board.frames.empty());
    EXPECT_EQ(reporter.programOk, 0);
}

TEST_F(SessionTest, SilentProgramModeGoesOn) {
    board.answerProgramMode = false;
    update();
    EXPECT_EQ(reporter.programOk, 1);
}

TEST_F(SessionTest, WriteFailureIsShown) {
    board.silentFrames = {1};
    update();
    EXPECT_EQ(reporter.lastBanner(), " not Response ");
    EXPECT_EQ(reporter.banners.back().code, 0);
    EXPECT_EQ(reporter.programOk, 0);
}

TEST_F(SessionTest, UpgradeMode) {
    reporter.upgrade = true;
    link.devicePanelIndex = -2;
    update();
    EXPECT_EQ(reporter.programOk, 1);
    EXPECT_EQ(statusBar.panelText(2), "");
    EXPECT_EQ(statusBar.panelText(3), "") << "no Loaded text";
    EXPECT_EQ(fakeport::writes(kPort)[0], std::vector<uint8_t>{197});
}

class BiosLabelTest : public ProtocolTest {};

TEST_F(BiosLabelTest, LabelsFollowTheIdentification) {
    struct Case {
        uint8_t bios;
        bool descriptionShown;
    };
    std::strcpy(link.boardDescription, "Main board");
    link.fullIdentification = 1;
    link.identification = {'B', 0, 2, 0x81};
    for (const Case c : {Case{7, false}, Case{8, true}, Case{31, true}, Case{32, false}}) {
        SCOPED_TRACE(int(c.bios));
        link.identification.biosCode = c.bios;
        reporter.description.shown = !c.descriptionShown;
        protocol::refreshBiosLabel();
        EXPECT_TRUE(reporter.bios.shown);
        EXPECT_EQ(reporter.bios.background, ui::kButtonFace);
        EXPECT_EQ(reporter.bios.foreground, ui::kBlack);
        EXPECT_EQ(reporter.description.shown, c.descriptionShown);
        if (c.descriptionShown) {
            EXPECT_EQ(reporter.description.value, "Main board");
        }
    }
    EXPECT_EQ(reporter.bios.value, "BIOS:20 - BD01_R02 - Preparation81");
    EXPECT_EQ(reporter.bios.repaints, 4);
}

TEST_F(BiosLabelTest, ErasedDescriptionShowsEmpty) {
    link.fullIdentification = 1;
    link.identification = {'B', 10, 24, 0x03};
    link.boardDescription[0] = static_cast<char>(0xFF);
    link.boardDescription[1] = 'x';
    reporter.description.value = "before";
    protocol::refreshBiosLabel();
    EXPECT_EQ(reporter.description.value, "");
    EXPECT_EQ(link.boardDescription[0], '\0');
    EXPECT_EQ(reporter.bios.value, "BIOS:0a - BD19_R0x - Preparation03");
}

TEST_F(BiosLabelTest, NothingBeforeTheUpdaterWindowExists) {
    reporter.updaterExists = false;
    link.fullIdentification = 1;
    protocol::refreshBiosLabel(); // must not touch a missing window
    EXPECT_FALSE(reporter.bios.shown);
}

} // namespace
