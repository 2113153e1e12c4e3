#include "protocol/session.h"

#include "firmware/board_catalogue.h"
#include "firmware/image_table.h"
#include "protocol/bios_label.h"
#include "protocol/framing.h"
#include "protocol/geometry.h"
#include "protocol/receiver.h"
#include "protocol/reporter.h"
#include "protocol/writer.h"
#include "serial/port_driver.h"

#include <cstdio>

namespace protocol {

SessionValues session;

namespace {

constexpr int kActivityPanel = 1;
constexpr int kImagePanel = 3;
constexpr uint8_t kOldestBiosRefused = 33;
constexpr uint8_t kFirstBiosWithProgramMode = 5;
constexpr uint8_t kOlderBootloaderBoard = 2;

bool preparationAccepted(uint8_t p, uint8_t q) {
    if (p == q) return true;
    if (p == 3 && (q & 0x80)) return true;
    if ((p & 0x80) && (q & 0x80)) return true;
    if ((p & 0x10) && !(q & 0x10)) return false;
    const int option = q & 0x6F;
    switch (p & 0x0F) {
    case 1:
        return option == 1 || option == 4;
    case 2:
        return option == 1 || option == 2 || option == 4;
    case 5:
        return option == 4 || option == 5;
    default:
        return option == (p & 0x0F);
    }
}

void waitForBoardRecord() {
    // The record comes unasked; a bootloader that never sends it is programmed all the same.
    for (int step = 0; step < kBoardRecordWaitSteps && link.recordComplete != 1; ++step) {
        receiveReply();
        serial::pauseWithEvents(5);
    }
}

} // namespace

void resetSessionValues() {
    session = SessionValues{};
}

bool checkCompatibility(const Identification& identification, uint8_t fullIdentification,
                        uint8_t imageBoardIndex, uint8_t imagePreparation) {
    if (imageBoardIndex == 0 || imageBoardIndex == 255 || fullIdentification == 0) return true;
    if (identification.boardIndex != imageBoardIndex) return false;
    return preparationAccepted(identification.preparation, imagePreparation);
}

void runProgrammingSession(ui::ProgressBar& progress, ui::StatusBar& statusBar) {
    Reporter& out = reporter();
    progress.setPosition(0);
    progress.setSmooth(false);

    Identification& id = link.identification;
    if (id.biosCode >= kOldestBiosRefused) {
        showLinkError(kLinkIncompatibleBootloader);
        return;
    }
    if (sendsBoardRecord(id.biosCode)) waitForBoardRecord();
    if (link.fullIdentification == 0) id.boardIndex = kOlderBootloaderBoard;

    firmware::selectImage(id.chipCode, id.boardIndex);
    if (!recogniseChip(id.chipCode, id.biosCode, statusBar)) return;

    const ImageIdentity image = readImageIdentity(id.chipCode);
    session.imageBoardIndex = image.boardIndex;
    session.imagePreparation = image.preparation;
    if (chipFamily(id.chipCode) == ChipFamily::Pic24 && sendsBoardRecord(id.biosCode)) {
        session.protectedStart = link.protectedRangeStart;
        session.protectedLength = link.protectedRangeLength;
    } else {
        session.protectedStart = 0;
        session.protectedLength = 0;
    }
    refreshBiosLabel();

    if (!checkCompatibility(id, link.fullIdentification, image.boardIndex, image.preparation)) {
        char text[48];
        std::snprintf(text, sizeof text, "%s - Preparation%x",
                      firmware::boardName(image.boardIndex), image.preparation);
        out.showErrorBanner(text, ui::kRed, 0);
        writeDevicePanel(statusBar, "Warning!!");
        statusBar.setPanelText(kImagePanel, "not suitable apparatus");
        return;
    }

    const int32_t unit = chipGeometry.addressUnit;
    if (!out.upgradeMode()) {
        char text[64];
        std::snprintf(text, sizeof text, "Loaded %d bytes (%04X to %04X)",
                      static_cast<int>(firmware::currentImage.flashLength / unit), 0u,
                      static_cast<unsigned>(sessionGeometry.programLength / unit));
        statusBar.setPanelText(kImagePanel, text);
    }

    if (link.fullIdentification == 1 && id.biosCode >= kFirstBiosWithProgramMode) {
        statusBar.setPanelText(kActivityPanel, "Entry in PrgMode");
        link.ackFlag = 0;
        link.nakFlag = 0;
        const uint8_t command = kProgramModeByte;
        serial::writePort(link.selectedPort, &command, 1);
        // The answer itself does not matter, but a Stop pressed now must not be lost: nothing
        // has been written yet, so this is the safest moment to give up.
        if (waitReply(kProgramModeTimeoutMs) == kWaitAborted) {
            showLinkError(kLinkUserAbort);
            return;
        }
    }

    out.showStatusBanner(" Programming... ", ui::kButtonFace);
    const int16_t result = writeFirmware(progress, statusBar);
    if (result < 0) {
        showLinkError(result);
        return;
    }
    out.showProgramOk();
}

} // namespace protocol
