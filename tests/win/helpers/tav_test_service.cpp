// Test helper: a service that does nothing but run until it is told to
// stop. The tests install it under the name "TAVorsService".
#include "platform/win32/win.h"

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;

void Report(DWORD state) {
    SERVICE_STATUS s{SERVICE_WIN32_OWN_PROCESS,
                     state,
                     state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0u,
                     0,
                     0,
                     0,
                     0};
    ::SetServiceStatus(g_status, &s);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    if (control != SERVICE_CONTROL_STOP) return NO_ERROR;
    Report(SERVICE_STOP_PENDING);
    ::SetEvent(g_stop);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_status = ::RegisterServiceCtrlHandlerExW(L"TAVorsService", Handler, nullptr);
    if (!g_status) return;
    g_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Report(SERVICE_RUNNING);
    // Never outlives a test run by much, even if nobody stops it.
    ::WaitForSingleObject(g_stop, 300000);
    Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
    wchar_t name[] = L"TAVorsService";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
