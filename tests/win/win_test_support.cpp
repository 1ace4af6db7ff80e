#include "win_test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/win32/runtime_win32.h"
#include "platform/win32/dpi.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/text.h"

#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

namespace tav::wintest {

std::string HostPath(const std::string& unixPath) {
    std::string out = "Z:" + unixPath;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

TempFolder::TempFolder() {
    static int counter = 0;
    const std::filesystem::path p =
        std::filesystem::temp_directory_path() /
        ("tavtest_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++counter));
    // Wine gives process ids out again from run to run: a folder of the
    // same name may be left from an earlier one.
    std::error_code ignored;
    std::filesystem::remove_all(p, ignored);
    std::filesystem::create_directory(p, ignored);
    path_ = win32::Narrow(p.wstring());
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(win32::Widen(path_)), ignored);
}

Process StartProcess(const std::string& exe, const std::string& arguments,
                     const std::string& folder) {
    std::wstring cmd = L"\"" + win32::Widen(exe) + L"\" " + win32::Widen(arguments);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : win32::Widen(folder).c_str(), &si, &pi)) {
        // The updater's manifest requires administrator rights: Windows
        // refuses to create it for a caller that is not elevated, and only
        // the shell starts it (after the consent prompt). Wine, without UAC,
        // creates it directly.
        constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED (not in mingw)
        if (::GetLastError() == kElevationRequired)
            return ShellStartProcess(exe, arguments, folder);
        return Process();
    }
    ::CloseHandle(pi.hThread);
    return Process(pi.hProcess);
}

Process ShellStartProcess(const std::string& exe, const std::string& arguments,
                          const std::string& folder) {
    const std::wstring file = win32::Widen(exe);
    const std::wstring parameters = win32::Widen(arguments);
    const std::wstring directory = win32::Widen(folder);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.empty() ? nullptr : directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info) || !info.hProcess) return Process();
    return Process(info.hProcess);
}

bool CopyFromBuild(const std::string& unixPath, const std::string& path) {
    return ::CopyFileW(win32::Widen(HostPath(unixPath)).c_str(), win32::Widen(path).c_str(),
                       FALSE) != 0;
}

int ServerPort(const std::string& statePath, const std::string& key) {
    std::istringstream state(ReadFileBytes(HostPath(statePath)));
    for (std::string line; std::getline(state, line);)
        if (line.starts_with(key + "=")) return std::atoi(line.c_str() + key.size() + 1);
    return 0;
}

long Process::Exit(unsigned long ms) const {
    DWORD code = 0;
    if (!handle_ || ::WaitForSingleObject(handle_, ms) != WAIT_OBJECT_0) return -1;
    ::GetExitCodeProcess(handle_, &code);
    return static_cast<long>(code);
}

Process::~Process() {
    if (!handle_) return;
    if (Running()) ::TerminateProcess(handle_, 99);
    Exit(10000);
    ::CloseHandle(handle_);
}

Process StartStandIn(const std::string& path, const std::string& mode) {
    CopyFromBuild(TAV_HELPER_DIR "/related_program.exe", path);
    Process p = StartProcess(path, mode);
    if (!p.Running()) return p;
    HANDLE event =
        ::CreateEventW(nullptr, TRUE, FALSE, (L"TAVTest.Ready." + std::to_wstring(p.id())).c_str());
    PumpMessages(20000, [&] { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; });
    ::CloseHandle(event);
    return p;
}

bool PumpMessages(unsigned long ms, const std::function<bool()>& done) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (::GetTickCount64() < end) {
        if (done && done()) return true;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (win32::FilterMessage(msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return done && done();
}

HWND FindTopWindow(DWORD pid, const wchar_t* cls) {
    for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, cls, nullptr)) != nullptr;) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(w, &owner);
        if (owner == pid && ::IsWindowVisible(w)) return w;
    }
    return nullptr;
}

