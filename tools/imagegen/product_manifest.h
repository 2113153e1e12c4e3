// A product folder read into memory: identity, scramble constant, whether firmware files may
// replace its images, and image positions with their flash images already in wire form. Every
// fault in an input is an InputError that names the file and line.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace imagegen {

struct InputError : std::runtime_error {
    InputError(std::string file, int line, const std::string& message)
        : std::runtime_error(message), file(std::move(file)), line(line) {}
    std::string file;
    int line; // 0: the fault belongs to the whole file
    // "file:line: error: message", as compilers write it.
    std::string describe() const;
};

struct PositionEntry {
    int board = 0;
    int slot = 0;
    bool placeholder = true;
    std::vector<uint8_t> flash; // wire form
    std::vector<uint8_t> fix;   // plain
    std::vector<uint8_t> eeprom;
};

struct ProductManifest {
    std::string identity;
    uint8_t scrambleConstant = 0;
    bool filesForbidden = false;
    std::vector<PositionEntry> positions; // in manifest order
    std::vector<std::string> inputs;      // every file read, for the build's dependency list
};

// Hex byte values separated by blanks or commas; '#' starts a comment. More than `limit`
// bytes is an error naming the line of the first byte too many.
std::vector<uint8_t> readByteText(const std::string& path, size_t limit, const char* what);

// Reads DIR/product.txt and everything it names.
ProductManifest loadProduct(const std::string& dir);

// The C++ source that defines the product's symbols of firmware/product.h, apart from the
// build stamp, which the caller adds.
std::string emitProductSource(const ProductManifest& product, const std::string& stampSource,
                              const std::string& origin);

} // namespace imagegen
