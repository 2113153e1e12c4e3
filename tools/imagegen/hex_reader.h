// Intel HEX reader: the data records of a file, each with its absolute byte address and the
// line it came from, so that later checks (overlap, size) can name the line at fault.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imagegen {

struct HexChunk {
    uint32_t address = 0; // byte address of bytes[0]
    int line = 0;         // 1-based line of the data record
    std::vector<uint8_t> bytes;
};

struct HexResult {
    std::vector<HexChunk> chunks; // in file order
    int errorLine = 0;            // 0: no error
    std::string error;
    bool ok() const { return error.empty(); }
};

// Reads record types 00 (data), 01 (end of file), 02 (extended segment address) and
// 04 (extended linear address); 03 and 05 (start address) carry no memory contents and are
// skipped. Anything else, a bad checksum, a malformed line, data after the end record or a
// missing end record is an error with the line it was found on.
HexResult readIntelHex(std::string_view text);

} // namespace imagegen
