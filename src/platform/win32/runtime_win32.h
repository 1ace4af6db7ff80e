// The Win32 homes of the run-time services.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/unique_handle.h"

namespace tav::win32 {

class Win32EventLoop : public EventLoop {
public:
    // Made on the user-interface thread, the one Wake wakes.
    Win32EventLoop() : thread_(::GetCurrentThreadId()) {}
    void DoEvents() override;
    void Sleep(uint32_t ms) override;
    void WaitForEvents(uint32_t ms) override;
    void Wake() override;

private:
    DWORD thread_;
};

// A message for a window that handles its own keyboard navigation is
// offered to it first (tab order, Enter, Escape); true when it took it.
using MessageFilter = std::function<bool(MSG&)>;
// Adds a filter; the returned id removes it again.
int AddMessageFilter(MessageFilter filter);
void RemoveMessageFilter(int id);
// Offers msg to the filters in turn; true when one handled it.
bool FilterMessage(MSG& msg);
// The body of every message loop: the filters first, else translated and
// dispatched to its window.
void DeliverMessage(MSG& msg);

// Runs the thread's message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

// The process lives while one of its windows is open: each open window is
// counted, and the last one to close ends the message loop.
void WindowOpened();
void WindowClosed();
int OpenWindowCount();

class Win32App : public App {
public:
    AppIdentity Identity() override;
    bool PrevInstance() override;
    std::string ArgumentText() override;

private:
    UniqueKernel instanceMutex_;
    bool tested_ = false;
    bool another_ = false;
    std::string failure_;  // why it cannot be told; "" when it can
};

class Win32Files : public Files {
public:
    ~Win32Files() override;
    int FreeFile() override;
    void OpenAppend(int fileNumber, const std::string& path) override;
    void PrintLine(int fileNumber, const std::string& text) override;
    void Close(int fileNumber) override;
    void WriteBinary(const std::string& path, std::span<const uint8_t> bytes) override;
    void WriteBinaryAtomic(const std::string& path,
                           const std::function<size_t(std::span<uint8_t>)>& next) override;
    void Delete(const std::string& path) override;
    void Rename(const std::string& from, const std::string& to) override;
    bool FolderExists(const std::string& path) override;
    void MakeFolder(const std::string& path) override;
    std::optional<FoundFile> FindFirst(const std::string& pattern) override;
    std::vector<FoundFile> FindAll(const std::string& pattern) override;

private:
    std::map<int, UniqueFile> open_;
};

class Win32Clock : public Clock {
public:
    DateTime Now() override;
    std::string ShortDate(const DateTime& when) override;
    uint32_t TickCount() override;
};

class Win32Ui : public Ui {
public:
    void MsgBox(const std::string& text) override;
    int32_t ScreenWidthTwips() override;
    int32_t ScreenHeightTwips() override;
};

class Win32Shell : public Shell {
public:
    bool RunHidden(const std::string& application, const std::string& commandLine) override;
    void Open(const std::string& file, const std::string& parameters,
              const std::string& folder) override;
};

class Win32Locale : public Locale {
public:
    std::string ThousandsSeparator() override;
    std::string ToAnsi(const std::string& utf8) override;
    std::string FromAnsi(const std::string& ansi) override;
};

// The argument text of a full command line.
std::wstring ArgumentsAfterProgramName(const std::wstring& commandLine);

// Maps a Win32 error code from a file operation to the classic failure.
int32_t ClassicFileError(DWORD win32Error);

// The folder that holds the system's own programs, no trailing "\".
std::string SystemFolder();

// The title the program's own message boxes carry.
inline constexpr const char* kAppTitle = "TAV Update Manager";

}  // namespace tav::win32
