#include "protocol/geometry.h"

#include "firmware/image_table.h"
#include "protocol/bios_label.h"
#include "protocol/link_state.h"
#include "protocol/reporter.h"

#include <cstring>

namespace protocol {

ChipGeometry chipGeometry;
SessionGeometry sessionGeometry;

namespace {

constexpr int32_t kPic18BlockSize = 64;
constexpr int32_t kPic24AddressesPerBlock = 128;
constexpr int kUpdaterDevicePanel = 2;

// Image bytes that carry the image's board index (the preparation number follows it).
constexpr int32_t kPic18IdentityByte = 14;
constexpr int32_t kPic24IdentityByte = 1024;

void setJump(const uint8_t (&bytes)[8], int32_t length) {
    std::memcpy(chipGeometry.resetJump, bytes, sizeof bytes);
    chipGeometry.resetJumpLength = length;
}

void reportImageProblem(const char* text) {
    Reporter& out = reporter();
    // In Upgrade mode the banner reaches the activity panel and the host, so a launching
    // program learns of the failure; the hidden Updater window's controls are left alone.
    out.showErrorBanner(text, ui::kRed, 0);
    if (out.upgradeMode()) return;
    if (ui::StatusBar* bar = out.updaterStatusBar())
        bar->setPanelText(kUpdaterDevicePanel, "Warning");
    refreshBiosLabel();
}

} // namespace

ChipFamily chipFamily(uint8_t chipCode) {
    switch (chipCode) {
    case 'B':
    case 'C':
    case 'D':
    case 'E':
    case 'F':
    case 199:
        return ChipFamily::Pic18;
    case 252:
    case 253:
    case 254:
        return ChipFamily::Pic24;
    default:
        return ChipFamily::Unknown;
    }
}

const char* chipStatusText(uint8_t chipCode) {
    switch (chipCode) {
    case 'B':
        return "Found 258";
    case 'C':
        return "Found 2580";
    case 'D':
        return "Found 2480";
    case 'E':
        return "Found 248";
    case 'F':
        return "Found 2320";
    case 199:
        return "Found 24j10";
    case 252:
        return "Found 33FJ64";
    case 253:
        return "Found 33FJ128";
    case 254:
        return "Found 24HJ64";
    default:
        return nullptr;
    }
}

void writeDevicePanel(ui::StatusBar& statusBar, const char* text) {
    if (link.devicePanelIndex > 0) statusBar.setPanelText(link.devicePanelIndex, text);
}

void selectGeometry(uint8_t chipCode, uint8_t biosCode) {
    const bool newBios = biosCode >= 5;
    chipGeometry.addressUnit = 1;
    chipGeometry.standardReserve = newBios ? 448 : 320;
    chipGeometry.jSeriesReserve = 1088;
    switch (chipCode) {
    case 'B':
    case 'C':
        setJump({static_cast<uint8_t>(newBios ? 0x40 : 0x80), 0xEF, 0x3F, 0xF0}, 4);
        break;
    case 'D':
    case 'E':
        setJump({static_cast<uint8_t>(newBios ? 0x40 : 0x80), 0xEF, 0x1F, 0xF0}, 4);
        break;
    case 'F':
        setJump({0x80, 0xEF, 0x0F, 0xF0}, 4);
        break;
    case 199:
        setJump({0x00, 0xEF, 0x1E, 0xF0}, 4);
        break;
    case 252:
    case 254:
        setJump({0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}, 8);
        chipGeometry.addressUnit = 2;
        break;
    case 253:
        setJump({0x00, 0x54, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00}, 8);
        chipGeometry.addressUnit = 2;
        break;
    default:
        break; // unknown chips keep the previous jump; the session stops before using it
    }
}

bool recogniseChip(uint8_t chipCode, uint8_t biosCode, ui::StatusBar& statusBar) {
    const ChipFamily family = chipFamily(chipCode);
    if (family == ChipFamily::Unknown) {
        reporter().showErrorBanner(" Error !! ", ui::kRed, 0);
        writeDevicePanel(statusBar, "Unknow Device");
        return false;
    }
    selectGeometry(chipCode, biosCode);
    const ChipGeometry& g = chipGeometry;
    SessionGeometry& s = sessionGeometry;
    s.blockSize =
        family == ChipFamily::Pic18 ? kPic18BlockSize : g.addressUnit * kPic24AddressesPerBlock;
    switch (chipCode) {
    case 'B':
    case 'C':
        s.applicationLimit = 0x8000 - g.standardReserve;
        break;
    case 'D':
    case 'E':
        s.applicationLimit = 0x4000 - g.standardReserve;
        break;
    case 'F':
        s.applicationLimit = 0x2000 - g.standardReserve;
        break;
    case 199:
        s.applicationLimit = 0x4000 - g.jSeriesReserve;
        break;
    case 253:
        s.applicationLimit = 0x15400 - s.blockSize / g.addressUnit;
        break;
    default:
        s.applicationLimit = 0xA800 - s.blockSize / g.addressUnit;
        break; // 252, 254
    }

    const int32_t flashLength = firmware::currentImage.flashLength;
    if (family == ChipFamily::Pic18) {
        // The tail beyond the application area would overwrite the bootloader: dropped.
        s.programLength = flashLength > s.applicationLimit ? s.applicationLimit : flashLength;
    } else {
        s.programLength = flashLength;
        if (flashLength > 2 * s.applicationLimit) {
            reportImageTooBig();
            return false;
        }
    }
    if (flashLength <= 1) {
        reportNoImage();
        return false;
    }
    writeDevicePanel(statusBar, chipStatusText(chipCode));
    return true;
}

ImageIdentity readImageIdentity(uint8_t chipCode) {
    int32_t at = 0;
    switch (chipFamily(chipCode)) {
    case ChipFamily::Pic18:
        at = kPic18IdentityByte;
        break;
    case ChipFamily::Pic24:
        at = kPic24IdentityByte;
        break;
    default:
        return {};
    }
    const firmware::FirmwareImage& image = firmware::currentImage;
    // An image too short to hold its identity has none (never read past its end).
    if (!image.flashData || image.flashLength < at + 2) return {};
    const uint8_t mask = firmware::scrambleMask(0);
    return {static_cast<uint8_t>(image.flashData[at] ^ mask),
            static_cast<uint8_t>(image.flashData[at + 1] ^ mask)};
}

void reportNoImage() {
    reportImageProblem(" No Hex inside !! ");
}

void reportImageTooBig() {
    reportImageProblem(" Hex too Big !! ");
}

} // namespace protocol
