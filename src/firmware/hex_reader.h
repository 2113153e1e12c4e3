// Intel HEX reader: the data records of a file, each with its absolute byte address and the
// line it came from, so that later checks (conflicts, the chip's regions) can name the line at
// fault. Used by the image generator at build time and for firmware files at run time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace firmware {

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
// skipped. A record that crosses a 64 KiB boundary goes on past it under a linear base and
// wraps inside its window under a segment base. A UTF-8 byte order mark at the start and
// Ctrl-Z marks at the end are skipped. Anything else, a bad checksum, a malformed line, data
// after the end record or a missing end record is an error with the line it was found on.
HexResult readIntelHex(std::string_view text);

// A fault of a file: its 1-based line (0: the file as a whole) and what is wrong.
struct HexFault {
    int line = 0;
    std::string message;
    bool found() const { return !message.empty(); }
};

// Two data records that give one address different bytes, at the lowest such address: the
// fault lies on the later of the two lines, and its message names the other. An address
// written twice with the same byte is no fault: toolchains repeat data that way.
HexFault findConflict(const std::vector<HexChunk>& chunks);

} // namespace firmware
