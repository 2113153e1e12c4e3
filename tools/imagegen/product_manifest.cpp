#include "product_manifest.h"

#include "chips/chip_table.h"
#include "firmware/hex_reader.h"
#include "firmware/image_builder.h"
#include "firmware/reset_vector.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace imagegen {

namespace {

std::string readFile(const std::string& path, const std::string& citedBy, int citedLine) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (citedBy.empty()) throw InputError(path, 0, "cannot be read");
        throw InputError(citedBy, citedLine, path + " cannot be read");
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string withoutComment(const std::string& line) {
    return line.substr(0, line.find('#'));
}

// Decimal, or hexadecimal with 0x. Returns false for anything else or a value above `max`.
bool parseNumber(const std::string& token, long max, long& value) {
    const bool isHex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
    const std::string digits = isHex ? token.substr(2) : token;
    if (digits.empty() || digits.size() > 8) return false;
    value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (isHex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (isHex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        value = value * (isHex ? 16 : 10) + d;
    }
    return value <= max;
}

std::string relativeTo(const std::string& dir, const std::string& name) {
    return (std::filesystem::path(dir) / name).lexically_normal().string();
}

std::string cString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 32 || c > 126) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void emitArray(std::ostringstream& out, const char* qualifier, const std::string& name,
               const std::vector<uint8_t>& bytes) {
    out << qualifier << "uint8_t " << name << "[" << bytes.size() << "] = {";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) out << "\n   ";
        char buf[8];
        std::snprintf(buf, sizeof buf, " 0x%02X,", bytes[i]);
        out << buf;
    }
    out << "\n};\n";
}

std::string byteList(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return "empty";
    std::string text;
    for (uint8_t b : bytes) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02X", b);
        text += (text.empty() ? "" : " ") + std::string(buf);
    }
    return text;
}

} // namespace

std::string InputError::describe() const {
    return file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": error: " + what();
}

std::vector<uint8_t> readByteText(const std::string& path, size_t limit, const char* what) {
    const std::vector<std::string> lines = splitLines(readFile(path, {}, 0));
    std::vector<uint8_t> bytes;
    for (size_t n = 0; n < lines.size(); ++n) {
        const int lineNumber = static_cast<int>(n + 1);
        std::string text = withoutComment(lines[n]);
        for (char& c : text)
            if (c == ',') c = ' ';
        std::istringstream tokens(text);
        for (std::string token; tokens >> token;) {
            if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
                token = token.substr(2);
            long value = 0;
            if (token.size() > 2 || !parseNumber("0x" + token, 0xFF, value))
                throw InputError(path, lineNumber, "'" + token + "' is not a hex byte");
            if (bytes.size() == limit)
                throw InputError(path, lineNumber,
                                 std::string(what) + " longer than " + std::to_string(limit) +
                                     " bytes");
            bytes.push_back(static_cast<uint8_t>(value));
        }
    }
    return bytes;
}

