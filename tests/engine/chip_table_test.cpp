// What a session does with each chip: where the application ends (the fix frame's address)
// and which jump keeps the chip starting in its bootloader (the first frame's first bytes).
#include "engine_fixture.h"

namespace {

using namespace enginetest;

class ChipTableTest : public EngineTest {};

TEST_F(ChipTableTest, ApplicationLimitAndResetJumpByChipAndBiosCode) {
    struct Case {
        uint8_t chip, bios;
        uint32_t limit;
        std::vector<uint8_t> jump;
        const char* status;
    };
    const Case cases[] = {
        {'B', 4, 0x7EC0, {0x80, 0xEF, 0x3F, 0xF0}, "Found 258"},
        {'B', 5, 0x7E40, {0x40, 0xEF, 0x3F, 0xF0}, "Found 258"},
        {'C', 0, 0x7EC0, {0x80, 0xEF, 0x3F, 0xF0}, "Found 2580"},
        {'D', 4, 0x3EC0, {0x80, 0xEF, 0x1F, 0xF0}, "Found 2480"},
        {'E', 5, 0x3E40, {0x40, 0xEF, 0x1F, 0xF0}, "Found 248"},
        {'F', 4, 0x1EC0, {0x80, 0xEF, 0x0F, 0xF0}, "Found 2320"},
        {'F', 5, 0x1E40, {0x80, 0xEF, 0x0F, 0xF0}, "Found 2320"}, // still jumps to 0x1F00
        {199, 4, 0x3BC0, {0x00, 0xEF, 0x1E, 0xF0}, "Found 24j10"},
        {199, 10, 0x3BC0, {0x00, 0xEF, 0x1E, 0xF0}, "Found 24j10"},
        {252, 10, 0xA780, {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}, "Found 33FJ64"},
        {253, 10, 0x15380, {0x00, 0x54, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00}, "Found 33FJ128"},
        {254, 4, 0xA780, {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}, "Found 24HJ64"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.chip) << " BIOS " << int(c.bios));
        board.chip = c.chip;
        board.bios = c.bios;
        board.sendRecord = false;
        clearImages();
        addImage(0, chips::slotOfCode(c.chip), makeImage(c.chip, 1100, 0, 0));
        ASSERT_TRUE(run().ok());
        const auto frames = flashFrames(port().board());
        ASSERT_GE(frames.size(), 2u);
        EXPECT_EQ(frames.back().address, c.limit);
        EXPECT_EQ(std::vector<uint8_t>(frames[0].data.begin(),
                                       frames[0].data.begin() + static_cast<long>(c.jump.size())),
                  c.jump);
        EXPECT_TRUE(recorder.has(std::string("chip ") + c.status));
    }
}

// The jump's target decoded from its instruction encoding.
uint32_t jumpTarget(const chips::Chip& chip, const chips::ResetJump& jump) {
    const uint8_t* b = jump.bytes;
    if (chip.family == chips::Family::Pic18) {
        // GOTO k: 0xEF00 | k[7:0], then 0xF000 | k[19:8], low bytes first; k is half the target.
        EXPECT_EQ(b[1], 0xEF);
        EXPECT_EQ(b[3] & 0xF0, 0xF0);
        const uint32_t k =
            b[0] | (uint32_t{b[2]} << 8) | (static_cast<uint32_t>(b[3] & 0x0F) << 16);
        return 2 * k;
    }
    // GOTO: opcode 0x04 with target bits 15..0, then target bits 22..16.
    EXPECT_EQ(b[2], 0x04);
    return b[0] | (uint32_t{b[1]} << 8) | (static_cast<uint32_t>(b[4] & 0x7F) << 16);
}

TEST(ChipTable, EveryJumpGoesToTheBootloaderRightAboveTheApplication) {
    for (const chips::Chip& chip : chips::allChips()) {
        for (uint8_t bios : {0, 4, 5, 10}) {
            SCOPED_TRACE(testing::Message() << chip.part << " BIOS " << int(bios));
            const chips::ResetJump& jump = chips::resetJump(chip, bios);
            ASSERT_EQ(jump.length, chip.family == chips::Family::Pic18 ? 4 : 8);
            // One frame above the limit, in addresses; for the PIC18F2320 only while its
            // bootloader reserves the smaller area.
            const uint32_t entry = static_cast<uint32_t>(chips::applicationLimit(chip, bios) +
                                                         chip.blockSize / chip.addressUnit);
            if (chip.code == 'F' && bios >= 5) {
                EXPECT_EQ(jumpTarget(chip, jump), 0x1F00u);
                continue;
            }
            EXPECT_EQ(jumpTarget(chip, jump), entry);
        }
    }
}

TEST(ChipTable, SlotsAndCodesAgree) {
    for (const chips::Chip& chip : chips::allChips()) {
        SCOPED_TRACE(chip.part);
        EXPECT_EQ(chips::chipByCode(chip.code), &chip) << "one row per chip code";
        if (chip.imageSlot == chips::kNoSlot) {
            EXPECT_EQ(chips::slotOfCode(chip.code), 0);
            continue;
        }
        EXPECT_EQ(chips::chipOfSlot(chip.imageSlot), &chip) << "one chip per slot";
        EXPECT_EQ(chips::slotOfCode(chip.code), chip.imageSlot);
        // The image identity bytes lie outside the reset jump, in a frame whose address has a
        // low byte of 0: they are read with the mask of address 0.
        EXPECT_GE(chip.identityOffset, 8);
        const int32_t frame = chip.identityOffset / chip.blockSize * chip.blockSize;
        EXPECT_EQ((frame / chip.addressUnit) & 0xFF, 0);
        EXPECT_EQ((chip.identityOffset + 1) / chip.blockSize * chip.blockSize, frame);
    }
    EXPECT_EQ(chips::slotOfCode('A'), 0);
    EXPECT_EQ(chips::chipOfSlot(8), nullptr);
}

} // namespace
