// Measures one download of a URL, either through the program's own path
// (GetNetFile over the WinINet read service, its file in FOLDER) or through
// a bare synchronous WinINet read loop into a fixed buffer that writes what
// it reads to a file in FOLDER, its peer. One line of key=value figures on
// stdout; bench/download.sh runs both in turns and prints the ratios.
//
//   download_bench service URL FOLDER [SAVE_PATH]
//   download_bench bare|bare-memory URL FOLDER
#include "platform/win32/win.h"

#include <psapi.h>
#include <wininet.h>

#include <algorithm>
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
    int progressEvents = 0;
    std::string error;
};

// inMemory: the earlier peer, which reads the whole body into one block of
// its length (kept to compare with figures measured against it); otherwise
// a fixed buffer, each piece written to a file as the program's own is.
Figures Bare(const std::string& url, const std::string& folder, bool inMemory) {
    Figures f;
    const double t0 = Now(), cpu0 = ProcessCpu();
    const std::wstring path = tav::win32::Widen(folder + "\\bare.bin");
    HANDLE file = inMemory ? nullptr
                           : ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        f.error = "create failed " + std::to_string(::GetLastError());
        return f;
    }
    HINTERNET session =
        ::InternetOpenW(L"bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = ::InternetOpenUrlW(
        session, tav::win32::Widen(url).c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0);
    DWORD length = 0, size = sizeof length;
    if (!request) {
        f.error = "open failed " + std::to_string(::GetLastError());
    } else {
        ::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                         &size, nullptr);
        constexpr DWORD kPiece = 256 * 1024;
        static uint8_t fixed[kPiece];
        // Not filled: as the earlier peer, pages are touched as bytes arrive.
        std::unique_ptr<uint8_t[]> whole(inMemory ? new uint8_t[length] : nullptr);
        for (;;) {
            DWORD got = 0, written = 0;
            uint8_t* into = inMemory ? whole.get() + f.bytes : fixed;
            const DWORD want = inMemory ? std::min<DWORD>(kPiece, length - f.bytes) : kPiece;
            if (want == 0) break;
            if (!::InternetReadFile(request, into, want, &got)) {
                f.error = "read failed " + std::to_string(::GetLastError());
                break;
            }
            if (got == 0) break;
            if (inMemory) {
                f.bytes += got;
                continue;
            }
            if (!::WriteFile(file, fixed, got, &written, nullptr) || written != got) {
                f.error = "write failed " + std::to_string(::GetLastError());
                break;
            }
            f.bytes += got;
        }
        ::InternetCloseHandle(request);
    }
    ::InternetCloseHandle(session);
    if (file) ::CloseHandle(file);
    f.seconds = Now() - t0;
    f.cpu = ProcessCpu() - cpu0;
    f.uiCpu = f.cpu;
    if (file) ::DeleteFileW(path.c_str());
    f.ok = f.error.empty() && f.bytes == length;
    if (f.error.empty() && !f.ok) f.error = "short " + std::to_string(f.bytes);
    return f;
}

// saveTo: where to write the bytes after the measurement, so that the
// script can compare them with the served file.
Figures Service(const std::string& url, const std::string& folder, const std::string& saveTo,
                PROCESS_MEMORY_COUNTERS& atEnd) {
    Figures f;
    const tav::Platform& services = tav::win32::InstallWin32Platform();
    tav::GetNetFile net(
        {services.reads, *services.events, *services.clock, *services.app, *services.files});
    net.DownloadFolder = folder;
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
        services.events->WaitForEvents(100);
        services.events->DoEvents();
    }
    f.seconds = Now() - t0;
    f.cpu = ProcessCpu() - cpu0;
    f.uiCpu = ThreadCpu() - ui0;
    // The download's own peak, before the copy for the script's comparison.
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &atEnd, sizeof atEnd);
    if (f.ok && !saveTo.empty() && !net.SaveAs(saveTo)) {
        f.ok = false;
        f.error = "SaveAs failed";
    }
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: download_bench service|bare|bare-memory URL FOLDER [SAVE]\n");
        return 2;
    }
    const std::string mode = argv[1];
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    const bool bare = mode == "bare" || mode == "bare-memory";
    const Figures f = bare ? Bare(argv[2], argv[3], mode == "bare-memory")
                           : Service(argv[2], argv[3], argc > 4 ? argv[4] : "", pmc);
    if (bare) ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc);
    if (!f.ok) {
        std::printf("mode=%s ok=0 error=%s\n", mode.c_str(), f.error.c_str());
        return 1;
    }
    std::printf(
        "mode=%s ok=1 bytes=%zu seconds=%.4f cpu=%.4f ui_cpu=%.4f peak_ws=%zu peak_commit=%zu "
        "progress=%d\n",
        mode.c_str(), f.bytes, f.seconds, f.cpu, f.uiCpu,
        static_cast<size_t>(pmc.PeakWorkingSetSize), static_cast<size_t>(pmc.PeakPagefileUsage),
        f.progressEvents);
    return 0;
}
