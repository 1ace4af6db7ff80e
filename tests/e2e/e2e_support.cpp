#include "e2e_support.h"

#include <algorithm>
#include <filesystem>

#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"

namespace tav::e2e {

using win32::Widen;

namespace {

HWND WaitTopWindow(const Process& p, const wchar_t* cls) {
    HWND found = nullptr;
    wintest::PumpMessages(
        kShowMs, [&] { return (found = wintest::FindTopWindow(p.id(), cls)) || !p.Running(); });
    return found;
}

long Sc(const std::string& arguments) {
    return wintest::StartProcess(win32::SystemFolder() + "\\sc.exe", arguments).Exit(60000);
}

}  // namespace

HWND MainWindow(const Process& p) { return WaitTopWindow(p, L"TAVUpdateMainWindow"); }
HWND Dialog(const Process& p) { return WaitTopWindow(p, L"TAVForm"); }

bool PressTheOnlyButton(HWND dialog) {
    std::vector<HWND> visible;
    for (int slot = 0; slot < 3; ++slot) {
        HWND b = ::GetDlgItem(::GetDlgItem(dialog, 1004), 1100 + slot);
        if (b && (::GetWindowLongW(b, GWL_STYLE) & WS_VISIBLE)) visible.push_back(b);
    }
    if (visible.size() == 1) Click(visible[0]);
    return visible.size() == 1;
}

std::optional<std::string> Value(HKEY root, const wchar_t* key, const std::string& name) {
    union {
        wchar_t text[1024];
        DWORD number;
    } value{};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    const DWORD view = root == HKEY_LOCAL_MACHINE ? RRF_SUBKEY_WOW6432KEY : 0;
    if (::RegGetValueW(root, key, Widen(name).c_str(), RRF_RT_REG_SZ | RRF_RT_REG_DWORD | view,
                       &type, &value, &size))
        return std::nullopt;
    return type == REG_DWORD ? std::to_string(value.number) : win32::Narrow(value.text);
}

std::string ServerUrl(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(wintest::ServerPort(TAV_E2E_SERVER_STATE)) + path;
}

bool ServiceRunning() {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager ? ::OpenServiceW(manager, L"TAVorsService", SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS status{};
    const bool running = service && ::QueryServiceStatus(service, &status) &&
                         status.dwCurrentState == SERVICE_RUNNING;
    if (service) ::CloseServiceHandle(service);
    if (manager) ::CloseServiceHandle(manager);
    return running;
}

DemoInstallation::DemoInstallation(const std::string& folder) {
    folderOutside_ = !folder.empty();
    folder_ = folderOutside_ ? folder : root_.path() + "\\TAV";
    std::error_code ignored;
    std::filesystem::remove_all(Widen(folder_), ignored);
    ::CreateDirectoryW(Widen(folder_).c_str(), nullptr);
    ::CreateDirectoryW(Widen(root_.path() + "\\programs").c_str(), nullptr);
    wintest::CopyFromBuild(TAV_EXE_PATH, Path("TAVUpdate.exe"));
    wintest::CopyFromBuild(TAV_STYLE_LIBRARY, Path("TAVri.dll"));
    // The test prefix holds no TAV of its own: what the tests wrote goes.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kLayersKey);
    location_.emplace(folder_);
    HKEY watchdog = nullptr;
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kWatchDogKey, 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &watchdog, nullptr);
    ::RegCloseKey(watchdog);
}

DemoInstallation::~DemoInstallation() {
    if (serviceCreated_) {
        Sc("stop TAVorsService");
        wintest::PumpMessages(10000, [] { return !ServiceRunning(); });
        Sc("delete TAVorsService");
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kLayersKey);
    std::error_code ignored;
    if (folderOutside_) std::filesystem::remove_all(Widen(folder_), ignored);
}

std::vector<std::string> DemoInstallation::Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Widen(folder_)))
        names.push_back(win32::Narrow(entry.path().filename().wstring()));
    std::sort(names.begin(), names.end());
    return names;
}

std::string DemoInstallation::InstallerRecord(const std::string& installer,
                                              unsigned long ms) const {
    const std::string record = Path(installer + ".record.txt");
    wintest::PumpMessages(ms, [&] { return !wintest::ReadFileBytes(record).empty(); });
    return wintest::ReadFileBytes(record);
}

bool DemoInstallation::StartService() {
    serviceCreated_ = true;
    const std::string exe = root_.path() + "\\programs\\TAVorsService.exe";
    wintest::CopyFromBuild(TAV_HELPER_DIR "/tav_test_service.exe", exe);
    Sc("delete TAVorsService");
    return Sc("create TAVorsService binPath= \"" + exe + "\"") == 0 &&
           Sc("start TAVorsService") == 0 && wintest::PumpMessages(20000, ServiceRunning);
}

}  // namespace tav::e2e
