#include "ui/win32/native.h"

#include <stdexcept>
#include <string>

namespace ui::win32 {
namespace {

int screenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

} // namespace

HINSTANCE instance() {
    return GetModuleHandleA(nullptr);
}

int scaled(int pixels) {
    static const int dpi = screenDpi();
    return MulDiv(pixels, dpi, 96);
}

void registerWindowClass(const char* name, WNDPROC procedure) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance(), name, &existing)) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance();
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.hIcon = LoadIconA(instance(), MAKEINTRESOURCEA(1)); // the program's icon, when linked in
    wc.lpszClassName = name;
    if (!RegisterClassExA(&wc)) throw std::runtime_error(std::string("Cannot register ") + name);
}

} // namespace ui::win32
