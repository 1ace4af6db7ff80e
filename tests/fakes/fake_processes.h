// A process table with a window chain, and a desktop with icons and a
// management service, in memory.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/processes.h"
#include "platform/runtime.h"

namespace tav::fakes {

class FakeProcesses : public Processes {
public:
    struct Process {
        uint32_t id = 0;
        std::string imageName, executablePath;  // the path "" when it cannot be read
        bool openable = true;
        uint32_t endsAtTick = ~0u;  // ends by itself then
        uint64_t creationTime = 0;
    };
    std::optional<std::vector<ProcessEntry>> Snapshot() override;
    WindowHandle DesktopWindow() override { return kDesktop; }
    WindowHandle FirstChild(WindowHandle w) override { return w == kDesktop ? NextSibling(0) : 0; }
    WindowHandle NextSibling(WindowHandle w) override;
    WindowHandle Parent(WindowHandle w) override { return windows_.count(w) ? windows_[w].second : 0; }
    uint32_t WindowProcessId(WindowHandle w) override { return windows_.count(w) ? windows_[w].first : 0; }
    bool PostWindowMessage(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t) override;
    ProcessHandle OpenProcess(uint32_t access, uint32_t processId) override;
    bool TerminateProcess(ProcessHandle process, uint32_t exitCode) override;
    void CloseProcessHandle(ProcessHandle process) override { handles_.erase(process); }
    std::string ExecutablePath(ProcessHandle h) override { return Opened(h, 0x1000) ? Opened(h, 0x1000)->executablePath : ""; }
    uint64_t CreationTime(ProcessHandle h) override { return Opened(h, 0x1000) ? Opened(h, 0x1000)->creationTime : 0; }

    // A running process (ids 100, 104, ...) and a top-level window of it
    // (handles 257, 258, ... in z-order); a window with an owner is an owned pop-up.
    uint32_t Start(const std::string& imageName, const std::string& executablePath = {});
    WindowHandle AddWindow(uint32_t processId, WindowHandle owner = 0);
    Process& Get(uint32_t processId) { return *Find(processId); }
    void End(uint32_t processId);
    bool Running(uint32_t processId) { return Find(processId) != nullptr; }
    size_t OpenHandles() const { return handles_.size(); }

    std::vector<std::string> calls;  // "open <rights> <id>", "post <window> <message> <wParam>", "terminate <id> <code>"
    int snapshots = 0;
    bool snapshotFails = false;
    Clock* clock = nullptr;  // ends processes at their endsAtTick
    static constexpr WindowHandle kDesktop = 0x10010;

private:
    Process* Find(uint32_t processId);
    Process* Opened(ProcessHandle h, uint32_t right);
    std::vector<Process> processes_;
    std::map<WindowHandle, std::pair<uint32_t, WindowHandle>> windows_;  // -> process id, owner
    std::map<ProcessHandle, std::pair<uint32_t, uint32_t>> handles_;     // -> process id, rights
    uint32_t nextId_ = 100;
    WindowHandle nextWindow_ = 257;
    ProcessHandle nextHandle_ = 0x400;
};

struct FakeEnvironment : Environment {
    WindowHandle OwnerWindow(WindowHandle window) override { return owners[window]; }
    int32_t SystemMetric(int32_t index) override { return metrics[index]; }
    // The program's own icon only, as width * 1000 + height.
    IconHandle LoadSharedIcon(const std::string& name, int32_t w, int32_t h) override {
        return name == "TAV" ? static_cast<IconHandle>(w * 1000 + h) : 0;
    }
    intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    std::vector<std::optional<std::string>> ManagementQuery(const std::string& wql, const std::string& property) override;
    std::string SystemFolder() override { return "C:\\Windows\\system32"; }

    std::map<WindowHandle, WindowHandle> owners;
    std::map<int32_t, int32_t> metrics{{kSmCxIcon, 32}, {kSmCyIcon, 32}, {kSmCxSmIcon, 16}, {kSmCySmIcon, 16}};
    // The property of each object the query returns; none: no service.
    std::optional<std::vector<std::optional<std::string>>> processors = std::vector<std::optional<std::string>>{"64"};
    std::vector<std::string> calls;  // "send <window> <message> <wParam> <lParam>", "query <wql> / <property>"
};

}  // namespace tav::fakes
