#include "install/process_utils.h"

#include <optional>
#include <vector>

#include "platform/platform.h"
#include "error_log/trap.h"

namespace tav {

namespace {

Processes& Procs() { return *platform().processes; }
void DoEvents() { platform().events->DoEvents(); }

// The window chain can change under a walk that yields; a chain that loops
// back on itself must not hold the updater forever.
constexpr size_t kMaxWindowsWalked = 1u << 20;

std::optional<std::vector<ProcessEntry>> TakeSnapshot(Trap& trap) {
    std::optional<std::vector<ProcessEntry>> snapshot;
    trap([&] { snapshot = Procs().Snapshot(); });
    return snapshot;
}

}  // namespace

bool CloseAll(uint32_t processId, uint32_t message, int32_t first) {
    bool found = false;
    Trap trap("modORSutils.CloseAll");
    WindowHandle window = 0;
    trap([&] { window = Procs().FirstChild(Procs().DesktopWindow()); });
    for (size_t walked = 0; window != 0 && walked < kMaxWindowsWalked; ++walked) {
        const WindowHandle current = window;
        // Owned pop-ups answer the parent query with their owner and are
        // left alone; visibility plays no part.
        trap([&] {
            if (Procs().Parent(current) == 0 && Procs().WindowProcessId(current) == processId) {
                Procs().PostWindowMessage(current, message,
                                          static_cast<uintptr_t>(static_cast<intptr_t>(first)), 0);
                found = true;
            }
        });
        window = 0;
        trap([&] { window = Procs().NextSibling(current); });
        trap([&] { DoEvents(); });
    }
    return found;
}

void CloseProcess(const ProcessEntry& entry, uint32_t exitCode) {
    Trap trap("modORSutils.CloseProcess");
    // Ids are handed out again once a process is gone, and the snapshot may
    // be many seconds old. An open handle keeps the id from passing on, so
    // the process is opened first, checked to be the one listed, and held
    // until the messages are posted and the termination is done.
    std::optional<OpenedProcess> process;
    trap([&] {
        process.emplace(Procs(), kProcessTerminate | kProcessQueryLimitedInformation,
                        entry.processId);
    });
    if (!process || !*process) return;
    bool same = false;
    trap([&] {
        // A snapshot that does not say when the process started (the
        // Toolhelp fallback) cannot tell it from a later one with its id:
        // such a process is left alone rather than risk ending a stranger.
        const uint64_t created = Procs().CreationTime(process->get());
        same = entry.creationTime != 0 && created == entry.creationTime;
    });
    if (same) {
        bool hasWindows = false;
        trap([&] { hasWindows = CloseAll(entry.processId, kWmEndSession, -1); });
        if (hasWindows) trap([&] { Procs().TerminateProcess(process->get(), exitCode); });
        trap([&] { CloseAll(entry.processId, kWmClose, 0); });
    }
}

bool CheckForProcessByName(const std::string& name) {
    Trap trap("modMain.CheckForProcessByName");
    const auto snapshot = TakeSnapshot(trap);
    if (!snapshot) return false;
    for (const ProcessEntry& entry : *snapshot) {
        if (entry.imageName == name) return true;
        trap([&] { DoEvents(); });
    }
    return false;
}

std::string GetLongProcessName(const std::string& name) {
    std::string result;
    Trap trap("modMain.GetLongProcessName");
    const auto snapshot = TakeSnapshot(trap);
    if (!snapshot) return result;
    std::string path;
    for (const ProcessEntry& entry : *snapshot) {
        if (entry.imageName == name) {
            // The limited query right reads the path of a program of either
            // width, where reading its module list does not.
            std::optional<OpenedProcess> process;
            trap([&] {
                process.emplace(Procs(), kProcessQueryLimitedInformation, entry.processId);
            });
            if (process && *process) {
                trap([&] { path = TrimNull(Procs().ExecutablePath(process->get())); });
                process.reset();
                if (!path.empty()) break;
            }
        }
        trap([&] { DoEvents(); });
    }
    if (path.empty()) return result;
    trap([&] { result = GetFileNameFromPath(path); });
    return result;
}

std::string GetFileNameFromPath(const std::string& path) {
    std::string result;
    Trap trap("modMain.GetFileNameFromPath");
    trap([&] {
        if (const auto found = platform().files->FindFirst(path)) result = TrimNull(found->name);
    });
    return result;
}

std::string TrimNull(const std::string& text) {
    std::string result;
    Trap trap("modMain.TrimNull");
    trap([&] { result = text.substr(0, text.find('\0')); });
    return result;
}

bool IsFile(const std::string& path) {
    bool result = false;
    Trap trap("modORSutils.IsFile");
    if (path.empty() || path.back() == '\\') return result;
    trap([&] {
        for (const FoundFile& f : platform().files->FindAll(path)) {
            if ((f.attributes & (kAttrHidden | kAttrSystem | kAttrDirectory)) == 0) {
                result = true;
                return;
            }
        }
    });
    return result;
}

}  // namespace tav
