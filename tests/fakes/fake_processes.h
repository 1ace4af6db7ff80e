// A process table with a window chain, and a desktop with a management
// service, in memory.
#pragma once

#include <algorithm>
#include <map>

#include "core/failure.h"
#include "platform/environment.h"
#include "platform/processes.h"

namespace tav::fakes {

class FakeProcesses : public Processes {
public:
    struct Process {
        uint32_t id = 0;
        std::string imageName;
        std::string executablePath;  // "" when it cannot be read
        bool openable = true;
        uint64_t creationTime = 0;
    };
    std::optional<std::vector<ProcessEntry>> Snapshot() override {
        ++snapshots;
        if (snapshotFails) return std::nullopt;
        std::vector<ProcessEntry> entries;
        for (const Process& p : processes_) entries.push_back({p.id, p.imageName, p.creationTime});
        return entries;
    }
    WindowHandle DesktopWindow() override { return kDesktop; }
    WindowHandle FirstChild(WindowHandle w) override { return w == kDesktop ? NextSibling(0) : 0; }
    WindowHandle NextSibling(WindowHandle w) override {
        const auto next = windows_.upper_bound(w);
        return next == windows_.end() ? 0 : next->first;
    }
    WindowHandle Parent(WindowHandle w) override {
        return windows_.count(w) ? windows_[w].owner : 0;
    }
    uint32_t WindowProcessId(WindowHandle w) override {
        return windows_.count(w) ? windows_[w].processId : 0;
    }
    bool PostWindowMessage(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t) override {
        if (!windows_.count(w)) return false;
        Log("post", w, message, static_cast<intptr_t>(wParam));
        return true;
    }
    ProcessHandle OpenProcess(uint32_t access, uint32_t processId) override {
        Log("open", access, processId);
        const Process* p = Find(processId);
        if (!p || !p->openable) return 0;
        handles_[nextHandle_] = {processId, access};
        return nextHandle_++;
    }
    bool TerminateProcess(ProcessHandle h, uint32_t exitCode) override {
        const Process* p = Opened(h, kProcessTerminate);
        if (!p) return false;
        Log("terminate", p->id, exitCode);
        End(p->id);
        return true;
    }
    void CloseProcessHandle(ProcessHandle h) override { handles_.erase(h); }
    std::string ExecutablePath(ProcessHandle h) override {
        const Process* p = Opened(h, kProcessQueryLimitedInformation);
        return p ? p->executablePath : "";
    }
    uint64_t CreationTime(ProcessHandle h) override {
        const Process* p = Opened(h, kProcessQueryLimitedInformation);
        return p ? p->creationTime : 0;
    }

    // A running process (ids 100, 104, ...) and a top-level window of it
    // (handles 257, 258, ... in z-order).
    uint32_t Start(const std::string& imageName, const std::string& executablePath = {}) {
        processes_.push_back({nextId_, imageName, executablePath, true, 0x1000u + nextId_});
        nextId_ += 4;
        return nextId_ - 4;
    }
    WindowHandle AddWindow(uint32_t processId) {
        windows_[nextWindow_] = {processId, 0};
        return nextWindow_++;
    }
    Process& Get(uint32_t processId) {
        return *std::ranges::find(processes_, processId, &Process::id);
    }
    void End(uint32_t processId) {
        std::erase_if(processes_, [&](const Process& p) { return p.id == processId; });
        std::erase_if(windows_, [&](const auto& w) { return w.second.processId == processId; });
    }
    bool Running(uint32_t processId) { return Find(processId) != nullptr; }
    size_t OpenHandles() const { return handles_.size(); }

    // "open <rights> <id>", "post <window> <message> <wParam>", "terminate <id> <code>"
    std::vector<std::string> calls;
    int snapshots = 0;
    bool snapshotFails = false;
    static constexpr WindowHandle kDesktop = 0x10010;

private:
    struct Window {
        uint32_t processId = 0;
        WindowHandle owner = 0;
    };
    template <typename... T>
    void Log(const char* what, T... values) {
        std::string call = what;
        ((call += " " + std::to_string(values)), ...);
        calls.push_back(call);
    }
    Process* Find(uint32_t processId) {
        const auto it = std::ranges::find(processes_, processId, &Process::id);
        return it == processes_.end() ? nullptr : &*it;
    }
    Process* Opened(ProcessHandle h, uint32_t right) {
        if (!handles_.count(h) || (handles_[h].second & right) != right) return nullptr;
        return Find(handles_[h].first);
    }
    std::vector<Process> processes_;
    std::map<WindowHandle, Window> windows_;
    std::map<ProcessHandle, std::pair<uint32_t, uint32_t>> handles_;  // -> process id, rights
    uint32_t nextId_ = 100;
    WindowHandle nextWindow_ = 257;
    ProcessHandle nextHandle_ = 0x400;
};

// A desktop whose icons are as large as the metric asked for and whose
// management service knows the processors.
struct FakeEnvironment : Environment {
    WindowHandle OwnerWindow(WindowHandle w) override { return owners.count(w) ? owners[w] : 0; }
    int32_t SystemMetric(int32_t index) override { return index; }
    IconHandle LoadSharedIcon(const std::string&, int32_t width, int32_t) override {
        return static_cast<IconHandle>(width);
    }
    intptr_t SendWindowMessage(WindowHandle w, uint32_t message, uintptr_t kind,
                               intptr_t icon) override {
        sent.push_back(std::to_string(w) + " " + std::to_string(message) + " " +
                       std::to_string(kind) + " " + std::to_string(icon));
        return 0;
    }
    std::vector<std::optional<std::string>> ManagementQuery(const std::string&,
                                                            const std::string&) override {
        if (!processors) throw err::Make(err::kCantCreateObject);
        return *processors;
    }
    std::string SystemFolder() override { return "C:\\Windows\\system32"; }

    std::map<WindowHandle, WindowHandle> owners;  // window -> owner
    std::vector<std::string> sent;                // "<window> <message> <kind> <icon>"
    // The property of each processor; none: no service.
    std::optional<std::vector<std::optional<std::string>>> processors =
        std::vector<std::optional<std::string>>{"64"};
};

}  // namespace tav::fakes
