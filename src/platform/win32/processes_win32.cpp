#include "platform/win32/processes_win32.h"
#include "platform/win32/system_function.h"

// clang-format off
#include "platform/win32/win.h"
#include <tlhelp32.h>
#include <winternl.h>
// clang-format on

#include <algorithm>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace tav::win32 {

namespace {
HWND ToHwnd(WindowHandle w) { return reinterpret_cast<HWND>(w); }
WindowHandle FromHwnd(HWND w) { return reinterpret_cast<WindowHandle>(w); }
HANDLE ToHandle(ProcessHandle h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

std::optional<std::vector<ProcessEntry>> SnapshotFromSystemInformation() {
    static const auto query =
        TAV_SYSTEM_FUNCTION(::GetModuleHandleW(L"ntdll.dll"), NtQuerySystemInformation);
    if (!query) return std::nullopt;

    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    // Remembered between calls so that a steady system needs one query.
    static thread_local std::vector<unsigned char> buffer(64 * 1024);
    LONG status = kInfoLengthMismatch;
    for (int attempt = 0; attempt < 8 && status == kInfoLengthMismatch; ++attempt) {
        ULONG needed = 0;
        status = query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                       &needed);
        // Processes may start between the size query and the next call.
        if (status == kInfoLengthMismatch)
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 16 * 1024));
    }
    if (status < 0) return std::nullopt;

    std::vector<ProcessEntry> entries;
    size_t offset = 0;
    for (;;) {
        const auto* info =
            reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        const auto id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info->UniqueProcessId));
        std::wstring name(info->ImageName.Buffer ? info->ImageName.Buffer : L"",
                          info->ImageName.Length / sizeof(wchar_t));
        // The idle process has no image name; Toolhelp lists it like this.
        if (name.empty()) name = L"[System Process]";
        entries.push_back({id, Narrow(name), static_cast<uint64_t>(info->CreateTime.QuadPart)});
        if (info->NextEntryOffset == 0) break;
        offset += info->NextEntryOffset;
    }
    return entries;
}

std::optional<std::vector<ProcessEntry>> SnapshotFromToolhelp() {
    UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return std::nullopt;
    std::vector<ProcessEntry> entries;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!::Process32FirstW(snapshot.get(), &entry)) return entries;
    do {
        entry.szExeFile[MAX_PATH - 1] = L'\0';
        entries.push_back({entry.th32ProcessID, Narrow(entry.szExeFile)});
        entry.dwSize = sizeof entry;
    } while (::Process32NextW(snapshot.get(), &entry));
    return entries;
}

std::optional<std::vector<ProcessEntry>> Win32Processes::Snapshot() {
    if (auto entries = SnapshotFromSystemInformation()) return entries;
    return SnapshotFromToolhelp();
}

WindowHandle Win32Processes::DesktopWindow() { return FromHwnd(::GetDesktopWindow()); }

WindowHandle Win32Processes::FirstChild(WindowHandle window) {
    return FromHwnd(::GetWindow(ToHwnd(window), GW_CHILD));
}

WindowHandle Win32Processes::NextSibling(WindowHandle window) {
    return FromHwnd(::GetWindow(ToHwnd(window), GW_HWNDNEXT));
}

WindowHandle Win32Processes::Parent(WindowHandle window) {
    // GetParent answers an owned pop-up with its owner, which is what keeps
    // dialogs out of the top-level walk.
    return FromHwnd(::GetParent(ToHwnd(window)));
}

uint32_t Win32Processes::WindowProcessId(WindowHandle window) {
    DWORD id = 0;
    if (::GetWindowThreadProcessId(ToHwnd(window), &id) == 0) return 0;
    return id;
}

bool Win32Processes::PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                                       intptr_t lParam) {
    return ::PostMessageW(ToHwnd(window), message, static_cast<WPARAM>(wParam),
                          static_cast<LPARAM>(lParam)) != 0;
}

ProcessHandle Win32Processes::OpenProcess(uint32_t access, uint32_t processId) {
    return reinterpret_cast<ProcessHandle>(::OpenProcess(access, FALSE, processId));
}

bool Win32Processes::TerminateProcess(ProcessHandle process, uint32_t exitCode) {
    return ::TerminateProcess(ToHandle(process), exitCode) != 0;
}

void Win32Processes::CloseProcessHandle(ProcessHandle process) { ::CloseHandle(ToHandle(process)); }

std::string Win32Processes::ExecutablePath(ProcessHandle process) {
    // Unlike the module list, this query works when the program and this
    // process differ in width.
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!::QueryFullProcessImageNameW(ToHandle(process), 0, path.data(), &size)) return {};
    path.resize(size);
    return Narrow(path);
}

uint64_t Win32Processes::CreationTime(ProcessHandle process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(ToHandle(process), &created, &exited, &kernel, &user)) return 0;
    // A process that has ended is not one to act on.
    DWORD code = 0;
    if (!::GetExitCodeProcess(ToHandle(process), &code) || code != STILL_ACTIVE) return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace tav::win32
