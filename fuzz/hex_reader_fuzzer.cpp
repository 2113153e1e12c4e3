// The HEX reader on arbitrary text, and the image builder and write plan on what the reader
// accepts.
//
// Checked: a result is either chunks or an error, never both; every chunk is one record's data
// and sits inside 32-bit addresses; each data byte lands where its record says; what was read,
// written out again as plain records, reads back as the same bytes at the same addresses; a
// chip's image built from it holds every program byte where its chunk says (a PIC24
// instruction's fourth byte as 0), every EEPROM byte at its EEPROM address, erased bytes
// elsewhere, and stays within the chip's memory; data that conflict or lie outside the chip's
// regions are refused; the image's ranges cover exactly the bytes given, and a write plan
// accounts for each of them once.
#include "chips/chip_table.h"
#include "firmware/hex_reader.h"
#include "firmware/image_builder.h"
#include "firmware/write_plan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
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
std::string writeHex(const std::vector<firmware::HexChunk>& chunks) {
    std::string out;
    for (const firmware::HexChunk& c : chunks) {
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

std::vector<std::pair<uint32_t, uint8_t>> flatten(const std::vector<firmware::HexChunk>& chunks) {
    std::vector<std::pair<uint32_t, uint8_t>> out;
    for (const firmware::HexChunk& c : chunks)
        for (size_t i = 0; i < c.bytes.size(); ++i)
            out.emplace_back(c.address + static_cast<uint32_t>(i), c.bytes[i]);
    return out;
}

// Where the data records of an accepted file put each byte, worked out independently: under a
// segment base (type 02) byte i of a record sits at base + (offset + i) mod 64 KiB, under a
// linear one (type 04) at base + offset + i mod 4 GiB. A byte order mark before the first
// record and Ctrl-Z marks after the last are no records.
std::vector<std::pair<uint32_t, uint8_t>> expectedBytes(std::string_view text) {
    std::vector<std::pair<uint32_t, uint8_t>> out;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (const size_t mark = text.find('\x1A'); mark != std::string_view::npos)
        text = text.substr(0, mark); // accepted: only marks and blanks follow
    uint32_t base = 0;
    bool segmented = false;
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
                out.emplace_back(segmented ? base + ((offset + i) & 0xFFFF) : base + offset + i,
                                 r[4 + i]);
        if (r[3] == 0x02 || r[3] == 0x04) segmented = r[3] == 0x02;
        if (r[3] == 0x02) base = (uint32_t{r[4]} << 8 | r[5]) << 4;
        if (r[3] == 0x04) base = (uint32_t{r[4]} << 8 | r[5]) << 16;
    }
    return out;
}

// Where the chip keeps the byte at `address`: flash, EEPROM (at `offset`), elsewhere, nowhere.
enum class Kept { Flash, Eeprom, LeftOut, Nowhere };
Kept keptAt(const chips::Chip& chip, uint32_t address, uint32_t& offset) {
    for (const chips::MemoryRegion& r : chip.otherRegions) {
        if (address < r.first || address - r.first >= r.length) continue;
        offset = address - r.first;
        if (r.kind == chips::RegionKind::Eeprom) return Kept::Eeprom;
        return address < chip.memoryBytes ? Kept::Flash : Kept::LeftOut;
    }
    return address < chip.memoryBytes ? Kept::Flash : Kept::Nowhere;
}

void checkImage(const std::vector<firmware::HexChunk>& chunks, const chips::Chip& chip) {
    firmware::ChipImage image = firmware::buildChipImage(chunks, chip);
    // Every address given, with its byte; a second, different byte is a conflict.
    std::map<uint32_t, uint8_t> given;
    bool conflict = false, outside = false;
    for (const auto& [address, byte] : flatten(chunks)) {
        const auto [it, fresh] = given.emplace(address, byte);
        if (!fresh && it->second != byte) conflict = true;
        uint32_t offset = 0;
        if (keptAt(chip, address, offset) == Kept::Nowhere) outside = true;
    }
    check(firmware::findConflict(chunks).found() == conflict, "conflict check disagrees");
    if (!image.ok()) {
        check(image.flash.empty() && image.eeprom.empty() && image.ranges.empty(),
              "an image with an error still has bytes");
        return;
    }
    check(!conflict, "conflicting data accepted");
    check(!outside, "data outside the chip's regions accepted");
    check(image.flash.size() >= static_cast<size_t>(chips::imageFloor(chip)),
          "image below the floor");
    check(image.flash.size() <= chip.memoryBytes, "image beyond the chip's memory");

    std::vector<uint8_t> written(image.flash.size(), 0);
    std::vector<uint8_t> eepromWritten(image.eeprom.size(), 0);
    for (const auto& [address, byte] : given) {
        uint32_t offset = 0;
        switch (keptAt(chip, address, offset)) {
        case Kept::Flash:
            check(address < image.flash.size(), "program byte outside the image");
            // A PIC24 instruction's fourth byte is 0 whatever the file gives.
            check(image.flash[address] ==
                      (chip.family == chips::Family::Pic24 && address % 4 == 3 ? 0 : byte),
                  "data byte not where its chunk says");
            written[address] = 1;
            break;
        case Kept::Eeprom:
            check(offset < image.eeprom.size(), "EEPROM byte outside the EEPROM data");
            check(image.eeprom[offset] == byte, "EEPROM byte not where its chunk says");
            eepromWritten[offset] = 1;
            break;
        default:
            break;
        }
    }
    for (size_t i = 0; i < image.flash.size(); ++i)
        if (!written[i])
            check(image.flash[i] == firmware::erasedByte(chip.family, static_cast<uint32_t>(i)),
                  "a gap is not erased");
    for (size_t i = 0; i < image.eeprom.size(); ++i)
        if (!eepromWritten[i]) check(image.eeprom[i] == 0xFF, "an EEPROM gap is not 0xFF");

    uint64_t covered = 0, previousEnd = 0;
    for (const firmware::DataRange& r : image.ranges) {
        check(r.length > 0 && r.first >= previousEnd, "ranges overlap or are out of order");
        previousEnd = uint64_t{r.first} + r.length;
        covered += r.length;
    }
    check(covered == given.size(), "ranges do not cover exactly the bytes given");
    for (uint8_t bios : {0, 5}) {
        const firmware::WritePlan plan = firmware::planWrite(image, chip, bios);
        uint64_t eepromData = 0;
        for (const firmware::DataRange& r : plan.ranges)
            if (r.use == firmware::DataUse::Eeprom) eepromData += r.length;
        check(plan.tooBig ? plan.leftOutBytes == given.size()
                          : plan.flashDataBytes + eepromData + plan.leftOutBytes == given.size(),
              "the plan does not account for every byte once");
        check(plan.flashBytes <= image.flash.size(), "the plan writes beyond the image");
        check(!firmware::describePlan(plan, chip).empty(), "a plan without words");
    }

    const std::vector<uint8_t> plain = image.flash;
    firmware::applyWireMask(image.flash, chip, 0x5A);
    firmware::applyWireMask(image.flash, chip, 0x5A);
    check(image.flash == plain, "the wire mask applied twice is not the identity");
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

void checkText(std::string_view text, const chips::Chip& chip) {
    const firmware::HexResult result = firmware::readIntelHex(text);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;

    if (!result.ok()) {
        check(result.chunks.empty(), "chunks returned with an error");
        check(result.errorLine >= 0 && result.errorLine <= lines, "error line outside the file");
        return;
    }
    check(result.errorLine == 0, "an error line without an error");
    int previousLine = 0;
    for (const firmware::HexChunk& c : result.chunks) {
        check(!c.bytes.empty() && c.bytes.size() <= 255, "a chunk is not one record's data");
        check(uint64_t{c.address} + c.bytes.size() <= uint64_t{1} << 32,
              "a chunk runs past 32-bit addresses");
        check(c.line >= previousLine && c.line >= 1 && c.line <= lines, "chunk lines out of order");
        previousLine = c.line;
    }

    check(flatten(result.chunks) == expectedBytes(text), "data bytes read at the wrong address");

    const firmware::HexResult again = firmware::readIntelHex(writeHex(result.chunks));
    check(again.ok(), "written-out chunks do not read back");
    check(flatten(again.chunks) == flatten(result.chunks), "chunks read back differently");

    checkImage(result.chunks, chip);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The builder for one chip, picked by the input's length.
    const auto all = chips::allChips();
    const chips::Chip& chip = all[size % all.size()];
    checkText(text, chip);
    const std::string repaired = withRecordsRepaired(text);
    if (repaired != text) checkText(repaired, chip);
    return 0;
}
