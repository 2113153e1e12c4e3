// The HEX reader on arbitrary text, and the image builder on what the reader accepts.
//
// Checked: a result is either chunks or an error, never both; every chunk is one record's data
// and sits inside 32-bit addresses; each data byte lands where its record says; what was read,
// written out again as plain records, reads back as the same bytes at the same addresses; a flat
// image built from it holds every program byte where its chunk says, erased bytes elsewhere, and
// stays within the chip's memory.
#include "hex_reader.h"
#include "image_builder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void appendRecord(std::string& out, uint8_t type, uint16_t offset, const uint8_t* data,
                  size_t count) {
    char buf[16];
    unsigned sum = static_cast<unsigned>(count) + (offset >> 8) + (offset & 0xFF) + type;
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(count), offset, type);
    out += buf;
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", data[i]);
        out += buf;
        sum += data[i];
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    out += buf;
}

// Chunks back to HEX text, with extended linear addresses only.
std::string writeHex(const std::vector<imagegen::HexChunk>& chunks) {
    std::string out;
    for (const imagegen::HexChunk& c : chunks) {
        size_t done = 0;
        while (done < c.bytes.size()) {
            const uint32_t address = c.address + static_cast<uint32_t>(done);
            const uint8_t upper[2] = {static_cast<uint8_t>(address >> 24),
                                      static_cast<uint8_t>(address >> 16)};
            appendRecord(out, 0x04, 0, upper, 2);
            const size_t room = 0x10000 - (address & 0xFFFF);
            const size_t count = std::min({c.bytes.size() - done, room, size_t{255}});
            appendRecord(out, 0x00, static_cast<uint16_t>(address), c.bytes.data() + done, count);
            done += count;
        }
    }
    appendRecord(out, 0x01, 0, nullptr, 0);
    return out;
}

std::vector<std::pair<uint32_t, uint8_t>> flatten(const std::vector<imagegen::HexChunk>& chunks) {
    std::vector<std::pair<uint32_t, uint8_t>> out;
    for (const imagegen::HexChunk& c : chunks)
        for (size_t i = 0; i < c.bytes.size(); ++i)
            out.emplace_back(c.address + static_cast<uint32_t>(i), c.bytes[i]);
    return out;
}

// Where the data records of an accepted file put each byte, worked out independently: every
// byte of a record sits at base + (offset + i) mod 64 KiB.
std::vector<std::pair<uint32_t, uint8_t>> expectedBytes(std::string_view text) {
    std::vector<std::pair<uint32_t, uint8_t>> out;
    uint32_t base = 0;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const size_t last = line.find_last_not_of("\r \t");
        if (last == std::string_view::npos) continue;
        line = line.substr(1, last); // an accepted record starts with ':'
        std::vector<uint8_t> r;
        for (size_t i = 0; i + 1 < line.size(); i += 2)
            r.push_back(
                static_cast<uint8_t>(std::stoul(std::string(line.substr(i, 2)), nullptr, 16)));
        const uint32_t offset = uint32_t{r[1]} << 8 | r[2];
        if (r[3] == 0x00)
            for (uint32_t i = 0; i < r[0]; ++i)
                out.emplace_back(base + ((offset + i) & 0xFFFF), r[4 + i]);
        if (r[3] == 0x02) base = (uint32_t{r[4]} << 8 | r[5]) << 4;
        if (r[3] == 0x04) base = (uint32_t{r[4]} << 8 | r[5]) << 16;
    }
    return out;
}

