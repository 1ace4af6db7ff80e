// Recording doubles for the main window's view and the update's services.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "main_window/main_window_view.h"
#include "main_window/update_services.h"
#include "platform/failure.h"

namespace tav::fakes {

class FakeMainWindowView : public MainWindowView {
public:
    uintptr_t Handle() override { return 0x1234; }
    int32_t WidthTwips() override { return 6000; }
    int32_t HeightTwips() override { return 3000; }
    void MoveTwips(int32_t l, int32_t t) override { left = l, top = t; }
    void SetVersionText(const std::string& text) override { version = text; }
    void SetStatusText(const std::string& text) override {
        status = text;
        if (journal) journal->push_back("Status " + text);
    }
    void SetStatusVisible(bool v) override { statusVisible = v; }
    void SetBarValue(int16_t value) override {
        if (value < 0 || value > 100) throw err::Make(err::kInvalidPropertyValue);
        bar = value;
        barWrites.push_back(value);
    }
    void SetBarVisible(bool v) override { barVisible = v; }
    void SetBarError() override { barError = true; }
    bool SilentChecked() override { return silent; }
    void SetStartTimerEnabled(bool e) override { timerEnabled = e; }
    void BeginWindowMove() override { ++moves; }
    void Close() override { ++closes; }

    int32_t left = -1, top = -1;
    std::string version, status;
    // When set, status texts are written into it between the service calls.
    std::vector<std::string>* journal = nullptr;
    std::vector<int16_t> barWrites;
    bool statusVisible = false, barVisible = false, barError = false, silent = false;
    bool timerEnabled = false;
    int16_t bar = 0;
    int moves = 0, closes = 0;
};

// A staged installer that writes its renaming and its release into the
// call list, so tests see when it was named and when it stopped being held
// (and whether it was deleted then).
class RecordingStagedFile : public StagedFile {
public:
    RecordingStagedFile(std::vector<std::string>& calls, std::string path, bool renameFails)
        : calls_(calls), path_(std::move(path)), renameFails_(renameFails) {}
    ~RecordingStagedFile() override { calls_.push_back(named_ ? "ReleaseHold" : "DeleteStaged"); }
    SignatureInfo Signature() override { return {}; }
    std::string Path() const override { return path_; }
    void Rename(const std::string& name) override {
        calls_.push_back("RenameStaged " + name);
        if (renameFails_) throw err::Make(err::kFileAlreadyExists);
        named_ = true;
    }
    void PrepareStart() override {}

private:
    std::vector<std::string>& calls_;
    std::string path_;
    bool renameFails_;
    bool named_ = false;
};

// Records every call in one ordered list, so tests can check the order of
// texts and steps together.
class FakeUpdateServices : public UpdateServices {
public:
    explicit FakeUpdateServices(FakeMainWindowView& view) { view.journal = &calls; }

    void SetIcon(uintptr_t window, const std::string& name, bool flag) override {
        Record("SetIcon " + std::to_string(window) + " " + name + (flag ? " true" : " false"));
    }
    bool IsFile(const std::string& path) override {
        for (const auto& f : files)
            if (f == path) return true;
        return false;
    }
    void ShowCriticalError(const std::string& content) override { Record("Dialog " + content); }
    void DownloadStart(const std::string& url, const std::string& filename, int32_t mode) override {
        Record("DownloadStart " + url + " " + filename + " " + std::to_string(mode));
    }
    std::unique_ptr<StagedFile> StageInstaller(const std::string& folder) override {
        Record("StageInstaller " + folder);
        if (!saveSucceeds) throw err::Make(err::kPermissionDenied);
        return std::make_unique<RecordingStagedFile>(calls, folder + "\\staged", renameFails);
    }
    InstallerVerdict VerifyInstaller(StagedFile& installer) override {
        Record("VerifyInstaller " + installer.Path());
        InstallerVerdict v;
        v.accepted = verdictAccepted;
        v.reason = verdictReason;
        return v;
    }
    void SetRunAsAdmin(const std::string& installerFile) override { Record("SetRunAsAdmin " + installerFile); }
    void ShutDownTAV(const std::function<bool()>& stop) override {
        Record("ShutDownTAV");
        if (duringShutDown) duringShutDown();
        stoppedEarly = stop();
    }
    bool CloseAllTavProcesses(const std::function<bool()>& stop) override {
        Record("CloseAllTavProcesses");
        if (duringCloseAll) duringCloseAll();
        stoppedEarly = stop();
        return true;
    }
    void StartInstaller(StagedFile&, const std::string& path, const std::string& parameters,
                        const std::string& folder) override {
        Record("StartInstaller " + path + " [" + parameters + "] " + folder);
        if (!startSucceeds) throw Failure(err::kFileNotFound, "The system cannot find the file specified");
    }

    std::vector<std::string> calls;
    std::vector<std::string> files;
    bool saveSucceeds = true, renameFails = false, startSucceeds = true;
    bool verdictAccepted = true;
    std::string verdictReason;
    bool stoppedEarly = false;
    std::function<void()> duringShutDown, duringCloseAll;

private:
    void Record(const std::string& call) { calls.push_back(call); }
};

}  // namespace tav::fakes
