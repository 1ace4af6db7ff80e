#include "net_test_support.h"

#include "platform/win32/win.h"

#include <wininet.h>

#include <algorithm>
#include <sstream>

#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav::nettest {

const Servers& LoopbackServers() {
    static const Servers servers = [] {
        Servers s;
        std::istringstream in(wintest::ReadFileBytes(wintest::HostPath(TAV_NET_STATE)));
        std::string line;
        while (std::getline(in, line)) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "misbehave_port") s.misbehave = std::stoi(value);
            if (key == "plain_port") s.plain = std::stoi(value);
            if (key == "tls_port") s.tls = std::stoi(value);
            if (key == "plain_file") s.plainFile = wintest::HostPath(value);
            if (key == "plain_size") s.plainSize = std::stoul(value);
        }
        return s;
    }();
    return servers;
}

std::string Url(const std::string& pathAndQuery) {
    return "http://127.0.0.1:" + std::to_string(LoopbackServers().misbehave) + pathAndQuery;
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((7 * i + 13 * (i >> 8) + (i >> 16)) & 0xFF);
    return s;
}

std::vector<std::string> ServerLog(const std::string& tag) {
    // A plain synchronous read, independent of the code under test.
    std::vector<std::string> lines;
    HINTERNET session =
        ::InternetOpenW(L"tav-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session) return lines;
    HINTERNET request =
        ::InternetOpenUrlW(session, win32::Widen(Url("/_log/" + tag)).c_str(), nullptr, 0,
                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    std::string text;
    if (request) {
        char buf[4096];
        DWORD got = 0;
        while (::InternetReadFile(request, buf, sizeof buf, &got) && got > 0)
            text.append(buf, got);
        ::InternetCloseHandle(request);
    }
    ::InternetCloseHandle(session);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(line);
    return lines;
}

bool PumpUntil(const std::function<bool()>& done, unsigned long limitMs) {
    const ULONGLONG end = ::GetTickCount64() + limitMs;
    while (!done()) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return false;
        ::MsgWaitForMultipleObjects(
            0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 50)), QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW d;
    HANDLE h = ::FindFirstFileW(win32::Widen(folder + "\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring n = d.cFileName;
        if (n != L"." && n != L"..") names.push_back(win32::Narrow(n));
    } while (::FindNextFileW(h, &d));
    ::FindClose(h);
    return names;
}

}  // namespace tav::nettest
