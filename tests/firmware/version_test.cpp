// The Version dialog against the fake toolkit and the default product's image table.
#include "fake_ui.h"
#include "firmware/image_table.h"
#include "firmware/version.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

using firmware::imageTable;

const std::string kHeader = "Device - Print          - Preparation";
const std::string kRule = "-------------------------------------";

class VersionDialog : public ::testing::Test {
protected:
    void SetUp() override { firmware::buildImageTable(); }
    void TearDown() override {
        for (auto& board : imageTable)
            for (auto& record : board)
                record = {};
        firmware::buildImageTable();
    }

    // An image whose identity bytes (1024/1025 for PIC24, 14/15 for PIC18) hold board and
    // preparation in wire form.
    firmware::FirmwareImage image(bool pic24, uint8_t board, uint8_t preparation) {
        std::vector<uint8_t>& bytes = buffers.emplace_back(1026, 0xFF);
        const size_t at = pic24 ? 1024 : 14;
        bytes[at] = board ^ firmware::scrambleMask(0);
        bytes[at + 1] = preparation ^ firmware::scrambleMask(0);
        return {nullptr, 0, bytes.data(), static_cast<int32_t>(bytes.size()), nullptr, 0};
    }

    std::vector<std::string> shownLines() {
        dialog.form().show();
        return toolkit.view("TForm4").fakeChoiceList("ListBox1").items;
    }

    fake::Toolkit toolkit;
    firmware::TForm4 dialog{toolkit};
    std::deque<std::vector<uint8_t>> buffers;
};

TEST_F(VersionDialog, DefaultBuildListsItsOneImage) {
    fake::FormView& view = toolkit.view("TForm4");
    EXPECT_FALSE(view.fakeForm().visible());
    const std::vector<std::string> expected{kHeader, kRule,
                                            "24HJ64 - BD01_R02[14PIN] - CAN+SPI  RES[Code:81]"};
    EXPECT_EQ(shownLines(), expected);
    // Shown again, the list is rebuilt, not appended to.
    view.fakeForm().hide();
    EXPECT_EQ(shownLines(), expected);

    view.click("Button1");
    EXPECT_FALSE(view.fakeForm().visible());
    EXPECT_EQ(view.fakeForm().showCount, 2);
}

TEST_F(VersionDialog, ImageLinesAsFormatted) {
    struct Case {
        int8_t line;
        const char* label;
        int8_t board;
        uint8_t preparation;
        const char* text;
    } cases[] = {
        {0, "24HJ64", 2, 0x81, "24HJ64 - BD01_R02[14PIN] - CAN+SPI  RES[Code:81]"},
        {0, "24HJ64", 14, 0x04, "24HJ64 - BD10_R03[DB9] - CAN   [Code:04]"},
        {1, "2580  ", 1, 0x8A, "2580   - UNK[UNK] - ETH0  RES[Code:8a]"},
        {3, "2480  ", 20, 0x1B, "2480   - BD15_R0x[RJ45] - UNKNOWN   [Code:1b]"},
        {4, "24J10 ", 5, 0x02, "24J10  - BD02_R01[16PIN] -    [Code:02]"},
        // Boards outside 1..24: the fallback depends on the line number.
        {0, "24HJ64", 0, 0x81, "24HJ64 - BD01_R02[14PIN] - UNKNOWN   [Code:81]"},
        {5, "248   ", 25, 0x04, "248    - BD01_R02[14PIN] - UNKNOWN   [Code:04]"},
        {6, "248   ", 0, 0x04, "248    - UNK[16PIN] - UNKNOWN   [Code:04]"},
        {9, "2320  ", -56, 0x8A, "2320   - UNK[16PIN] - UNKNOWN   [Code:8a]"}, // byte 200
    };
    fake::ChoiceList& list = toolkit.view("TForm4").fakeChoiceList("ListBox1");
    for (const Case& c : cases) {
        list.clear();
        dialog.addImageLine(c.line, c.label, c.board, c.preparation);
        ASSERT_EQ(list.count(), 1);
        EXPECT_EQ(list.text(0), c.text);
    }
}

TEST_F(VersionDialog, BoardZeroHidesTheOtherBoardsOfItsRow) {
    imageTable[0][6] = image(true, 2, 0x81);
    imageTable[5][6] = image(true, 5, 0x04);
    imageTable[19][6] = image(true, 19, 0x04);
    imageTable[2][0] = image(false, 14, 0x8A); // row "258": listed, board 0 has no image
    EXPECT_EQ(shownLines(), (std::vector<std::string>{
                                kHeader, kRule, "24HJ64 - BD01_R02[14PIN] - CAN+SPI  RES[Code:81]",
                                "258    - BD10_R03[DB9] - ETH0  RES[Code:8a]"}));
}

TEST_F(VersionDialog, WithoutBoardZeroEveryBoardOfTheRowInPlanOrder) {
    imageTable[0][6] = {};
    imageTable[19][6] = image(true, 19, 0x07);
    imageTable[5][6] = image(true, 5, 0x04);
    imageTable[11][6] = image(true, 11, 0x85);
    imageTable[9][6] = image(true, 9, 0x04);   // board 9 is not in the plan
    imageTable[0][7] = image(true, 3, 0x04);   // slot 7 is never listed
    imageTable[2][5] = image(false, 3, 0x04);  // slot 5 looks at board 0 only
    imageTable[0][2] = image(false, 16, 0x07); // "2480"
    EXPECT_EQ(shownLines(), (std::vector<std::string>{
                                kHeader, kRule, "24HJ64 - BD02_R01[16PIN] - CAN   [Code:04]",
                                "24HJ64 - BD07_R02[16PIN] - SRV  RES[Code:85]",
                                "24HJ64 - BD14_R0x[16PIN] - CDC   [Code:07]",
                                "2480   - BD11_R02[16PIN] - CDC   [Code:07]"}));
}

TEST_F(VersionDialog, FallbackChangesFromTheSeventhImageLine) {
    imageTable[0][6] = {};
    for (uint8_t board : {5, 6, 7, 8, 11, 16, 19})
        imageTable[board][6] = image(true, 0, 0x81);
    imageTable[0][5] = image(false, 200, 0x02);
    const std::vector<std::string> lines = shownLines();
    ASSERT_EQ(lines.size(), 2u + 8u);
    for (size_t i = 2; i < 8; ++i)
        EXPECT_EQ(lines[i], "24HJ64 - BD01_R02[14PIN] - UNKNOWN   [Code:81]") << i;
    EXPECT_EQ(lines[8], "24HJ64 - UNK[16PIN] - UNKNOWN   [Code:81]");
    EXPECT_EQ(lines[9], "24J10  - UNK[16PIN] - UNKNOWN   [Code:02]");
}

TEST_F(VersionDialog, NoListedImageShowsOnlyTheHeader) {
    // The default build's placeholders all have flash length 1: not images.
    imageTable[0][6].flashLength = 1;
    EXPECT_EQ(shownLines(), (std::vector<std::string>{kHeader, kRule}));
}

} // namespace
