#include "app/settings_store.h"

#include <cctype>
#include <cstdint>

namespace app {

int16_t leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = value * 10 + static_cast<uint32_t>(text[i] - '0'); // wraps like the 32-bit read
    if (negative) value = 0u - value;
    return static_cast<int16_t>(value & 0xFFFF);
}

} // namespace app
