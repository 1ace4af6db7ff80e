// The Win32 home of the process seam.
#pragma once

#include "platform/processes.h"

namespace tav::win32 {

// The two ways of listing the running processes: the system's process
// information, which the close waits read many times a second, and the
// Toolhelp snapshot built on it, which copies it once more.
std::optional<std::vector<ProcessEntry>> SnapshotFromSystemInformation();
std::optional<std::vector<ProcessEntry>> SnapshotFromToolhelp();

class Win32Processes : public Processes {
public:
    // The system's process information; Toolhelp where that is refused.
    std::optional<std::vector<ProcessEntry>> Snapshot() override;
    WindowHandle DesktopWindow() override;
    WindowHandle FirstChild(WindowHandle window) override;
    WindowHandle NextSibling(WindowHandle window) override;
    WindowHandle Parent(WindowHandle window) override;
    uint32_t WindowProcessId(WindowHandle window) override;
    bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                           intptr_t lParam) override;
    ProcessHandle OpenProcess(uint32_t access, uint32_t processId) override;
    bool TerminateProcess(ProcessHandle process, uint32_t exitCode) override;
    void CloseProcessHandle(ProcessHandle process) override;
    std::string ExecutablePath(ProcessHandle process) override;
    uint64_t CreationTime(ProcessHandle process) override;
};

}  // namespace tav::win32
