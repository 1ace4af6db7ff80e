// In-memory doubles for the run-time services, and one fixture object that
// owns them and installs them for a test.
#pragma once

#include <map>
#include <set>

#include "app/state.h"
#include "core/failure.h"
#include "fakes/fake_code_signing.h"
#include "fakes/fake_dialog_view.h"
#include "fakes/fake_processes.h"
#include "fakes/fake_read_service.h"
#include "platform/platform.h"

namespace tav::fakes {

// Upper-cased, "/" as "\", no trailing "\": names are found regardless of
// case, as on Windows.
std::string NormalizePath(const std::string& path);
std::string ParentOf(const std::string& key);

struct FakeClock : Clock {
    DateTime Now() override { return now; }
    std::string ShortDate(const DateTime& d) override {
        return std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year);
    }
    uint32_t TickCount() override { return tick; }
    void Advance(uint32_t ms) { tick += ms; }  // the wall clock stands still
    DateTime now{2026, 12, 6, 9, 5, 7};
    uint32_t tick = 1000;
};

// Time passes only in the waits, so a spinning loop never ends its timeout.
struct FakeEventLoop : EventLoop {
    explicit FakeEventLoop(FakeClock& c) : clock(c) {}
    void DoEvents() override {
        if (onDoEvents) onDoEvents();
    }
    void Sleep(uint32_t ms) override { clock.Advance(ms); }
    void WaitForEvents(uint32_t ms) override {
        waits.push_back(ms);
        clock.Advance(ms);
    }
    void Wake() override {}
    FakeClock& clock;
    std::vector<uint32_t> waits;
    std::function<void()> onDoEvents;  // as a queued handler would
};

struct FakeApp : App {
    AppIdentity Identity() override { return {"TAVUpdate", "C:\\Program Files\\TAV", 7, 6, 10}; }
    bool PrevInstance() override {
        if (!instanceFailure.empty()) throw Failure(err::kPermissionDenied, instanceFailure);
        return another;
    }
    std::string ArgumentText() override { return {}; }
    bool another = false;
    std::string instanceFailure;  // thrown when set
};

// Files as the error log and the name lookups use them; whole files are
// written, moved and deleted only on the Windows and end-to-end tiers.
class FakeFiles : public Files {
public:
    int FreeFile() override { return open_.empty() ? 1 : open_.rbegin()->first + 1; }
    void OpenAppend(int number, const std::string& path) override;
    void PrintLine(int number, const std::string& text) override;
    void Close(int number) override { open_.erase(number); }
    void WriteBinary(const std::string&, std::span<const uint8_t>) override { Unused(); }
    void WriteBinaryAtomic(const std::string&,
                           const std::function<size_t(std::span<uint8_t>)>&) override {
        Unused();
    }
    void Delete(const std::string&) override { Unused(); }
    void Rename(const std::string&, const std::string&) override { Unused(); }
    bool FolderExists(const std::string& path) override {
        return folders_.count(NormalizePath(path)) != 0;
    }
    void MakeFolder(const std::string& path) override { folders_.insert(Writable(path)); }
    std::optional<FoundFile> FindFirst(const std::string& path) override;
    std::vector<FoundFile> FindAll(const std::string&) override { Unused(); }

    void AddFolder(const std::string& path);  // and its parents
    void AddFile(const std::string& path, const std::string& content = {}, uint32_t attributes = 0);
    std::string Content(const std::string& path) const;
    size_t OpenCount() const { return open_.size(); }

    int32_t failWritesWith = 0;

private:
    struct File {
        std::string name;  // as created
        std::string content;
        uint32_t attributes = 0;
    };
    [[noreturn]] static void Unused() {
        throw Failure(err::kInternalError, "not used by the logic under test");
    }
    std::string Writable(const std::string& path) const;

    std::set<std::string> folders_{"", "C:"};  // "" holds root-relative paths
    std::map<std::string, File> files_;
    std::map<int, std::string> open_;  // number -> normalized path
};

struct FakeUi : Ui {
    void MsgBox(const std::string& text) override { messages.push_back(text); }
    int32_t ScreenWidthTwips() override { return 1024 * 15; }
    int32_t ScreenHeightTwips() override { return 768 * 15; }
    std::vector<std::string> messages;
};

struct FakeShell : Shell {
    bool RunHidden(const std::string& app, const std::string& line) override {
        runs.push_back(app + " " + line);
        return true;
    }
    void Open(const std::string&, const std::string&, const std::string&) override {}
    std::vector<std::string> runs;  // "<application> <command line>"
};

struct FakeLocale : Locale {
    std::string ThousandsSeparator() override { return ","; }
    std::string ToAnsi(const std::string& utf8) override { return utf8; }
    std::string FromAnsi(const std::string& ansi) override { return ansi; }
};

// Paths as "HKEY_...\Sub\Key"; key and value names regardless of case.
class FakeRegistry : public RegistryApi {
public:
    int32_t OpenKeyEx(RegKey root, const std::string& subkey, uint32_t, uint32_t access,
                      RegKey& key) override;
    int32_t CreateKey(RegKey root, const std::string& subkey, RegKey& key) override;
    int32_t QueryValueEx(RegKey key, const std::string& name, uint32_t& type, uint8_t* data,
                         uint32_t& length) override;
    int32_t SetValueEx(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                       uint32_t length) override;
    int32_t CloseKey(RegKey key) override { return open_.erase(key) ? 0 : kInvalidHandle; }
    void PostSettingChange(uintptr_t wParam, intptr_t lParam) override {
        settingChanges.push_back(std::to_string(wParam) + " " + std::to_string(lParam));
    }

    void AddKey(const std::string& path);
    void PutString(const std::string& path, const std::string& name, const std::string& text,
                   bool terminated = true, uint32_t type = kRegSz);
    size_t OpenHandles() const { return open_.size(); }

    std::vector<uint32_t> openAccessRequests;
    std::set<std::string> readOnlyKeys;       // normalized
    std::vector<std::string> settingChanges;  // "<wParam> <lParam>"

private:
    static constexpr int32_t kInvalidHandle = 6;
    std::string FullPath(RegKey root, const std::string& subkey) const;
    RegKey Hand(const std::string& path, uint32_t access);

    std::set<std::string> keys_;
    std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>> values_;  // "PATH|NAME"
    std::map<RegKey, std::pair<std::string, uint32_t>> open_;  // handle -> path, access
    RegKey next_ = 0x1000;
};

// Owns one of each fake and installs them, and the program's shared state
// (install location, log, registry layer) over them.
struct FakePlatform {
    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;

    FakeClock clock;
    FakeEventLoop events{clock};
    FakeApp app;
    FakeFiles files;
    FakeUi ui;
    FakeShell shell;
    FakeLocale locale;
    FakeRegistry registry;
    FakeProcesses processes;
    FakeEnvironment environment;
    FakeDialogViews dialogs;
    FakeReadService reads;
    FakeCodeSigning signing;
    ProgramState state{Services()};

private:
    Platform Services();
};

}  // namespace tav::fakes
