#include "fakes/fake_processes.h"

#include <algorithm>

#include "platform/failure.h"

namespace tav::fakes {

using std::to_string;

FakeProcesses::Process* FakeProcesses::Find(uint32_t processId) {
    std::vector<uint32_t> ended;
    for (const Process& p : processes_)
        if (clock && clock->TickCount() >= p.endsAtTick) ended.push_back(p.id);
    for (uint32_t id : ended) End(id);
    for (Process& p : processes_)
        if (p.id == processId) return &p;
    return nullptr;
}

FakeProcesses::Process* FakeProcesses::Opened(ProcessHandle h, uint32_t right) {
    return handles_.count(h) && (handles_[h].second & right) == right ? Find(handles_[h].first) : nullptr;
}

std::optional<std::vector<ProcessEntry>> FakeProcesses::Snapshot() {
    ++snapshots;
    if (snapshotFails) return std::nullopt;
    Find(0);
    std::vector<ProcessEntry> entries;
    for (const Process& p : processes_) entries.push_back({p.id, p.imageName, p.creationTime});
    return entries;
}

WindowHandle FakeProcesses::NextSibling(WindowHandle w) {
    Find(0);
    const auto next = windows_.upper_bound(w);
    return next == windows_.end() ? 0 : next->first;
}

bool FakeProcesses::PostWindowMessage(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t) {
    if (!windows_.count(w)) return false;
    calls.push_back("post " + to_string(w) + " " + to_string(message) + " " + to_string(static_cast<intptr_t>(wParam)));
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

uint32_t FakeProcesses::Start(const std::string& imageName, const std::string& executablePath) {
    processes_.push_back({nextId_, imageName, executablePath, true, ~0u, 0x1000u + nextId_});
    return (nextId_ += 4) - 4;
}

WindowHandle FakeProcesses::AddWindow(uint32_t processId, WindowHandle owner) {
    windows_[nextWindow_] = {processId, owner};
    return nextWindow_++;
}

void FakeProcesses::End(uint32_t processId) {
    std::erase_if(processes_, [&](const Process& p) { return p.id == processId; });
    std::erase_if(windows_, [&](const auto& w) { return w.second.first == processId; });
}

intptr_t FakeEnvironment::SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    calls.push_back("send " + to_string(window) + " " + to_string(message) + " " + to_string(wParam) + " " +
                    to_string(lParam));
    return 0;
}

std::vector<std::optional<std::string>> FakeEnvironment::ManagementQuery(const std::string& wql,
                                                                         const std::string& property) {
    calls.push_back("query " + wql + " / " + property);
    if (!processors) throw err::Make(err::kCantCreateObject);
    return *processors;
}

}  // namespace tav::fakes
