// A process table with a window chain, and a desktop with icons and a
// management service, in memory.
#pragma once

#include <cstdint>
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
        std::string imageName;       // as the snapshot lists it
        std::string executablePath;  // "" when it cannot be read
        bool openable = true;
        std::optional<uint32_t> endsAtTick;  // ends by itself then
        uint64_t creationTime = 0;
    };

    std::optional<std::vector<ProcessEntry>> Snapshot() override;
    WindowHandle DesktopWindow() override { return kDesktop; }
    WindowHandle FirstChild(WindowHandle window) override;
    WindowHandle NextSibling(WindowHandle window) override;
    WindowHandle Parent(WindowHandle window) override;
    uint32_t WindowProcessId(WindowHandle window) override;
    bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                           intptr_t lParam) override;
    ProcessHandle OpenProcess(uint32_t access, uint32_t processId) override;
    bool TerminateProcess(ProcessHandle process, uint32_t exitCode) override;
    void CloseProcessHandle(ProcessHandle process) override { handles_.erase(process); }
    std::string ExecutablePath(ProcessHandle process) override;
    uint64_t CreationTime(ProcessHandle process) override;

    // A running process (its id), and a top-level window of it; a window
    // with an owner is an owned pop-up.
    uint32_t Start(const std::string& imageName, const std::string& executablePath = {});
    WindowHandle AddWindow(uint32_t processId, WindowHandle owner = 0);
    Process& Get(uint32_t processId);
    void End(uint32_t processId);
    bool Running(uint32_t processId);
    size_t OpenHandles() const { return handles_.size(); }

    // "open <rights> <id>", "post <window> <message> <wParam>", "terminate <id> <code>"
    std::vector<std::string> calls;
    int snapshots = 0;
    bool snapshotFails = false;
    Clock* clock = nullptr;  // ends processes at their endsAtTick

    static constexpr WindowHandle kDesktop = 0x10010;

private:
    struct Window {
        WindowHandle handle;
        uint32_t processId;
        WindowHandle owner;
    };
    void Reap();
    Process* Find(uint32_t processId);
    Process* Opened(ProcessHandle process, uint32_t right);
    std::vector<Process> processes_;
    std::vector<Window> windows_;  // z-order
    std::map<ProcessHandle, std::pair<uint32_t, uint32_t>> handles_;  // -> process id, rights
    uint32_t nextId_ = 100;
    ProcessHandle nextHandle_ = 0x400;
    WindowHandle nextWindow_ = 0x101;
};

class FakeEnvironment : public Environment {
public:
    WindowHandle OwnerWindow(WindowHandle window) override { return owners[window]; }
    int32_t SystemMetric(int32_t index) override { return metrics[index]; }
    // Handle = width * 1000 + height, for the program's own icon only.
    IconHandle LoadSharedIcon(const std::string& name, int32_t width, int32_t height) override {
        return name == "TAV" ? static_cast<IconHandle>(width * 1000 + height) : 0;
    }
    intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam) override;
    std::vector<std::optional<std::string>> ManagementQuery(const std::string& wql,
                                                            const std::string& property) override;
    std::string SystemFolder() override { return "C:\\Windows\\system32"; }

    std::map<WindowHandle, WindowHandle> owners;
    std::map<int32_t, int32_t> metrics{{kSmCxIcon, 32}, {kSmCyIcon, 32}, {kSmCxSmIcon, 16}, {kSmCySmIcon, 16}};
    // Per object the query returns, its property; nothing: no service.
    std::optional<std::vector<std::optional<std::string>>> processors =
        std::vector<std::optional<std::string>>{std::string("64")};
    std::vector<std::string> calls;  // "send <window> <message> <wParam> <lParam>", "query <wql> / <property>"
};

}  // namespace tav::fakes
