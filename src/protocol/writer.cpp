#include "protocol/writer.h"

#include "firmware/image_table.h"
#include "protocol/framing.h"
#include "protocol/geometry.h"
#include "protocol/reporter.h"
#include "protocol/session.h"

#include <cstdio>
#include <cstring>

namespace protocol {

uint8_t frameBuffer[kFrameBufferSize];

namespace {

constexpr int kActivityPanel = 1;

// Puts address and length field; returns the header size (4 with a one-byte length, else 5).
int32_t putHeader(int32_t address, int32_t length, int32_t blockSize) {
    frameBuffer[0] = static_cast<uint8_t>(address >> 16);
    frameBuffer[1] = static_cast<uint8_t>(address >> 8);
    frameBuffer[2] = static_cast<uint8_t>(address);
    if (blockSize <= 255) {
        frameBuffer[3] = static_cast<uint8_t>(length);
        return 4;
    }
    frameBuffer[3] = static_cast<uint8_t>(length >> 8);
    frameBuffer[4] = static_cast<uint8_t>(length);
    return 5;
}

void writeResetJump() {
    firmware::FirmwareImage& image = firmware::currentImage;
    const uint8_t mask = firmware::scrambleMask(0);
    for (int32_t k = 0; k < chipGeometry.resetJumpLength && k < image.flashLength; ++k)
        image.flashData[k] = static_cast<uint8_t>(chipGeometry.resetJump[k] ^ mask);
}

// A frame covering the addresses [first, end) is left out when any of them lies in the board's
// protected range (start 0 means the board protects nothing).
bool overlapsProtectedRange(int32_t first, int32_t end) {
    const int32_t start = session.protectedStart;
    return start != 0 && first < start + session.protectedLength && start < end;
}

int16_t writeFlash(ui::ProgressBar& progress, ui::StatusBar& statusBar, bool upgrade) {
    const int32_t unit = chipGeometry.addressUnit;
    const int32_t blockSize = sessionGeometry.blockSize;
    const int32_t programLength = sessionGeometry.programLength;
    const uint8_t* flash = firmware::currentImage.flashData;
    int32_t header = 0;
    int32_t frameAddress = 0;
    int32_t filled = 0;
    int32_t i = 0;
    while (i < programLength) {
        if (filled == 0) {
            frameAddress = i / unit;
            if (!upgrade) {
                char text[32];
                std::snprintf(text, sizeof text, "Program %05d (%05x)",
                              static_cast<int>(frameAddress), static_cast<unsigned>(frameAddress));
                statusBar.setPanelText(kActivityPanel, text);
            }
            header = putHeader(frameAddress, blockSize, blockSize);
        }
        if (filled < blockSize) {
            frameBuffer[header + filled++] = flash[i++];
            continue;
        }
        const int32_t end = i / unit;
        progress.setPosition(end);
        if (!overlapsProtectedRange(frameAddress, end)) {
            // Every frame must be acknowledged: an unanswered one may not have been written,
            // and reporting success over it would hide corrupted firmware.
            const int16_t r = sendCommand(frameBuffer, header + blockSize);
            if (r != kLinkOk) return r;
        }
        filled = 0;
    }
    if (filled == 0) return kLinkOk;
    if (overlapsProtectedRange(frameAddress, frameAddress + (filled + unit - 1) / unit))
        return kLinkOk;
    putHeader(frameAddress, filled, blockSize); // the last frame says how much it carries
    return sendCommand(frameBuffer, header + filled);
}

int16_t writeFix(ui::StatusBar& statusBar) {
    statusBar.setPanelText(kActivityPanel, "Fix Program");
    const int32_t blockSize = sessionGeometry.blockSize;
    const int32_t limit = sessionGeometry.applicationLimit;
    const firmware::FirmwareImage& image = firmware::currentImage;
    const uint8_t mask = firmware::scrambleMask(static_cast<uint32_t>(limit));
    std::memset(frameBuffer, 0xFF ^ mask, sizeof frameBuffer);
    const int32_t header = putHeader(limit, blockSize, blockSize);
    // A fix block longer than a block is not a valid image: never write past the frame.
    int32_t fixLength = image.fixLength < 0 ? 0 : image.fixLength;
    if (fixLength > blockSize) fixLength = blockSize;
    uint8_t* fixStart = frameBuffer + header + blockSize - fixLength;
    for (int32_t k = 0; k < fixLength; ++k)
        fixStart[k] = static_cast<uint8_t>(image.fixData[k] ^ mask);
    return sendCommand(frameBuffer, header + blockSize);
}

int16_t writeEeprom(ui::ProgressBar& progress, ui::StatusBar& statusBar, bool upgrade) {
    const firmware::FirmwareImage& image = firmware::currentImage;
    if (image.eepromLength <= 0) return kLinkOk;
    // Addresses past 255 would wrap onto the first bytes: such data is not written.
    const int32_t length =
        image.eepromLength > kMaxEepromLength ? kMaxEepromLength : image.eepromLength;
    progress.setPosition(0);
    progress.setMax(length);
    for (int32_t i = 0; i < length; ++i) {
        if (!upgrade) {
            char text[24];
            std::snprintf(text, sizeof text, "Program EEP %d", static_cast<int>(i));
            statusBar.setPanelText(kActivityPanel, text);
        }
        frameBuffer[0] = kEepromCommand;
        frameBuffer[1] = static_cast<uint8_t>(i);
        frameBuffer[2] = image.eepromData[i];
        frameBuffer[3] = 0x01;
        frameBuffer[4] = 0x00;
        const int16_t r = sendCommand(frameBuffer, 5);
        if (r < 0) return r;
        progress.setPosition(i);
    }
    return kLinkOk;
}

} // namespace

int16_t writeFirmware(ui::ProgressBar& progress, ui::StatusBar& statusBar) {
    const bool upgrade = reporter().upgradeMode();
    writeResetJump();
    progress.setPosition(0);
    progress.setMax(sessionGeometry.programLength / chipGeometry.addressUnit);

    int16_t r = writeFlash(progress, statusBar, upgrade);
    if (r < 0) return r;
    r = writeFix(statusBar);
    if (r < 0) return r;
    r = writeEeprom(progress, statusBar, upgrade);
    if (r < 0) return r;
    progress.setPosition(0);
    return kLinkOk;
}

} // namespace protocol
