// The wire-time floor of an update: the bytes that crossed the line in both directions, read
// from board-sim's record of the run, at 11 bits a byte (start, 8 data, 2 stop).
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace bench {

inline long wireBytes(const std::vector<std::string>& dump, bool boardRecord) {
    long bytes = 0;
    for (const std::string& line : dump) {
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "search") {
            std::string b, outcome;
            in >> b >> outcome;
            bytes += 1;
            if (outcome == "answered")
                bytes += 6 + (boardRecord ? 32 : 0); // V id K, record
            else if (outcome == "refused")
                bytes += 1;
        } else if (kind == "progmode") {
            bytes += 2; // 0xCC and its K
        } else if (kind == "flash" || kind == "refused" || kind == "silent") {
            std::string what = kind;
            if (kind != "flash") in >> what;
            std::string address;
            int length = 0;
            in >> address >> length;
            if (what == "eeprom")
                bytes += 6 + 1;
            else
                bytes += 3 + 2 + length + 1 + (kind == "silent" ? 0 : 1);
        } else if (kind == "eeprom") {
            bytes += 6 + 1;
        }
    }
    return bytes;
}

// Seconds the bytes of the dump need on a line of `baud`, with `writeMs` for each of the 256
// flash frames' writes (the default product's 255 frames and its fix frame).
inline double wireFloorSeconds(const std::vector<std::string>& dump, int baud, int writeMs,
                               long* bytesOut = nullptr) {
    const long bytes = wireBytes(dump, true);
    if (bytesOut) *bytesOut = bytes;
    return bytes * 11.0 / baud + (255.0 + 1.0) * writeMs / 1000.0;
}

} // namespace bench
