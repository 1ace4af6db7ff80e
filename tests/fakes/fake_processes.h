// In-memory doubles for the process seam and the desktop environment: a
// process table, a window chain with owners and hidden windows, icons,
// system metrics and the management service.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/processes.h"
#include "platform/runtime.h"

namespace tav::fakes {

class FakeProcesses : public Processes {
public:
    struct Process {
        uint32_t processId = 0;
        std::string imageName;       // as the snapshot lists it
        std::string executablePath;  // "" when it cannot be read
        bool openable = true;
        bool exitsOnClose = false;           // ends when asked to close a window
        std::optional<uint32_t> endsAtTick;  // ends by itself then
        uint64_t creationTime = 0;           // set by Start
    };
    struct Window {
        WindowHandle handle = 0;
        uint32_t processId = 0;
        WindowHandle owner = 0;
        bool popup = false;  // an owned pop-up answers the parent query with its owner
        bool visible = true;
    };
    struct Post {
        WindowHandle window;
        uint32_t processId;
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
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
    void CloseProcessHandle(ProcessHandle process) override;
    std::string ExecutablePath(ProcessHandle process) override;
    uint64_t CreationTime(ProcessHandle process) override;

    // Set-up: a running process (returns its id) and a top-level window.
    uint32_t Start(const std::string& imageName, const std::string& executablePath = {});
    Process& Get(uint32_t processId);
    WindowHandle AddWindow(uint32_t processId, bool visible = true, WindowHandle owner = 0,
                           bool popup = false);
    void End(uint32_t processId);
    bool Running(uint32_t processId);

    std::vector<Post> posts;
    std::map<uint32_t, uint32_t> terminated;           // process id -> exit code
    std::vector<std::pair<uint32_t, uint32_t>> opens;  // rights, process id
    int snapshots = 0;
    bool snapshotFails = false;
    size_t OpenHandles() const { return handles_.size(); }
    // The tick count of the clock that ends processes with endsAtTick.
    Clock* clock = nullptr;

    static constexpr WindowHandle kDesktop = 0x10010;

private:
    void Reap();
    std::vector<Process> processes_;
    std::vector<Window> windows_;                                     // z-order
    std::map<ProcessHandle, std::pair<uint32_t, uint32_t>> handles_;  // -> process id, rights
    uint32_t nextId_ = 100;
    WindowHandle nextWindow_ = 0x20000;
    ProcessHandle nextHandle_ = 0x400;
};

class FakeEnvironment : public Environment {
public:
    WindowHandle OwnerWindow(WindowHandle window) override;
    int32_t SystemMetric(int32_t index) override;
    IconHandle LoadSharedIcon(const std::string& name, int32_t width, int32_t height) override;
    intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam) override;
    std::vector<std::optional<std::string>> ManagementQuery(const std::string& wql,
                                                            const std::string& property) override;
    std::string SystemFolder() override { return systemFolder; }

    // The icon handle LoadSharedIcon gives for a size of a known icon.
    static IconHandle IconFor(int32_t width, int32_t height) {
        return 0x7000 + static_cast<IconHandle>(width) * 0x100 + static_cast<IconHandle>(height);
    }

    struct Send {
        WindowHandle window;
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    std::map<WindowHandle, WindowHandle> owners;
    std::map<int32_t, int32_t> metrics{{11, 32}, {12, 32}, {49, 16}, {50, 16}};
    std::set<std::string> icons{"TAV"};
    std::vector<Send> sends;
    // Objects the query returns, each with its property or without; no
    // value at all: the service is not there.
    std::optional<std::vector<std::optional<std::string>>> processors =
        std::vector<std::optional<std::string>>{std::string("64")};
    std::vector<std::string> queries;
    std::string systemFolder = "C:\\Windows\\system32";
};

}  // namespace tav::fakes
