#include "ui/win32/picture_window.h"

#include "ui/win32/native.h"

#include <algorithm>
#include <vector>

#include "ui/pictures/logo_large.xpm"
#include "ui/pictures/logo_small.xpm"

namespace ui::win32 {
namespace {

constexpr const char* kPictureClass = "TrevanePicture";

void paint(HDC dc, const RECT& client, const PictureData& data) {
    const Bitmap& b = *data.bitmap;
    // Transparent pixels take the face colour the picture stands on.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const auto faceRgb =
        static_cast<int32_t>((GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face));
    std::vector<DWORD> bits(b.pixels.size());
    std::transform(b.pixels.begin(), b.pixels.end(), bits.begin(),
                   [&](int32_t p) { return static_cast<DWORD>(p == kTransparent ? faceRgb : p); });
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = b.width;
    info.bmiHeader.biHeight = -b.height; // top-down rows, as in the source
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const int areaW = client.right, areaH = client.bottom;
    int w = scaled(b.width), h = scaled(b.height);
    if (data.scaledToFit) {
        // Proportionally, as large as the window allows.
        w = areaW;
        h = MulDiv(b.height, areaW, b.width);
        if (h > areaH) {
            h = areaH;
            w = MulDiv(b.width, areaH, b.height);
        }
    }
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, (areaW - w) / 2, (areaH - h) / 2, w, h, 0, 0, b.width, b.height, bits.data(),
                  &info, DIB_RGB_COLORS, SRCCOPY);
}

LRESULT CALLBACK pictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message != WM_PAINT) return DefWindowProcA(hwnd, message, wParam, lParam);
    PAINTSTRUCT paintInfo;
    HDC dc = BeginPaint(hwnd, &paintInfo);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    const auto* data = reinterpret_cast<const PictureData*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (data && data->bitmap && data->bitmap->width > 0) paint(dc, client, *data);
    EndPaint(hwnd, &paintInfo);
    return 0;
}

} // namespace

const Bitmap* pictureNamed(std::string_view name) {
    static const Bitmap large = decodeXpm(logo_large_xpm);
    static const Bitmap small = decodeXpm(logo_small_xpm);
    if (name == "logo-large") return &large;
    if (name == "logo-small") return &small;
    return nullptr;
}

HWND createPictureWindow(HWND parent, const RECT& place, DWORD style, int id,
                         const PictureData* data) {
    registerWindowClass(kPictureClass, pictureProc);
    return CreateWindowExA(0, kPictureClass, "", style, place.left, place.top,
                           place.right - place.left, place.bottom - place.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(),
                           const_cast<PictureData*>(data));
}

} // namespace ui::win32
