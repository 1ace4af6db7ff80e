#include "platform/win32/dpi.h"

#include "platform/win32/unique_handle.h"

namespace tav::win32 {

namespace {
// The per-monitor functions are newer than the oldest system we run on.
template <class Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
                  : nullptr;
}
}  // namespace

void BecomePerMonitorDpiAware() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    static const SetContextFn setContext =
        User32Function<SetContextFn>("SetProcessDpiAwarenessContext");
    if (!setContext || !setContext(reinterpret_cast<HANDLE>(-4) /* PER_MONITOR_AWARE_V2 */)) {
        ::SetProcessDPIAware();
    }
}

UINT SystemDpi() {
    const WindowDc dc(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT DpiOf(HWND hwnd) {
    using DpiFn = UINT(WINAPI*)(HWND);
    static const DpiFn dpiForWindow = User32Function<DpiFn>("GetDpiForWindow");
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
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const AdjustFn adjust = User32Function<AdjustFn>("AdjustWindowRectExForDpi");
    if (!adjust || !adjust(&rect, style, FALSE, exStyle, dpi)) {
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
}

}  // namespace tav::win32
