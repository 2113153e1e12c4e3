#include "engine/plan.h"

namespace engine {

namespace {
// "R", its length, a spare byte, the 28 bytes of payload every board sends, and "K".
constexpr int64_t kBoardRecordBytes = 3 + 28 + 1;
} // namespace

std::vector<AddressRange> flashRanges(const Plan& plan) {
    std::vector<AddressRange> ranges;
    forEachFlashFrame(plan, [&](const FlashFrame& f) {
        if (f.skipped) return true;
        if (!ranges.empty() && ranges.back().end == f.first)
            ranges.back().end = f.end;
        else
            ranges.push_back({f.first, f.end});
        return true;
    });
    return ranges;
}

int64_t wireBytes(const Plan& plan) {
    constexpr int64_t kChecksumAndAnswer = 2;
    const int64_t header = plan.chip->lengthFieldBytes == 1 ? 4 : 5;
    int64_t bytes = 1 + 1 + 4 + 1; // search byte; "V", four identification bytes, "K"
    if (sendsBoardRecord(plan.board.identification.biosCode)) bytes += kBoardRecordBytes;
    if (plan.programMode) bytes += 2; // the program-mode byte and its answer
    forEachFlashFrame(plan, [&](const FlashFrame& f) {
        if (!f.skipped) bytes += header + f.count + kChecksumAndAnswer;
        return true;
    });
    bytes += header + plan.blockSize + kChecksumAndAnswer; // the fix frame
    bytes += int64_t{plan.eepromBytes} * (5 + kChecksumAndAnswer);
    return bytes;
}

double wireSeconds(const Plan& plan, uint32_t baud) {
    return static_cast<double>(wireBytes(plan) * kBitsPerByte) / baud;
}

} // namespace engine
