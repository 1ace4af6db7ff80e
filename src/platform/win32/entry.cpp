// The process entry: hardens the loader, installs the Win32 services,
// starts the program and then runs the message loop until the last window
// has closed.
#include "platform/program.h"
#include "platform/win32/dpi.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win.h"

namespace {

void HardenDllSearch() {
    // Resolve every later LoadLibrary in the system folder only, so a DLL
    // dropped beside the program or in the current folder is never picked up.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");
}

int Run() {
    const tav::Platform& services = tav::win32::InstallWin32Platform();
    try {
        if (!tav::StartProgram(services)) return 0;
        if (tav::win32::OpenWindowCount() == 0) return 0;
        return tav::win32::RunMessageLoop();
    } catch (...) {
        // Nothing leaves the entry as an exception.
        return 1;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    HardenDllSearch();
    tav::win32::BecomePerMonitorDpiAware();
    int code = 0;
    {
        // One apartment for the whole user-interface thread: the artwork's
        // decoder, the taskbar button and the management query live in it.
        const tav::win32::ComApartment com;
        code = Run();
    }
    // Not a return into the C run-time's exit(): a download worker that was
    // cancelled may be unwinding its exception right now, and exit()'s
    // handlers unregister the 32-bit build's unwind tables first, which
    // turns that unwinding into terminate() and the exit code into 3.
    // ExitProcess ends the other threads before anything is torn down.
    // Nothing is left to flush: every file is closed within its call.
    ::ExitProcess(static_cast<UINT>(code));
}
