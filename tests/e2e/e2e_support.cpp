#include "e2e_support.h"

#include "platform/win32/win.h"

#include <commctrl.h>

#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"

namespace tav::e2e {

using win32::Narrow;
using win32::Widen;

bool WaitFor(const std::function<bool()>& done, unsigned long ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    for (;;) {
        if (done()) return true;
        if (::GetTickCount64() > end) return false;
        ::Sleep(25);
    }
}

namespace {

struct WindowSearch {
    DWORD pid;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<WindowSearch*>(p);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    wchar_t cls[64] = {};
    ::GetClassNameW(w, cls, 64);
    if (owner == s->pid && ::IsWindowVisible(w) && ::lstrcmpW(cls, s->cls) == 0) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// Bounded cross-process sends: a program that hangs fails the test, not
// the run.
LRESULT Send(HWND w, UINT msg, WPARAM wp, LPARAM lp, bool* answered = nullptr) {
    DWORD_PTR result = 0;
    const LRESULT ok = ::SendMessageTimeoutW(w, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result);
    if (answered) *answered = ok != 0;
    return static_cast<LRESULT>(result);
}

HKEY OpenKey(HKEY root, const wchar_t* key, REGSAM access, bool create) {
    const REGSAM view = root == HKEY_LOCAL_MACHINE ? KEY_WOW64_32KEY : 0;
    HKEY h = nullptr;
    const LSTATUS rc = create ? ::RegCreateKeyExW(root, key, 0, nullptr, 0, access | view, nullptr, &h, nullptr)
                              : ::RegOpenKeyExW(root, key, 0, access | view, &h);
    return rc == ERROR_SUCCESS ? h : nullptr;
}

}  // namespace

HWND FindTopWindow(DWORD pid, const wchar_t* cls) {
    WindowSearch s{pid, cls, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::string Text(HWND window) {
    wchar_t buf[2048] = {};
    bool answered = false;
    const LRESULT n = Send(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buf), &answered);
    return answered ? Narrow(std::wstring(buf, static_cast<size_t>(n))) : std::string();
}

int BarPosition(HWND bar) {
    bool answered = false;
    const LRESULT pos = Send(bar, PBM_GETPOS, 0, 0, &answered);
    return answered ? static_cast<int>(pos) : -1;
}

bool Checked(HWND button) { return Send(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Click(HWND button) {
    // Posted: a click that opens a modal loop would hold a sent message.
    ::PostMessageW(button, BM_CLICK, 0, 0);
}

std::vector<HWND> DialogButtons(HWND dialog) {
    std::vector<HWND> buttons;
    HWND bar = ::GetDlgItem(dialog, kDialogButtonBarId);
    for (int slot = 2; slot >= 0; --slot) {
        HWND b = ::GetDlgItem(bar, kDialogFirstOptionId + slot);
        if (b && (::GetWindowLongW(b, GWL_STYLE) & WS_VISIBLE)) buttons.push_back(b);
    }
    return buttons;
}

bool Screenshot(HWND window, const std::string& name) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Send(window, WM_NULL, 0, 0);
    // The X server shows what was painted a moment later; this is not a
    // condition the test waits for.
    ::Sleep(250);
    return wintest::SaveWindowPicture(window, name);
}

std::optional<std::string> ReadString(HKEY root, const wchar_t* key, const std::string& name) {
    HKEY h = OpenKey(root, key, KEY_QUERY_VALUE, false);
    if (!h) return std::nullopt;
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS rc = ::RegQueryValueExW(h, Widen(name).c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return Narrow(value);
}

std::optional<DWORD> ReadDword(HKEY root, const wchar_t* key, const std::string& name) {
    HKEY h = OpenKey(root, key, KEY_QUERY_VALUE, false);
    if (!h) return std::nullopt;
    DWORD value = 0, size = sizeof value, type = 0;
    const LSTATUS rc = ::RegQueryValueExW(h, Widen(name).c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(&value), &size);
    ::RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
    return value;
}

bool WriteString(HKEY root, const wchar_t* key, const std::string& name, const std::string& value) {
    HKEY h = OpenKey(root, key, KEY_SET_VALUE, true);
    if (!h) return false;
    const std::wstring w = Widen(value);
    const LSTATUS rc = ::RegSetValueExW(h, Widen(name).c_str(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(w.c_str()),
                                        static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

void DeleteValue(HKEY root, const wchar_t* key, const std::string& name) {
    if (HKEY h = OpenKey(root, key, KEY_SET_VALUE, false)) {
        ::RegDeleteValueW(h, Widen(name).c_str());
        ::RegCloseKey(h);
    }
}

bool KeyExists(HKEY root, const wchar_t* key) {
    HKEY h = OpenKey(root, key, KEY_QUERY_VALUE, false);
    if (h) ::RegCloseKey(h);
    return h != nullptr;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE f = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
    return ok && written == bytes.size();
}

long RunAndWait(const std::string& exe, const std::string& arguments, unsigned long ms) {
    HANDLE h = wintest::StartProcess(exe, arguments);
    if (!h) return -1;
    const long code = wintest::WaitExit(h, ms);
    if (code == -1) ::TerminateProcess(h, 9);
    ::CloseHandle(h);
    return code;
}

std::string ServerUrl(const std::string& path) {
    const std::string state = wintest::ReadFileBytes(wintest::HostPath(TAV_E2E_SERVER_STATE));
    const size_t at = state.find("port=");
    const std::string port = at == std::string::npos ? "9" : state.substr(at + 5, state.find('\n', at) - at - 5);
    return "http://127.0.0.1:" + port + path;
}

Process::~Process() {
    if (!handle_) return;
    if (Running()) ::TerminateProcess(handle_, 99);
    wintest::WaitExit(handle_, 10000);
    ::CloseHandle(handle_);
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Process gone(handle_);
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

namespace {

const std::string kSc = win32::SystemFolder() + "\\sc.exe";

bool CopyInto(const std::string& from, const std::string& to) {
    return ::CopyFileW(Widen(from).c_str(), Widen(to).c_str(), FALSE) != 0;
}

DWORD ServiceState() {
    SERVICE_STATUS_PROCESS status{};
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return 0;
    if (SC_HANDLE service = ::OpenServiceW(manager, L"TAVorsService", SERVICE_QUERY_STATUS)) {
        DWORD needed = 0;
        ::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                               sizeof status, &needed);
        ::CloseServiceHandle(service);
    }
    ::CloseServiceHandle(manager);
    return status.dwCurrentState;
}

}  // namespace

DemoInstallation::DemoInstallation() {
    folder_ = root_.path() + "\\TAV";
    ::CreateDirectoryW(Widen(folder_).c_str(), nullptr);
    ::CreateDirectoryW(Widen(root_.path() + "\\programs").c_str(), nullptr);
    CopyInto(wintest::HostPath(TAV_EXE_PATH), Path("TAVUpdate.exe"));
    CopyInto(wintest::HostPath(TAV_STYLE_LIBRARY), Path("TAVri.dll"));

    corvelExisted_ = KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvel Systems");
    previousLocation_ = ReadString(HKEY_LOCAL_MACHINE, kTavKey, "InstallLocation");
    WriteString(HKEY_LOCAL_MACHINE, kTavKey, "InstallLocation", folder_);
    if (HKEY h = OpenKey(HKEY_LOCAL_MACHINE, kWatchDogKey, KEY_ALL_ACCESS, true)) ::RegCloseKey(h);
    DeleteValue(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command");
    DeleteValue(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown");
    DeleteValue(HKEY_CURRENT_USER, kLayersKey, LayersValueName("setup.exe"));
}

DemoInstallation::~DemoInstallation() {
    if (serviceCreated_) {
        if (ServiceRunning()) RunAndWait(kSc, "stop TAVorsService", 30000);
        WaitFor([] { return !ServiceRunning(); }, 10000);
        RunAndWait(kSc, "delete TAVorsService", 30000);
    }
    DeleteValue(HKEY_CURRENT_USER, kLayersKey, LayersValueName("setup.exe"));
    if (!corvelExisted_) {
        if (HKEY software = OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE", KEY_ALL_ACCESS, false)) {
            ::RegDeleteTreeW(software, L"Corvel Systems");
            ::RegCloseKey(software);
        }
        return;
    }
    DeleteValue(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command");
    DeleteValue(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown");
    if (previousLocation_) {
        WriteString(HKEY_LOCAL_MACHINE, kTavKey, "InstallLocation", *previousLocation_);
    } else {
        DeleteValue(HKEY_LOCAL_MACHINE, kTavKey, "InstallLocation");
    }
}

Process DemoInstallation::StartUpdate(const std::string& argument) const {
    return Process(wintest::StartProcess(Path("TAVUpdate.exe"), "\"" + argument + "\""));
}

Process DemoInstallation::StartProgram(const std::string& imageName, const std::string& mode) const {
    const std::string exe = root_.path() + "\\programs\\" + imageName;
    CopyInto(wintest::HostPath(TAV_HELPER_DIR "/related_program.exe"), exe);
    Process p(wintest::StartProcess(exe, mode));
    if (!p.handle()) return p;
    const std::wstring ready = L"TAVTest.Ready." + std::to_wstring(p.id());
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
    ::WaitForSingleObject(event, 20000);
    ::CloseHandle(event);
    return p;
}

bool DemoInstallation::StartService() {
    const std::string exe = root_.path() + "\\programs\\TAVorsService.exe";
    if (!CopyInto(wintest::HostPath(TAV_HELPER_DIR "/tav_test_service.exe"), exe)) return false;
    RunAndWait(kSc, "delete TAVorsService", 30000);
    if (RunAndWait(kSc, "create TAVorsService binPath= \"" + exe + "\"", 30000) != 0) return false;
    serviceCreated_ = true;
    if (RunAndWait(kSc, "start TAVorsService", 30000) != 0) return false;
    return WaitFor(ServiceRunning, 20000);
}

bool DemoInstallation::ServiceRunning() { return ServiceState() == SERVICE_RUNNING; }

std::string LayersValueName(const std::string& installer) {
    return "C:\\Program Files (x86)\\TAV\\" + installer;
}

std::vector<std::string> DemoInstallation::StagingFiles() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(win32::Widen(Path("*.staging")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(win32::Narrow(found.cFileName));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

}  // namespace tav::e2e