ProductManifest loadProduct(const std::string& dir) {
    ProductManifest product;
    const std::string manifest = relativeTo(dir, "product.txt");
    product.inputs.push_back(manifest);
    const std::vector<std::string> lines = splitLines(readFile(manifest, {}, 0));

    bool haveIdentity = false, haveScramble = false;
    bool defined[255][10] = {};
    for (size_t n = 0; n < lines.size(); ++n) {
        const int lineNumber = static_cast<int>(n + 1);
        std::istringstream tokens(withoutComment(lines[n]));
        std::vector<std::string> words{std::istream_iterator<std::string>(tokens), {}};
        if (words.empty()) continue;
        auto fail = [&](const std::string& message) {
            throw InputError(manifest, lineNumber, message);
        };
        const std::string& keyword = words[0];

        if (keyword == "identity") {
            if (words.size() != 2) fail("usage: identity FILE");
            const std::string path = relativeTo(dir, words[1]);
            product.inputs.push_back(path);
            const std::vector<std::string> text = splitLines(readFile(path, manifest, lineNumber));
            product.identity = text.empty() ? std::string() : text[0];
            if (product.identity.empty())
                throw InputError(path, 1, "the product identity is empty");
            haveIdentity = true;
        } else if (keyword == "scramble") {
            long value = 0;
            if (words.size() != 2 || !parseNumber(words[1], 0xFF, value))
                fail("usage: scramble BYTE (0 to 0xFF)");
            product.scrambleConstant = static_cast<uint8_t>(value);
            haveScramble = true;
        } else if (keyword == "files") {
            if (words.size() != 2 || (words[1] != "forbidden" && words[1] != "allowed"))
                fail("usage: files forbidden|allowed");
            product.filesForbidden = words[1] == "forbidden";
        } else if (keyword == "image" || keyword == "placeholder") {
            const bool image = keyword == "image";
            if (image && (words.size() < 5 || words.size() > 6))
                fail("usage: image BOARD SLOT HEXFILE FIXFILE|- [EEPROMFILE]");
            if (!image && words.size() < 3) fail("usage: placeholder BOARD SLOT [SLOT...]");
            long board = 0;
            if (!parseNumber(words[1], 254, board)) fail("board index must be 0 to 254");
            const size_t lastSlot = image ? 2 : words.size() - 1;
            for (size_t w = 2; w <= lastSlot; ++w) {
                long slot = 0;
                if (!parseNumber(words[w], 9, slot)) fail("chip slot must be 0 to 9");
                if (defined[board][slot])
                    fail("position " + std::to_string(board) + "/" + std::to_string(slot) +
                         " is defined twice");
                defined[board][slot] = true;
                PositionEntry position;
                position.board = static_cast<int>(board);
                position.slot = static_cast<int>(slot);
                position.placeholder = !image;
                if (image) {
                    const chips::Chip* chip = chips::chipOfSlot(position.slot);
                    if (chip == nullptr) fail("no chip code selects slot " + std::to_string(slot));
                    const std::string hexPath = relativeTo(dir, words[3]);
                    product.inputs.push_back(hexPath);
                    const firmware::HexResult hex =
                        firmware::readIntelHex(readFile(hexPath, manifest, lineNumber));
                    if (!hex.ok()) throw InputError(hexPath, hex.errorLine, hex.error);
                    firmware::ChipImage built = firmware::buildChipImage(hex.chunks, *chip);
                    if (!built.ok()) {
                        if (built.errorLine > 0)
                            throw InputError(hexPath, built.errorLine, built.error);
                        fail(words[3] + ": " + built.error);
                    }
                    if (words[4] != "-") {
                        const std::string fixPath = relativeTo(dir, words[4]);
                        product.inputs.push_back(fixPath);
                        position.fix = readByteText(fixPath, static_cast<size_t>(chip->blockSize),
                                                    "the fix block is");
                    }
                    // The fix frame hands the board back to the application through this block:
                    // it must be the image's own reset vector.
                    const std::vector<uint8_t> vector =
                        firmware::resetVectorOf(built, *chip).value_or(std::vector<uint8_t>{});
                    if (position.fix != vector)
                        fail("the fix block " + words[4] + " (" + byteList(position.fix) +
                             ") is not the reset vector of " + words[3] + " (" +
                             (vector.empty() ? std::string("none: no data at address 0")
                                             : byteList(vector)) +
                             ")");
                    position.flash = std::move(built.flash);
                    position.eeprom = std::move(built.eeprom);
                    if (words.size() == 6) {
                        // EEPROM data come from the HEX file or from an EEPROM file, not both.
                        if (!position.eeprom.empty())
                            fail(words[3] + " holds EEPROM data of its own: name no EEPROM file");
                        const std::string eepromPath = relativeTo(dir, words[5]);
                        product.inputs.push_back(eepromPath);
                        position.eeprom = readByteText(eepromPath, 256, "the EEPROM data are");
                    }
                }
                product.positions.push_back(std::move(position));
            }
        } else {
            fail("unknown keyword '" + keyword + "'");
        }
    }
    if (!haveIdentity) throw InputError(manifest, 0, "no 'identity' line");
    if (!haveScramble) throw InputError(manifest, 0, "no 'scramble' line");

    // The wire form needs the scramble constant, which may come after the images.
    for (PositionEntry& p : product.positions) {
        const chips::Chip* chip = chips::chipOfSlot(p.slot);
        if (!p.placeholder && chip != nullptr)
            firmware::applyWireMask(p.flash, *chip, product.scrambleConstant);
    }
    return product;
}

std::string emitProductSource(const ProductManifest& product, const std::string& stampSource,
                              const std::string& origin) {
    std::ostringstream out;
    out << "// Generated by imagegen from " << origin << ". Do not edit.\n"
        << "#include \"firmware/build_stamp.h\"\n"
        << "#include \"firmware/product.h\"\n\n"
        << "namespace firmware {\n"
        << "namespace {\n\n"
        << "const char kIdentity[] = " << cString(product.identity) << ";\n"
        << stampSource << "\n";

    std::ostringstream table;
    for (const PositionEntry& p : product.positions) {
        const std::string tag = "_b" + std::to_string(p.board) + "_s" + std::to_string(p.slot);
        if (p.placeholder) {
            // One zero byte of its own behind each pointer, lengths 1.
            out << "const uint8_t flash" << tag << "[1] = {0};\n"
                << "const uint8_t fix" << tag << "[1] = {0};\n"
                << "const uint8_t eeprom" << tag << "[1] = {0};\n\n";
            table << "    {" << p.board << ", " << p.slot << ", {fix" << tag << ", 1, flash" << tag
                  << ", 1, eeprom" << tag << ", 1}},\n";
            continue;
        }
        emitArray(out, "const ", "flash" + tag, p.flash);
        // An empty block still gets an object, so that no pointer of an image is null.
        emitArray(out, "const ", "fix" + tag, p.fix.empty() ? std::vector<uint8_t>{0} : p.fix);
        emitArray(out, "const ", "eeprom" + tag,
                  p.eeprom.empty() ? std::vector<uint8_t>{0} : p.eeprom);
        out << "\n";
        table << "    {" << p.board << ", " << p.slot << ", {fix" << tag << ", " << p.fix.size()
              << ", flash" << tag << ", " << p.flash.size() << ", eeprom" << tag << ", "
              << p.eeprom.size() << "}},\n";
    }
    out << "constexpr ImagePosition kPositions[] = {\n"
        << (product.positions.empty() ? std::string("    {0, 8, {}},\n") : table.str()) << "};\n\n";
    // A product without positions still needs an array: one empty record, found by no lookup
    // that matters (slot 8 holds no chip).
    char scramble[8];
    std::snprintf(scramble, sizeof scramble, "0x%02X", product.scrambleConstant);
    out << "const Product kProduct{kIdentity, kBuildDate, kBuildTime,\n"
        << "                       ImageTable(kPositions, " << scramble << "), "
        << (product.filesForbidden ? "true" : "false") << "};\n\n"
        << "} // namespace\n\n"
        << "const Product& thisProduct() { return kProduct; }\n\n"
        << "} // namespace firmware\n";
    return out.str();
}

} // namespace imagegen
