// SHA-256 (FIPS 180-4), for naming firmware: the files given to the program and the images it
// writes. The system's own implementation does the work (one source per system).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace firmware {

// The digest in lower-case hex, 64 characters.
std::string sha256Hex(std::span<const uint8_t> bytes);
std::string sha256Hex(std::string_view bytes);

} // namespace firmware
