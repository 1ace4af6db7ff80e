// Start-up and hand-over figures of the update program, measured from
// outside under Wine (run by bench/startup.sh, which prepares the
// installation, the registry and the loopback server):
//   * process creation to its main window shown, against a bare program
//     that shows one plain window, measured the same way in this run;
//   * the server's last byte of the installer to the installer running
//     (its record file written), with no TAV program running, against
//     starting the same installer directly from here; then one more run
//     with its status lines timed, to show where the time goes.
// Usage: startup_bench FOLDER PLAIN_WINDOW_EXE INSTALLER_URL SENT_LOG ROUNDS
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "platform/win32/text.h"
#include "platform/win32/win.h"

#include <shellapi.h>

namespace {

using tav::bench::Start;
using tav::win32::Widen;

double NowUnix() {
    FILETIME ft;
    ::GetSystemTimePreciseAsFileTime(&ft);
    const ULONGLONG t = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (static_cast<double>(t) - 116444736000000000.0) / 1e7;
}

double ToUnix(const FILETIME& ft) {
    const ULONGLONG t = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (static_cast<double>(t) - 116444736000000000.0) / 1e7;
}

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK Match(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner == s->pid && ::IsWindowVisible(w)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds from the process's creation to its first visible top-level
// window; -1 when none shows within 30 s.
double CreationToWindowMs(const std::string& exe, const std::string& args) {
    HANDLE p = Start(exe, args);
    if (!p) return -1;
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(p, &created, &exited, &kernel, &user);
    Search s{::GetProcessId(p), nullptr};
    double shown = -1;
    for (int i = 0; i < 30000 && ::WaitForSingleObject(p, 0) == WAIT_TIMEOUT; ++i) {
        ::EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
        if (s.found) {
            shown = (NowUnix() - ToUnix(created)) * 1000.0;
            break;
        }
        ::Sleep(1);
    }
    ::TerminateProcess(p, 0);
    ::WaitForSingleObject(p, 10000);
    ::CloseHandle(p);
    return shown;
}

// The unix time a file was last written, 0 when it is missing.
double WrittenAt(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &d)) return 0;
    return ToUnix(d.ftLastWriteTime);
}

bool WaitForFile(const std::string& path, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 2) {
        if (WrittenAt(path) > 0) return true;
        ::Sleep(2);
    }
    return false;
}

// The time of the last byte the server sent: the last line of its log.
double LastByteSent(const std::string& log) {
    FILE* f = _wfopen(Widen(log).c_str(), L"rb");
    if (!f) return 0;
    char line[256];
    double last = 0;
    while (std::fgets(line, sizeof line, f)) {
        char name[128];
        long long bytes = 0;
        double at = 0;
        if (std::sscanf(line, "%127s %lld %lf", name, &bytes, &at) == 3) last = at;
    }
    std::fclose(f);
    return last;
}

// The status lines of one run and when this process first read each.
struct Stages {
    std::vector<std::pair<std::string, double>> seen;
};

std::string StatusOf(DWORD pid) {
    HWND main = ::FindWindowW(L"TAVUpdateMainWindow", nullptr);
    DWORD owner = 0;
    if (!main || (::GetWindowThreadProcessId(main, &owner), owner != pid)) return {};
    wchar_t buf[512] = {};
    DWORD_PTR n = 0;
    if (!::SendMessageTimeoutW(::GetDlgItem(main, 104), WM_GETTEXT, 512,
                               reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 1000, &n))
        return {};
    return tav::win32::Narrow(std::wstring(buf, n));
}

// Milliseconds from the server's last byte to the installer's record, one
// update run from download to hand-over; -1 on failure. With stages, the
// status line is read all along (which costs the program a little).
double HandOverMs(const std::string& folder, const std::string& url, const std::string& sentLog,
                  Stages* stages = nullptr) {
    const std::string record = folder + "\\setup.exe.record.txt";
    for (const char* name : {"\\setup.exe.record.txt", "\\setup.exe", "\\setup.old"})
        ::DeleteFileW(Widen(folder + name).c_str());
    HANDLE p = Start(folder + "\\TAVUpdate.exe", "\"" + url + "|bench\"");
    if (!p) return -1;
    if (stages) {
        std::string last;
        while (::WaitForSingleObject(p, 1) == WAIT_TIMEOUT) {
            const std::string now = StatusOf(::GetProcessId(p));
            if (!now.empty() && now != last) stages->seen.emplace_back(now, NowUnix());
            if (!now.empty()) last = now;
        }
    }
    const bool ended = ::WaitForSingleObject(p, 60000) == WAIT_OBJECT_0;
    ::CloseHandle(p);
    if (!ended || !WaitForFile(record, 30000)) return -1;
    const double lastByte = LastByteSent(sentLog);
    if (stages) {
        for (auto& [text, at] : stages->seen) at = (at - lastByte) * 1000.0;
        stages->seen.emplace_back("(installer's record written)",
                                  (WrittenAt(record) - lastByte) * 1000.0);
    }
    return (WrittenAt(record) - lastByte) * 1000.0;
}

