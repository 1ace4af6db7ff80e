#include "install/process_utils.h"

#include <optional>
#include <vector>

#include "error_log/trap.h"

namespace tav {

namespace {

// The window chain can change under a walk that yields; a chain that loops
// back on itself must not hold the updater forever.
constexpr size_t kMaxWindowsWalked = 1u << 20;

// WM_ENDSESSION's wParam: the session ends (TRUE as the classic call sent it).
constexpr int32_t kEndSessionEnding = -1;

std::optional<std::vector<ProcessEntry>> TakeSnapshot(const ProcessTools& tools, Trap& trap) {
    std::optional<std::vector<ProcessEntry>> snapshot;
    trap([&] { snapshot = tools.processes.Snapshot(); });
    return snapshot;
}

}  // namespace

bool CloseAll(const ProcessTools& tools, uint32_t processId, uint32_t message,
              int32_t first) noexcept {
    bool found = false;
    Trap trap(tools.log, "modORSutils.CloseAll");
    WindowHandle window = 0;
    trap([&] { window = tools.processes.FirstChild(tools.processes.DesktopWindow()); });
    for (size_t walked = 0; window != 0 && walked < kMaxWindowsWalked; ++walked) {
        const WindowHandle current = window;
        // Owned pop-ups answer the parent query with their owner and are
        // left alone; visibility plays no part.
        trap([&] {
            if (tools.processes.Parent(current) == 0 &&
                tools.processes.WindowProcessId(current) == processId) {
                tools.processes.PostWindowMessage(
                    current, message, static_cast<uintptr_t>(static_cast<intptr_t>(first)), 0);
                found = true;
            }
        });
        window = 0;
        trap([&] { window = tools.processes.NextSibling(current); });
        trap([&] { tools.events.DoEvents(); });
    }
    return found;
}

void CloseProcess(const ProcessTools& tools, const ProcessEntry& entry,
                  uint32_t exitCode) noexcept {
    Trap trap(tools.log, "modORSutils.CloseProcess");
    // Ids are handed out again once a process is gone, and the snapshot may
    // be many seconds old. An open handle keeps the id from passing on, so
    // the process is opened first, checked to be the one listed, and held
    // until the messages are posted and the termination is done.
    std::optional<OpenedProcess> process;
    trap([&] {
        process.emplace(tools.processes, kProcessTerminate | kProcessQueryLimitedInformation,
                        entry.processId);
    });
    if (!process || !*process) return;
    bool same = false;
    trap([&] {
        // A snapshot that does not say when the process started (the
        // Toolhelp fallback) cannot tell it from a later one with its id:
        // such a process is left alone rather than risk ending a stranger.
        const uint64_t created = tools.processes.CreationTime(process->get());
        same = entry.creationTime != 0 && created == entry.creationTime;
    });
    if (same) {
        if (CloseAll(tools, entry.processId, kWmEndSession, kEndSessionEnding))
            trap([&] { tools.processes.TerminateProcess(process->get(), exitCode); });
        CloseAll(tools, entry.processId, kWmClose, 0);
    }
}

bool CheckForProcessByName(const ProcessTools& tools, const std::string& name) noexcept {
    Trap trap(tools.log, "modMain.CheckForProcessByName");
    const auto snapshot = TakeSnapshot(tools, trap);
    if (!snapshot) return false;
    for (const ProcessEntry& entry : *snapshot) {
        if (entry.imageName == name) return true;
        trap([&] { tools.events.DoEvents(); });
    }
    return false;
}

std::string GetLongProcessName(const ProcessTools& tools, const std::string& name) noexcept {
    std::string result;
    Trap trap(tools.log, "modMain.GetLongProcessName");
    const auto snapshot = TakeSnapshot(tools, trap);
    if (!snapshot) return result;
    std::string path;
    for (const ProcessEntry& entry : *snapshot) {
        if (entry.imageName == name) {
            // The limited query right reads the path of a program of either
            // width, where reading its module list does not.
            std::optional<OpenedProcess> process;
            trap([&] {
                process.emplace(tools.processes, kProcessQueryLimitedInformation, entry.processId);
            });
            if (process && *process) {
                trap([&] { path = TrimNull(tools.processes.ExecutablePath(process->get())); });
                process.reset();
                if (!path.empty()) break;
            }
        }
        trap([&] { tools.events.DoEvents(); });
    }
    if (path.empty()) return result;
    return GetFileNameFromPath(tools, path);
}

std::string GetFileNameFromPath(const ProcessTools& tools, const std::string& path) noexcept {
    std::string result;
    Trap trap(tools.log, "modMain.GetFileNameFromPath");
    trap([&] {
        if (const auto found = tools.files.FindFirst(path)) result = TrimNull(found->name);
    });
    return result;
}

std::string TrimNull(const std::string& text) { return text.substr(0, text.find('\0')); }

bool IsFile(const ProcessTools& tools, const std::string& path) noexcept {
    bool result = false;
    Trap trap(tools.log, "modORSutils.IsFile");
    if (path.empty() || path.back() == '\\') return result;
    trap([&] {
        for (const FoundFile& f : tools.files.FindAll(path)) {
            if ((f.attributes & (kAttrHidden | kAttrSystem | kAttrDirectory)) == 0) {
                result = true;
                return;
            }
        }
    });
    return result;
}

}  // namespace tav
