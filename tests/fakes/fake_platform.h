// In-memory doubles for the run-time services, and one fixture object that
// owns them and installs them for a test.
#pragma once

#include <map>
#include <set>

#include "app/state.h"
#include "core/failure.h"
#include "fake_processes.h"
#include "fakes/fake_code_signing.h"
#include "fakes/fake_dialog_view.h"
#include "fakes/fake_read_service.h"
#include "platform/platform.h"

namespace tav::fakes {

// Upper-cased, "/" as "\", no trailing "\": names are found regardless of
// case, as on Windows.
std::string NormalizePath(const std::string& path);
inline std::string ParentOf(const std::string& key) {
    return key.substr(0, key.find('\\') == std::string::npos ? 0 : key.rfind('\\'));
}

struct FakeClock : Clock {
    DateTime Now() override { return now; }
    std::string ShortDate(const DateTime& d) override {
        return std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year);
    }
    uint32_t TickCount() override { return tick; }
    // Moves the tick count and the wall clock (within the day) together.
    void Advance(uint32_t ms) {
        tick += ms, subMs += ms;
        const int s =
            now.hour * 3600 + now.minute * 60 + now.second + static_cast<int>(subMs / 1000);
        subMs %= 1000, now.hour = s / 3600 % 24, now.minute = s / 60 % 60, now.second = s % 60;
    }
    DateTime now{2026, 12, 6, 9, 5, 7};
    uint32_t tick = 1000, subMs = 0;
};

// Time passes only in the waits, so a spinning loop never ends its timeout.
struct FakeEventLoop : EventLoop {
    explicit FakeEventLoop(FakeClock& c) : clock(c) {}
    void DoEvents() override { onDoEvents ? onDoEvents() : void(); }
    void Sleep(uint32_t ms) override { clock.Advance(ms); }
    void WaitForEvents(uint32_t ms) override { waits.push_back(ms), clock.Advance(ms); }
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
    bool another = false;
    std::string instanceFailure;  // thrown when set
    std::string ArgumentText() override { return {}; }
};

class FakeFiles : public Files {
public:
    int FreeFile() override { return open_.empty() ? 1 : open_.rbegin()->first + 1; }
    void OpenAppend(int n, const std::string& p) override {
        files_.try_emplace(open_[n] = Writable(p), File{Leaf(p), {}});
    }
    void PrintLine(int number, const std::string& text) override {
        if (!open_.count(number)) throw err::Make(err::kBadFileNameOrNumber);
        if (failWritesWith) throw err::Make(failWritesWith);
        files_[open_[number]].content += text + "\r\n";
    }
    void Close(int number) override { open_.erase(number); }
    // Whole files are written, moved and deleted only on paths the Windows
    // and end-to-end tiers run (saving a download, the installer's backup).
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
    std::optional<FoundFile> FindFirst(const std::string& path) override {
        auto it = files_.find(NormalizePath(path));
        return it == files_.end()
                   ? std::nullopt
                   : std::optional(FoundFile{it->second.name, it->second.attributes});
    }
    std::vector<FoundFile> FindAll(const std::string& p) override {
        auto f = FindFirst(p);
        return f ? std::vector{*f} : std::vector<FoundFile>{};
    }

    void AddFolder(const std::string& path) {  // and its parents
        for (std::string key = NormalizePath(path); !key.empty(); key = ParentOf(key))
            folders_.insert(key);
    }
    void AddFile(const std::string& path, const std::string& content = {},
                 uint32_t attributes = 0) {
        AddFolder(ParentOf(NormalizePath(path)));
        files_[NormalizePath(path)] = File{Leaf(path), content, attributes};
    }
    bool HasFile(const std::string& path) const { return files_.count(NormalizePath(path)) != 0; }
    std::string Content(const std::string& path) const {
        return HasFile(path) ? files_.at(NormalizePath(path)).content : "";
    }
    size_t OpenCount() const { return open_.size(); }

