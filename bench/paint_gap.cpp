// How long the update program's main window goes unpainted while it
// downloads an installer and while it checks it, measured from outside
// (run by bench/paint_gap.sh, which prepares the installation, the
// registry, the loopback server and the installer).
//
// Every 10 ms this process invalidates the window's client area
// (InvalidateRect, no erase) and then polls GetUpdateRect until the update
// region is empty again: the window's own thread has painted it. The
// longest time between two such paints is the longest the window looked
// frozen. The status line is read with GetWindowTextW, which for another
// process's window returns the text the system keeps for it without
// sending it a message, so that it can be read while the window is busy.
//   download: from "Downloading ..." to "Download of NAME complete."
//   check:    from "Download of NAME complete." to the next step's status
//             ("Setting NAME Properties."), a dialog of the program, or
//             its end, whichever is seen first.
// One line of key=value figures per round on stdout.
// Usage: paint_gap FOLDER URL INSTALLER_NAME ROUNDS
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/win32/text.h"
#include "platform/win32/win.h"

namespace {

using tav::bench::Start;
using tav::win32::Narrow;
using tav::win32::Widen;

constexpr int kStatusId = 104;
constexpr double kInvalidateEveryMs = 10;

double NowMs() {
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

HWND MainWindowOf(DWORD pid) {
    HWND w = nullptr;
    while ((w = ::FindWindowExW(nullptr, w, L"TAVUpdateMainWindow", nullptr)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(w, &owner);
        if (owner == pid) return w;
    }
    return nullptr;
}

struct DialogSearch {
    DWORD pid;
    HWND main;
    bool found;
};

// A visible top-level window of the program other than its main window
// and its tooltips: the refusal (or any other) dialog.
BOOL CALLBACK MatchDialog(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<DialogSearch*>(p);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner != s->pid || w == s->main || !::IsWindowVisible(w)) return TRUE;
    wchar_t cls[64] = {};
    ::GetClassNameW(w, cls, 64);
    if (std::wstring(cls) == L"tooltips_class32") return TRUE;
    s->found = true;
    return FALSE;
}

std::string StatusText(HWND main) {
    HWND status = ::GetDlgItem(main, kStatusId);
    if (!status) return {};
    wchar_t buf[512] = {};
    const int n = ::GetWindowTextW(status, buf, 512);
    return Narrow(std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0));
}

bool StartsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

struct Gap {
    double length = -1;
    double endsAt = -1;
};

// The longest time between two consecutive paints whose interval overlaps
// [from, to]; a window still unpainted at `to` counts up to `to`.
Gap LongestGap(const std::vector<double>& paints, double from, double to) {
    Gap g;
    if (from < 0 || to < from) return g;
    g.length = 0;
    double previous = -1;
    const auto consider = [&](double start, double end) {
        if (end - start > g.length) g = Gap{end - start, end};
    };
    for (double p : paints) {
        if (previous >= 0 && p >= from && previous <= to)
            consider(std::max(previous, from), std::min(p, to));
        previous = p;
        if (p > to) break;
    }
    if (previous >= 0 && previous <= to) consider(std::max(previous, from), to);
    return g;
}

struct Round {
    bool ok = false;
    std::string end;  // what ended the check
    double downloadStart = -1, checkStart = -1, checkEnd = -1, shown = -1;
    std::vector<double> paints;
    int invalidations = 0;
};

Round RunOnce(const std::string& folder, const std::string& url, const std::string& name) {
    Round r;
    const std::string record = folder + "\\" + name + ".record.txt";
    // The last round's installer may still hold its record open a while.
    for (int waited = 0; waited < 10000; waited += 10) {
        for (const std::string suffix : {".record.txt", "", ".old"})
            ::DeleteFileW(Widen(folder + "\\" + name + suffix).c_str());
        if (::GetFileAttributesW(Widen(record).c_str()) == INVALID_FILE_ATTRIBUTES) break;
        ::Sleep(10);
    }
    HANDLE p = Start(folder + "\\TAVUpdate.exe", "\"" + url + "|bench\"");
    if (!p) return r;
    const DWORD pid = ::GetProcessId(p);
    const std::string complete = "Download of " + name + " complete.";
    const std::string nextStep = "Setting " + name + " Properties.";
    const double t0 = NowMs();
    HWND main = nullptr;
    bool pending = false;
    double invalidatedAt = 0;
    // Bounded: a run that never ends its check stops here after 15 min.
    while (NowMs() - t0 < 900000) {
        const bool ended = ::WaitForSingleObject(p, 0) == WAIT_OBJECT_0;
        const double now = NowMs();
        if (!main) {
            main = MainWindowOf(pid);
            if (main) r.shown = now;
        }
        if (!main || ended || !::IsWindow(main)) {
            if (r.checkStart >= 0 && r.checkEnd < 0) {
                r.checkEnd = now;
                r.end = "program_ended";
            }
            if (ended || (main && !::IsWindow(main))) break;
            ::Sleep(1);
            continue;
        }
        const std::string status = StatusText(main);
        if (r.downloadStart < 0 && StartsWith(status, "Downloading")) r.downloadStart = now;
        if (r.checkStart < 0 && status == complete) r.checkStart = now;
        if (r.checkStart >= 0 && r.checkEnd < 0) {
            DialogSearch d{pid, main, false};
            ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&d));
            if (StartsWith(status, nextStep))
                r.end = "next_step";
            else if (d.found)
                r.end = "dialog";
            else if (::GetFileAttributesW(Widen(record).c_str()) != INVALID_FILE_ATTRIBUTES)
                r.end = "installer_running";
            if (!r.end.empty()) r.checkEnd = now;
            // A refusal waits for somebody to close it: the round is over.
            if (r.end == "dialog") break;
        }
        if (pending && !::GetUpdateRect(main, nullptr, FALSE)) {
            r.paints.push_back(now);
            pending = false;
        }
        if (!pending && now - invalidatedAt >= kInvalidateEveryMs) {
            ::InvalidateRect(main, nullptr, FALSE);
            invalidatedAt = now;
            pending = true;
            ++r.invalidations;
        }
        ::Sleep(1);
    }
    if (r.end == "dialog") ::TerminateProcess(p, 1);
    if (::WaitForSingleObject(p, 60000) != WAIT_OBJECT_0) ::TerminateProcess(p, 1);
    ::CloseHandle(p);
    // The installer started may write its record after the program ended;
    // the next round must not take that record for its own.
    for (int waited = 0; r.end != "dialog" && waited < 30000; waited += 10) {
        if (::GetFileAttributesW(Widen(record).c_str()) != INVALID_FILE_ATTRIBUTES) break;
        ::Sleep(10);
    }
    r.ok = r.downloadStart >= 0 && r.checkStart >= 0 && r.checkEnd >= 0 && !r.paints.empty();
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: paint_gap FOLDER URL INSTALLER_NAME ROUNDS\n");
        return 2;
    }
    const std::string folder = argv[1], url = argv[2], name = argv[3];
    const int rounds = std::max(1, std::atoi(argv[4]));
    int failed = 0;
    for (int i = 0; i < rounds; ++i) {
        const Round r = RunOnce(folder, url, name);
        if (!r.ok) {
            ++failed;
            std::printf("ok=0 shown=%d download=%d check_start=%d check_end=%d paints=%zu\n",
                        r.shown >= 0, r.downloadStart >= 0, r.checkStart >= 0, r.checkEnd >= 0,
                        r.paints.size());
            continue;
        }
        const Gap download = LongestGap(r.paints, r.downloadStart, r.checkStart);
        const Gap check = LongestGap(r.paints, r.checkStart, r.checkEnd);
        // The quiet control: the window's longest gap before the download starts.
        const Gap idle = LongestGap(r.paints, r.shown, r.downloadStart);
        // download_gap_end_ms: where the download's longest gap ended, from
        // the check's start (0: it ran into the check).
        std::printf(
            "ok=1 download_ms=%.1f download_gap_ms=%.1f download_gap_end_ms=%.1f check_ms=%.1f "
            "check_gap_ms=%.1f idle_gap_ms=%.1f paints=%zu invalidations=%d end=%s\n",
            r.checkStart - r.downloadStart, download.length, download.endsAt - r.checkStart,
            r.checkEnd - r.checkStart, check.length, idle.length, r.paints.size(), r.invalidations,
            r.end.empty() ? "-" : r.end.c_str());
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}
