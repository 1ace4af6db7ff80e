// Screen units for every window of the program: the logic keeps twips
// (1440 per inch), the windows convert at their monitor's DPI.
#pragma once

#include <cstdint>

#include "platform/win32/win.h"

namespace tav::win32 {

inline constexpr int32_t kTwipsPerInch = 1440;

// Per-monitor DPI awareness where the system offers it; called once, by
// the entry, before any window exists.
void BecomePerMonitorDpiAware();

// The DPI that screen positions in twips are measured at (the system's).
UINT SystemDpi();
// The DPI of the monitor the window is on; the system's for no window.
UINT DpiOf(HWND hwnd);

int TwipsToPixels(int32_t twips, UINT dpi);
int32_t PixelsToTwips(int pixels, UINT dpi);
// A size drawn in pixels at 96 dpi (a check mark, a corner), at dpi.
int ScalePixels(int pixelsAt96, UINT dpi);
// The height in pixels of a font of this many points, at dpi.
int PointsToPixels(double points, UINT dpi);

// The outer size of a window with the given client rectangle at dpi.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace tav::win32
