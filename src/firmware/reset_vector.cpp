#include "firmware/reset_vector.h"

#include <cstdio>

namespace firmware {

int32_t resetVectorLength(const chips::Chip& chip) {
    // Both of a chip's jumps cover the same bytes: they differ only in their target.
    return chip.jumpFromBios5.length;
}

std::optional<std::vector<uint8_t>> resetVectorOf(const ChipImage& image, const chips::Chip& chip) {
    const auto length = static_cast<uint32_t>(resetVectorLength(chip));
    if (image.flash.size() < length) return std::nullopt;
    for (uint32_t i = 0; i < length; ++i) {
        if (chip.family == chips::Family::Pic24 && i % 4 == 3) continue;
        bool given = false;
        for (const DataRange& r : image.ranges)
            given = given || (r.use == DataUse::Flash && i >= r.first && i - r.first < r.length);
        if (!given) return std::nullopt;
    }
    return std::vector<uint8_t>(image.flash.begin(), image.flash.begin() + length);
}

std::optional<uint32_t> jumpTarget(std::span<const uint8_t> v, chips::Family family) {
    if (family == chips::Family::Pic18) {
        // GOTO k: 0xEF00 | k[7:0], then 0xF000 | k[19:8], each word low byte first; k is the
        // target's byte address / 2.
        if (v.size() < 4 || v[1] != 0xEF || (v[3] & 0xF0) != 0xF0) return std::nullopt;
        const uint32_t k = v[0] | uint32_t{v[2]} << 8 | uint32_t{v[3] & 0x0Fu} << 16;
        return k * 2;
    }
    // GOTO: 0x04 and target bits 15..0 (bit 0 clear), then target bits 22..16 in the second
    // instruction, whose upper bits are 0; each instruction low, middle, high, phantom byte.
    if (v.size() < 8 || v[2] != 0x04 || (v[0] & 1) != 0 || v[6] != 0x00 || (v[4] & 0x80) != 0 ||
        v[5] != 0x00)
        return std::nullopt;
    return v[0] | uint32_t{v[1]} << 8 | uint32_t{v[4]} << 16;
}

std::string describeResetVector(std::span<const uint8_t> vector, chips::Family family) {
    char text[64];
    if (const std::optional<uint32_t> target = jumpTarget(vector, family)) {
        std::snprintf(text, sizeof text, "GOTO 0x%04X", static_cast<unsigned>(*target));
        return text;
    }
    std::string bytes;
    for (uint8_t b : vector) {
        std::snprintf(text, sizeof text, "%s%02X", bytes.empty() ? "" : " ", b);
        bytes += text;
    }
    return bytes + ", no GOTO";
}

} // namespace firmware
