// Shared pieces of the engine tests: test images and their table, an observer that records
// what a session reported, and a fixture that runs a session against board-sim's bootloader
// as an in-process port, with a virtual clock.
#pragma once

#include "chips/chip_table.h"
#include "engine/session.h"
#include "firmware/image_table.h"
#include "simulated_port.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace enginetest {

inline constexpr uint8_t kScramble = 0x3C;

inline uint8_t maskOf(uint32_t address) {
    return firmware::frameMask(address, kScramble);
}

// An image of `length` bytes for the chip, its identity bytes set, a pattern elsewhere, held
// in plain form and in the wire form the program carries.
struct TestImage {
    std::vector<uint8_t> plain;
    std::vector<uint8_t> flash;
    std::vector<uint8_t> fix{0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8};
    std::vector<uint8_t> eeprom;
};
TestImage makeImage(uint8_t chipCode, int32_t length, uint8_t board, uint8_t preparation);

// Everything a session told its observer, one short text per event ("try 3", "frame 00040",
// "resend 0", "end  Program Ok "), and the progress positions apart.
class Recorder final : public engine::SessionObserver {
public:
    std::vector<std::string> events;
    std::vector<int32_t> positions;
    std::vector<int32_t> replyUs;
    engine::BoardFound board;

    void searchStarted() override { events.push_back("search"); }
    void searchTry(int attempt) override { events.push_back("try " + std::to_string(attempt)); }
    void searchEnded() override { events.push_back("search ended"); }
    void sessionStarted() override { events.push_back("session"); }
    void boardFound(const engine::BoardFound& found) override {
        board = found;
        events.push_back("board");
    }
    void chipNamed(const chips::Chip& chip) override {
        events.push_back(std::string("chip ") + chip.statusText);
    }
    void imageIdentified(const firmware::ImageIdentity& image) override;
    void imageLoaded(const engine::LoadedImage& image) override;
    void programModeEntry() override { events.push_back("program mode"); }
    void programmingStarted() override { events.push_back("programming"); }
    void flashStarted(int32_t maximum) override;
    void frameStarted(int32_t address) override;
    void progress(int32_t position) override { positions.push_back(position); }
    void resend(int attempt) override { events.push_back("resend " + std::to_string(attempt)); }
    void replyTimed(int32_t microseconds) override { replyUs.push_back(microseconds); }
    void fixFrame() override { events.push_back("fix"); }
    void eepromStarted(int32_t length) override;
    void eepromByte(int32_t index) override { events.push_back("eeprom " + std::to_string(index)); }
    void writeEnded() override { events.push_back("write ended"); }
    void finished(const engine::Result& result) override {
        events.push_back("end " + std::string(result.text()));
    }

    int count(const std::string& prefix) const;
    bool has(const std::string& event) const;
};

// On the simulated port, a blocking wait passes virtual time.
using VirtualWait = engine::BlockingWait;

// A flash or EEPROM frame as board-sim received and acknowledged it (or refused, or left
// unanswered), from its record of the line; data unmasked for flash frames.
struct ReceivedFrame {
    std::string kind; // "flash", "eeprom", "refused flash", "silent flash", ...
    uint32_t address = 0;
    std::vector<uint8_t> data;
};
std::vector<ReceivedFrame> receivedFrames(const boardsim::Bootloader& board);
std::vector<ReceivedFrame> flashFrames(const boardsim::Bootloader& board); // acknowledged only

class EngineTest : public ::testing::Test {
protected:
    // The board; by default a PIC24HJ64 with BIOS 10 on board 2, preparation 0x81, that sends
    // a board data record.
    boardsim::Config board = defaultBoard();
    static boardsim::Config defaultBoard();

    // Adds an image at (board index, chip's slot); returns it.
    TestImage& addImage(uint8_t boardIndex, int slot, TestImage image);
    void clearImages();

    // Runs one session against a fresh simulated board built from `board`.
    engine::Result run(engine::SessionOptions options = engine::SessionOptions::updater());
    // The session and port of the last run, for tests that act while it runs.
    engine::Session& session() { return *session_; }
    boardsim::SimulatedPort& port() { return *port_; }
    // Prepares the port and session without running them.
    void prepare(engine::SessionOptions options = engine::SessionOptions::updater());

    Recorder recorder;

private:
    std::deque<TestImage> images_;
    std::vector<firmware::ImagePosition> positions_;
    std::unique_ptr<firmware::ImageTable> table_;
    std::unique_ptr<boardsim::SimulatedPort> port_;
    VirtualWait wait_;
    std::unique_ptr<engine::Session> session_;
};

} // namespace enginetest
