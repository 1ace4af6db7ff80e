// In-memory doubles for the run-time services, and one fixture object that
// owns them and installs them for a test.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake_processes.h"
#include "fakes/fake_code_signing.h"
#include "fakes/fake_dialog_view.h"
#include "fakes/fake_read_service.h"
#include "platform/platform.h"

namespace tav::fakes {

// Upper-cased, forward slashes turned to "\", no trailing "\": files and
// folders are found regardless of case, as on Windows.
std::string NormalizePath(const std::string& path);
// "*" and "?" matching, case-insensitive.
bool WildcardMatch(const std::string& pattern, const std::string& name);

class FakeEventLoop : public EventLoop {
public:
    void DoEvents() override;
    void Sleep(uint32_t ms) override;
    void WaitForEvents(uint32_t ms) override;

    int doEventsCalls = 0;
    std::vector<uint32_t> sleeps;
    std::vector<uint32_t> waits;
    // Runs inside every DoEvents, as a queued handler would.
    std::function<void()> onDoEvents;
    // Called with the milliseconds each Sleep or WaitForEvents lasts, so a
    // fake clock can advance.
    std::function<void(uint32_t)> onTimePasses;
};

class FakeApp : public App {
public:
    AppIdentity Identity() override { return identity; }
    bool PrevInstance() override { return prevInstance; }
    std::string ArgumentText() override { return argumentText; }

    AppIdentity identity{"TAVUpdate", "C:\\Program Files\\TAV", 7, 6, 10};
    bool prevInstance = false;
    std::string argumentText;
};

class FakeFiles : public Files {
public:
    FakeFiles();

    int FreeFile() override;
    void OpenAppend(int fileNumber, const std::string& path) override;
    void PrintLine(int fileNumber, const std::string& text) override;
    void Close(int fileNumber) override;
    void WriteBinary(const std::string& path, std::span<const uint8_t> bytes) override;
    void WriteBinaryAtomic(const std::string& path,
                           const std::vector<std::span<const uint8_t>>& pieces) override;
    void Delete(const std::string& path) override;
    void Rename(const std::string& from, const std::string& to) override;
    bool FolderExists(const std::string& path) override;
    void MakeFolder(const std::string& path) override;
    std::optional<FoundFile> FindFirst(const std::string& pattern) override;
    std::vector<FoundFile> FindAll(const std::string& pattern) override;

    // Test set-up and inspection.
    void AddFolder(const std::string& path);  // and its parents
    void AddFile(const std::string& path, const std::string& content = {},
                 uint32_t attributes = 0);
    bool HasFile(const std::string& path) const;
    std::string Content(const std::string& path) const;  // "" when missing
    // The file's name as created (original case), or "".
    std::string StoredName(const std::string& path) const;
    size_t OpenCount() const { return open_.size(); }

    // Folders (normalized) in which nothing can be created or opened.
    std::set<std::string> deniedFolders;
    // Normalized paths that are junctions or symbolic links.
    std::set<std::string> reparsePoints;
    // When set, PrintLine fails with this classic number.
    int32_t failWritesWith = 0;
    // When set, WriteBinaryAtomic fails at its last step (the move over
    // the target) with this classic number.
    int32_t failAtomicMoveWith = 0;

private:
    struct File {
        std::string name;  // as created
        std::string content;
        uint32_t attributes = 0;
    };
    std::string ParentOf(const std::string& normalized) const;
    bool Denied(const std::string& normalizedFolder) const;

    std::set<std::string> folders_;
    std::map<std::string, File> files_;
    std::map<int, std::string> open_;  // number -> normalized path
};

class FakeClock : public Clock {
public:
    DateTime Now() override;
    std::string ShortDate(const DateTime& when) override;
    uint32_t TickCount() override { return tick; }

    // Moves both the tick count and the wall clock.
    void Advance(uint32_t ms);

    DateTime now{2026, 12, 6, 9, 5, 7};
    uint32_t tick = 1000;
    uint32_t msRemainder = 0;
};

class FakeUi : public Ui {
public:
    void MsgBox(const std::string& text) override { messages.push_back(text); }
    int32_t ScreenWidthTwips() override { return screenWidth; }
    int32_t ScreenHeightTwips() override { return screenHeight; }

    std::vector<std::string> messages;
    int32_t screenWidth = 1024 * 15;
    int32_t screenHeight = 768 * 15;
};

class FakeShell : public Shell {
public:
    bool RunHidden(const std::string& application, const std::string& commandLine) override {
        runs.push_back({application, commandLine});
        return startSucceeds;
    }
    void Open(const std::string& file, const std::string& parameters, const std::string& folder) override {
        opens.push_back({file, parameters, folder});
        if (!startSucceeds) throw Failure(err::kFileNotFound, "The system cannot find the file specified");
    }
    struct Run {
        std::string application, commandLine;
    };
    struct Opened {
        std::string file, parameters, folder;
    };
    std::vector<Run> runs;
    std::vector<Opened> opens;
    bool startSucceeds = true;
};

class FakeLocale : public Locale {
public:
    std::string ThousandsSeparator() override { return separator; }
    std::string ToAnsi(const std::string& utf8) override { return utf8; }
    std::string FromAnsi(const std::string& ansi) override { return ansi; }
    std::string separator = ",";
};

class FakeRegistry : public RegistryApi {
public:
    int32_t OpenKeyEx(RegKey root, const std::string& subkey, uint32_t options, uint32_t access,
                      RegKey& key) override;
    int32_t CreateKey(RegKey root, const std::string& subkey, RegKey& key) override;
    int32_t QueryValueEx(RegKey key, const std::string& name, uint32_t& type, uint8_t* data,
                         uint32_t& length) override;
    int32_t SetValueEx(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                       uint32_t length) override;
    int32_t CloseKey(RegKey key) override;
    void PostSettingChange(uintptr_t wParam, intptr_t lParam) override {
        settingChanges.push_back({wParam, lParam});
    }

    struct Value {
        uint32_t type = 0;
        std::vector<uint8_t> data;
    };
    // Test set-up and inspection; path as "HKEY_...\Sub\Key".
    void AddKey(const std::string& path);
    void PutString(const std::string& path, const std::string& name, const std::string& text,
                   bool terminated = true);
    void PutDword(const std::string& path, const std::string& name, uint32_t value);
    std::optional<Value> Get(const std::string& path, const std::string& name) const;
    bool HasKey(const std::string& path) const;
    size_t OpenHandles() const { return open_.size(); }

    std::vector<std::pair<uintptr_t, intptr_t>> settingChanges;
    std::vector<uint32_t> openAccessRequests;
    // Keys (normalized full paths) that refuse writing.
    std::set<std::string> readOnlyKeys;

private:
    struct Open {
        std::string path;
        uint32_t access;
    };
    std::string FullPath(RegKey root, const std::string& subkey) const;
    std::map<std::string, std::map<std::string, Value>> keys_;  // normalized path -> values
    std::map<RegKey, Open> open_;
    RegKey next_ = 0x1000;
};

// Owns one of each fake and installs them; restores a clean program state
// (install location, logger, current error) on construction.
struct FakePlatform {
    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    FakeEventLoop events;
    FakeApp app;
    FakeFiles files;
    FakeClock clock;
    FakeUi ui;
    FakeShell shell;
    FakeLocale locale;
    FakeRegistry registry;
    FakeProcesses processes;
    FakeEnvironment environment;
    FakeDialogViews dialogs;
    FakeReadService reads;
    FakeCodeSigning signing;
};

}  // namespace tav::fakes
