// Test helper: starts downloading argv[1] with the program's own services
// and returns from its entry once the first bytes arrived (exit code 0), or
// after 20 s without any (2). A process that hangs in its exit instead shows
// that a running download holds the program back.
#include "download/GetNetFile.h"
#include "platform/platform.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/win.h"

int main(int argc, char** argv) {
    if (argc < 2) return 3;
    tav::win32::InstallWin32Platform();
    tav::GetNetFile net;
    bool arrived = false;
    net.DownloadProgress = [&](int32_t, int32_t) { arrived = true; };
    net.DownloadStart(argv[1], "probe.exe", tav::kAsyncReadForceRefresh);
    const ULONGLONG end = ::GetTickCount64() + 20000;
    while (!arrived && ::GetTickCount64() < end) {
        tav::platform().events->WaitForEvents(50);
        tav::platform().events->DoEvents();
    }
    return arrived ? 0 : 2;
}
