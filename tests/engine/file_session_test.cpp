// A session that writes a firmware file instead of a built-in image, to board-sim's bootloader:
// the board receives the file's bytes, the file's own reset vector in the fix frame and the
// file's EEPROM data.
#include "engine_fixture.h"
#include "firmware/file_images.h"
#include "hex_records.h"

namespace {

using namespace enginetest;
using namespace hextest;

constexpr uint8_t kFix[4] = {0xF1, 0xF2, 0xF3, 0xF4};
const firmware::ImagePosition kPositions[] = {{0, 1, {kFix, 4, kFix, 4, kFix, 0}}};
const firmware::Product kProduct{"TEST", "", "", firmware::ImageTable(kPositions, kScramble)};

std::vector<uint8_t> program() {
    std::vector<uint8_t> bytes(0x50);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7);
    bytes[14] = 5; // made for board 5, preparation 4
    bytes[15] = 4;
    return bytes;
}

std::string file() {
    const std::vector<uint8_t> bytes = program();
    return upper(0) + rec(0, 0, {bytes.begin(), bytes.begin() + 0x30}) +
           rec(0x30, 0, {bytes.begin() + 0x30, bytes.end()}) + rec(0x7FFE, 0, {1, 2}) +
           upper(0x30) + rec(1, 0, {0x22}) + upper(0xF0) + rec(0, 0, {0x11, 0x22, 0x33}) + kEof;
}

TEST(FileSession, BoardReceivesTheFilesBytesFixBlockAndEeprom) {
    const firmware::FileImages files("app.hex", file(), kProduct);
    ASSERT_TRUE(files.ok()) << files.error();
    boardsim::Config board; // a PIC18F2580 on board 5, preparation 4
    board.chip = 'C';
    board.board = 5;
    board.preparation = 4;
    boardsim::SimulatedPort port(board, "COM1");
    ASSERT_FALSE(port.open("COM1"));
    Recorder recorder;
    VirtualWait wait;
    engine::Session session(port, files, engine::SessionOptions::updater(), wait, recorder);
    ASSERT_TRUE(session.run().ok());

    std::vector<uint8_t> expected = program();
    expected.resize(128, 0xFF);
    const uint8_t jump[] = {0x40, 0xEF, 0x3F, 0xF0}; // to 0x7E80, over the file's own reset
    std::copy(std::begin(jump), std::end(jump), expected.begin());
    // Erased frames up to the application limit, where the fix frame goes; the file's data
    // beyond it are not written.
    const auto frames = flashFrames(port.board());
    ASSERT_EQ(frames.size(), 0x7E40u / 64 + 1);
    EXPECT_EQ(frames[0].data, std::vector<uint8_t>(expected.begin(), expected.begin() + 64));
    EXPECT_EQ(frames[1].data, std::vector<uint8_t>(expected.begin() + 64, expected.end()));
    EXPECT_EQ(frames[504].data, std::vector<uint8_t>(64, 0xFF));
    EXPECT_EQ(frames[505].address, 0x7E40u);
    // The application starts from the fix frame: the file's reset vector, not the product's.
    const std::vector<uint8_t> given = program();
    EXPECT_EQ(std::vector<uint8_t>(frames[505].data.end() - 4, frames[505].data.end()),
              std::vector<uint8_t>(given.begin(), given.begin() + 4));

    std::vector<uint8_t> eeprom;
    for (const ReceivedFrame& f : receivedFrames(port.board()))
        if (f.kind == "eeprom") eeprom.push_back(f.data.at(0));
    EXPECT_EQ(eeprom, (std::vector<uint8_t>{0x11, 0x22, 0x33}));
}

} // namespace