// Milliseconds from asking for the installer to its record, started
// directly from here: Wine's own cost of starting that program.
double DirectStartMs(const std::string& folder) {
    const std::string record = folder + "\\direct.exe.record.txt";
    ::DeleteFileW(Widen(record).c_str());
    ::CopyFileW(Widen(folder + "\\setup.exe").c_str(), Widen(folder + "\\direct.exe").c_str(),
                FALSE);
    const double asked = NowUnix();
    HANDLE p = Start(folder + "\\direct.exe", "");
    if (!p) return -1;
    ::WaitForSingleObject(p, 30000);
    ::CloseHandle(p);
    if (!WaitForFile(record, 30000)) return -1;
    return (WrittenAt(record) - asked) * 1000.0;
}

// The same through the shell, as the updater starts it ("Open", no
// error box, not asynchronous): the share of the hand-over that is the
// shell's own and not the updater's.
double ShellStartMs(const std::string& folder) {
    const std::string record = folder + "\\shell.exe.record.txt";
    ::DeleteFileW(Widen(record).c_str());
    ::CopyFileW(Widen(folder + "\\setup.exe").c_str(), Widen(folder + "\\shell.exe").c_str(),
                FALSE);
    const std::wstring file = Widen(folder + "\\shell.exe"), dir = Widen(folder + "\\");
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"Open";
    info.lpFile = file.c_str();
    info.lpDirectory = dir.c_str();
    info.nShow = SW_SHOWNORMAL;
    const double asked = NowUnix();
    if (!::ShellExecuteExW(&info)) return -1;
    if (!WaitForFile(record, 30000)) return -1;
    return (WrittenAt(record) - asked) * 1000.0;
}

struct Figures {
    std::vector<double> values;
    void Add(double v) {
        if (v >= 0) values.push_back(v);
    }
    double Median() {
        if (values.empty()) return -1;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }
    double Max() { return values.empty() ? -1 : *std::max_element(values.begin(), values.end()); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(
            stderr, "usage: startup_bench FOLDER PLAIN_WINDOW_EXE INSTALLER_URL SENT_LOG ROUNDS\n");
        return 2;
    }
    const std::string folder = argv[1], plain = argv[2], url = argv[3], sentLog = argv[4];
    const int rounds = std::max(1, std::atoi(argv[5]));

    Figures window, plainWindow, handOver, direct, shell;
    // One round first that is not counted: it loads what later rounds find
    // in the caches.
    CreationToWindowMs(folder + "\\TAVUpdate.exe", "\"http://127.0.0.1:9/setup.exe|bench\"");
    for (int i = 0; i < rounds; ++i) {
        // An address nothing answers: the download fails and the window stays.
        window.Add(CreationToWindowMs(folder + "\\TAVUpdate.exe",
                                      "\"http://127.0.0.1:9/setup.exe|bench\""));
        plainWindow.Add(CreationToWindowMs(plain, "window"));
    }
    HandOverMs(folder, url, sentLog);
    for (int i = 0; i < rounds; ++i) {
        handOver.Add(HandOverMs(folder, url, sentLog));
        direct.Add(DirectStartMs(folder));
        shell.Add(ShellStartMs(folder));
    }

    std::printf("rounds: %d (medians; worst in brackets)\n", rounds);
    std::printf("process start -> main window shown:   %7.1f ms  (%.1f)   goal < 300 ms\n",
                window.Median(), window.Max());
    std::printf("  a bare one-window program, same way:  %7.1f ms  (%.1f)   ratio %.2f\n",
                plainWindow.Median(), plainWindow.Max(), window.Median() / plainWindow.Median());
    std::printf("last installer byte -> installer runs: %7.1f ms  (%.1f)   goal < 300 ms\n",
                handOver.Median(), handOver.Max());
    std::printf(
        "  the installer started directly:       %7.1f ms  (%.1f)   (Wine's start-up share)\n",
        direct.Median(), direct.Max());
    const double handOverRatio = handOver.Median() / direct.Median();
    std::printf("  ratio %.2f, goal at most 2: %s\n", handOverRatio,
                handOverRatio <= 2.0 ? "met" : "NOT met");
    std::printf(
        "  the installer started through the shell: %7.1f ms  (%.1f)   ratio %.2f to the direct "
        "start\n",
        shell.Median(), shell.Max(), shell.Median() / direct.Median());
    std::printf("  the hand-over less that shell start:     %7.1f ms (the updater's own part)\n",
                handOver.Median() - shell.Median());
    // Where the time goes: one more run, its status lines read as they come.
    Stages stages;
    HandOverMs(folder, url, sentLog, &stages);
    std::printf("one run's status lines, first seen after the last byte:\n");
    for (const auto& [text, at] : stages.seen)
        if (at > -50) std::printf("  %+7.1f ms  %s\n", at, text.c_str());
    const bool ok = window.values.size() == static_cast<size_t>(rounds) &&
                    handOver.values.size() == static_cast<size_t>(rounds);
    if (!ok) std::printf("some rounds failed: see above\n");
    return ok ? 0 : 1;
}
