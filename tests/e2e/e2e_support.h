// A demo TAV installation and the update manager run in it as TAV runs it,
// seen from another process: the window's texts, bar and buttons, the
// registry, the files left behind.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win.h"
#include "win_test_support.h"

namespace tav::e2e {

// Control ids of the main window, as another program finds them.
inline constexpr int kAbortId = IDCANCEL;
inline constexpr int kVersionId = 101;
inline constexpr int kNameId = 102;
inline constexpr int kCopyrightId = 103;
inline constexpr int kStatusId = 104;
inline constexpr int kBarId = 105;
inline constexpr int kSilentId = 106;
// The message dialog's labels and the first of its button slots.
inline constexpr int kDialogMessageId = 1002;
inline constexpr int kDialogContentId = 1003;
inline constexpr int kDialogButtonBarId = 1004;
inline constexpr int kDialogFirstOptionId = 1100;

inline constexpr wchar_t kMainWindowClass[] = L"TAVUpdateMainWindow";
inline constexpr wchar_t kDialogClass[] = L"TAVForm";
inline constexpr wchar_t kTavKey[] = L"SOFTWARE\\Corvel Systems\\TAV";
inline constexpr wchar_t kWatchDogKey[] = L"SOFTWARE\\Corvel Systems\\TAV\\WatchDog";
inline constexpr wchar_t kLayersKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

// Polls done() every 25 ms for up to ms; whether it came true.
bool WaitFor(const std::function<bool()>& done, unsigned long ms);

// The first visible top-level window of class cls owned by process pid.
HWND FindTopWindow(DWORD pid, const wchar_t* cls);

// A window's text, or "" when its program does not answer in time.
std::string Text(HWND window);
// The position of a progress bar, -1 when there is no answer.
int BarPosition(HWND bar);
bool Checked(HWND button);
// Presses a button as a click would, without waiting on what it starts.
void Click(HWND button);
// The visible buttons of a message dialog, left to right.
std::vector<HWND> DialogButtons(HWND dialog);
// A dialog's picture in build/artifacts, painted first.
bool Screenshot(HWND window, const std::string& name);

// Values in the 32-bit view of HKEY_LOCAL_MACHINE or in HKEY_CURRENT_USER.
std::optional<std::string> ReadString(HKEY root, const wchar_t* key, const std::string& name);
std::optional<DWORD> ReadDword(HKEY root, const wchar_t* key, const std::string& name);
bool WriteString(HKEY root, const wchar_t* key, const std::string& name, const std::string& value);
void DeleteValue(HKEY root, const wchar_t* key, const std::string& name);
bool KeyExists(HKEY root, const wchar_t* key);

// Writes a whole file; false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Runs a program to its end; its exit code, or -1.
long RunAndWait(const std::string& exe, const std::string& arguments, unsigned long ms);

// The loopback server the test run started: "http://127.0.0.1:PORT" + path.
std::string ServerUrl(const std::string& path);

// A started process that the destructor ends if it still runs.
class Process {
public:
    Process() = default;
    explicit Process(HANDLE h) : handle_(h) {}
    ~Process();
    Process(Process&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Process& operator=(Process&& other) noexcept;
    HANDLE handle() const { return handle_; }
    DWORD id() const { return handle_ ? ::GetProcessId(handle_) : 0; }
    bool Running() const { return handle_ && ::WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }
    // The exit code once the process ended within ms, else -1.
    long Exit(unsigned long ms) const { return handle_ ? wintest::WaitExit(handle_, ms) : -1; }

private:
    HANDLE handle_ = nullptr;
};

// A TAV installation in a fresh folder: InstallLocation names it (32-bit
// view), the program and its style library lie in it, the watchdog key
// exists without values. The destructor puts the registry back.
class DemoInstallation {
public:
    DemoInstallation();
    ~DemoInstallation();
    DemoInstallation(const DemoInstallation&) = delete;
    DemoInstallation& operator=(const DemoInstallation&) = delete;

    const std::string& folder() const { return folder_; }
    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    // The error log the program writes in its folder.
    std::string Log() const { return wintest::ReadFileBytes(Path("LOGS\\TAVerror.log")); }
    // Names of staging files the update left in the folder.
    std::vector<std::string> StagingFiles() const;
    // The argument text and folder the downloaded installer was started with.
    std::string InstallerRecord(const std::string& installer = "setup.exe") const {
        return wintest::ReadFileBytes(Path(installer + ".record.txt"));
    }

    // Starts the program as TAV does: from its folder, the argument quoted.
    Process StartUpdate(const std::string& argument) const;
    // Starts a dummy TAV program under imageName in mode (see the helper).
    Process StartProgram(const std::string& imageName, const std::string& mode) const;
    // Installs and starts a service named TAVorsService; false on failure.
    bool StartService();
    // Whether the service runs.
    static bool ServiceRunning();

private:
    wintest::TempFolder root_;
    std::string folder_;
    bool corvelExisted_ = false;
    std::optional<std::string> previousLocation_;
    bool serviceCreated_ = false;
};

// The layers value the program writes for an installer of that name.
std::string LayersValueName(const std::string& installer);

}  // namespace tav::e2e
