// Test helper: stands in for one TAV program. The tests copy it under the
// image names of the programs and pick its behaviour by argument:
//   window            a visible window that closes on WM_CLOSE
//   stubborn          a hidden window that ignores WM_CLOSE and WM_ENDSESSION
//   windowless        no window at all
//   popup <owner>     only a pop-up owned by the given window of another process
//   watchdog          no window; ends with exit code 6 once the watchdog's
//                     command value (32-bit registry view) asks for a
//                     shutdown, as the programs the watchdog guards do
// Once ready it sets the event "TAVTest.Ready.<pid>". A window closed by
// WM_CLOSE ends the program with exit code 3. Whatever happens, it ends
// after ten minutes, so that a failed test leaves nothing behind: longer
// than any test may run (ctest ends a test after three minutes), as a
// stand-in that ends by itself part way through a slow test (the 32-bit
// run under an emulator) looks like a TAV program the update closed.
#include <cstdlib>
#include <string>

#include "platform/win32/win.h"

namespace {

constexpr UINT kLifetimeMs = 600000;
constexpr int kClosedExitCode = 3;
constexpr int kLifetimeExitCode = 4;
constexpr int kWatchdogExitCode = 6;

bool g_stubborn = false;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE && !g_stubborn) ::DestroyWindow(hwnd);
    if (msg == WM_DESTROY) ::PostQuitMessage(kClosedExitCode);
    if (msg == WM_CLOSE || msg == WM_ENDSESSION || msg == WM_DESTROY) return 0;
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool ShutdownRequested() {
    wchar_t value[32] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    return ::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvel Systems\\TAV\\WatchDog",
                          L"Command", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6432KEY, nullptr, value,
                          &size) == ERROR_SUCCESS &&
           ::lstrcmpiW(value, L"Shutdown") == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "window";
    HWND hwnd = nullptr;
    if (mode != "watchdog" && mode != "windowless") {
        // Some systems give every window-creating thread a hidden, unowned
        // IME window; the tests need the windows they asked for and no others.
        using DisableFn = BOOL(WINAPI*)(DWORD);
        if (HMODULE imm = ::LoadLibraryW(L"imm32.dll"))
            if (auto disable = reinterpret_cast<DisableFn>(
                    reinterpret_cast<void*>(::GetProcAddress(imm, "ImmDisableIME"))))
                disable(static_cast<DWORD>(-1));
        const WNDCLASSW wc{0,       WindowProc, 0,       0,       ::GetModuleHandleW(nullptr),
                           nullptr, nullptr,    nullptr, nullptr, L"TAVTestRelatedProgram"};
        ::RegisterClassW(&wc);
        g_stubborn = mode == "stubborn";
        HWND owner = mode == "popup" && argc > 2 ? reinterpret_cast<HWND>(static_cast<uintptr_t>(
                                                       std::strtoull(argv[2], nullptr, 10)))
                                                 : nullptr;
        hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"TAV test program",
                                 owner ? WS_POPUP | WS_BORDER : WS_OVERLAPPEDWINDOW, 40, 40, 200,
                                 80, owner, nullptr, wc.hInstance, nullptr);
        if (!hwnd) return 2;
        if (!g_stubborn) ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    }
    // Kept open for the process's life, so that a late waiter still finds it set.
    ::SetEvent(
        ::CreateEventW(nullptr, TRUE, FALSE,
                       (L"TAVTest.Ready." + std::to_wstring(::GetCurrentProcessId())).c_str()));
    for (ULONGLONG end = ::GetTickCount64() + kLifetimeMs; !hwnd && ::GetTickCount64() < end;
         ::Sleep(50))
        if (mode == "watchdog" && ShutdownRequested()) return kWatchdogExitCode;
    if (!hwnd) return kLifetimeExitCode;
    ::SetTimer(nullptr, 1, kLifetimeMs, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) return kLifetimeExitCode;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
