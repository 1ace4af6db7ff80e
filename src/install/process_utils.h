// Finding, asking and ending running processes by their image names, and
// the plain file test. None of these shows anything or fails its caller;
// each yields to pending user-interface events while it walks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/environment.h"
#include "platform/processes.h"
#include "platform/runtime.h"

namespace tav {

class CErrorUpdate;

// What finding, asking and ending processes works with. Failures are
// logged to log under the classic routine names.
struct ProcessTools {
    Processes& processes;
    EventLoop& events;         // yielded to while walking and waiting
    Clock& clock;              // the waits' tick count
    Files& files;              // file searches
    Shell& shell;              // stopping the service
    Environment& environment;  // where the system's programs are
    CErrorUpdate& log;
};

// Posts message (wParam = first, lParam = 0) to every top-level window of
// the process, hidden ones included, owned pop-ups not; true when at least
// one window was found.
bool CloseAll(const ProcessTools& tools, uint32_t processId, uint32_t message,
              int32_t first) noexcept;

// Tells the process's top-level windows that the session ends, terminates
// a process that has any, then asks the remaining windows to close. A
// process without top-level windows is never terminated. Acts only on the
// very process the snapshot listed: one that has gone, cannot be opened, or
// whose id now belongs to a later process is left alone. Does not wait.
void CloseProcess(const ProcessTools& tools, const ProcessEntry& entry, uint32_t exitCode) noexcept;

// True while a process with exactly this image name (case-sensitive) runs.
bool CheckForProcessByName(const ProcessTools& tools, const std::string& name) noexcept;

// The long file name of the running executable listed under name (usually
// an 8.3 short name), or "" when no such process can be read.
std::string GetLongProcessName(const ProcessTools& tools, const std::string& name) noexcept;

// The long file name, without folder, of the file path names; "" when none.
std::string GetFileNameFromPath(const ProcessTools& tools, const std::string& path) noexcept;

// The text before its first NUL, or the whole text.
std::string TrimNull(const std::string& text);

// True when an ordinary file (not hidden, not system, not a folder) matches
// path; wildcards in the last component match as in a file search.
bool IsFile(const ProcessTools& tools, const std::string& path) noexcept;

}  // namespace tav
