// What the Win32 binding's files share: the module, the scaling of design pixels to the
// screen, and the registration of window classes.
#pragma once

#include <windows.h>

namespace ui::win32 {

HINSTANCE instance();

// The forms are designed at 96 pixels per inch; the program is DPI aware, so it scales itself.
int scaled(int pixels);

// Registers a window class of the program once: double clicks, the arrow cursor, the
// button-face background and the program's icon.
void registerWindowClass(const char* name, WNDPROC procedure);

} // namespace ui::win32
