// A demo TAV installation and the update manager run in it as TAV runs it,
// seen from another process: the window's texts, bar and buttons, the
// registry, the files left behind.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win.h"
#include "win_test_support.h"

namespace tav::e2e {

using wintest::Process;
using wintest::Text;

// Control ids of the main window and the message dialog, as another
// program finds them.
inline constexpr int kAbortId = IDCANCEL;
inline constexpr int kStatusId = 104;
inline constexpr int kBarId = 105;
inline constexpr int kSilentId = 106;
inline constexpr int kDialogContentId = 1003;

inline constexpr wchar_t kWatchDogKey[] = L"SOFTWARE\\Corvel Systems\\TAV\\WatchDog";
inline constexpr wchar_t kLayersKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

// Generous bounds: Wine on a busy machine is slow to start programs.
inline constexpr unsigned long kShowMs = 30000;
inline constexpr unsigned long kEndMs = 60000;

// The program's main window or message dialog once shown; null when the
// program ended first or never showed it.
HWND MainWindow(const Process& p);
HWND Dialog(const Process& p);
// Presses the one visible button of a message dialog; false when it
// shows another number of buttons.
bool PressTheOnlyButton(HWND dialog);
// Presses a button as a click would, without waiting on what it starts:
// posted, as a click that opens a modal loop would hold a sent message.
inline void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }
// Whether the window's status line came to start with prefix.
inline bool WaitStatus(HWND window, const std::string& prefix) {
    return wintest::PumpMessages(
        kShowMs, [&] { return Text(::GetDlgItem(window, kStatusId)).starts_with(prefix); });
}

// A value in the 32-bit view of HKEY_LOCAL_MACHINE or in HKEY_CURRENT_USER:
// a string's text or a DWORD in decimal; nullopt when there is none.
std::optional<std::string> Value(HKEY root, const wchar_t* key, const std::string& name);
// The run-as-administrator flag the program sets for an installer.
inline std::optional<std::string> RunAsAdminFlag(const std::string& installer) {
    return Value(HKEY_CURRENT_USER, kLayersKey, "C:\\Program Files (x86)\\TAV\\" + installer);
}

// Whether the test service TAVorsService runs.
bool ServiceRunning();

// The loopback server the test run started: "http://127.0.0.1:PORT" + path.
std::string ServerUrl(const std::string& path);

// A TAV installation in a fresh folder: InstallLocation names it (32-bit
// view), the program and its style library lie in it, the watchdog key
// exists without values. The destructor removes what it made.
class DemoInstallation {
public:
    DemoInstallation() : DemoInstallation(std::string()) {}
    // The installation in folder (made anew, on another drive say) instead
    // of a folder of its own under the temporary folder.
    explicit DemoInstallation(const std::string& folder);
    ~DemoInstallation();

    const std::string& folder() const { return folder_; }
    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    std::string Log() const { return wintest::ReadFileBytes(Path("LOGS\\TAVerror.log")); }
    bool AnyStagingFile() const { return wintest::AnyFile(Path("*.staging")); }
    // The names in the folder, sorted.
    std::vector<std::string> Files() const;
    // The argument text and folder the downloaded installer was started
    // with, once it wrote them within ms.
    std::string InstallerRecord(const std::string& installer = "setup.exe",
                                unsigned long ms = 0) const;

    // Starts the program as TAV does: from its folder, the argument quoted.
    Process StartUpdate(const std::string& argument) const {
        return wintest::StartProcess(Path("TAVUpdate.exe"), "\"" + argument + "\"");
    }
    // Starts a stand-in TAV program under imageName in mode.
    Process StartProgram(const std::string& imageName, const std::string& mode) const {
        return wintest::StartStandIn(root_.path() + "\\programs\\" + imageName, mode);
    }
    // Installs and starts a service named TAVorsService.
    bool StartService();

private:
    wintest::TempFolder root_;
    std::string folder_;
    bool folderOutside_ = false;  // removed by the destructor
    bool serviceCreated_ = false;
    std::optional<wintest::InstallLocationAt> location_;
};

}  // namespace tav::e2e