    std::set<std::string> deniedFolders;  // normalized; nothing is made or opened in them
    int32_t failWritesWith = 0;

private:
    struct File {
        std::string name, content;
        uint32_t attributes = 0;
    };  // the name as created
    static std::string Leaf(const std::string& path) {
        return path.substr(path.find_last_of("\\/") + 1);
    }
    [[noreturn]] static void Unused() {
        throw Failure(err::kInternalError, "not used by the logic under test");
    }
    std::string Writable(const std::string& path) const {
        const std::string key = NormalizePath(path), parent = ParentOf(key);
        if (!folders_.count(parent)) throw err::Make(err::kPathNotFound);
        auto it = files_.find(key);
        if (deniedFolders.count(parent) || folders_.count(key) ||
            (it != files_.end() && (it->second.attributes & kAttrReadOnly)))
            throw err::Make(err::kPathFileAccess);
        return key;
    }

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
        return runs.emplace_back(app, line), true;
    }
    void Open(const std::string&, const std::string&, const std::string&) override {}
    std::vector<std::pair<std::string, std::string>> runs;
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
                      RegKey& key) override {
        openAccessRequests.push_back(access);
        const std::string path = FullPath(root, subkey);
        if (path.empty()) return kInvalidHandle;
        return !subkey.empty() && !keys_.count(path) ? 2 : (key = Hand(path, access), 0);
    }
    int32_t CreateKey(RegKey root, const std::string& subkey, RegKey& key) override {
        const std::string path = FullPath(root, subkey);
        return path.empty() ? kInvalidHandle : (AddKey(path), key = Hand(path, 0xF003F), 0);
    }
    int32_t QueryValueEx(RegKey key, const std::string& name, uint32_t& type, uint8_t* data,
                         uint32_t& length) override {
        if (!open_.count(key)) return kInvalidHandle;
        const auto v = values_.find(open_[key].first + "|" + NormalizePath(name));
        if (v == values_.end()) return 2;
        const auto& [stored, bytes] = v->second;
        const uint32_t size = static_cast<uint32_t>(bytes.size()), fits = size <= length;
        if (fits) std::copy(bytes.begin(), bytes.end(), data);
        return type = stored, length = size, fits ? 0 : 234;
    }
    int32_t SetValueEx(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                       uint32_t length) override {
        if (!open_.count(key)) return kInvalidHandle;
        const auto& [path, access] = open_[key];
        if (!(access & 0x2) || readOnlyKeys.count(path)) return 5;
        return values_[path + "|" + NormalizePath(name)] = {type, std::vector<uint8_t>(
                                                                      data, data + length)},
                                    0;
    }
    int32_t CloseKey(RegKey key) override { return open_.erase(key) ? 0 : kInvalidHandle; }
    void PostSettingChange(uintptr_t, intptr_t) override { ++settingChanges; }

    void AddKey(const std::string& path) {
        for (std::string key = NormalizePath(path); key.find('\\') != std::string::npos;
             key = ParentOf(key))
            keys_.insert(key);
    }
    void PutString(const std::string& path, const std::string& name, const std::string& text,
                   bool terminated = true, uint32_t type = kRegSz) {
        Put(path, name, type,
            std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + terminated));
    }
    void PutDword(const std::string& path, const std::string& name, uint32_t v) {
        Put(path, name, 4, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    size_t OpenHandles() const { return open_.size(); }

    std::vector<uint32_t> openAccessRequests;
    std::set<std::string> readOnlyKeys;  // normalized
    int settingChanges = 0;

private:
    static constexpr int32_t kInvalidHandle = 6;
    using Value = std::pair<uint32_t, std::vector<uint8_t>>;  // type, bytes
    void Put(const std::string& path, const std::string& name, uint32_t type,
             std::vector<uint8_t> data) {
        AddKey(path),
            values_[NormalizePath(path) + "|" + NormalizePath(name)] = {type, std::move(data)};
    }
    std::string FullPath(RegKey root, const std::string& subkey) const {
        static const char* const roots[] = {
            "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
            "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
        const std::string base = root - 0x80000000u < 7 ? roots[root - 0x80000000u]
                                 : open_.count(root)    ? open_.at(root).first
                                                        : "";
        return base.empty() || subkey.empty() ? base : NormalizePath(base + "\\" + subkey);
    }
    RegKey Hand(const std::string& path, uint32_t access) {
        return open_[next_] = {path, access}, next_++;
    }

    std::set<std::string> keys_;
    std::map<std::string, Value> values_;                      // "PATH|NAME"
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
