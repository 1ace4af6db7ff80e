// Everything the main window's logic needs beyond its view, through one
// door: the screen, the program's identity and command line, the event
// loop, the files of the install step, the download control, the dialog,
// the installer's check and start, and the shutdown of the TAV programs.
// One real set wires the program's parts together; tests record the calls.
// A service marked noexcept logs its own failures and goes on; the others
// throw tav::Failure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "install/installer_trust.h"
#include "platform/runtime.h"

namespace tav {

class UpdateServices {
public:
    virtual ~UpdateServices() = default;

    virtual int32_t ScreenWidthTwips() = 0;
    virtual int32_t ScreenHeightTwips() = 0;
    virtual AppIdentity Identity() = 0;
    // The command line after the program's own name, as given.
    virtual std::string ArgumentText() = 0;
    // Lets pending events run; any handler (Abort among them) may run
    // inside, each trapping its own failures.
    virtual void DoEvents() noexcept = 0;
    virtual std::string ThousandsSeparator() = 0;
    virtual void SetIcon(uintptr_t window, const std::string& resourceName,
                         bool asAppIcon) noexcept = 0;

    // False also when the search failed.
    virtual bool IsFile(const std::string& path) noexcept = 0;
    // Failures throw tav::Failure with the classic numbers.
    virtual void RemoveFile(const std::string& path) = 0;
    // Renames within a folder; fails when the target exists.
    virtual void RenameFile(const std::string& from, const std::string& to) = 0;

    // The fatal-error dialog with the program's fixed frame; returns when
    // the user has closed it.
    virtual void ShowCriticalError(const std::string& content) noexcept = 0;
    // Starts the download into a new staging file in folder, which the
    // download holds from its first byte (see StagedFile); readOptions are
    // the read service's (kAsyncReadForceRefresh). A start the read service
    // refuses is not reported: the window waits for Abort.
    virtual void DownloadStart(const std::string& url, const std::string& filename,
                               int32_t readOptions, const std::string& folder) noexcept = 0;
    // Hands over the finished download's held file; null when there is
    // none (nothing arrived).
    virtual std::shared_ptr<StagedFile> TakeInstaller() noexcept = 0;
    // Judges the staged installer: its digest against expected, when given,
    // then its signature by the build's trust policy. Off the user-interface
    // thread, whose events keep running (Abort among them) meanwhile.
    virtual InstallerVerdict VerifyInstaller(StagedFile& installer,
                                             const std::optional<Sha256Digest>& expected) = 0;
    virtual void SetRunAsAdmin(const std::string& installerFile) noexcept = 0;
    // The long waits stop early once stopRequested answers true.
    virtual void ShutDownTAV(const std::function<bool()>& stopRequested) noexcept = 0;
    virtual bool CloseAllTavProcesses(const std::function<bool()>& stopRequested) noexcept = 0;
    // Makes the placed installer startable, still held (see
    // StagedFile::PrepareStart), and confirms that it holds exactly the
    // bytes downloaded; throws tav::Failure saying why not. Off the
    // user-interface thread like VerifyInstaller; stopRequested ends the
    // confirmation early, as a failure.
    virtual void PrepareInstallerStart(StagedFile& installer,
                                       const std::function<bool()>& stopRequested) = 0;
    // Starts the installer at path with the shell verb "Open", shown
    // normally, not waited for; throws tav::Failure saying why it could not
    // be started.
    virtual void StartInstaller(const std::string& path, const std::string& parameters,
                                const std::string& folder) = 0;
};

}  // namespace tav
