// Shared pieces of the protocol tests: a recording reporter, a scripted bootloader on the fake
// port, image builders and a fixture that puts the program-wide state back between tests.
#pragma once

#include "fake_port.h"
#include "fake_ui.h"
#include "firmware/image_table.h"
#include "protocol/link_state.h"
#include "protocol/reporter.h"
#include "protocol/session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

inline constexpr int16_t kPort = 4; // COM5

struct Banner {
    std::string text;
    ui::Color colour;
    int code; // -1 for a status banner
};

class FakeReporter final : public protocol::Reporter {
public:
    bool upgrade = false;
    bool updaterExists = true;
    fake::StatusBar updaterBar;
    fake::Label bios;
    fake::Label description;
    std::vector<Banner> banners;
    std::vector<std::string> buttons; // "stop" / "update" in call order
    int programOk = 0;

    void showErrorBanner(std::string_view text, ui::Color colour, uint8_t code) override {
        banners.push_back({std::string(text), colour, code});
    }
    void showStatusBanner(std::string_view text, ui::Color colour) override {
        banners.push_back({std::string(text), colour, -1});
    }
    void showStopButton() override { buttons.push_back("stop"); }
    void showUpdateButton() override { buttons.push_back("update"); }
    bool upgradeMode() const override { return upgrade; }
    ui::StatusBar* updaterStatusBar() override { return updaterExists ? &updaterBar : nullptr; }
    ui::Label* biosLabel() override { return updaterExists ? &bios : nullptr; }
    ui::Label* boardDescriptionLabel() override { return updaterExists ? &description : nullptr; }
    void showProgramOk() override { ++programOk; }

    std::string lastBanner() const { return banners.empty() ? std::string() : banners.back().text; }
};

// A bootloader answering on the fake port. Frames are the writes longer than one byte; they
// are counted from 0 as the board accepts them (or ignores them).
class ScriptedBoard {
public:
    std::vector<uint8_t> identification{'V', 10, 'B', 2, 0x81, 'K'};
    std::vector<uint8_t> afterIdentification; // e.g. a board data record
    int answerFromTry = 0;
    bool refuseSearch = false;
    bool answerProgramMode = true;
    std::map<int, int> refusals; // frame index -> "N" answers before the "K"
    std::set<int> silentFrames;
    int replyDelaySteps = 0;

    int searchBytes = 0;
    int programModeBytes = 0;
    int frameIndex = 0;
    std::vector<std::vector<uint8_t>> frames; // every frame received, resends included

    void install(int32_t port = kPort);

private:
    void onWrite(int32_t port, std::span<const uint8_t> bytes);
};

struct DecodedFrame {
    uint32_t address = 0;
    int32_t length = 0;
    std::vector<uint8_t> data;
};

// Splits a flash frame (checksum last) by its header: twoByteLength for the PIC24 family.
DecodedFrame decodeFlashFrame(const std::vector<uint8_t>& frame, bool twoByteLength);

// Plain image bytes in wire form, each XOR the mask of its frame's address.
std::vector<uint8_t> toWireForm(const std::vector<uint8_t>& plain, int32_t blockSize,
                                int32_t addressUnit);

// A test image kept alive for the table records that point into it.
struct TestImage {
    std::vector<uint8_t> plain;
    std::vector<uint8_t> flash; // wire form
    std::vector<uint8_t> fix;
    std::vector<uint8_t> eeprom;
};

// A plain PIC18 (blockSize 64, unit 1) or PIC24 (256, 2) image of `length` bytes with its
// identity bytes set, pattern elsewhere.
TestImage makeImage(bool pic24, int32_t length, uint8_t board, uint8_t preparation);
void installImage(TestImage& image, uint8_t board, uint8_t slot);
void makeCurrent(TestImage& image);

class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    FakeReporter reporter;
    fake::ProgressBar progress;
    fake::StatusBar statusBar;
};

} // namespace testing_support
