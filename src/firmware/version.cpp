#include "firmware/version.h"

#include "firmware/board_catalogue.h"
#include "firmware/image_table.h"

#include <cstdio>

namespace firmware {

namespace {

constexpr uint8_t kPic24Boards[] = {5, 6, 7, 8, 11, 16, 19};
constexpr uint8_t kPic18Boards[] = {2, 4, 5, 6};

constexpr ListingRow kPlan[] = {
    {"24HJ64", 6, 1024, kPic24Boards},
    {"2580  ", 1, 14, kPic18Boards},
    {"258   ", 0, 14, kPic18Boards},
    {"2480  ", 2, 14, {}},
    {"248   ", 3, 14, {}},
    {"2320  ", 4, 14, {}},
    {"24J10 ", 5, 14, {}},
};

// Designed as 412 x 272 outside at 96 dpi. With the classic dialog frame (3 pixels each side)
// and a 19-pixel caption bar that leaves a 406 x 247 client area, which still holds the list
// (to 381, 194) and the button (to 378, 230) with the designed margins.
constexpr ui::ControlDesc kControls[] = {
    {.kind = ui::Kind::ListBox,
     .name = "ListBox1",
     .caption = "",
     .rect = {8, 10, 373, 184},
     .font = {"Courier", 11, false}},
    {.kind = ui::Kind::Button, .name = "Button1", .caption = "&Ok", .rect = {303, 204, 75, 26}},
};

bool hasImage(const FirmwareImage& image) {
    return image.flashLength > 1;
}

} // namespace

const std::span<const ListingRow> listingPlan{kPlan};

const ui::FormDesc form4Desc{
    .className = "TForm4",
    .caption = "Version ..",
    .clientWidth = 406,
    .clientHeight = 247,
    .font = {"MS Sans Serif", 11, false},
    .border = ui::Border::Dialog,
    .minimizeBox = false,
    .controls = kControls,
};

TForm4::TForm4(ui::Toolkit& toolkit)
    : view_(toolkit.createForm(form4Desc, *this)), ListBox1(view_->choiceList("ListBox1")) {}

void TForm4::onEvent(std::string_view control, ui::Event event) {
    if (control == "Button1" && event == ui::Event::Click) Button1Click();
}

void TForm4::FormShow() {
    ListBox1.clear();
    fillVersionList();
}

// The dialog is only hidden: the Updater window opens it again.
void TForm4::Button1Click() {
    view_->form().hide();
}

void TForm4::fillVersionList() {
    int8_t lineNumber = 0;
    ListBox1.append("Device - Print          - Preparation");
    ListBox1.append("-------------------------------------");

    const uint8_t mask = scrambleMask(0);
    auto list = [&](const ListingRow& row, const FirmwareImage& image) {
        const auto board = static_cast<uint8_t>(image.flashData[row.identityOffset] ^ mask);
        const auto preparation =
            static_cast<uint8_t>(image.flashData[row.identityOffset + 1] ^ mask);
        addImageLine(lineNumber, row.chipLabel, static_cast<int8_t>(board), preparation);
        ++lineNumber;
    };

    for (const ListingRow& row : listingPlan) {
        const FirmwareImage& general = imageTable[0][row.chipSlot];
        if (hasImage(general)) {
            list(row, general);
            continue;
        }
        for (uint8_t board : row.otherBoards) {
            const FirmwareImage& image = imageTable[board][row.chipSlot];
            if (hasImage(image)) list(row, image);
        }
    }
}

void TForm4::addImageLine(int8_t lineNumber, const char* chipLabel, int8_t imageBoardIndex,
                          uint8_t imagePreparation) {
    const char* code;
    const char* connector;
    const char* option;
    const char* mark;
    if (imageBoardIndex >= 1 && imageBoardIndex <= 24) {
        code = boardCatalogue[imageBoardIndex].code;
        connector = boardCatalogue[imageBoardIndex].connector;
        option = optionName(imagePreparation);
        mark = resMark(imagePreparation);
    } else {
        // Unknown boards: the first six lines name the 14-pin board, later ones nothing.
        code = lineNumber < 6 ? boardCatalogue[2].code : boardCatalogue[0].code;
        connector = lineNumber < 6 ? boardCatalogue[2].connector : boardCatalogue[3].connector;
        option = "UNKNOWN";
        mark = " ";
    }
    char line[128];
    std::snprintf(line, sizeof line, "%s - %s[%s] - %s  %s[Code:%02x]", chipLabel, code, connector,
                  option, mark, imagePreparation);
    ListBox1.append(line);
}

} // namespace firmware
