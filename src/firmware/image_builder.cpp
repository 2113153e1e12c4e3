#include "firmware/image_builder.h"

#include "firmware/image_source.h"

#include <algorithm>
#include <cstdio>

namespace firmware {

namespace {

std::string hex(uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(value));
    return buf;
}

DataUse useOf(chips::RegionKind kind) {
    switch (kind) {
    case chips::RegionKind::IdLocations:
        return DataUse::IdLocations;
    case chips::RegionKind::Configuration:
        return DataUse::Configuration;
    case chips::RegionKind::Eeprom:
        return DataUse::Eeprom;
    }
    return DataUse::Flash;
}

// Where the data at one address go: their use, the first address of their region and the first
// address after them where the use may change.
struct Place {
    DataUse use = DataUse::Flash;
    uint64_t regionFirst = 0;
    uint64_t end = 0;
};

// False when the chip has nothing at `address`.
bool placeOf(const chips::Chip& chip, uint64_t address, Place& place) {
    place = Place{DataUse::Flash, 0, UINT64_MAX};
    // The other regions first: they may lie inside program memory.
    for (const chips::MemoryRegion& r : chip.otherRegions) {
        const uint64_t regionEnd = uint64_t{r.first} + r.length;
        if (address >= r.first && address < regionEnd) {
            place = {useOf(r.kind), r.first, regionEnd};
            return true;
        }
        if (r.first > address) place.end = std::min<uint64_t>(place.end, r.first);
    }
    place.end = std::min<uint64_t>(place.end, chip.memoryBytes);
    return address < chip.memoryBytes;
}

std::string regionList(const chips::Chip& chip) {
    std::string text = "program memory 0x0-" + hex(chip.memoryBytes - 1);
    for (const chips::MemoryRegion& r : chip.otherRegions)
        text += std::string(", ") + chips::regionName(r.kind) + " " + hex(r.first) + "-" +
                hex(uint64_t{r.first} + r.length - 1);
    return text;
}

} // namespace

uint8_t erasedByte(chips::Family family, uint32_t index) {
    return family == chips::Family::Pic24 && index % 4 == 3 ? 0x00 : 0xFF;
}

uint8_t wireMask(const chips::Chip& chip, uint32_t index, uint8_t scrambleConstant) {
    return frameMask(frameAddressOf(chip, index), scrambleConstant);
}

void applyWireMask(std::span<uint8_t> image, const chips::Chip& chip, uint8_t scrambleConstant) {
    for (size_t i = 0; i < image.size(); ++i)
        image[i] ^= wireMask(chip, static_cast<uint32_t>(i), scrambleConstant);
}

ChipImage buildChipImage(const std::vector<HexChunk>& chunks, const chips::Chip& chip) {
    ChipImage result;
    const auto fail = [&result](int line, std::string message) {
        result = ChipImage{};
        result.errorLine = line;
        result.error = std::move(message);
        return result;
    };
    const HexFault conflict = findConflict(chunks);
    if (conflict.found()) return fail(conflict.line, conflict.message);

    // Every chunk cut where the use of its bytes changes; the first chunk in file order with
    // data where the chip has nothing is the fault.
    struct Piece {
        Place place;
        uint64_t first;
        const HexChunk* chunk;
    };
    std::vector<Piece> pieces;
    uint64_t flashLength = 0, eepromLength = 0;
    for (const HexChunk& c : chunks) {
        const uint64_t chunkEnd = uint64_t{c.address} + c.bytes.size();
        for (uint64_t at = c.address; at < chunkEnd;) {
            Place place;
            if (!placeOf(chip, at, place))
                return fail(c.line, "data at " + hex(at) + " lie outside the regions of the " +
                                        chip.part + " (" + regionList(chip) + ")");
            place.end = std::min(place.end, chunkEnd);
            pieces.push_back({place, at, &c});
            if (place.use == DataUse::Eeprom)
                eepromLength = std::max(eepromLength, place.end - place.regionFirst);
            else if (at < chip.memoryBytes)
                flashLength = std::max(flashLength, place.end);
            at = place.end;
        }
    }

    const auto floor = static_cast<uint64_t>(chips::imageFloor(chip));
    if (flashLength < floor)
        return fail(0, "the image holds " + std::to_string(flashLength) + " bytes, below the " +
                           std::to_string(floor) + " bytes an image of the " + chip.part +
                           " needs (its identity bytes)");

    result.flash.resize(static_cast<size_t>(flashLength));
    for (size_t i = 0; i < result.flash.size(); ++i)
        result.flash[i] = erasedByte(chip.family, static_cast<uint32_t>(i));
    result.eeprom.assign(static_cast<size_t>(eepromLength), 0xFF);
    for (const Piece& p : pieces) {
        const auto from =
            p.chunk->bytes.begin() + static_cast<ptrdiff_t>(p.first - p.chunk->address);
        const auto to = from + static_cast<ptrdiff_t>(p.place.end - p.first);
        if (p.place.use == DataUse::Eeprom)
            std::copy(from, to,
                      result.eeprom.begin() +
                          static_cast<ptrdiff_t>(p.first - p.place.regionFirst));
        else if (p.first < chip.memoryBytes)
            std::copy(from, to, result.flash.begin() + static_cast<ptrdiff_t>(p.first));
    }
    if (chip.family == chips::Family::Pic24) {
        // The chip has no fourth byte: it reads back 0 whatever was sent, so the image (and
        // its digest) holds 0 there.
        for (const Piece& p : pieces) {
            if (p.place.use == DataUse::Eeprom || p.first >= chip.memoryBytes) continue;
            for (uint64_t at = p.first; at < p.place.end; ++at) {
                if (at % 4 != 3 || result.flash[static_cast<size_t>(at)] == 0) continue;
                result.flash[static_cast<size_t>(at)] = 0;
                if (result.phantomLine == 0 || p.chunk->line < result.phantomLine)
                    result.phantomLine = p.chunk->line;
            }
        }
    }

    std::sort(pieces.begin(), pieces.end(),
              [](const Piece& a, const Piece& b) { return a.first < b.first; });
    for (const Piece& p : pieces) {
        if (!result.ranges.empty()) {
            DataRange& last = result.ranges.back();
            const uint64_t lastEnd = uint64_t{last.first} + last.length;
            if (last.use == p.place.use && p.first <= lastEnd) {
                last.length = static_cast<uint32_t>(std::max(lastEnd, p.place.end) - last.first);
                continue;
            }
        }
        result.ranges.push_back({p.place.use, static_cast<uint32_t>(p.first),
                                 static_cast<uint32_t>(p.place.end - p.first)});
    }
    return result;
}

} // namespace firmware
