// Running processes and their top-level windows, as thin as the system
// calls themselves: the matching rules, the order of the walk and the
// choice of messages live in the program logic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tav {

using WindowHandle = std::uintptr_t;
using ProcessHandle = std::uintptr_t;

// One entry of a process snapshot.
struct ProcessEntry {
    uint32_t processId = 0;
    // The executable's file name without folder, as the snapshot gives it:
    // on some systems in its 8.3 short form.
    std::string imageName;
    // When the process started (100 ns units since 1601), telling it from a
    // later one that got the same id; 0 when the snapshot does not say.
    uint64_t creationTime = 0;
};

inline constexpr uint32_t kProcessTerminate = 0x0001;
// Enough to read a process's executable path, also across widths.
inline constexpr uint32_t kProcessQueryLimitedInformation = 0x1000;

inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmEndSession = 0x0016;

class Processes {
public:
    virtual ~Processes() = default;

    // Every running process in snapshot order; nothing when no snapshot
    // could be taken.
    virtual std::optional<std::vector<ProcessEntry>> Snapshot() = 0;

    virtual WindowHandle DesktopWindow() = 0;
    // 0 at the end of the chain.
    virtual WindowHandle FirstChild(WindowHandle window) = 0;
    virtual WindowHandle NextSibling(WindowHandle window) = 0;
    // The parent of a child window, or the owner of an owned pop-up; 0 for
    // any other top-level window.
    virtual WindowHandle Parent(WindowHandle window) = 0;
    // The id of the process that created the window; 0 when it is gone.
    virtual uint32_t WindowProcessId(WindowHandle window) = 0;
    // Queues a message without waiting; false when it could not be queued.
    virtual bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                                   intptr_t lParam) = 0;

    // A non-inheritable handle with the given rights, or 0.
    virtual ProcessHandle OpenProcess(uint32_t access, uint32_t processId) = 0;
    virtual bool TerminateProcess(ProcessHandle process, uint32_t exitCode) = 0;
    virtual void CloseProcessHandle(ProcessHandle process) = 0;
    // Full path of the process's executable, "" when it cannot be read.
    virtual std::string ExecutablePath(ProcessHandle process) = 0;
    // When the process started, as ProcessEntry::creationTime; 0 when it
    // cannot be read (needs kProcessQueryLimitedInformation).
    virtual uint64_t CreationTime(ProcessHandle process) = 0;
};

// A process opened through the service and closed through it when the guard
// ends; empty when the process could not be opened.
class OpenedProcess {
public:
    OpenedProcess(Processes& processes, uint32_t access, uint32_t processId)
        : processes_(processes), handle_(processes.OpenProcess(access, processId)) {}
    ~OpenedProcess() {
        if (handle_) processes_.CloseProcessHandle(handle_);
    }
    OpenedProcess(const OpenedProcess&) = delete;
    OpenedProcess& operator=(const OpenedProcess&) = delete;

    ProcessHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }

private:
    Processes& processes_;
    ProcessHandle handle_;
};

}  // namespace tav
