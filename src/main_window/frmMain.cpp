#include "main_window/frmMain.h"

#include "core/failure.h"
#include "core/number_text.h"
#include "error_log/trap.h"
#include "main_window/command_line.h"
#include "platform/read_service.h"

namespace tav {

namespace {
constexpr const char* kInstallUpdate = "frmMain.InstallUpdate";
// The start timer as the window is designed: off until the load turns it on,
// then one tick this soon after, which starts the download.
constexpr uint32_t kTimerBeginUpdateMs = 10;
}  // namespace

frmMain::frmMain(MainWindowView& view, UpdateServices& services, const InstallLocation& location,
                 CErrorUpdate& log)
    : view_(view), services_(services), location_(location), log_(log) {}

void frmMain::CloseWindow() noexcept {
    closed_ = true;
    view_.Close();
}

void frmMain::Form_Load() noexcept {
    Trap trap(log_, "frmMain.Form_Load");
    services_.SetIcon(view_.Handle(), "TAV", true);
    // One fifth of the free height above the window, not one half.
    view_.MoveTwips((services_.ScreenWidthTwips() - view_.WidthTwips()) / 2,
                    (services_.ScreenHeightTwips() - view_.HeightTwips()) / 5);
    trap([&] {
        const AppIdentity id = services_.Identity();
        view_.SetVersionText("Version " + std::to_string(id.major) + "." +
                             std::to_string(id.minor) + "." + std::to_string(id.revision));
    });
    trap([&] {
        const CommandLineFields fields = ParseCommandLine(services_.ArgumentText());
        sDownloadURL_ = fields.sDownloadURL;
        sInstallerFile_ = fields.sInstallerFile;
        expectedDigest_ = fields.expectedDigest;
        // A URL that names no file the program may save is a failed parse:
        // nothing will be downloaded, written or renamed for it.
        if (!sDownloadURL_.empty() && sInstallerFile_.empty()) {
            startProblem_ = fields.sNameProblem;
            throw Failure(err::kBadFileNameOrNumber, startProblem_);
        }
    });
    if (!sInstallerFile_.empty() && location_.problem.empty()) {
        trap([&] {
            startProblem_ = InstallerPathProblem(location_.folder, sInstallerFile_);
            if (!startProblem_.empty()) throw Failure(err::kBadFileNameOrNumber, startProblem_);
        });
    }
    view_.SetStartTimerInterval(kTimerBeginUpdateMs);
    view_.SetStartTimerEnabled(true);
}

void frmMain::Form_Unload() noexcept { closed_ = true; }

void frmMain::Status(const std::string& sText, int16_t iPercentage) noexcept {
    Trap trap(log_, "frmMain.Status");
    view_.SetStatusText(sText);
    if (iPercentage != kBarUnchanged) trap([&] { view_.SetBarValue(iPercentage); });
    services_.DoEvents();
}

void frmMain::TimerBeginUpdate_Timer() noexcept {
    view_.SetStartTimerEnabled(false);
    // What can be known before the download is said before it: nothing is
    // downloaded for an update that could never be installed.
    const std::string& problem = location_.problem.empty() ? startProblem_ : location_.problem;
    if (sDownloadURL_.empty() || !problem.empty()) {
        services_.ShowCriticalError(sDownloadURL_.empty() ? kMissingUrlMessage
                                                          : problem + ". " + kAbortingText);
        CloseWindow();
        return;
    }
    view_.SetBarVisible(true);
    view_.SetStatusVisible(true);
    Status("Downloading " + sInstallerFile_, 0);
    if (closed_) return;
    // The download goes straight into a staging file of its own in the
    // installation folder: the earlier installer stays where it is until
    // the new one has passed its check.
    services_.DownloadStart(sDownloadURL_, sInstallerFile_, kAsyncReadForceRefresh,
                            location_.folder);
}

void frmMain::GetNetFile_DownloadProgress(int32_t nBytesMax, int32_t nBytes) noexcept {
    Trap trap(log_, "frmMain.GetNetFile_DownloadProgress");
    if (closed_) return;
    ++progressEvents_;
    if (progressEvents_ == 1) {
        std::string text;
        int16_t percent = kBarUnchanged;
        // More bytes than the total overflow the percentage.
        const bool counted = trap([&] {
            text = ProgressText(sInstallerFile_, nBytesMax, nBytes, services_.ThousandsSeparator());
            if (nBytesMax != 0)
                percent = RoundHalfEven16(static_cast<double>(nBytes) / nBytesMax * 100.0);
        });
        if (counted) Status(text, percent);
    }
    if (progressEvents_ >= 5) progressEvents_ = 0;
}

void frmMain::GetNetFile_DownloadComplete() noexcept {
    if (closed_) return;
    if (!sInstallerFile_.empty()) staged_ = services_.TakeInstaller();
    if (staged_) {
        Status("Download of " + sInstallerFile_ + " complete.");
        view_.SetBarVisible(false);
        services_.DoEvents();
        if (!closed_) InstallUpdate();
    } else {
        services_.ShowCriticalError("Error while saving " + InstallerPath());
    }
    // An installer that was not put in place is deleted with its hold.
    staged_.reset();
    CloseWindow();
}

void frmMain::GetNetFile_DownloadFailed(int32_t ErrNum, const std::string& ErrDesc) noexcept {
    if (closed_) return;
    // The window stays open until Abort; the user and the log learn why.
    log_.Log("frmMain.GetNetFile_DownloadFailed", Failure(ErrNum, ErrDesc, "GetNetFile"));
    view_.SetBarError();
    Status("Download of " + sInstallerFile_ + " failed: " + ErrDesc);
}

void frmMain::cmdAbort_Click() noexcept { CloseWindow(); }

// Whichever control was pressed, the window moves.
void frmMain::MouseDown(const std::string&) noexcept { view_.BeginWindowMove(); }

std::string frmMain::InstallerPath() const { return location_.folder + "\\" + sInstallerFile_; }

void frmMain::InstallUpdate() noexcept {
    Trap trap(log_, kInstallUpdate);
    // Checked before anything is renamed, closed or flagged, on the held
    // staging file, so that the file started is the file checked.
    InstallerVerdict verdict;
    if (staged_) trap([&] { verdict = services_.VerifyInstaller(*staged_, expectedDigest_); });
    // Abort during the check: the window is gone, nothing was touched.
    if (closed_) {
        staged_.reset();
        return;
    }
    if (RefuseUnverified(verdict)) return;
    if (!staged_ || !PlaceInstaller()) {
        services_.ShowCriticalError("Missing Installer " + InstallerPath() + ". " + kAbortingText);
        CloseWindow();
        return;
    }
    if (!PrepareStart()) return;
    // Every step but the start can let events run, and Abort among them:
    // once the window is closed no further step runs, above all not the start.
    using Step = void (frmMain::*)() noexcept;
    static constexpr Step kSteps[] = {
        &frmMain::SaySettingProperties, &frmMain::FlagRunAsAdmin, &frmMain::SayClosing,
        &frmMain::ShutDownTav,          &frmMain::LetEventsRun,   &frmMain::SayClosingAll,
        &frmMain::CloseTavPrograms,     &frmMain::LetEventsRun,   &frmMain::SayBeginning,
        &frmMain::StartInstaller,
    };
    for (const Step step : kSteps) {
        if (closed_) return;
        (this->*step)();
    }
}

bool frmMain::RefuseUnverified(const InstallerVerdict& verdict) noexcept {
    if (!staged_ || verdict.accepted) return false;
    const std::string installer = InstallerPath();
    log_.Log(kInstallUpdate, "Refused " + installer + ": " + verdict.reason);
    staged_.reset();
    services_.ShowCriticalError("The installer " + installer + " " + verdict.refusal + ". " +
                                kAbortingText);
    CloseWindow();
    return true;
}

bool frmMain::PlaceInstaller() noexcept {
    Trap trap(log_, kInstallUpdate);
    const std::string folder = location_.folder + "\\";
    const std::string backup = BackupName(sInstallerFile_);
    movedAside_ = false;
    const bool present = services_.IsFile(folder + sInstallerFile_);
    if (present) {
        if (services_.IsFile(folder + backup)) trap([&] { services_.RemoveFile(folder + backup); });
        movedAside_ =
            trap([&] { services_.RenameFile(folder + sInstallerFile_, folder + backup); });
    }
    // The backup is a courtesy: one that cannot be made is logged above and
    // the new installer takes the earlier one's place all the same.
    const bool replace = present && !movedAside_;
    const bool placed = trap([&] { staged_->Rename(sInstallerFile_, replace); });
    if (!placed && movedAside_) {
        if (trap([&] { services_.RenameFile(folder + backup, folder + sInstallerFile_); }))
            movedAside_ = false;
    }
    return placed;
}

void frmMain::RestoreEarlierInstaller() noexcept {
    Trap trap(log_, kInstallUpdate);
    const std::string folder = location_.folder + "\\";
    // The hold goes first: the named file stays when it ends, and can then
    // be deleted by its name.
    staged_.reset();
    trap([&] { services_.RemoveFile(folder + sInstallerFile_); });
    if (movedAside_) {
        trap([&] {
            services_.RenameFile(folder + BackupName(sInstallerFile_), folder + sInstallerFile_);
        });
    }
    movedAside_ = false;
}

// The last check that can refuse the update, before any TAV program is
// asked to close: after it only the shell start is left to fail.
bool frmMain::PrepareStart() noexcept {
    Trap trap(log_, kInstallUpdate);
    if (trap([&] { services_.PrepareInstallerStart(*staged_, StopRequested()); })) return true;
    const std::string reason = trap.lastError();
    RestoreEarlierInstaller();
    if (closed_) return false;
    services_.ShowCriticalError("The installer " + InstallerPath() +
                                " could not be made ready to start: " + reason + ". " +
                                kAbortingText);
    CloseWindow();
    return false;
}

void frmMain::SaySettingProperties() noexcept {
    Status("Setting " + sInstallerFile_ + " Properties.");
}

void frmMain::FlagRunAsAdmin() noexcept {
    services_.SetRunAsAdmin(sInstallerFile_);
    services_.DoEvents();
}

void frmMain::SayClosing() noexcept { Status(kClosingText); }

void frmMain::ShutDownTav() noexcept { services_.ShutDownTAV(StopRequested()); }

void frmMain::LetEventsRun() noexcept { services_.DoEvents(); }

void frmMain::SayClosingAll() noexcept { Status(std::string(kClosingText) + "."); }

void frmMain::CloseTavPrograms() noexcept { services_.CloseAllTavProcesses(StopRequested()); }

void frmMain::SayBeginning() noexcept { Status(kBeginningText); }

void frmMain::StartInstaller() noexcept {
    Trap trap(log_, kInstallUpdate);
    const std::string installer = InstallerPath();
    const std::string parameters = view_.SilentChecked() ? "/s" : "";
    // A start that fails must not pass for an update under way.
    const bool started =
        trap([&] { services_.StartInstaller(installer, parameters, location_.folder + "\\"); });
    staged_.reset();
    if (!started) {
        services_.ShowCriticalError("The installer " + installer + " could not be started: " +
                                    trap.lastError() + ". " + kAbortingText);
    }
}

}  // namespace tav
