// A process table with a window chain, and a desktop with a management
// service, in memory.
#pragma once

#include <algorithm>
#include <map>

#include "platform/environment.h"
#include "core/failure.h"
#include "platform/processes.h"

namespace tav::fakes {

class FakeProcesses : public Processes {
public:
    struct Process {
        uint32_t id = 0;
        std::string imageName, executablePath;  // the path "" when it cannot be read
        bool openable = true;
        uint64_t creationTime = 0;
    };
    std::optional<std::vector<ProcessEntry>> Snapshot() override {
        if (++snapshots, snapshotFails) return std::nullopt;
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
        return windows_.count(w) ? windows_[w].second : 0;
    }
    uint32_t WindowProcessId(WindowHandle w) override {
        return windows_.count(w) ? windows_[w].first : 0;
    }
    bool PostWindowMessage(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t) override {
        if (!windows_.count(w)) return false;
        return Log("post", w, message, static_cast<intptr_t>(wParam)), true;
    }
    ProcessHandle OpenProcess(uint32_t access, uint32_t processId) override {
        Log("open", access, processId);
        const Process* p = Find(processId);
        if (!p || !p->openable) return 0;
        return handles_[nextHandle_] = {processId, access}, nextHandle_++;
    }
    bool TerminateProcess(ProcessHandle h, uint32_t exitCode) override {
        const Process* p = Opened(h, kProcessTerminate);
        return p && (Log("terminate", p->id, exitCode), End(p->id), true);
    }
    void CloseProcessHandle(ProcessHandle h) override {
        handles_.erase(h) ? void() : Log("close unopened", h);
    }
    std::string ExecutablePath(ProcessHandle h) override {
        return Opened(h, 0x1000) ? Opened(h, 0x1000)->executablePath : "";
    }
    uint64_t CreationTime(ProcessHandle h) override {
        return Opened(h, 0x1000) ? Opened(h, 0x1000)->creationTime : 0;
    }

    // A running process (ids 100, 104, ...) and a top-level window of it
    // (handles 257, 258, ... in z-order); a window with an owner is an owned pop-up.
    uint32_t Start(const std::string& imageName, const std::string& executablePath = {}) {
        processes_.push_back({nextId_, imageName, executablePath, true, 0x1000u + nextId_});
        return (nextId_ += 4) - 4;
    }
    WindowHandle AddWindow(uint32_t processId, WindowHandle owner = 0) {
        return windows_[nextWindow_] = {processId, owner}, nextWindow_++;
    }
    Process& Get(uint32_t processId) {
        return *std::ranges::find(processes_, processId, &Process::id);
    }
    void End(uint32_t processId) {
        std::erase_if(processes_, [&](const Process& p) { return p.id == processId; });
        std::erase_if(windows_, [&](const auto& w) { return w.second.first == processId; });
    }
    bool Running(uint32_t processId) { return Find(processId) != nullptr; }
    size_t OpenHandles() const { return handles_.size(); }

    std::vector<std::string>
        calls;  // "open <rights> <id>", "post <window> <message> <wParam>", "terminate <id> <code>"
    int snapshots = 0;
    bool snapshotFails = false;
    static constexpr WindowHandle kDesktop = 0x10010;

private:
    template <typename... T>
    void Log(const char* what, T... values) {
        calls.push_back(what);
        ((calls.back() += " " + std::to_string(values)), ...);
    }
    Process* Find(uint32_t processId) {
        const auto it = std::ranges::find(processes_, processId, &Process::id);
        return it == processes_.end() ? nullptr : &*it;
    }
    Process* Opened(ProcessHandle h, uint32_t right) {
        return handles_.count(h) && (handles_[h].second & right) == right ? Find(handles_[h].first)
                                                                          : nullptr;
    }
    std::vector<Process> processes_;
    std::map<WindowHandle, std::pair<uint32_t, WindowHandle>> windows_;  // -> process id, owner
    std::map<ProcessHandle, std::pair<uint32_t, uint32_t>> handles_;     // -> process id, rights
    uint32_t nextId_ = 100;
    WindowHandle nextWindow_ = 257;
    ProcessHandle nextHandle_ = 0x400;
};

// A desktop without icons whose management service knows the processors.
struct FakeEnvironment : Environment {
    WindowHandle OwnerWindow(WindowHandle) override { return 0; }
    int32_t SystemMetric(int32_t) override { return 32; }
    IconHandle LoadSharedIcon(const std::string&, int32_t, int32_t) override { return 0; }
    intptr_t SendWindowMessage(WindowHandle, uint32_t, uintptr_t, intptr_t) override { return 0; }
    std::vector<std::optional<std::string>> ManagementQuery(const std::string&,
                                                            const std::string&) override {
        return processors ? *processors : throw err::Make(err::kCantCreateObject);
    }
    std::string SystemFolder() override { return "C:\\Windows\\system32"; }
    // The property of each processor; none: no service.
    std::optional<std::vector<std::optional<std::string>>> processors =
        std::vector<std::optional<std::string>>{"64"};
};

}  // namespace tav::fakes
