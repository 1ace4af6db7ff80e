#include "main_window/frmMain.h"

#include "main_window/command_line.h"
#include "core/failure.h"
#include "core/number_text.h"
#include "error_log/trap.h"

namespace tav {

frmMain::frmMain(MainWindowView& view, UpdateServices& services, const InstallLocation& location,
                 CErrorUpdate& log)
    : view_(view), services_(services), location_(location), log_(log) {}

void frmMain::CloseWindow() {
    closed_ = true;
    view_.Close();
}

void frmMain::Form_Load() {
    Trap trap(log_, "frmMain.Form_Load");
    trap([&] { services_.SetIcon(view_.Handle(), "TAV", true); });
    trap([&] {
        // One fifth of the free height above the window, not one half.
        view_.MoveTwips((services_.ScreenWidthTwips() - view_.WidthTwips()) / 2,
                        (services_.ScreenHeightTwips() - view_.HeightTwips()) / 5);
    });
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
    trap([&] { view_.SetStartTimerEnabled(true); });
}

void frmMain::Form_Unload() { closed_ = true; }

void frmMain::Status(const std::string& sText, int16_t iPercentage) {
    Trap trap(log_, "frmMain.Status");
    trap([&] { view_.SetStatusText(sText); });
    if (iPercentage != -1) trap([&] { view_.SetBarValue(iPercentage); });
    trap([&] { services_.DoEvents(); });
}

void frmMain::TimerBeginUpdate_Timer() {
    Trap trap = Trap::Silent();
    trap([&] { view_.SetStartTimerEnabled(false); });
    if (sDownloadURL_.empty()) {
        trap([&] { services_.ShowCriticalError(kMissingUrlMessage); });
        trap([&] { CloseWindow(); });
        return;
    }
    // What can be known before the download is said before it: nothing is
    // downloaded for an update that could never be installed.
    const std::string& problem = location_.problem.empty() ? startProblem_ : location_.problem;
    if (!problem.empty()) {
        trap([&] { services_.ShowCriticalError(problem + ". " + kAbortingText); });
        trap([&] { CloseWindow(); });
        return;
    }
    trap([&] { view_.SetBarVisible(true); });
    trap([&] { view_.SetStatusVisible(true); });
    trap([&] { Status("Downloading " + sInstallerFile_, 0); });
    if (closed_) return;
    // The download goes straight into a staging file of its own in the
    // installation folder: the earlier installer stays where it is until
    // the new one has passed its check.
    trap([&] { services_.DownloadStart(sDownloadURL_, sInstallerFile_, 16, location_.folder); });
}

void frmMain::GetNetFile_DownloadProgress(int32_t nBytesMax, int32_t nBytes) {
    Trap trap(log_, "frmMain.GetNetFile_DownloadProgress");
    if (closed_) return;
    ++progressEvents_;
    if (progressEvents_ == 1) {
        trap([&] {
            const std::string text =
                ProgressText(sInstallerFile_, nBytesMax, nBytes, services_.ThousandsSeparator());
            int16_t percent = -1;
            if (nBytesMax != 0)
                percent = RoundHalfEven16(static_cast<double>(nBytes) / nBytesMax * 100.0);
            Status(text, percent);
        });
    }
    if (progressEvents_ >= 5) progressEvents_ = 0;
}

void frmMain::GetNetFile_DownloadComplete(int32_t nBytes) {
    (void)nBytes;
    Trap trap(log_, "frmMain.GetNetFile_DownloadComplete");
    if (closed_) return;
    if (!sInstallerFile_.empty()) trap([&] { staged_ = services_.TakeInstaller(); });
    if (staged_) {
        trap([&] { Status("Download of " + sInstallerFile_ + " complete.", -1); });
        trap([&] { view_.SetBarVisible(false); });
        trap([&] { services_.DoEvents(); });
        if (!closed_) trap([&] { InstallUpdate("FORCE"); });
    } else {
        trap([&] {
            services_.ShowCriticalError("Error while saving " + location_.folder + "\\" +
                                        sInstallerFile_);
        });
    }
    // An installer that was not put in place is deleted with its hold.
    trap([&] { staged_.reset(); });
    trap([&] { CloseWindow(); });
}

void frmMain::GetNetFile_DownloadFailed(int32_t ErrNum, const std::string& ErrDesc) {
    Trap trap(log_, "frmMain.GetNetFile_DownloadFailed");
    if (closed_) return;
    // The window stays open until Abort; the user and the log learn why.
    trap([&] {
        log_.Log("frmMain.GetNetFile_DownloadFailed", Failure(ErrNum, ErrDesc, "GetNetFile"));
    });
    trap([&] { view_.SetBarError(); });
    trap([&] { Status("Download of " + sInstallerFile_ + " failed: " + ErrDesc, -1); });
}

void frmMain::cmdAbort_Click() {
    Trap trap(log_, "frmMain.cmdAbort_Click");
    trap([&] { CloseWindow(); });
}

void frmMain::MouseDown(const std::string& control) {
    Trap trap(log_, "frmMain." + control + "_MouseDown");
    trap([&] { view_.BeginWindowMove(); });
}

bool frmMain::PlaceInstaller() {
    Trap trap(log_, "frmMain.InstallUpdate");
    const std::string folder = location_.folder + "\\";
    const std::string backup = BackupName(sInstallerFile_);
    movedAside_ = false;
    bool present = false;
    trap([&] { present = services_.IsFile(folder + sInstallerFile_); });
    if (present) {
        trap([&] {
            if (services_.IsFile(folder + backup)) services_.RemoveFile(folder + backup);
        });
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

void frmMain::RestoreEarlierInstaller() {
    Trap trap(log_, "frmMain.InstallUpdate");
    const std::string folder = location_.folder + "\\";
    // The hold goes first: the named file stays when it ends, and can then
    // be deleted by its name.
    trap([&] { staged_.reset(); });
    trap([&] { services_.RemoveFile(folder + sInstallerFile_); });
    if (movedAside_)
        trap([&] {
            services_.RenameFile(folder + BackupName(sInstallerFile_), folder + sInstallerFile_);
        });
    movedAside_ = false;
}

void frmMain::InstallUpdate(const std::string& mode) {
    (void)mode;  // the only caller forces the update
    Trap trap(log_, "frmMain.InstallUpdate");
    const std::string installer = location_.folder + "\\" + sInstallerFile_;
    // Checked before anything is renamed, closed or flagged, on the held
    // staging file, so that the file started is the file checked.
    InstallerVerdict verdict;
    if (staged_) trap([&] { verdict = services_.VerifyInstaller(*staged_, expectedDigest_); });
    // Abort during the check: the window is gone, nothing was touched.
    if (closed_) {
        trap([&] { staged_.reset(); });
        return;
    }
    if (staged_ && !verdict.accepted) {
        log_.Log("frmMain.InstallUpdate", "Refused " + installer + ": " + verdict.reason);
        trap([&] { staged_.reset(); });
        trap([&] {
            services_.ShowCriticalError("The installer " + installer + " " + verdict.refusal +
                                        ". " + kAbortingText);
        });
        trap([&] { CloseWindow(); });
        return;
    }
    if (!staged_ || !PlaceInstaller()) {
        trap([&] {
            services_.ShowCriticalError("Missing Installer " + installer + ". " + kAbortingText);
        });
        trap([&] { CloseWindow(); });
        return;
    }
    // The last check that can refuse the update, before any TAV program is
    // asked to close: after that only the shell start is left to fail.
    // Every yield below can run Abort: after each, a closed window means
    // stop here, and above all never start the installer.
    const auto stopRequested = [this] { return closed_; };
    if (!trap([&] { services_.PrepareInstallerStart(*staged_, stopRequested); })) {
        const std::string reason = trap.lastError();
        RestoreEarlierInstaller();
        if (closed_) return;
        trap([&] {
            services_.ShowCriticalError("The installer " + installer +
                                        " could not be made ready to start: " + reason + ". " +
                                        kAbortingText);
        });
        trap([&] { CloseWindow(); });
        return;
    }
    if (closed_) return;
    trap([&] { Status("Setting " + sInstallerFile_ + " Properties."); });
    if (closed_) return;
    trap([&] { services_.SetRunAsAdmin(sInstallerFile_); });
    trap([&] { services_.DoEvents(); });
    if (closed_) return;
    trap([&] { Status(kClosingText); });
    if (closed_) return;
    trap([&] { services_.ShutDownTAV(stopRequested); });
    if (closed_) return;
    trap([&] { services_.DoEvents(); });
    if (closed_) return;
    trap([&] { Status(std::string(kClosingText) + "."); });
    if (closed_) return;
    trap([&] { services_.CloseAllTavProcesses(stopRequested); });
    if (closed_) return;
    trap([&] { services_.DoEvents(); });
    if (closed_) return;
    trap([&] { Status(kBeginningText); });
    if (closed_) return;
    std::string parameters;
    trap([&] { parameters = view_.SilentChecked() ? "/s" : ""; });
    // A start that fails must not pass for an update under way.
    if (!trap([&] { services_.StartInstaller(installer, parameters, location_.folder + "\\"); })) {
        const std::string reason = trap.lastError();
        trap([&] { staged_.reset(); });
        trap([&] {
            services_.ShowCriticalError("The installer " + installer +
                                        " could not be started: " + reason + ". " + kAbortingText);
        });
        return;
    }
    trap([&] { staged_.reset(); });
}

}  // namespace tav
