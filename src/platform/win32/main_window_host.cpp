#include "platform/win32/main_window_host.h"

#include "platform/win32/runtime_win32.h"
#include "platform/win32/win.h"

namespace tav::win32 {

namespace {
constexpr UINT_PTR kCloseTimer = 1;
constexpr wchar_t kClass[] = L"TAVUpdateMainWindow";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        // Until the update itself runs here, the window only shows that
        // the program started and then closes.
        ::SetTimer(hwnd, kCloseTimer, 1500, nullptr);
        return 0;
    case WM_TIMER:
        if (wParam == kCloseTimer) ::DestroyWindow(hwnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        RECT rc;
        ::GetClientRect(hwnd, &rc);
        ::DrawTextW(dc, L"TAV Update Manager", -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        WindowClosed();
        return 0;
    default:
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}
}  // namespace

void OpenMainWindow() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kClass;
    ::RegisterClassW(&wc);
    HWND hwnd = ::CreateWindowExW(0, kClass, L"TAV Update Manager", WS_POPUP | WS_BORDER,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, 200, nullptr, nullptr,
                                  instance, nullptr);
    if (!hwnd) return;
    WindowOpened();
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
}

}  // namespace tav::win32
