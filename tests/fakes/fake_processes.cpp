#include "fakes/fake_processes.h"

#include <algorithm>

#include "platform/failure.h"

namespace tav::fakes {

using std::to_string;

void FakeProcesses::Reap() {
    std::vector<uint32_t> ending;
    for (const Process& p : processes_)
        if (clock && p.endsAtTick && clock->TickCount() >= *p.endsAtTick) ending.push_back(p.id);
    for (uint32_t id : ending) End(id);
}

FakeProcesses::Process* FakeProcesses::Find(uint32_t processId) {
    Reap();
    for (Process& p : processes_)
        if (p.id == processId) return &p;
    return nullptr;
}

FakeProcesses::Process* FakeProcesses::Opened(ProcessHandle process, uint32_t right) {
    auto it = handles_.find(process);
    return it == handles_.end() || !(it->second.second & right) ? nullptr : Find(it->second.first);
}

std::optional<std::vector<ProcessEntry>> FakeProcesses::Snapshot() {
    ++snapshots;
    if (snapshotFails) return std::nullopt;
    Reap();
    std::vector<ProcessEntry> entries;
    for (const Process& p : processes_) entries.push_back({p.id, p.imageName, p.creationTime});
    return entries;
}

WindowHandle FakeProcesses::FirstChild(WindowHandle window) {
    Reap();
    return window != kDesktop || windows_.empty() ? 0 : windows_.front().handle;
}

WindowHandle FakeProcesses::NextSibling(WindowHandle window) {
    auto it = std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) { return w.handle == window; });
    return it == windows_.end() || ++it == windows_.end() ? 0 : it->handle;
}

WindowHandle FakeProcesses::Parent(WindowHandle window) {
    for (const Window& w : windows_)
        if (w.handle == window) return w.owner;
    return 0;
}

uint32_t FakeProcesses::WindowProcessId(WindowHandle window) {
    for (const Window& w : windows_)
        if (w.handle == window) return w.processId;
    return 0;
}

bool FakeProcesses::PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (WindowProcessId(window) == 0) return false;
    calls.push_back("post " + to_string(window) + " " + to_string(message) + " " +
                    to_string(static_cast<intptr_t>(wParam)));
    return true;
}

ProcessHandle FakeProcesses::OpenProcess(uint32_t access, uint32_t processId) {
    calls.push_back("open " + to_string(access) + " " + to_string(processId));
    const Process* p = Find(processId);
    if (!p || !p->openable) return 0;
    handles_[nextHandle_] = {processId, access};
    return nextHandle_++;
}

bool FakeProcesses::TerminateProcess(ProcessHandle process, uint32_t exitCode) {
    const Process* p = Opened(process, kProcessTerminate);
    if (!p) return false;
    calls.push_back("terminate " + to_string(p->id) + " " + to_string(exitCode));
    End(p->id);
    return true;
}

std::string FakeProcesses::ExecutablePath(ProcessHandle process) {
    const Process* p = Opened(process, kProcessQueryLimitedInformation);
    return p ? p->executablePath : "";
}

uint64_t FakeProcesses::CreationTime(ProcessHandle process) {
    const Process* p = Opened(process, kProcessQueryLimitedInformation);
    return p ? p->creationTime : 0;
}

uint32_t FakeProcesses::Start(const std::string& imageName, const std::string& executablePath) {
    processes_.push_back({nextId_, imageName, executablePath, true, std::nullopt, 0x1000u + nextId_});
    nextId_ += 4;
    return processes_.back().id;
}

WindowHandle FakeProcesses::AddWindow(uint32_t processId, WindowHandle owner) {
    windows_.push_back({nextWindow_++, processId, owner});
    return windows_.back().handle;
}

FakeProcesses::Process& FakeProcesses::Get(uint32_t processId) { return *Find(processId); }

void FakeProcesses::End(uint32_t processId) {
    std::erase_if(processes_, [&](const Process& p) { return p.id == processId; });
    std::erase_if(windows_, [&](const Window& w) { return w.processId == processId; });
}

bool FakeProcesses::Running(uint32_t processId) { return Find(processId) != nullptr; }

intptr_t FakeEnvironment::SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                                            intptr_t lParam) {
    calls.push_back("send " + to_string(window) + " " + to_string(message) + " " + to_string(wParam) +
                    " " + to_string(lParam));
    return 0;
}

std::vector<std::optional<std::string>> FakeEnvironment::ManagementQuery(const std::string& wql,
                                                                         const std::string& property) {
    calls.push_back("query " + wql + " / " + property);
    if (!processors) throw err::Make(err::kCantCreateObject);
    return *processors;
}

}  // namespace tav::fakes
