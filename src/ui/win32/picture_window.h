// A window that paints one of the program's pictures on the button-face colour: centred at its
// own size, or scaled proportionally to fill the window.
#pragma once

#include "ui/xpm.h"

#include <windows.h>

#include <string_view>

namespace ui::win32 {

struct PictureData {
    const Bitmap* bitmap = nullptr; // nothing is painted without one
    bool scaledToFit = false;
};

// The picture of that resource name ("logo-large", "logo-small"); nullptr for another name.
const Bitmap* pictureNamed(std::string_view name);

// A child window at the given place (screen pixels); `data` must outlive it.
HWND createPictureWindow(HWND parent, const RECT& place, DWORD style, int id,
                         const PictureData* data);

} // namespace ui::win32
