// The Version listing of image tables of the test's making, and the Version dialog against the
// fake toolkit and the default product's image table.
#include "app/application.h"
#include "app/version_dialog.h"
#include "fake_ui.h"
#include "firmware/image_table.h"
#include "firmware/version_listing.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

using firmware::ImagePosition;
using Lines = std::vector<std::string>;

const std::string kHeader = "Device - Print          - Preparation";
const std::string kRule = "-------------------------------------";

// An image table of the test's own, with a scramble constant that is not 0, so that an identity
// read without unmasking shows.
class Listing : public ::testing::Test {
protected:
    static constexpr uint8_t kScramble = 0xA5;

    // An image whose identity bytes (1024/1025 for PIC24, 14/15 for PIC18) hold board and
    // preparation in wire form.
    void add(uint8_t board, uint8_t slot, bool pic24, uint8_t imageBoard, uint8_t preparation) {
        std::vector<uint8_t>& bytes = buffers.emplace_back(1026, 0xFF);
        const size_t at = pic24 ? 1024 : 14;
        bytes[at] = imageBoard ^ kScramble;
        bytes[at + 1] = preparation ^ kScramble;
        positions.push_back(
            {board,
             slot,
             {nullptr, 0, bytes.data(), static_cast<int32_t>(bytes.size()), nullptr, 0}});
    }
    void addPlaceholder(uint8_t board, uint8_t slot) {
        static constexpr uint8_t kZero[1] = {0};
        positions.push_back({board, slot, {kZero, 1, kZero, 1, kZero, 1}});
    }
    Lines listing() const {
        return firmware::versionListing(firmware::ImageTable(positions, kScramble));
    }

    std::deque<std::vector<uint8_t>> buffers;
    std::vector<ImagePosition> positions;
};

TEST(ImageLine, AsFormatted) {
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
    for (const Case& c : cases)
        EXPECT_EQ(firmware::imageLine(c.line, c.label, c.board, c.preparation), c.text);
}

TEST_F(Listing, BoardZeroHidesTheOtherBoardsOfItsRow) {
    add(0, 6, true, 2, 0x81);
    add(5, 6, true, 5, 0x04);
    add(19, 6, true, 19, 0x04);
    add(2, 0, false, 14, 0x8A); // row "258": listed, board 0 has no image
    EXPECT_EQ(listing(), (Lines{kHeader, kRule, "24HJ64 - BD01_R02[14PIN] - CAN+SPI  RES[Code:81]",
                                "258    - BD10_R03[DB9] - ETH0  RES[Code:8a]"}));
}

TEST_F(Listing, WithoutBoardZeroEveryBoardOfTheRowInPlanOrder) {
    add(19, 6, true, 19, 0x07);
    add(5, 6, true, 5, 0x04);
    add(11, 6, true, 11, 0x85);
    add(9, 6, true, 9, 0x04);   // board 9 is not in the plan
    add(0, 7, true, 3, 0x04);   // slot 7 is never listed
    add(2, 5, false, 3, 0x04);  // slot 5 looks at board 0 only
    add(0, 2, false, 16, 0x07); // "2480"
    EXPECT_EQ(listing(), (Lines{kHeader, kRule, "24HJ64 - BD02_R01[16PIN] - CAN   [Code:04]",
                                "24HJ64 - BD07_R02[16PIN] - SRV  RES[Code:85]",
                                "24HJ64 - BD14_R0x[16PIN] - CDC   [Code:07]",
                                "2480   - BD11_R02[16PIN] - CDC   [Code:07]"}));
}

TEST_F(Listing, FallbackChangesFromTheSeventhImageLine) {
    for (uint8_t board : {5, 6, 7, 8, 11, 16, 19})
        add(board, 6, true, 0, 0x81);
    add(0, 5, false, 200, 0x02);
    const Lines lines = listing();
    ASSERT_EQ(lines.size(), 2u + 8u);
    for (size_t i = 2; i < 8; ++i)
        EXPECT_EQ(lines[i], "24HJ64 - BD01_R02[14PIN] - UNKNOWN   [Code:81]") << i;
    EXPECT_EQ(lines[8], "24HJ64 - UNK[16PIN] - UNKNOWN   [Code:81]");
    EXPECT_EQ(lines[9], "24J10  - UNK[16PIN] - UNKNOWN   [Code:02]");
}

TEST_F(Listing, PlaceholdersAreNotListed) {
    for (uint8_t slot = 0; slot < 8; ++slot)
        addPlaceholder(0, slot);
    addPlaceholder(5, 6);
    EXPECT_EQ(listing(), (Lines{kHeader, kRule}));
    EXPECT_EQ(firmware::versionListing(firmware::ImageTable({}, 0)), (Lines{kHeader, kRule}));
}

// The dialog of the default product's build, inside a run's context that shows nothing else.
class VersionDialog : public ::testing::Test {
protected:
    fake::Toolkit toolkit;
    const char* argv[2] = {"trevane", nullptr};
    app::Application application{toolkit, 1, argv, app::Platform{}};
    app::VersionDialog dialog{application};
};

TEST_F(VersionDialog, ListsTheBuildsOneImageAnewEachTimeItIsShown) {
    fake::FormView& view = toolkit.view("VersionDialog");
    EXPECT_FALSE(view.fakeForm().visible());
    const Lines expected{kHeader, kRule, "24HJ64 - BD01_R02[14PIN] - CAN+SPI  RES[Code:81]"};
    dialog.show("ZQ710c 01.02|03|00   [ 16:51:17 - Jan 30 2012 ]");
    EXPECT_EQ(view.fakeForm().captionText, "ZQ710c 01.02|03|00   [ 16:51:17 - Jan 30 2012 ]");
    EXPECT_EQ(view.fakeChoiceList(app::VersionDialog::Images).items, expected);

    view.click(app::VersionDialog::Ok);
    EXPECT_FALSE(view.fakeForm().visible());
    // Shown again, the list is rebuilt, not appended to.
    dialog.show("again");
    EXPECT_EQ(view.fakeChoiceList(app::VersionDialog::Images).items, expected);
    EXPECT_EQ(view.fakeForm().captionText, "again");
    EXPECT_EQ(view.fakeForm().showCount, 2);
}

} // namespace
