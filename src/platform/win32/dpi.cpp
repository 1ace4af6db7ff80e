#include "platform/win32/dpi.h"

#include "platform/win32/system_function.h"
#include "platform/win32/unique_handle.h"

namespace tav::win32 {

namespace {
// The per-monitor functions are newer than the oldest system we run on.
HMODULE User32() { return ::GetModuleHandleW(L"user32.dll"); }
}  // namespace

void BecomePerMonitorDpiAware() {
    static const auto setContext = TAV_SYSTEM_FUNCTION(User32(), SetProcessDpiAwarenessContext);
    if (!setContext || !setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
        ::SetProcessDPIAware();
    }
}

UINT SystemDpi() {
    const WindowDc dc(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
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

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjust = TAV_SYSTEM_FUNCTION(User32(), AdjustWindowRectExForDpi);
    if (!adjust || !adjust(&rect, style, FALSE, exStyle, dpi)) {
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
}

}  // namespace tav::win32
