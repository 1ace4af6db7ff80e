// Shared helpers for the tests and probes that run under Wine.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win.h"

#include <wincrypt.h>

namespace tav::wintest {

// A path of the build tree as this process sees it ("Z:\..." under Wine).
std::string HostPath(const std::string& unixPath);

// A fresh empty folder under the temp folder, removed by the destructor.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A started process, ended by the destructor if it still runs.
class Process {
public:
    explicit Process(HANDLE h = nullptr) : handle_(h) {}
    ~Process();
    Process(Process&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Process& operator=(Process&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    DWORD id() const { return handle_ ? ::GetProcessId(handle_) : 0; }
    bool Running() const { return handle_ && ::WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }
    // The exit code once the process ended within ms, else -1.
    long Exit(unsigned long ms) const;
    // Ends it at once with code, as a crash or the task manager would:
    // no code of its own runs. False when it could not be ended.
    bool Kill(unsigned code) const { return handle_ && ::TerminateProcess(handle_, code); }

private:
    HANDLE handle_;
};

// Starts a program (in folder when given); an empty Process when it
// could not be started.
// A program whose manifest requires administrator rights is started
// through the shell when Windows will not create it for this process.
Process StartProcess(const std::string& exe, const std::string& arguments,
                     const std::string& folder = {});
// Starts a program through ShellExecuteEx ("open"), as a caller that is not
// elevated must start one that requires administrator rights.
Process ShellStartProcess(const std::string& exe, const std::string& arguments,
                          const std::string& folder = {});
// Copies a file the build made (a path of the build tree) to path.
bool CopyFromBuild(const std::string& unixPath, const std::string& path);
// The port of the loopback server whose state file is statePath: "port"
// plain, "tls_port" with TLS; 0 when it did not start.
int ServerPort(const std::string& statePath, const std::string& key = "port");

// Copies the stand-in TAV program to path and starts it in mode (see
// helpers/related_program.cpp); returns once it is ready.
Process StartStandIn(const std::string& path, const std::string& mode);

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Whether a file matches pattern ("folder\\*.staging").
bool AnyFile(const std::string& pattern);

// Runs this thread's messages until done() holds; false after ms.
bool PumpMessages(unsigned long ms, const std::function<bool()>& done = nullptr);

// The first visible top-level window of class cls owned by process pid.
HWND FindTopWindow(DWORD pid, const wchar_t* cls);
// A window's text as another process reads it, "" when it does not answer.
std::string Text(HWND window);
// Sends with a bound, so that a hung program fails the test, not the run.
LRESULT Ask(HWND window, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

// What the screen shows where the window is, painted first, as a 24-bit
// BMP <name>.bmp in folder (build/artifacts when none is given).
bool SaveWindowPicture(HWND window, const std::string& name, std::string folder = {});

// What is wrong with the layout of a window's visible controls: a control
// over a sibling, or (for a window of this process, whose fonts it can
// use) a text that needs more room than its control has. Empty when none.
std::vector<std::string> LayoutFaults(HWND window);

// Trusts a test certificate authority (DER file) in the machine's root
// store while the object lives, as an organisation deploying signed
// updates trusts its own.
class TrustedTestRoot {
public:
    explicit TrustedTestRoot(const std::string& derPath);
    ~TrustedTestRoot();
    bool ok() const { return cert_ != nullptr; }

private:
    HCERTSTORE store_ = nullptr;
    PCCERT_CONTEXT cert_ = nullptr;
};

// The registry names folder as the TAV installation folder (32-bit view)
// while the object lives, in a TAV key made anew and removed after it: the
// program refuses to download without one.
class InstallLocationAt {
public:
    explicit InstallLocationAt(const std::string& folder);
    ~InstallLocationAt();
    InstallLocationAt(const InstallLocationAt&) = delete;
    InstallLocationAt& operator=(const InstallLocationAt&) = delete;
};

// Whether the program's main window came to say, within 30 s, that its
// download failed.
bool ShowsFailedDownload(const Process& p);

}  // namespace tav::wintest