LRESULT Ask(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, msg, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result))
        return -1;
    return static_cast<LRESULT>(result);
}

std::string Text(HWND window) {
    wchar_t buf[2048] = {};
    const LRESULT n = Ask(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buf));
    return n > 0 ? win32::Narrow(std::wstring(buf, static_cast<size_t>(n))) : std::string();
}

static bool WriteWindowBmp(HWND window, const std::string& path) {
    RECT rc;
    if (!::GetWindowRect(window, &rc)) return false;
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    // What is on the screen where the window is: the real composition,
    // child controls included.
    ::BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    ::SelectObject(mem, old);
    BITMAPINFOHEADER bih{sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3);
    std::string pixels(stride * static_cast<DWORD>(h), '\0');
    ::GetDIBits(mem, bmp, 0, static_cast<UINT>(h), pixels.data(),
                reinterpret_cast<BITMAPINFO*>(&bih), DIB_RGB_COLORS);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof bih;
    const BITMAPFILEHEADER bfh{0x4D42, offset + static_cast<DWORD>(pixels.size()), 0, 0, offset};
    const auto bytes = [](const auto& header) {
        return std::string(reinterpret_cast<const char*>(&header), sizeof header);
    };
    return WriteFileBytes(path, bytes(bfh) + bytes(bih) + pixels);
}

bool SaveWindowPicture(HWND window, const std::string& name, std::string folder) {
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Ask(window, WM_NULL);
    // The X server shows what was painted a moment later, and under Wine only
    // while the painting thread handles messages: a sleeping window thread
    // left the last child painted (the silent box) off the screen.
    PumpMessages(250);
    if (folder.empty()) folder = HostPath(TAV_ARTIFACT_DIR);
    ::CreateDirectoryW(win32::Widen(folder).c_str(), nullptr);
    return WriteWindowBmp(window, folder + "\\" + name + ".bmp");
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

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(std::filesystem::path(win32::Widen(path)), std::ios::binary);
    return static_cast<bool>(f << bytes);
}

bool AnyFile(const std::string& pattern) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(win32::Widen(pattern).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
    return search != INVALID_HANDLE_VALUE;
}

namespace {

std::string Describe(HWND w) {
    wchar_t cls[32] = {};
    ::GetClassNameW(w, cls, 32);
    return win32::Narrow(cls) + " " + std::to_string(::GetDlgCtrlID(w)) + " \"" + Text(w) + "\"";
}

// The room the text needs beside it in the control: a check box's mark,
// a push button's frame.
int Decoration(HWND w) {
    wchar_t cls[32] = {};
    ::GetClassNameW(w, cls, 32);
    if (::lstrcmpiW(cls, L"Button") != 0) return 0;
    const LONG type = ::GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK;
    const bool mark = (type >= BS_CHECKBOX && type <= BS_AUTO3STATE) || type == BS_AUTORADIOBUTTON;
    return mark ? ::MulDiv(16, static_cast<int>(win32::DpiOf(w)), 96) : 4;
}

void CheckText(HWND w, std::vector<std::string>& faults) {
    const std::wstring text = win32::Widen(Text(w));
    if (text.empty() || (::GetWindowLongW(w, GWL_STYLE) & SS_ENDELLIPSIS) == SS_ENDELLIPSIS) return;
    RECT client;
    ::GetClientRect(w, &client);
    const int room = client.right - Decoration(w);
    const win32::WindowDc dc(w);
    const win32::SelectedObject font(
        dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(w, WM_GETFONT, 0, 0)));
    RECT need{0, 0, room, 0};
    UINT flags = DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS;
    // A label that breaks over-wide words, as the static control draws it.
    if (::GetWindowLongW(w, GWL_STYLE) & SS_EDITCONTROL) flags |= DT_EDITCONTROL;
    ::DrawTextW(dc.get(), text.c_str(), -1, &need, flags);
    if (need.right > room || need.bottom > client.bottom)
        faults.push_back(Describe(w) + " needs " + std::to_string(need.right) + "x" +
                         std::to_string(need.bottom) + " in " + std::to_string(room) + "x" +
                         std::to_string(client.bottom));
}

