// The main window's logic: load step, Status, the download session, the
// install step and Abort. Every decision lives here; the view only draws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/install_location.h"
#include "error_log/CErrorUpdate.h"
#include "main_window/update_services.h"
#include "platform/main_window_view.h"

namespace tav {

// A percentage for Status that leaves the bar as it is.
inline constexpr int16_t kBarUnchanged = -1;

// Each routine logs a step that fails under its own name ("frmMain.Form_Load")
// and goes on with its next step; none lets a failure out.
class frmMain : public MainWindowEvents {
public:
    // Works in location's folder as start-up judged it and logs to log.
    frmMain(MainWindowView& view, UpdateServices& services, const InstallLocation& location,
            CErrorUpdate& log);

    // Handlers, named as the window's events.
    void Form_Load() noexcept;
    void Form_Unload() noexcept override;
    void TimerBeginUpdate_Timer() noexcept override;
    void GetNetFile_DownloadProgress(int32_t nBytesMax, int32_t nBytes) noexcept;
    void GetNetFile_DownloadComplete() noexcept;
    void GetNetFile_DownloadFailed(int32_t ErrNum, const std::string& ErrDesc) noexcept;
    void cmdAbort_Click() noexcept override;
    void MouseDown(const std::string& control) noexcept override;

    // Shows sText in the status line and, unless iPercentage is
    // kBarUnchanged, the bar at iPercentage; then lets pending events run.
    void Status(const std::string& sText, int16_t iPercentage = kBarUnchanged) noexcept;
    // Checks the staged installer, puts it in place of the earlier one,
    // closes every TAV program and starts it.
    void InstallUpdate() noexcept;

    const std::string& sDownloadURL() const { return sDownloadURL_; }
    const std::string& sInstallerFile() const { return sInstallerFile_; }
    // True once the window was closed (Abort or the end of a road).
    bool closed() const { return closed_; }

private:
    void CloseWindow() noexcept;
    // The installer's path in the installation folder.
    std::string InstallerPath() const;
    // Refuses an installer that failed its check; false when it passed.
    bool RefuseUnverified(const InstallerVerdict& verdict) noexcept;
    bool PlaceInstaller() noexcept;
    // Undoes PlaceInstaller for an update that stops before the start.
    void RestoreEarlierInstaller() noexcept;
    bool PrepareStart() noexcept;
    // What the long waits of the install step ask: stop once the window is closed.
    std::function<bool()> StopRequested() {
        return [this] { return closed_; };
    }

    // The install step's last steps, in the order InstallUpdate runs them.
    void SaySettingProperties() noexcept;
    void FlagRunAsAdmin() noexcept;
    void SayClosing() noexcept;
    void ShutDownTav() noexcept;
    void LetEventsRun() noexcept;
    void SayClosingAll() noexcept;
    void CloseTavPrograms() noexcept;
    void SayBeginning() noexcept;
    void StartInstaller() noexcept;

    MainWindowView& view_;
    UpdateServices& services_;
    const InstallLocation& location_;
    CErrorUpdate& log_;
    std::string sDownloadURL_;
    std::string sInstallerFile_;
    // The downloaded installer, held from its staging through the check to
    // its start; deleted when it goes without having been given its name.
    std::shared_ptr<StagedFile> staged_;
    // The SHA-256 the caller named for the installer, if any.
    std::optional<Sha256Digest> expectedDigest_;
    // Why the update cannot go ahead, known from the command line; said
    // before anything is downloaded.
    std::string startProblem_;
    // The earlier installer was moved to its backup name by this update.
    bool movedAside_ = false;
    int16_t progressEvents_ = 0;
    bool closed_ = false;
};

// The texts the update shows.
inline constexpr const char* kAbortingText = "Aborting Update Process!";
inline constexpr const char* kMissingUrlMessage = "Missing Download URL. Aborting Update Process!";
inline constexpr const char* kClosingText =
    "Closing TAV and all related programs before installing update.";
inline constexpr const char* kBeginningText =
    "Closing Update Manager, beginning update. Computer will restart when complete.";

}  // namespace tav
