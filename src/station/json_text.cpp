#include "station/json_text.h"

namespace station {

namespace {

bool isUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80           ? 1
                              : (lead >> 5) == 0x6  ? 2
                              : (lead >> 4) == 0xE  ? 3
                              : (lead >> 3) == 0x1E ? 4
                                                    : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
        // Overlong forms and surrogates are not UTF-8 either.
        const auto next = length > 1 ? static_cast<unsigned char>(text[i + 1]) : 0;
        if ((length == 2 && lead < 0xC2) || (length == 3 && lead == 0xE0 && next < 0xA0) ||
            (length == 3 && lead == 0xED && next >= 0xA0) ||
            (length == 4 &&
             (lead > 0xF4 || (lead == 0xF0 && next < 0x90) || (lead == 0xF4 && next >= 0x90))))
            return false;
        i += length;
    }
    return true;
}

} // namespace

std::string jsonText(std::string_view bytes) {
    if (isUtf8(bytes)) return std::string(bytes);
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (b >> 6));
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return text;
}

std::string dumpLine(const Json& value) {
    // Whatever slipped past jsonText must not cost the line: such bytes become U+FFFD.
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace station
