// Shared helpers for the tests that run under Wine.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win.h"

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

// Starts a program; returns its process handle (caller closes) or null.
HANDLE StartProcess(const std::string& exe, const std::string& arguments);

// Waits for a process to end; its exit code, or -1 on time-out.
long WaitExit(HANDLE process, unsigned long ms);

// Reads a whole file as bytes; "" when missing.
std::string ReadFileBytes(const std::string& path);

// Runs the thread's messages for about ms milliseconds, or until done()
// answers true.
void PumpMessages(unsigned long ms, bool (*done)(void*) = nullptr, void* context = nullptr);

// Writes what the screen shows where the window is (child controls
// included) as a 24-bit BMP file at path; false on failure.
bool WriteWindowBmp(HWND window, const std::string& path);

// Saves what the window shows as a 24-bit BMP under the build tree's
// artifacts folder (build/<preset>/artifacts/name.bmp); false on failure.
bool SaveWindowPicture(HWND window, const std::string& name);

// The text of a window, as another process reads it with WM_GETTEXT.
std::string WindowText(HWND window);

// What is wrong with the layout of a window's visible controls: a control
// over a sibling, or (for a window of this process, whose fonts it can
// use) a text that needs more room than its control has. Empty when none.
std::vector<std::string> LayoutFaults(HWND window);

}  // namespace tav::wintest
