// Measures one download of a URL, either through the program's own path
// (GetNetFile over the WinINet read service) or through a bare synchronous
// WinINet read loop, its peer. One line of key=value figures on stdout;
// bench/download.sh runs both in turns and prints the ratios.
//
//   download_bench service URL [SAVE_PATH]
//   download_bench bare URL
#include "platform/win32/win.h"

#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <memory>
#include <string>

#include "download/GetNetFile.h"
#include "platform/platform.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/text.h"

namespace {

double Now() {
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

double Seconds(const FILETIME& a, const FILETIME& b) {
    return static_cast<double>((static_cast<ULONGLONG>(a.dwHighDateTime) << 32 | a.dwLowDateTime) +
                               (static_cast<ULONGLONG>(b.dwHighDateTime) << 32 | b.dwLowDateTime)) /
           1e7;
}

double ProcessCpu() {
    FILETIME c, e, k, u;
    ::GetProcessTimes(::GetCurrentProcess(), &c, &e, &k, &u);
    return Seconds(k, u);
}

double ThreadCpu() {
    FILETIME c, e, k, u;
    ::GetThreadTimes(::GetCurrentThread(), &c, &e, &k, &u);
    return Seconds(k, u);
}

struct Figures {
    bool ok = false;
    size_t bytes = 0;
    double seconds = 0, cpu = 0, uiCpu = 0;
    uint64_t copied = 0;
    int progressEvents = 0;
    std::string error;
};

Figures Bare(const std::string& url) {
    Figures f;
    const double t0 = Now(), cpu0 = ProcessCpu();
    HINTERNET session =
        ::InternetOpenW(L"bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = ::InternetOpenUrlW(
        session, tav::win32::Widen(url).c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0);
    if (!request) {
        f.error = "open failed " + std::to_string(::GetLastError());
        return f;
    }
    DWORD length = 0, size = sizeof length;
    ::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                     nullptr);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[length]);
    for (;;) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(256 * 1024, length - f.bytes));
        if (want == 0) break;
        if (!::InternetReadFile(request, buffer.get() + f.bytes, want, &got)) {
            f.error = "read failed " + std::to_string(::GetLastError());
            return f;
        }
        if (got == 0) break;
        f.bytes += got;
    }
    ::InternetCloseHandle(request);
    ::InternetCloseHandle(session);
    f.seconds = Now() - t0;
    f.cpu = ProcessCpu() - cpu0;
    f.uiCpu = f.cpu;
    f.ok = f.bytes == length;
    return f;
}

// saveTo: where to write the bytes after the measurement, so that the
// script can compare them with the served file.
Figures Service(const std::string& url, const std::string& saveTo) {
    Figures f;
    tav::win32::InstallWin32Platform();
    tav::GetNetFile net;
    bool ended = false;
    net.DownloadProgress = [&](int32_t, int32_t) { ++f.progressEvents; };
    net.DownloadComplete = [&](int32_t n) {
        f.bytes = static_cast<size_t>(n);
        f.ok = true;
        ended = true;
    };
    net.DownloadFailed = [&](int32_t n, const std::string& text) {
        f.error = std::to_string(n) + " " + text;
        ended = true;
    };
    const double t0 = Now(), cpu0 = ProcessCpu(), ui0 = ThreadCpu();
    net.DownloadStart(url, "bench.bin", tav::kAsyncReadForceRefresh);
    while (!ended) {
        tav::platform().events->WaitForEvents(100);
        tav::platform().events->DoEvents();
    }
    f.seconds = Now() - t0;
    f.cpu = ProcessCpu() - cpu0;
    f.uiCpu = ThreadCpu() - ui0;
    if (f.ok && !saveTo.empty() && !net.SaveAs(saveTo)) {
        f.ok = false;
        f.error = "SaveAs failed";
    }
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: download_bench service|bare URL [SAVE_PATH]\n");
        return 2;
    }
    const std::string mode = argv[1];
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    const Figures f = mode == "bare" ? Bare(argv[2]) : Service(argv[2], argc > 3 ? argv[3] : "");
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc);
    if (!f.ok) {
        std::printf("mode=%s ok=0 error=%s\n", mode.c_str(), f.error.c_str());
        return 1;
    }
    std::printf(
        "mode=%s ok=1 bytes=%zu seconds=%.4f cpu=%.4f ui_cpu=%.4f peak_ws=%zu peak_commit=%zu "
        "copied=%llu progress=%d\n",
        mode.c_str(), f.bytes, f.seconds, f.cpu, f.uiCpu,
        static_cast<size_t>(pmc.PeakWorkingSetSize), static_cast<size_t>(pmc.PeakPagefileUsage),
        static_cast<unsigned long long>(f.copied), f.progressEvents);
    return 0;
}
