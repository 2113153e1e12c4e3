#include "protocol/framing.h"

#include "protocol/link_state.h"
#include "protocol/receiver.h"
#include "protocol/reporter.h"
#include "serial/port_driver.h"

#include <cstdio>

namespace protocol {
namespace {

void showResend(int attempt) {
    ui::StatusBar* bar = reporter().updaterStatusBar();
    if (!bar) return;
    char text[24];
    std::snprintf(text, sizeof text, "Resend %d", attempt);
    bar->setPanelText(1, text);
    bar->repaint();
}

} // namespace

uint8_t frameChecksum(const uint8_t* bytes, int32_t length) {
    uint8_t sum = 0;
    for (int32_t i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return static_cast<uint8_t>(0u - sum);
}

int16_t sendCommand(uint8_t* buffer, int32_t length) {
    if (length < 0) length = 0;
    buffer[length] = frameChecksum(buffer, length);
    for (int attempt = 0;; ++attempt) {
        link.ackFlag = 0;
        link.nakFlag = 0;
        serial::writePort(link.selectedPort, buffer, length + 1);
        switch (waitReply(kCommandReplyTimeoutMs)) {
        case kWaitAcknowledged:
            return kLinkOk;
        case kWaitAborted:
            return kLinkUserAbort;
        case kWaitRefused:
            showResend(attempt);
            if (attempt + 1 >= kMaxSends) return kLinkChecksumError;
            break;
        default:
            return kLinkNoResponse; // an unanswered frame is never resent
        }
    }
}

const char* linkErrorText(int16_t code) {
    switch (code) {
    case kLinkNoResponse:
        return " not Response ";
    case kLinkUserAbort:
        return " User Abort !! ";
    case kLinkChecksumError:
        return " CHK Error !! ";
    case kLinkIncompatibleBootloader:
        return " Incompatible Bootloader !! ";
    default:
        return nullptr;
    }
}

void showLinkError(int16_t code) {
    const char* text = linkErrorText(code);
    if (text) reporter().showErrorBanner(text, ui::kRed, 0);
}

} // namespace protocol
