// Finding, asking and ending running processes by their image names, and
// the plain file test. None of these shows anything or fails its caller;
// each yields to pending user-interface events while it walks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/processes.h"

namespace tav {

class CErrorUpdate;

// Failures are logged to log under the classic routine names.

// Posts message (wParam = first, lParam = 0) to every top-level window of
// the process, hidden ones included, owned pop-ups not; true when at least
// one window was found.
bool CloseAll(CErrorUpdate& log, uint32_t processId, uint32_t message, int32_t first) noexcept;

// Tells the process's top-level windows that the session ends, terminates
// a process that has any, then asks the remaining windows to close. A
// process without top-level windows is never terminated. Acts only on the
// very process the snapshot listed: one that has gone, cannot be opened, or
// whose id now belongs to a later process is left alone. Does not wait.
void CloseProcess(CErrorUpdate& log, const ProcessEntry& entry, uint32_t exitCode) noexcept;

// True while a process with exactly this image name (case-sensitive) runs.
bool CheckForProcessByName(CErrorUpdate& log, const std::string& name) noexcept;

// The long file name of the running executable listed under name (usually
// an 8.3 short name), or "" when no such process can be read.
std::string GetLongProcessName(CErrorUpdate& log, const std::string& name) noexcept;

// The long file name, without folder, of the file path names; "" when none.
std::string GetFileNameFromPath(CErrorUpdate& log, const std::string& path) noexcept;

// The text before its first NUL, or the whole text.
std::string TrimNull(const std::string& text);

// True when an ordinary file (not hidden, not system, not a folder) matches
// path; wildcards in the last component match as in a file search.
bool IsFile(CErrorUpdate& log, const std::string& path) noexcept;

}  // namespace tav
