// The main window's logic: load step, Status, the download session, the
// install step and Abort. Every decision lives here; the view only draws.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/install_location.h"
#include "error_log/CErrorUpdate.h"
#include "main_window/update_services.h"
#include "platform/main_window_view.h"

namespace tav {

class frmMain : public MainWindowEvents {
public:
    // Works in location's folder as start-up judged it and logs to log.
    frmMain(MainWindowView& view, UpdateServices& services, const InstallLocation& location,
            CErrorUpdate& log);

    // Handlers, named as the window's events.
    void Form_Load();
    void Form_Unload() override;
    void TimerBeginUpdate_Timer() override;
    void GetNetFile_DownloadProgress(int32_t nBytesMax, int32_t nBytes);
    void GetNetFile_DownloadComplete(int32_t nBytes);
    void GetNetFile_DownloadFailed(int32_t ErrNum, const std::string& ErrDesc);
    void cmdAbort_Click() override;
    void MouseDown(const std::string& control) override;

    // Shows sText in the status line and, unless iPercentage is -1, the bar
    // at iPercentage; then lets pending events run.
    void Status(const std::string& sText, int16_t iPercentage = -1);
    // Checks the staged installer, puts it in place of the earlier one,
    // closes every TAV program and starts it.
    void InstallUpdate(const std::string& mode);

    const std::string& sDownloadURL() const { return sDownloadURL_; }
    const std::string& sInstallerFile() const { return sInstallerFile_; }
    // True once the window was closed (Abort or the end of a road).
    bool closed() const { return closed_; }

private:
    void CloseWindow();
    bool PlaceInstaller();
    // Undoes PlaceInstaller for an update that stops before the start.
    void RestoreEarlierInstaller();

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
