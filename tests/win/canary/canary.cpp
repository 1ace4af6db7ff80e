// A DLL that must never be loaded: placed beside the program under the name
// of a system DLL, it leaves "<its own path>.loaded" behind when it is.
#include "platform/win32/win.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH];
    if (::GetModuleFileNameW(self, path, MAX_PATH - 8) == 0) return TRUE;
    lstrcatW(path, L".loaded");
    HANDLE f = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) ::CloseHandle(f);
    return TRUE;
}

// Every export of the DLLs it stands in for lands here, so that a program
// importing them statically still loads it (and so shows that it did).
extern "C" __declspec(dllexport) int CanaryStub() { return 0; }
