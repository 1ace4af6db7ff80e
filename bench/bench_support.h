// What the benchmarks that drive the update program from outside share.
#pragma once

#include <string>

#include "platform/win32/text.h"
#include "platform/win32/win.h"

namespace tav::bench {

// Starts exe with args, not waited for; the process handle (the caller
// closes it), or null when it could not be started.
inline HANDLE Start(const std::string& exe, const std::string& args) {
    std::wstring cmd = L"\"" + win32::Widen(exe) + L"\" " + win32::Widen(args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi))
        return nullptr;
    ::CloseHandle(pi.hThread);
    return pi.hProcess;
}

}  // namespace tav::bench
