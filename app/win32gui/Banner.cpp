#include "app/win32gui/Banner.h"

#include "app/win32gui/Resources.h"

namespace nb {

TBitmapHandle LoadBanner(int dpi) {
    // The resource drawn for the nearest scale at or above this one, so that it is only ever
    // reduced (or used as it is).
    int id = dpi <= 96 ? NB_BITMAP_BANNER_96 : dpi <= 144 ? NB_BITMAP_BANNER_144 : NB_BITMAP_BANNER_192;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    TBitmapHandle source(
        static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!source) return source;
    BITMAP info{};
    ::GetObjectW(source.get(), sizeof info, &info);
    const int width = ::MulDiv(BannerWidth, dpi, 96), height = ::MulDiv(BannerHeight, dpi, 96);
    if (info.bmWidth == width && info.bmHeight == height) return source;

    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    TBitmapHandle scaled(::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!scaled) return source;
    HDC from = ::CreateCompatibleDC(nullptr);
    HDC to = ::CreateCompatibleDC(nullptr);
    HGDIOBJ oldFrom = ::SelectObject(from, source.get());
    HGDIOBJ oldTo = ::SelectObject(to, scaled.get());
    ::SetStretchBltMode(to, HALFTONE);
    ::SetBrushOrgEx(to, 0, 0, nullptr);
    ::StretchBlt(to, 0, 0, width, height, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    ::SelectObject(from, oldFrom);
    ::SelectObject(to, oldTo);
    ::DeleteDC(from);
    ::DeleteDC(to);
    return scaled;
}

}  // namespace nb
