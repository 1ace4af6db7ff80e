// Test helper: asks the previous-instance test and reports through its exit
// code (1 = another copy runs). With an argument, holds its claim for that
// many milliseconds after setting the event "TAVTest.ProbeReady".
#include <cstdlib>

#include "platform/win32/runtime_win32.h"
#include "platform/win32/win.h"

int main(int argc, char** argv) {
    tav::win32::Win32App app;
    const bool another = app.PrevInstance();
    if (argc > 1) {
        HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, L"TAVTest.ProbeReady");
        ::SetEvent(ready);
        ::Sleep(static_cast<DWORD>(std::atoi(argv[1])));
        ::CloseHandle(ready);
    }
    return another ? 1 : 0;
}
