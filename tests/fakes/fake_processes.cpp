#include "fake_processes.h"

#include <algorithm>

#include "core/failure.h"

namespace tav::fakes {

// --------------------------------------------------------------- processes

void FakeProcesses::Reap() {
    if (!clock) return;
    const uint32_t now = clock->TickCount();
    std::vector<uint32_t> ending;
    for (const Process& p : processes_)
        if (p.endsAtTick && now >= *p.endsAtTick) ending.push_back(p.processId);
    for (uint32_t id : ending) End(id);
}

std::optional<std::vector<ProcessEntry>> FakeProcesses::Snapshot() {
    ++snapshots;
    if (snapshotFails) return std::nullopt;
    Reap();
    std::vector<ProcessEntry> entries;
    for (const Process& p : processes_) entries.push_back({p.processId, p.imageName, p.creationTime});
    return entries;
}

WindowHandle FakeProcesses::FirstChild(WindowHandle window) {
    if (window != kDesktop) return 0;
    Reap();
    return windows_.empty() ? 0 : windows_.front().handle;
}

WindowHandle FakeProcesses::NextSibling(WindowHandle window) {
    auto it = std::find_if(windows_.begin(), windows_.end(),
                           [&](const Window& w) { return w.handle == window; });
    if (it == windows_.end() || ++it == windows_.end()) return 0;
    return it->handle;
}

WindowHandle FakeProcesses::Parent(WindowHandle window) {
    for (const Window& w : windows_)
        if (w.handle == window) return w.popup ? w.owner : 0;
    return 0;
}

uint32_t FakeProcesses::WindowProcessId(WindowHandle window) {
    for (const Window& w : windows_)
        if (w.handle == window) return w.processId;
    return 0;
}

bool FakeProcesses::PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                                      intptr_t lParam) {
    const uint32_t owner = WindowProcessId(window);
    if (owner == 0) return false;
    posts.push_back({window, owner, message, wParam, lParam});
    if (message == kWmClose && Get(owner).exitsOnClose) End(owner);
    return true;
}

ProcessHandle FakeProcesses::OpenProcess(uint32_t access, uint32_t processId) {
    opens.push_back({access, processId});
    Reap();
    auto it = std::find_if(processes_.begin(), processes_.end(),
                           [&](const Process& p) { return p.processId == processId; });
    if (it == processes_.end() || !it->openable) return 0;
    const ProcessHandle h = nextHandle_++;
    handles_[h] = {processId, access};
    return h;
}

bool FakeProcesses::TerminateProcess(ProcessHandle process, uint32_t exitCode) {
    auto it = handles_.find(process);
    if (it == handles_.end() || !(it->second.second & kProcessTerminate)) return false;
    if (!Running(it->second.first)) return false;
    terminated[it->second.first] = exitCode;
    End(it->second.first);
    return true;
}

void FakeProcesses::CloseProcessHandle(ProcessHandle process) { handles_.erase(process); }

uint64_t FakeProcesses::CreationTime(ProcessHandle process) {
    auto it = handles_.find(process);
    if (it == handles_.end() || !(it->second.second & kProcessQueryLimitedInformation)) return 0;
    for (const Process& p : processes_)
        if (p.processId == it->second.first) return p.creationTime;
    return 0;
}

std::string FakeProcesses::ExecutablePath(ProcessHandle process) {
    auto it = handles_.find(process);
    if (it == handles_.end() || !(it->second.second & kProcessQueryLimitedInformation)) return {};
    for (const Process& p : processes_)
        if (p.processId == it->second.first) return p.executablePath;
    return {};
}

uint32_t FakeProcesses::Start(const std::string& imageName, const std::string& executablePath) {
    Process p;
    p.processId = nextId_;
    nextId_ += 4;
    p.imageName = imageName;
    p.executablePath = executablePath;
    p.creationTime = 0x1000 + p.processId;
    processes_.push_back(p);
    return p.processId;
}

FakeProcesses::Process& FakeProcesses::Get(uint32_t processId) {
    for (Process& p : processes_)
        if (p.processId == processId) return p;
    static Process gone;
    gone = Process{};
    return gone;
}

WindowHandle FakeProcesses::AddWindow(uint32_t processId, bool visible, WindowHandle owner,
                                      bool popup) {
    Window w;
    w.handle = nextWindow_;
    nextWindow_ += 0x10;
    w.processId = processId;
    w.owner = owner;
    w.popup = popup;
    w.visible = visible;
    windows_.push_back(w);
    return w.handle;
}

void FakeProcesses::End(uint32_t processId) {
    std::erase_if(processes_, [&](const Process& p) { return p.processId == processId; });
    std::erase_if(windows_, [&](const Window& w) { return w.processId == processId; });
}

bool FakeProcesses::Running(uint32_t processId) {
    Reap();
    return std::any_of(processes_.begin(), processes_.end(),
                       [&](const Process& p) { return p.processId == processId; });
}

// ------------------------------------------------------------- environment

WindowHandle FakeEnvironment::OwnerWindow(WindowHandle window) {
    auto it = owners.find(window);
    return it == owners.end() ? 0 : it->second;
}

int32_t FakeEnvironment::SystemMetric(int32_t index) {
    auto it = metrics.find(index);
    return it == metrics.end() ? 0 : it->second;
}

IconHandle FakeEnvironment::LoadSharedIcon(const std::string& name, int32_t width, int32_t height) {
    return icons.count(name) ? IconFor(width, height) : 0;
}

intptr_t FakeEnvironment::SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                                            intptr_t lParam) {
    sends.push_back({window, message, wParam, lParam});
    return 0;
}

std::vector<std::optional<std::string>> FakeEnvironment::ManagementQuery(
    const std::string& wql, const std::string& property) {
    queries.push_back(wql + " / " + property);
    if (!processors) throw err::Make(err::kCantCreateObject);
    return *processors;
}

}  // namespace tav::fakes
