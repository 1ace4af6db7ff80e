// The main window's view and its services in one recording double: every
// call that matters lands in one list of short strings, in order, so a test
// reads texts, steps and file moves together.
#pragma once

#include <set>

#include "core/failure.h"
#include "fakes/fake_code_signing.h"
#include "main_window/update_services.h"
#include "platform/main_window_view.h"

namespace tav::fakes {

class FakeMainWindow : public MainWindowView, public UpdateServices {
public:
    uintptr_t Handle() override { return 0x1234; }
    int32_t WidthTwips() override { return 6000; }
    int32_t HeightTwips() override { return 3000; }
    void MoveTwips(int32_t l, int32_t t) override { Note("Move " + N(l) + " " + N(t)); }
    void SetVersionText(const std::string& text) override { Note(text); }
    void SetStatusText(const std::string& text) override { Note("Status " + text); }
    void SetStatusVisible(bool v) override { Note(v ? "ShowStatus" : "HideStatus"); }
    void SetBarValue(int16_t v) override {
        if (v < 0 || v > 100) throw err::Make(err::kInvalidPropertyValue);
        Note("Bar " + N(v));
    }
    void SetBarVisible(bool v) override { Note(v ? "ShowBar" : "HideBar"); }
    void SetBarError() override { Note("BarError"); }
    bool SilentChecked() override { return silent; }
    void SetStartTimerInterval(uint32_t ms) override {
        Note("TimerInterval " + std::to_string(ms));
    }
    void SetStartTimerEnabled(bool e) override { Note(e ? "TimerOn" : "TimerOff"); }
    void BeginWindowMove() override { Note("DragWindow"); }
    void Close() override { Note("Close"); }

    int32_t ScreenWidthTwips() override { return 15360; }
    int32_t ScreenHeightTwips() override { return 11520; }
    AppIdentity Identity() override { return {"TAVUpdate", "C:\\TAV", 7, 6, 10}; }
    std::string ArgumentText() override { return arguments; }
    void DoEvents() noexcept override {
        if (onYield) onYield();
    }
    std::string ThousandsSeparator() override { return ","; }
    void SetIcon(uintptr_t w, const std::string& name, bool app) noexcept override {
        Note("SetIcon " + N(w) + " " + name + (app ? " app" : ""));
    }
    bool IsFile(const std::string& path) noexcept override { return files.count(path) != 0; }
    void RemoveFile(const std::string& path) override {
        Note("Remove " + path);
        files.erase(path);
    }
    void RenameFile(const std::string& f, const std::string& t) override {
        Note("Rename " + f + " " + t);
        if (folders.count(t)) throw err::Make(err::kFileAlreadyExists);
        files.erase(f);
        files.insert(t);
    }
    void ShowCriticalError(const std::string& content) noexcept override {
        Note("Dialog " + content);
    }
    void DownloadStart(const std::string& url, const std::string& f, int32_t m,
                       const std::string& folder) noexcept override {
        Note("Download " + url + " " + f + " " + N(m) + " into " + folder);
    }
    std::shared_ptr<StagedFile> TakeInstaller() noexcept override {
        Note("Take");
        return saves ? std::make_shared<Staged>(*this) : nullptr;
    }
    // Notes the expected digest's first hex digits; onVerify runs as the
    // check would, with the user-interface thread's events going on.
    InstallerVerdict VerifyInstaller(StagedFile&,
                                     const std::optional<Sha256Digest>& expected) override {
        Note(expected ? "Verify " + HexText(*expected).substr(0, 8) : "Verify");
        if (onVerify) onVerify();
        return verdict;
    }
    void SetRunAsAdmin(const std::string& file) noexcept override { Note("RunAsAdmin " + file); }
    void ShutDownTAV(const std::function<bool()>& stop) noexcept override {
        Note("ShutDownTAV");
        if (onShutDown) onShutDown();
        stoppedEarly = stop();
    }
    bool CloseAllTavProcesses(const std::function<bool()>& stop) noexcept override {
        Note("CloseAll");
        stoppedEarly = stop();
        return true;
    }
    void PrepareInstallerStart(StagedFile&, const std::function<bool()>&) override {
        Note("Prepare");
        if (!prepares) throw Failure(err::kPermissionDenied, "Permission denied");
    }
    void StartInstaller(const std::string& path, const std::string& parameters,
                        const std::string& folder) override {
        Note("Start " + path + " [" + parameters + "] " + folder);
        if (!starts) throw Failure(err::kFileNotFound, "The system cannot find the file specified");
    }

    std::vector<std::string> calls;
    std::set<std::string> files;
    std::set<std::string> folders;  // in the way of a rename
    std::string arguments;
    InstallerVerdict verdict{true, ""};
    bool silent = false;
    bool saves = true;
    bool renames = true;
    bool prepares = true;
    bool starts = true;
    bool stoppedEarly = false;
    std::function<void()> onYield;     // inside every yield
    std::function<void()> onShutDown;  // inside the watchdog wait
    std::function<void()> onVerify;    // inside the installer's check

private:
    // Records its naming and its end: released once named, deleted if not.
    struct Staged : FakeCodeSigning::File {
        explicit Staged(FakeMainWindow& f) : File("staged"), fake(f) {}
        ~Staged() override { fake.Note(named ? "Release" : "DeleteStaged"); }
        void Rename(const std::string& name, bool replaceExisting) override {
            fake.Note("Name " + name + (replaceExisting ? " replacing" : ""));
            if (!fake.renames) throw err::Make(err::kFileAlreadyExists);
            named = true;
        }
        FakeMainWindow& fake;
        bool named = false;
    };
    static std::string N(int64_t n) { return std::to_string(n); }
    void Note(const std::string& call) { calls.push_back(call); }
};

}  // namespace tav::fakes
