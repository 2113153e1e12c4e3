// SHA-256 (FIPS 180-4), for naming firmware: the files given to the program and the images it
// writes. The system's own implementation does the work (one source per system).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace firmware {

using Sha256 = std::array<uint8_t, 32>;

// The digest by the system's implementation; false when the system could not make it.
bool sha256(std::span<const uint8_t> bytes, Sha256& digest);

// The digest in lower-case hex, 64 characters; empty when the system could not make it.
std::string sha256Hex(std::span<const uint8_t> bytes);
std::string sha256Hex(std::string_view bytes);

} // namespace firmware
