#include "win_test_support.h"


#include "platform/win32/text.h"

namespace tav::wintest {

std::string HostPath(const std::string& unixPath) {
    std::string out = "Z:" + unixPath;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

namespace {
void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW d;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = d.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = dir + L"\\" + name;
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(full.c_str());
            }
        } while (::FindNextFileW(h, &d));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(dir.c_str());
}
}  // namespace

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    std::wstring p = std::wstring(base) + L"tavtest_" + std::to_wstring(::GetCurrentProcessId()) +
                     L"_" + std::to_wstring(++counter);
    ::CreateDirectoryW(p.c_str(), nullptr);
    path_ = win32::Narrow(p);
}

TempFolder::~TempFolder() { RemoveTree(win32::Widen(path_)); }

HANDLE StartProcess(const std::string& exe, const std::string& arguments) {
    std::wstring cmd = L"\"" + win32::Widen(exe) + L"\" " + win32::Widen(arguments);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    ::CloseHandle(pi.hThread);
    return pi.hProcess;
}

long WaitExit(HANDLE process, unsigned long ms) {
    if (::WaitForSingleObject(process, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE h = ::CreateFileW(win32::Widen(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    ::CloseHandle(h);
    return out;
}

}  // namespace tav::wintest
