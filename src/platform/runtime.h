// The run-time services the program relies on: the platform seam.
//
// Each interface sits close to the operating-system calls the program makes;
// the program's own rules live on the portable side. The Win32 homes are in
// platform/win32, the test doubles in tests/fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tav {

// Processes pending user-interface events and waits.
class EventLoop {
public:
    virtual ~EventLoop() = default;
    // Runs every queued user-interface event to its end, then returns.
    virtual void DoEvents() = 0;
    // Blocks the thread for ms milliseconds without processing events.
    virtual void Sleep(uint32_t ms) = 0;
    // Returns when input or a posted message arrives, or after ms at most;
    // processes nothing itself.
    virtual void WaitForEvents(uint32_t ms) = 0;
    // Ends a WaitForEvents of the user-interface thread now; any thread
    // may call it.
    virtual void Wake() = 0;
};

// The running program's identity.
struct AppIdentity {
    std::string exeName;  // file name without extension
    std::string path;     // folder of the executable, no trailing "\"
    int16_t major = 0;
    int16_t minor = 0;
    int16_t revision = 0;
};

class App {
public:
    virtual ~App() = default;
    virtual AppIdentity Identity() = 0;
    // True when another process of this program already runs; throws
    // tav::Failure saying why when that cannot be told.
    virtual bool PrevInstance() = 0;
    // Everything the process was started with after its own program name,
    // as given: nothing unquoted or decoded.
    virtual std::string ArgumentText() = 0;
};

// One entry of a file search.
struct FoundFile {
    std::string name;  // long file name, no folder
    uint32_t attributes = 0;
};

inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;

// Files by number, as the classic run-time had them. Failures throw
// tav::Failure with the classic numbers (52, 53, 55, 75, 76, ...).
class Files {
public:
    virtual ~Files() = default;
    // The lowest file number not in use.
    virtual int FreeFile() = 0;
    // Opens path for appending text lines (created when missing). Refuses
    // (Path/File access error) when its folder or the file itself is a
    // reparse point (junction, symbolic link): the lines would land
    // wherever that points.
    virtual void OpenAppend(int fileNumber, const std::string& path) = 0;
    // Writes one line in the system's ANSI code page, ended by CR LF.
    virtual void PrintLine(int fileNumber, const std::string& text) = 0;
    // Closes the number; closing a number not in use does nothing.
    virtual void Close(int fileNumber) = 0;
    // Creates or truncates path and writes exactly bytes into it.
    virtual void WriteBinary(const std::string& path, std::span<const uint8_t> bytes) = 0;
    // Writes what next gives, in order, to a new file in path's folder,
    // flushes it and moves it over path in one step. next fills its room
    // from the front and says how much it filled; 0 ends the file. On
    // failure path is as it was and no new file remains.
    virtual void WriteBinaryAtomic(const std::string& path,
                                   const std::function<size_t(std::span<uint8_t>)>& next) = 0;
    virtual void Delete(const std::string& path) = 0;
    // Renames within a folder; fails when the target exists.
    virtual void Rename(const std::string& from, const std::string& to) = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    // Creates one folder level.
    virtual void MakeFolder(const std::string& path) = 0;
    // First entry matching pattern (wildcards in the last part), any kind.
    virtual std::optional<FoundFile> FindFirst(const std::string& pattern) = 0;
    // Every entry matching pattern, in the order the search delivers them.
    virtual std::vector<FoundFile> FindAll(const std::string& pattern) = 0;
};

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime Now() = 0;
    // The date in the user's short date format.
    virtual std::string ShortDate(const DateTime& when) = 0;
    // Milliseconds since the system started (wraps after 49.7 days).
    virtual uint32_t TickCount() = 0;
};

class Ui {
public:
    virtual ~Ui() = default;
    // Modal box with an OK button only and the program's title.
    virtual void MsgBox(const std::string& text) = 0;
    virtual int32_t ScreenWidthTwips() = 0;
    virtual int32_t ScreenHeightTwips() = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Runs a command line with a hidden window; does not wait. False when
    // the program could not be started.
    virtual bool RunHidden(const std::string& application, const std::string& commandLine) = 0;
    // Starts file through the shell with the verb "Open", shown normally,
    // in folder; does not wait. Throws tav::Failure saying why when the
    // shell refused.
    virtual void Open(const std::string& file, const std::string& parameters,
                      const std::string& folder) = 0;
};

class Locale {
public:
    virtual ~Locale() = default;
    // The user's thousands separator.
    virtual std::string ThousandsSeparator() = 0;
    // Program text (UTF-8) to the system's ANSI code page, and back.
    virtual std::string ToAnsi(const std::string& utf8) = 0;
    virtual std::string FromAnsi(const std::string& ansi) = 0;
};

}  // namespace tav
