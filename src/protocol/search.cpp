#include "protocol/search.h"

#include "protocol/framing.h"
#include "protocol/link_state.h"
#include "protocol/receiver.h"
#include "protocol/reporter.h"
#include "protocol/session.h"
#include "serial/port_driver.h"

#include <cstdio>
#include <cstring>

namespace protocol {
namespace {

constexpr int kPortPanel = 0;
constexpr int kActivityPanel = 1;

void resetReceiver() {
    link.receiverState = 0;
    std::memset(link.boardDescription, 0, sizeof link.boardDescription);
    link.protectedRangeStart = 0;
    link.protectedRangeLength = 0;
    session.protectedStart = 0;
    session.protectedLength = 0;
    clearIdentification();
}

} // namespace

void reopenSelectedPort() {
    const int16_t selected = link.selectedPort;
    const bool changed = link.openedPort != selected;
    // The same choice is left alone only while its port really is open: a port that failed or
    // went away is tried again, so plugging the adapter in late does not need another choice.
    if (!changed && serial::portStatus(selected) >= 0) return;
    // Release the port of the earlier choice so other programs can use it.
    if (changed && link.openedPort >= 0) serial::closePort(link.openedPort);
    link.openedPort = selected;
    serial::closePort(selected);
    serial::openPort(selected, serial::baudRateSetting, serial::kNoParity, serial::kTwoStopBits, 8);
    serial::dropModemLines(selected);
    if (serial::portStatus(selected) < 0)
        reporter().showErrorBanner("Invalid Port Com", ui::kRed, 0);
}

void showPortPanel(ui::StatusBar& statusBar) {
    char text[16];
    if (link.selectedPort < 0)
        std::snprintf(text, sizeof text, "-----");
    else
        std::snprintf(text, sizeof text, "COM%d", link.selectedPort + 1);
    statusBar.setPanelText(kPortPanel, text);
}

int16_t searchDevice(ui::ProgressBar& progress, ui::StatusBar& statusBar) {
    reopenSelectedPort();
    showPortPanel(statusBar);
    Reporter& out = reporter();
    out.showStopButton();
    progress.setPosition(0);
    progress.setSmooth(true);
    if (serial::portStatus(link.selectedPort) < 0) {
        out.showUpdateButton();
        return kSearchPortUnusable;
    }

    resetReceiver();
    const bool upgrade = out.upgradeMode();
    const uint8_t searchByte = upgrade ? kUpgradeSearchByte : kSearchByte;
    progress.setMax(kSearchTries);

    bool found = false;
    for (int attempt = 0; attempt < kSearchTries && !found; ++attempt) {
        serial::drainPort(link.selectedPort);
        clearIdentification();
        if (upgrade) {
            progress.setPosition(kSearchTries - attempt);
            statusBar.setPanelText(kActivityPanel, "Search Device");
        } else {
            char text[16];
            std::snprintf(text, sizeof text, "Try %d", attempt);
            statusBar.setPanelText(kActivityPanel, text);
        }
        link.ackFlag = 0;
        link.nakFlag = 0;
        serial::writePort(link.selectedPort, &searchByte, 1);
        const int16_t r = waitReply(kSearchReplyTimeoutMs);
        if (r == kWaitAborted) {
            showLinkError(kLinkUserAbort);
            progress.setPosition(0);
            return kSearchAborted;
        }
        // A refusal of the search byte is no answer: only an acknowledgement ends the search.
        found = r == kWaitAcknowledged;
    }
    progress.setPosition(0);
    if (!found) {
        statusBar.setPanelText(kActivityPanel, "Device not Found");
        out.showUpdateButton();
        return kSearchNotFound;
    }
    return kSearchFound;
}

} // namespace protocol