void checkImage(const std::vector<imagegen::HexChunk>& chunks, int slot) {
    imagegen::SlotInfo info{};
    check(imagegen::slotInfo(slot, info), "slots 0..7 hold a chip");
    imagegen::ImageResult image = imagegen::buildFlatImage(chunks, info);
    if (!image.ok()) {
        check(image.bytes.empty(), "an image with an error still has bytes");
        return;
    }
    check(image.bytes.size() >= imagegen::floorOf(info.family), "image below the floor");
    check(image.bytes.size() <= info.memoryBytes, "image beyond the chip's memory");

    const uint32_t ceiling = info.family == imagegen::Family::Pic18
                                 ? imagegen::kPic18ProgramCeiling
                                 : imagegen::kPic24ProgramCeiling;
    std::vector<uint8_t> written(image.bytes.size(), 0);
    for (const imagegen::HexChunk& c : chunks) {
        if (c.address >= ceiling) continue;
        check(c.address + c.bytes.size() <= image.bytes.size(), "program chunk outside the image");
        for (size_t i = 0; i < c.bytes.size(); ++i) {
            check(written[c.address + i]++ == 0, "overlapping data accepted");
            check(image.bytes[c.address + i] == c.bytes[i], "data byte not where its chunk says");
        }
    }
    for (size_t i = 0; i < image.bytes.size(); ++i)
        if (!written[i])
            check(image.bytes[i] == imagegen::erasedByte(info.family, static_cast<uint32_t>(i)),
                  "a gap is not erased");

    const std::vector<uint8_t> plain = image.bytes;
    imagegen::applyWireMask(image.bytes, info.family, 0x5A);
    imagegen::applyWireMask(image.bytes, info.family, 0x5A);
    check(image.bytes == plain, "the wire mask applied twice is not the identity");
}

} // namespace

// Random bytes rarely make a record whose length and checksum agree with its digits: this copy
// has them set right on every line that is otherwise a well-formed record, so the checks below
// reach the record types and addresses.
std::string withRecordsRepaired(std::string_view text) {
    std::string out(text);
    size_t pos = 0;
    while (pos < out.size()) {
        const size_t end = std::min(out.find('\n', pos), out.size());
        size_t last = end;
        while (last > pos &&
               (out[last - 1] == '\r' || out[last - 1] == ' ' || out[last - 1] == '\t'))
            --last;
        const size_t digits = last > pos ? last - pos - 1 : 0;
        const bool hexOnly =
            digits > 0 && out.find_first_not_of("0123456789ABCDEFabcdef", pos + 1) >= last;
        if (out[pos] == ':' && hexOnly && digits % 2 == 0 && digits >= 10 && digits <= 520) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(digits / 2 - 5));
            out.replace(pos + 1, 2, buf);
            unsigned sum = 0;
            for (size_t i = pos + 1; i + 2 < last; i += 2)
                sum += static_cast<unsigned>(std::stoul(out.substr(i, 2), nullptr, 16));
            std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
            out.replace(last - 2, 2, buf);
        }
        pos = end + 1;
    }
    return out;
}

void checkText(std::string_view text, int slot) {
    const imagegen::HexResult result = imagegen::readIntelHex(text);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;

    if (!result.ok()) {
        check(result.chunks.empty(), "chunks returned with an error");
        check(result.errorLine >= 0 && result.errorLine <= lines, "error line outside the file");
        return;
    }
    check(result.errorLine == 0, "an error line without an error");
    int previousLine = 0;
    for (const imagegen::HexChunk& c : result.chunks) {
        check(!c.bytes.empty() && c.bytes.size() <= 255, "a chunk is not one record's data");
        check(uint64_t{c.address} + c.bytes.size() <= uint64_t{1} << 32,
              "a chunk runs past 32-bit addresses");
        check(c.line >= previousLine && c.line >= 1 && c.line <= lines, "chunk lines out of order");
        previousLine = c.line;
    }

    check(flatten(result.chunks) == expectedBytes(text), "data bytes read at the wrong address");

    const imagegen::HexResult again = imagegen::readIntelHex(writeHex(result.chunks));
    check(again.ok(), "written-out chunks do not read back");
    check(flatten(again.chunks) == flatten(result.chunks), "chunks read back differently");

    checkImage(result.chunks, slot);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The builder for one chip slot, picked by the input's length.
    const int slot = static_cast<int>(size % 8);
    checkText(text, slot);
    const std::string repaired = withRecordsRepaired(text);
    if (repaired != text) checkText(repaired, slot);
    return 0;
}
