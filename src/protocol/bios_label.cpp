#include "protocol/bios_label.h"

#include "firmware/board_catalogue.h"
#include "protocol/link_state.h"
#include "protocol/receiver.h"
#include "protocol/reporter.h"
#include "protocol/session.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace protocol {
namespace {

void showPlain(ui::Label& label, std::string_view text) {
    label.setText(text);
    label.setVisible(true);
    label.setColor(ui::kButtonFace);
    label.setFontColor(ui::kBlack);
    label.repaint();
}

} // namespace

void refreshBiosLabel() {
    Reporter& out = reporter();
    ui::Label* bios = out.biosLabel();
    if (!bios) return;

    const Identification& id = link.identification;
    // An older bootloader tells no board: show the one the image was made for.
    const bool full = link.fullIdentification == 1;
    const uint8_t board = full ? id.boardIndex : session.imageBoardIndex;
    const uint8_t preparation = full ? id.preparation : session.imagePreparation;
    char text[64];
    std::snprintf(text, sizeof text, "BIOS:%02x - %s - Preparation%02x", id.biosCode,
                  firmware::boardName(board), preparation);
    showPlain(*bios, text);

    ui::Label* description = out.boardDescriptionLabel();
    if (!description) return;
    if (sendsBoardRecord(id.biosCode)) {
        // Erased memory on the board reads 0xFF: shown as no description.
        if (static_cast<uint8_t>(link.boardDescription[0]) == 0xFF) link.boardDescription[0] = '\0';
        const void* end = std::memchr(link.boardDescription, 0, kBoardDescriptionLength);
        const size_t length =
            end ? static_cast<size_t>(static_cast<const char*>(end) - link.boardDescription)
                : kBoardDescriptionLength;
        showPlain(*description, std::string_view(link.boardDescription, length));
    } else {
        description->setVisible(false);
    }
}

} // namespace protocol
