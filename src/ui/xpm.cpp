#include "ui/xpm.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

namespace ui {
namespace {

// "#RRGGBB" after the key's " c ", else transparent.
int32_t colourOf(std::string_view line, std::size_t keyLength) {
    const std::size_t hash = line.find('#', keyLength);
    if (hash == std::string_view::npos || line.size() < hash + 7) return kTransparent;
    const std::string digits(line.substr(hash + 1, 6));
    char* end = nullptr;
    const long value = std::strtol(digits.c_str(), &end, 16);
    return *end == '\0' ? static_cast<int32_t>(value) : kTransparent;
}

} // namespace

Bitmap decodeXpm(const char* const* xpm) {
    Bitmap bitmap;
    int colours = 0;
    int perPixel = 0;
    if (std::sscanf(xpm[0], "%d %d %d %d", &bitmap.width, &bitmap.height, &colours, &perPixel) !=
            4 ||
        bitmap.width < 0 || bitmap.height < 0 || colours < 0 || perPixel <= 0)
        return {};
    const auto keyLength = static_cast<std::size_t>(perPixel);
    std::map<std::string, int32_t, std::less<>> palette;
    for (int i = 1; i <= colours; ++i) {
        const std::string_view line = xpm[i];
        palette.emplace(line.substr(0, keyLength), colourOf(line, keyLength));
    }
    bitmap.pixels.reserve(static_cast<std::size_t>(bitmap.width) *
                          static_cast<std::size_t>(bitmap.height));
    for (int y = 0; y < bitmap.height; ++y) {
        const std::string_view row = xpm[1 + colours + y];
        for (std::size_t x = 0; x < static_cast<std::size_t>(bitmap.width); ++x) {
            const auto it =
                palette.find(row.substr(std::min(x * keyLength, row.size()), keyLength));
            bitmap.pixels.push_back(it == palette.end() ? kTransparent : it->second);
        }
    }
    return bitmap;
}

} // namespace ui