void CheckChildren(HWND parent, bool ownProcess, std::vector<std::string>& faults) {
    std::vector<HWND> children;
    for (HWND c = ::GetWindow(parent, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (::IsWindowVisible(c)) children.push_back(c);
    for (size_t i = 0; i < children.size(); ++i) {
        RECT a;
        RECT b;
        RECT both;
        ::GetWindowRect(children[i], &a);
        for (size_t j = i + 1; j < children.size(); ++j) {
            ::GetWindowRect(children[j], &b);
            if (::IntersectRect(&both, &a, &b))
                faults.push_back(Describe(children[i]) + " overlaps " + Describe(children[j]));
        }
        if (ownProcess) CheckText(children[i], faults);
        CheckChildren(children[i], ownProcess, faults);
    }
}

}  // namespace

std::vector<std::string> LayoutFaults(HWND window) {
    std::vector<std::string> faults;
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    CheckChildren(window, owner == ::GetCurrentProcessId(), faults);
    return faults;
}

// Wine (8.0, measured) keeps each certificate's revocation status in this
// folder and keeps a revoked one's as "not revoked": a revoked signer is
// refused once and accepted from then on, until the list's next update.
// Every test that trusts the test root starts without Wine's entries, so
// its checks ask the list server as a first check on Windows does; Windows'
// own entries have another form and stay.
static void ForgetWineRevocationStatus() {
    static constexpr char kWineEntry[] = "Wine cached revocation";
    PWSTR lowData = nullptr;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_LocalAppDataLow, 0, nullptr, &lowData))) return;
    const std::filesystem::path folder =
        std::filesystem::path(lowData) / L"Microsoft" / L"CryptnetUrlCache" / L"Content";
    ::CoTaskMemFree(lowData);
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        char head[sizeof kWineEntry - 1] = {};
        std::ifstream(entry.path(), std::ios::binary).read(head, sizeof head);
        if (std::string(head, sizeof head) == kWineEntry)
            std::filesystem::remove(entry.path(), ignored);
    }
}

TrustedTestRoot::TrustedTestRoot(const std::string& derPath) {
    ForgetWineRevocationStatus();
    const std::string der = ReadFileBytes(derPath);
    store_ =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store_)
        ::CertAddEncodedCertificateToStore(
            store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
            static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &cert_);
}

TrustedTestRoot::~TrustedTestRoot() {
    if (cert_) ::CertDeleteCertificateFromStore(cert_);  // frees the context too
    if (store_) ::CertCloseStore(store_, 0);
}

namespace {

constexpr wchar_t kTavKey[] = L"SOFTWARE\\Corvel Systems\\TAV";

// The test prefix holds no TAV of its own: what a test wrote goes.
void ForgetTav() {
    HKEY software = nullptr;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                    &software);
    ::RegDeleteTreeW(software, L"Corvel Systems");
    ::RegCloseKey(software);
}

}  // namespace

InstallLocationAt::InstallLocationAt(const std::string& folder) {
    ForgetTav();
    HKEY tav = nullptr;
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTavKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                      nullptr, &tav, nullptr);
    const std::wstring location = win32::Widen(folder);
    ::RegSetValueExW(tav, L"InstallLocation", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(location.c_str()),
                     static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(tav);
}

InstallLocationAt::~InstallLocationAt() { ForgetTav(); }

bool ShowsFailedDownload(const Process& p) {
    return PumpMessages(30000, [&] {
        const HWND window = FindTopWindow(p.id(), L"TAVUpdateMainWindow");
        return window && Text(::GetDlgItem(window, 104)).find("failed") != std::string::npos;
    });
}

}  // namespace tav::wintest
