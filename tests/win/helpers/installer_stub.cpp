// Stands in for a downloaded installer: records how it was started (its
// argument text, working folder and show mode) in "<its own path>.record.txt".
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"
#include "platform/win32/win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t self[MAX_PATH], cwd[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ::GetCurrentDirectoryW(MAX_PATH, cwd);
    STARTUPINFOW start{};
    ::GetStartupInfoW(&start);
    const bool shown = start.dwFlags & STARTF_USESHOWWINDOW;
    const std::string record =
        "args=" + tav::win32::Narrow(tav::win32::ArgumentsAfterProgramName(::GetCommandLineW())) +
        "\r\ncwd=" + tav::win32::Narrow(cwd) +
        "\r\nshow=" + (shown ? std::to_string(start.wShowWindow) : "-") + "\r\n";
    HANDLE f = ::CreateFileW((std::wstring(self) + L".record.txt").c_str(), GENERIC_WRITE, 0,
                             nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ::WriteFile(f, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    ::CloseHandle(f);
    return 0;
}
