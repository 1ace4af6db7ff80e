// The update's services as the program really provides them: the run-time
// services of the platform, the download control, the message dialog, the
// installer's trust check and the TAV program shutdown.
#pragma once

#include "core/install_location.h"
#include "download/GetNetFile.h"
#include "error_log/CErrorUpdate.h"
#include "main_window/update_services.h"
#include "platform/platform.h"

namespace tav {

class frmMain;
class Registry;

class ProgramServices : public UpdateServices {
public:
    // Works with the run-time services, writes the registry through
    // registry, logs to log, and flags the installer under location's folder.
    ProgramServices(const Platform& services, Registry& registry, CErrorUpdate& log,
                    const InstallLocation& location)
        : services_(services),
          registry_(registry),
          log_(log),
          location_(location),
          download_({services.reads, *services.events, *services.clock, *services.app,
                     *services.files}) {}

    // Routes the download control's events to form's handlers.
    void Attach(frmMain& form);

    int32_t ScreenWidthTwips() override;
    int32_t ScreenHeightTwips() override;
    AppIdentity Identity() override;
    std::string ArgumentText() override;
    void DoEvents() noexcept override;
    std::string ThousandsSeparator() override;
    void SetIcon(uintptr_t window, const std::string& resourceName,
                 bool asAppIcon) noexcept override;
    bool IsFile(const std::string& path) noexcept override;
    void RemoveFile(const std::string& path) override;
    void RenameFile(const std::string& from, const std::string& to) override;
    void ShowCriticalError(const std::string& content) noexcept override;
    void DownloadStart(const std::string& url, const std::string& filename, int32_t readOptions,
                       const std::string& folder) noexcept override;
    std::shared_ptr<StagedFile> TakeInstaller() noexcept override;
    InstallerVerdict VerifyInstaller(StagedFile& installer,
                                     const std::optional<Sha256Digest>& expected) override;
    void SetRunAsAdmin(const std::string& installerFile) noexcept override;
    void ShutDownTAV(const std::function<bool()>& stopRequested) noexcept override;
    bool CloseAllTavProcesses(const std::function<bool()>& stopRequested) noexcept override;
    void PrepareInstallerStart(StagedFile& installer,
                               const std::function<bool()>& stopRequested) override;
    void StartInstaller(const std::string& path, const std::string& parameters,
                        const std::string& folder) override;

private:
    Platform services_;
    Registry& registry_;
    CErrorUpdate& log_;
    const InstallLocation& location_;
    GetNetFile download_;
    // The digest of the bytes written into the file handed over, kept as
    // they arrived.
    Sha256Digest downloaded_{};
};

}  // namespace tav
