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
// after two minutes, so that a failed test leaves nothing behind.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32/win.h"

namespace {

constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT kLifetimeMs = 120000;
constexpr int kClosedExitCode = 3;
constexpr int kLifetimeExitCode = 4;
constexpr int kWatchdogExitCode = 6;

bool g_stubborn = false;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CLOSE:
            if (g_stubborn) return 0;
            ::DestroyWindow(hwnd);
            return 0;
        case WM_ENDSESSION:
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(kClosedExitCode);
            return 0;
        default:
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void SignalReady() {
    const std::wstring name = L"TAVTest.Ready." + std::to_wstring(::GetCurrentProcessId());
    // Kept open for the process's life, so that a late waiter still finds it set.
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ::SetEvent(ready);
}

// Some systems give every window-creating thread a hidden, unowned IME
// window; the tests need the windows they asked for and no others.
void DisableImeWindows() {
    HMODULE imm = ::LoadLibraryW(L"imm32.dll");
    if (!imm) return;
    using DisableFn = BOOL(WINAPI*)(DWORD);
    auto disable = reinterpret_cast<DisableFn>(
        reinterpret_cast<void*>(::GetProcAddress(imm, "ImmDisableIME")));
    if (disable) disable(static_cast<DWORD>(-1));
}

HWND MakeWindow(DWORD style, HWND owner, bool visible) {
    DisableImeWindows();
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TAVTestRelatedProgram";
    ::RegisterClassW(&wc);
    HWND hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"TAV test program", style, 40, 40, 200, 80,
                                  owner, nullptr, wc.hInstance, nullptr);
    if (hwnd && visible) ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    return hwnd;
}

int Pump() {
    ::SetTimer(nullptr, kLifetimeTimer, kLifetimeMs, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) return kLifetimeExitCode;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

bool ShutdownRequested() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvel Systems\\TAV\\WatchDog", 0,
                        KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return false;
    wchar_t value[32] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS rc =
        ::RegQueryValueExW(key, L"Command", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ && ::lstrcmpiW(value, L"Shutdown") == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "window";
    if (mode == "watchdog") {
        SignalReady();
        for (DWORD waited = 0; waited < kLifetimeMs; waited += 50) {
            if (ShutdownRequested()) return kWatchdogExitCode;
            ::Sleep(50);
        }
        return kLifetimeExitCode;
    }
    if (mode == "windowless") {
        SignalReady();
        ::Sleep(kLifetimeMs);
        return kLifetimeExitCode;
    }
    HWND hwnd = nullptr;
    if (mode == "popup" && argc > 2) {
        HWND owner =
            reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(argv[2], nullptr, 10)));
        hwnd = MakeWindow(WS_POPUP | WS_BORDER, owner, true);
    } else {
        g_stubborn = mode == "stubborn";
        hwnd = MakeWindow(WS_OVERLAPPEDWINDOW, nullptr, !g_stubborn);
    }
    if (!hwnd) return 2;
    SignalReady();
    return Pump();
}
