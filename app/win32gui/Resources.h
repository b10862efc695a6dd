#pragma once
// Resource numbers shared by the resource script and the windows.
#define NB_ICON_APP 1
#define NB_BITMAP_BANNER_96 101
#define NB_BITMAP_BANNER_144 102
#define NB_BITMAP_BANNER_192 103
