// How the close wait treats the machine while a program takes 2 seconds to
// exit: the updater's processor use, and how late it notices the exit.
// Compared, in the same run, with the literal loop that polls without
// pausing. Prints figures; it is no test.
//
//   close_wait.exe                 runs the benchmark
//   close_wait.exe child <ms>      the program waited for: sleeps, then exits
//   close_wait.exe costs           the processor time of one pass's parts
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "error_log/CErrorUpdate.h"
#include "install/process_utils.h"
#include "install/related_programs.h"
#include "platform/platform.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/text.h"
#include "platform/win32/win.h"

namespace {

// The close stage's services, and the log it writes its failures to, as
// the program's would be before it knows its folder.
const tav::ProcessTools& BenchTools() {
    static const tav::InstallLocation location;
    const tav::Platform& p = tav::platform();
    static tav::CErrorUpdate log({*p.files, *p.ui, *p.app, *p.clock}, location);
    static const tav::ProcessTools tools{*p.processes, *p.events,      *p.clock, *p.files,
                                         *p.shell,     *p.environment, log};
    return tools;
}

constexpr int kRuns = 5;
constexpr DWORD kChildLifetimeMs = 2000;
constexpr uint32_t kLimitMs = 15000;
const char* const kImageName = "TAVIDS.EXE";

double Seconds(LONGLONG counts) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return static_cast<double>(counts) / static_cast<double>(frequency);
}

LONGLONG Now() {
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    return c.QuadPart;
}

// User plus kernel time of this process, in seconds.
double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) *
               1e-7;
    };
    return value(kernel) + value(user);
}

struct ExitWatch {
    HANDLE process;
    LONGLONG exitedAt = 0;
};

// Blocks until the program ends and notes the moment: the reference the
// wait's own notice is measured against.
DWORD WINAPI WatchExit(LPVOID p) {
    auto* watch = static_cast<ExitWatch*>(p);
    ::WaitForSingleObject(watch->process, INFINITE);
    watch->exitedAt = Now();
    return 0;
}

void LiteralBusyWait(const std::string& name) {
    const uint32_t start = tav::platform().clock->TickCount();
    while (tav::CheckForProcessByName(BenchTools(), name)) {
        if (tav::platform().clock->TickCount() - start > kLimitMs) break;
        tav::platform().events->DoEvents();
    }
}

struct Result {
    double cpuPercent;
    double delayMs;
};

Result MeasureOnce(const std::string& exe, bool busy) {
    std::wstring cmd =
        L"\"" + tav::win32::Widen(exe) + L"\" child " + std::to_wstring(kChildLifetimeMs);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        std::fprintf(stderr, "cannot start %s\n", exe.c_str());
        std::exit(1);
    }
    ::CloseHandle(pi.hThread);
    ExitWatch watch{pi.hProcess};
    HANDLE watcher = ::CreateThread(nullptr, 0, WatchExit, &watch, 0, nullptr);
    while (!tav::CheckForProcessByName(BenchTools(), kImageName)) ::Sleep(5);

    const double cpuBefore = CpuSeconds();
    const LONGLONG start = Now();
    if (busy) {
        LiteralBusyWait(kImageName);
    } else {
        tav::WaitWhileRunning(BenchTools(), kImageName, kLimitMs, tav::ShutdownOptions{});
    }
    const LONGLONG noticed = Now();
    const double cpu = CpuSeconds() - cpuBefore;

    ::WaitForSingleObject(watcher, INFINITE);
    ::CloseHandle(watcher);
    ::CloseHandle(pi.hProcess);
    return {100.0 * cpu / Seconds(noticed - start), 1000.0 * Seconds(noticed - watch.exitedAt)};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "child") == 0) {
        ::Sleep(static_cast<DWORD>(std::atol(argv[2])));
        return 0;
    }
    tav::win32::InstallWin32Platform();

    // The program waited for runs under a TAV image name.
    wchar_t self[MAX_PATH], temp[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"tav_close_wait_bench";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring child = folder + L"\\" + tav::win32::Widen(kImageName);
    if (!::CopyFileW(self, child.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy the program\n");
        return 1;
    }

    if (argc > 1 && std::strcmp(argv[1], "costs") == 0) {
        const int n = 200;
        double c = CpuSeconds();
        for (int i = 0; i < n; ++i) tav::CheckForProcessByName(BenchTools(), "NOPE.EXE");
        std::printf("check: %.3f ms\n", (CpuSeconds() - c) * 1000 / n);
        c = CpuSeconds();
        for (int i = 0; i < n; ++i) tav::platform().processes->Snapshot();
        std::printf("snapshot: %.3f ms\n", (CpuSeconds() - c) * 1000 / n);
        c = CpuSeconds();
        for (int i = 0; i < n; ++i) tav::platform().events->DoEvents();
        std::printf("doevents: %.3f ms\n", (CpuSeconds() - c) * 1000 / n);
        c = CpuSeconds();
        for (int i = 0; i < 40; ++i) tav::platform().events->WaitForEvents(50);
        std::printf("wait50: %.3f ms\n", (CpuSeconds() - c) * 1000 / 40);
        return 0;
    }
    std::printf("close wait for a program that exits after %lu ms, %d runs each (medians)\n",
                static_cast<unsigned long>(kChildLifetimeMs), kRuns);
    Result medians[2];
    for (int busy = 0; busy < 2; ++busy) {
        std::vector<double> cpu, delay;
        for (int i = 0; i < kRuns; ++i) {
            const Result r = MeasureOnce(tav::win32::Narrow(child), busy == 1);
            cpu.push_back(r.cpuPercent);
            delay.push_back(r.delayMs);
        }
        medians[busy] = {Median(cpu), Median(delay)};
        std::printf("  %-28s CPU %6.1f %% of one core   exit noticed after %6.1f ms (max %.1f)\n",
                    busy ? "literal loop (no pause):" : "close wait (pause <= 50 ms):",
                    medians[busy].cpuPercent, medians[busy].delayMs,
                    *std::max_element(delay.begin(), delay.end()));
    }
    std::printf(
        "  CPU ratio literal / close wait: %.0fx   goals: CPU < 5 %%, notice < 100 ms: %s\n",
        medians[1].cpuPercent / std::max(medians[0].cpuPercent, 0.01),
        medians[0].cpuPercent < 5.0 && medians[0].delayMs < 100.0 ? "met" : "NOT met");

    ::DeleteFileW(child.c_str());
    ::RemoveDirectoryW(folder.c_str());
    return 0;
}
