#include "platform/win32/dpi.h"

#include <cmath>

#include "platform/win32/system_function.h"
#include "platform/win32/unique_handle.h"

namespace tav::win32 {

namespace {
// The per-monitor functions are newer than the oldest system we run on.
HMODULE User32() { return ::GetModuleHandleW(L"user32.dll"); }
// An unscaled screen's, which sizes in plain pixels are designed at.
constexpr int kUnscaledDpi = 96;
constexpr double kPointsPerInch = 72.0;
}  // namespace

void BecomePerMonitorDpiAware() {
    static const auto setContext = TAV_SYSTEM_FUNCTION(User32(), SetProcessDpiAwarenessContext);
    if (!setContext || !setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
        ::SetProcessDPIAware();
    }
}

UINT SystemDpi() {
    const WindowDc dc(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : kUnscaledDpi;
    return static_cast<UINT>(dpi > 0 ? dpi : kUnscaledDpi);
}

UINT DpiOf(HWND hwnd) {
    static const auto dpiForWindow = TAV_SYSTEM_FUNCTION(User32(), GetDpiForWindow);
    const UINT dpi = dpiForWindow && hwnd ? dpiForWindow(hwnd) : 0;
    return dpi ? dpi : SystemDpi();
}

int TwipsToPixels(int32_t twips, UINT dpi) {
    return ::MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

int32_t PixelsToTwips(int pixels, UINT dpi) {
    return ::MulDiv(pixels, kTwipsPerInch, static_cast<int>(dpi));
}

int ScalePixels(int pixelsAt96, UINT dpi) {
    return ::MulDiv(pixelsAt96, static_cast<int>(dpi), kUnscaledDpi);
}

int PointsToPixels(double points, UINT dpi) {
    return static_cast<int>(std::lround(points * static_cast<double>(dpi) / kPointsPerInch));
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjust = TAV_SYSTEM_FUNCTION(User32(), AdjustWindowRectExForDpi);
    if (!adjust || !adjust(&rect, style, FALSE, exStyle, dpi)) {
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
}

}  // namespace tav::win32
