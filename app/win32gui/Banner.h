#pragma once
// The banner picture from the program's resources (drawn at build time by the window layer's
// own banner code), at the size the display's scale asks for.
#include "app/win32gui/Style.h"

namespace nb {

constexpr int BannerWidth = 275;
constexpr int BannerHeight = 169;

// A 24-bit bitmap of the 96-dpi banner's size scaled to dpi.
TBitmapHandle LoadBanner(int dpi);

}  // namespace nb
