#include "firmware/hex_reader.h"

#include <algorithm>
#include <cstdio>

namespace firmware {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string hexByte(unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", value & 0xFFu);
    return buf;
}

} // namespace

HexResult readIntelHex(std::string_view text) {
    HexResult result;
    auto fail = [&result](int line, std::string message) {
        result.errorLine = line;
        result.error = std::move(message);
        result.chunks.clear();
        return result;
    };

    // Files from Windows editors: a UTF-8 byte order mark before the first record, and the old
    // end-of-file mark Ctrl-Z (0x1A) after the last one.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (const size_t eofMark = text.find('\x1A');
        eofMark != std::string_view::npos &&
        text.find_first_not_of("\x1A\r\n \t", eofMark) == std::string_view::npos)
        text = text.substr(0, eofMark);

    uint32_t base = 0;
    bool segmented = false; // the base came from a segment record: addresses wrap at 64 KiB
    bool ended = false;
    int lineNumber = 0;
    int lastRecordLine = 0;
    std::vector<uint8_t> record;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty()) continue;
        lastRecordLine = lineNumber;
        if (ended) return fail(lineNumber, "data after the end-of-file record");
        if (line[0] != ':') return fail(lineNumber, "a record must start with ':'");
        line.remove_prefix(1);
        if (line.size() % 2 != 0 || line.size() < 10)
            return fail(lineNumber, "malformed record (odd or too few hex digits)");

        record.clear();
        for (size_t i = 0; i < line.size(); i += 2) {
            const int hi = hexDigit(line[i]);
            const int lo = hexDigit(line[i + 1]);
            if (hi < 0 || lo < 0) return fail(lineNumber, "malformed record (not a hex digit)");
            record.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
        const size_t count = record[0];
        if (record.size() != count + 5)
            return fail(lineNumber, "record length " + std::to_string(count) +
                                        " does not match its " + std::to_string(record.size() - 5) +
                                        " data bytes");
        unsigned sum = 0;
        for (uint8_t b : record)
            sum += b;
        if ((sum & 0xFF) != 0) {
            const unsigned expected = (0x100 - ((sum - record.back()) & 0xFF)) & 0xFF;
            return fail(lineNumber, "wrong record checksum " + hexByte(record.back()) +
                                        " (expected " + hexByte(expected) + ")");
        }

        const uint16_t offset = static_cast<uint16_t>(record[1] << 8 | record[2]);
        const uint8_t type = record[3];
        const uint8_t* data = record.data() + 4;
        switch (type) {
        case 0x00: {
            if (count == 0) break;
            // Under a segment base, addresses wrap inside the 64 KiB window; under a linear one
            // they go on past it, and wrap only at 4 GiB.
            const uint32_t first = base + offset;
            const uint64_t room = segmented ? 0x10000u - offset : (uint64_t{1} << 32) - first;
            if (count <= room) {
                result.chunks.push_back({first, lineNumber, {data, data + count}});
            } else {
                const auto head = static_cast<size_t>(room);
                result.chunks.push_back({first, lineNumber, {data, data + head}});
                result.chunks.push_back(
                    {segmented ? base : 0u, lineNumber, {data + head, data + count}});
            }
            break;
        }
        case 0x01:
            if (count != 0) return fail(lineNumber, "end-of-file record with data");
            ended = true;
            break;
        case 0x02:
            if (count != 2)
                return fail(lineNumber, "extended segment address record needs 2 bytes");
            base = static_cast<uint32_t>(data[0] << 8 | data[1]) << 4;
            segmented = true;
            break;
        case 0x04:
            if (count != 2) return fail(lineNumber, "extended linear address record needs 2 bytes");
            base = static_cast<uint32_t>(data[0] << 8 | data[1]) << 16;
            segmented = false;
            break;
        case 0x03:
        case 0x05:
            if (count != 4) return fail(lineNumber, "start address record needs 4 bytes");
            break;
        default:
            return fail(lineNumber, "unknown record type " + hexByte(type));
        }
    }
    if (!ended) return fail(lastRecordLine, "no end-of-file record");
    return result;
}

HexFault findConflict(const std::vector<HexChunk>& chunks) {
    std::vector<const HexChunk*> order;
    order.reserve(chunks.size());
    for (const HexChunk& c : chunks)
        order.push_back(&c);
    std::sort(order.begin(), order.end(), [](const HexChunk* a, const HexChunk* b) {
        return a->address != b->address ? a->address < b->address : a->line < b->line;
    });
    // The bytes of the run of addresses covered so far without a hole, and the chunk that gave
    // each; a chunk in address order either starts a new run or overlaps the current one.
    uint64_t runStart = 0;
    std::vector<uint8_t> run;
    std::vector<const HexChunk*> givenBy;
    for (const HexChunk* c : order) {
        if (c->address >= runStart + run.size()) {
            runStart = c->address;
            run.clear();
            givenBy.clear();
        }
        const size_t offset = static_cast<size_t>(c->address - runStart);
        for (size_t i = 0; i < c->bytes.size(); ++i) {
            if (offset + i == run.size()) {
                run.push_back(c->bytes[i]);
                givenBy.push_back(c);
                continue;
            }
            if (run[offset + i] == c->bytes[i]) continue;
            const HexChunk* other = givenBy[offset + i];
            const bool laterIsThis = c->line >= other->line;
            const HexChunk* later = laterIsThis ? c : other;
            const HexChunk* earlier = laterIsThis ? other : c;
            const size_t at = offset + i;
            const uint8_t here = laterIsThis ? c->bytes[i] : run[at];
            const uint8_t there = laterIsThis ? run[at] : c->bytes[i];
            char address[16];
            std::snprintf(address, sizeof address, "0x%llX",
                          static_cast<unsigned long long>(runStart + at));
            return {later->line, std::string("overlapping data at ") + address +
                                     " (also written at line " + std::to_string(earlier->line) +
                                     "): " + hexByte(here) + " here, " + hexByte(there) + " there"};
        }
    }
    return {};
}

} // namespace firmware
