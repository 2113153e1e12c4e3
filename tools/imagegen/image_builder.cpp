#include "image_builder.h"

#include <algorithm>
#include <cstdio>

namespace imagegen {

namespace {

std::string hex(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", value);
    return buf;
}

} // namespace

bool slotInfo(int slot, SlotInfo& info) {
    const chips::Chip* chip = chips::chipOfSlot(slot);
    if (chip == nullptr) return false;
    info = {chip->family, chip->part, chip->memoryBytes};
    return true;
}

uint32_t floorOf(Family family) {
    return family == Family::Pic18 ? kPic18Floor : kPic24Floor;
}
int blockOf(Family family) {
    return family == Family::Pic18 ? kPic18Block : kPic24Block;
}
int addressUnitOf(Family family) {
    return family == Family::Pic18 ? 1 : 2;
}

uint8_t erasedByte(Family family, uint32_t index) {
    return family == Family::Pic24 && index % 4 == 3 ? 0x00 : 0xFF;
}

ImageResult buildFlatImage(const std::vector<HexChunk>& chunks, const SlotInfo& slot) {
    ImageResult result;
    const uint32_t ceiling =
        slot.family == Family::Pic18 ? kPic18ProgramCeiling : kPic24ProgramCeiling;

    // Program-memory chunks, ordered by address (and by line for equal addresses).
    std::vector<const HexChunk*> program;
    for (const HexChunk& c : chunks)
        if (c.address < ceiling) program.push_back(&c);
    std::sort(program.begin(), program.end(), [](const HexChunk* a, const HexChunk* b) {
        return a->address != b->address ? a->address < b->address : a->line < b->line;
    });

    uint64_t length = 0;
    const HexChunk* reach = nullptr; // the chunk that ends furthest so far
    for (const HexChunk* c : program) {
        const uint64_t end = uint64_t{c->address} + c->bytes.size();
        if (end > ceiling || end > slot.memoryBytes) {
            result.errorLine = c->line;
            result.error = "data up to " + hex(static_cast<uint32_t>(end - 1)) +
                           " lie beyond the program memory of the " + slot.chip + " (" +
                           hex(slot.memoryBytes) + " bytes)";
            return result;
        }
        if (reach && c->address < uint64_t{reach->address} + reach->bytes.size()) {
            const HexChunk* later = c->line >= reach->line ? c : reach;
            const HexChunk* earlier = later == c ? reach : c;
            result.errorLine = later->line;
            result.error = "overlapping data at " + hex(c->address) + " (also written at line " +
                           std::to_string(earlier->line) + ")";
            return result;
        }
        if (!reach || end > uint64_t{reach->address} + reach->bytes.size()) reach = c;
        length = std::max(length, end);
    }

    const uint32_t floor = floorOf(slot.family);
    if (length < floor) {
        result.error = "the image holds " + std::to_string(length) + " bytes, below the " +
                       std::to_string(floor) + " bytes an image of the " + slot.chip +
                       " needs (its identity bytes)";
        return result;
    }

    result.bytes.resize(static_cast<size_t>(length));
    for (uint32_t i = 0; i < length; ++i)
        result.bytes[i] = erasedByte(slot.family, i);
    for (const HexChunk* c : program)
        std::copy(c->bytes.begin(), c->bytes.end(), result.bytes.begin() + c->address);
    return result;
}

uint8_t wireMask(Family family, uint32_t index, uint8_t scrambleConstant) {
    const uint32_t block = static_cast<uint32_t>(blockOf(family));
    const uint32_t frameAddress = index / block * block / addressUnitOf(family);
    return static_cast<uint8_t>((frameAddress & 0xFF) + scrambleConstant);
}

void applyWireMask(std::vector<uint8_t>& image, Family family, uint8_t scrambleConstant) {
    for (size_t i = 0; i < image.size(); ++i)
        image[i] ^= wireMask(family, static_cast<uint32_t>(i), scrambleConstant);
}

} // namespace imagegen
