// Intel HEX records for tests, each with its checksum worked out independently of the reader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace hextest {

// One record line; `lower` writes the hex digits in lower case, as some toolchains do.
inline std::string rec(uint16_t address, uint8_t type, std::vector<uint8_t> data,
                       bool lower = false) {
    std::vector<uint8_t> body{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                              static_cast<uint8_t>(address), type};
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : body)
        sum += b;
    body.push_back(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
    std::string line = ":";
    char buf[4];
    for (uint8_t b : body) {
        std::snprintf(buf, sizeof buf, lower ? "%02x" : "%02X", b);
        line += buf;
    }
    return line + "\n";
}

// An extended linear address record: the upper 16 bits of the byte addresses that follow.
inline std::string upper(uint16_t value, bool lower = false) {
    return rec(0, 4, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}, lower);
}

inline const std::string kEof = ":00000001FF\n";

} // namespace hextest
