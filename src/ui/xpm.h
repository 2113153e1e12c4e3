// The program's pictures are XPM source (src/ui/pictures): Qt reads them itself, the Win32
// binding decodes them here.
#pragma once

#include <cstdint>
#include <vector>

namespace ui {

inline constexpr int32_t kTransparent = -1;

// Rows from the top, each pixel 0x00RRGGBB or kTransparent.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<int32_t> pixels;
};

// The picture of an XPM array: its "width height colours characters-per-pixel" line, the
// colour lines ("<key> c #RRGGBB" or "<key> c None") and the pixel rows. Keys with no colour of
// that form are transparent; a header that cannot be read gives an empty bitmap.
Bitmap decodeXpm(const char* const* xpm);

} // namespace ui
