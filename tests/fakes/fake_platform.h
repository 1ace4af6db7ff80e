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

class FakeEventLoop : public EventLoop {
public:
    void DoEvents() override {
        ++doEventsCalls;
        if (onDoEvents) onDoEvents();
    }
    void Sleep(uint32_t ms) override { Pass(sleeps, ms); }
    void WaitForEvents(uint32_t ms) override { Pass(waits, ms); }

    int doEventsCalls = 0;
    std::vector<uint32_t> sleeps, waits;
    // Runs inside every DoEvents, as a queued handler would.
    std::function<void()> onDoEvents;
    // Hears how long each Sleep or WaitForEvents lasts, so a clock can move.
    std::function<void(uint32_t)> onTimePasses;

private:
    void Pass(std::vector<uint32_t>& log, uint32_t ms) {
        log.push_back(ms);
        if (onTimePasses) onTimePasses(ms);
    }
};

class FakeApp : public App {
public:
    AppIdentity Identity() override { return identity; }
    bool PrevInstance() override { return prevInstance; }
    std::string ArgumentText() override { return {}; }

    AppIdentity identity{"TAVUpdate", "C:\\Program Files\\TAV", 7, 6, 10};
    bool prevInstance = false;
};

class FakeFiles : public Files {
public:
    int FreeFile() override;
    void OpenAppend(int fileNumber, const std::string& path) override;
    void PrintLine(int fileNumber, const std::string& text) override;
    void Close(int fileNumber) override { open_.erase(fileNumber); }
    void WriteBinary(const std::string& path, std::span<const uint8_t> bytes) override { Write(path, {bytes}, false); }
    void WriteBinaryAtomic(const std::string& path, const std::vector<std::span<const uint8_t>>& pieces) override {
        Write(path, pieces, true);
    }
    void Delete(const std::string& path) override;
    void Rename(const std::string& from, const std::string& to) override;
    bool FolderExists(const std::string& path) override { return folders_.count(NormalizePath(path)) != 0; }
    void MakeFolder(const std::string& path) override;
    std::optional<FoundFile> FindFirst(const std::string& pattern) override {
        auto all = FindAll(pattern);
        return all.empty() ? std::nullopt : std::optional<FoundFile>(all.front());
    }
    std::vector<FoundFile> FindAll(const std::string& pattern) override;

    void AddFolder(const std::string& path);  // and its parents
    void AddFile(const std::string& path, const std::string& content = {}, uint32_t attributes = 0);
    bool HasFile(const std::string& path) const { return files_.count(NormalizePath(path)) != 0; }
    std::string Content(const std::string& path) const;  // "" when missing
    size_t OpenCount() const { return open_.size(); }

    // Folders (normalized) in which nothing can be created or opened.
    std::set<std::string> deniedFolders;
    // Normalized paths that are junctions or symbolic links.
    std::set<std::string> reparsePoints;
    // Writes fail with this classic number; the atomic write's last step
    // (the move over the target) with the other.
    int32_t failWritesWith = 0, failAtomicMoveWith = 0;

private:
    struct File {
        std::string name;  // as created
        std::string content;
        uint32_t attributes = 0;
    };
    // Checks that path's folder exists and lets it be written in.
    std::string Writable(const std::string& path) const;
    void Write(const std::string& path, const std::vector<std::span<const uint8_t>>& pieces, bool atomic);

    std::set<std::string> folders_{"C:"};
    std::map<std::string, File> files_;
    std::map<int, std::string> open_;  // number -> normalized path
};

class FakeClock : public Clock {
public:
    DateTime Now() override { return now; }
    std::string ShortDate(const DateTime& d) override {
        return std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year);
    }
    uint32_t TickCount() override { return tick; }
    // Moves both the tick count and the wall clock (within the day).
    void Advance(uint32_t ms) {
        tick += ms;
        const uint32_t seconds = (ms_ + ms) / 1000;
        ms_ = (ms_ + ms) % 1000;
        const int total = now.hour * 3600 + now.minute * 60 + now.second + static_cast<int>(seconds);
        now.hour = (total / 3600) % 24, now.minute = (total / 60) % 60, now.second = total % 60;
    }

    DateTime now{2026, 12, 6, 9, 5, 7};
    uint32_t tick = 1000;

private:
    uint32_t ms_ = 0;
};

class FakeUi : public Ui {
public:
    void MsgBox(const std::string& text) override { messages.push_back(text); }
    int32_t ScreenWidthTwips() override { return screenWidth; }
    int32_t ScreenHeightTwips() override { return screenHeight; }

    std::vector<std::string> messages;
    int32_t screenWidth = 1024 * 15, screenHeight = 768 * 15;
};

class FakeShell : public Shell {
public:
    bool RunHidden(const std::string& application, const std::string& commandLine) override {
        runs.push_back({application, commandLine});
        return true;
    }
    void Open(const std::string&, const std::string&, const std::string&) override {}
    struct Run {
        std::string application, commandLine;
    };
    std::vector<Run> runs;
};

class FakeLocale : public Locale {
public:
    std::string ThousandsSeparator() override { return ","; }
    std::string ToAnsi(const std::string& utf8) override { return utf8; }
    std::string FromAnsi(const std::string& ansi) override { return ansi; }
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
    int32_t CloseKey(RegKey key) override { return open_.erase(key) ? 0 : kInvalidHandle; }
    void PostSettingChange(uintptr_t wParam, intptr_t lParam) override { settingChanges.push_back({wParam, lParam}); }

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
    bool HasKey(const std::string& path) const { return keys_.count(NormalizePath(path)) != 0; }
    size_t OpenHandles() const { return open_.size(); }

    std::vector<std::pair<uintptr_t, intptr_t>> settingChanges;
    std::vector<uint32_t> openAccessRequests;
    // Keys (normalized full paths) that refuse writing.
    std::set<std::string> readOnlyKeys;

private:
    static constexpr int32_t kInvalidHandle = 6;
    struct Open {
        std::string path;
        uint32_t access;
    };
    std::string FullPath(RegKey root, const std::string& subkey) const;
    RegKey Hand(const std::string& path, uint32_t access);
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
