#include "main_window/program_services.h"

#include <atomic>

#include "dialog/ShowMessageDialog.h"
#include "dialog/dialog_codes.h"
#include "main_window/aside.h"
#include "install/process_utils.h"
#include "install/related_programs.h"
#include "main_window/frmMain.h"
#include "platform/platform.h"
#include "system/environment_helpers.h"

namespace tav {

namespace {
// The frame every fatal message of the update is shown in.
constexpr const char* kDialogTitle = "TAV Update Manager";
constexpr const char* kDialogHeading = "Critical Error";
constexpr int32_t kDialogStyle = DialogStyleWord(DialogImageKind::Alert);

ProcessTools ToolsOf(const Platform& services, CErrorUpdate& log) {
    return {*services.processes,
            *services.events,
            *services.clock,
            *services.files,
            *services.shell,
            *services.environment,
            log};
}

DialogServices DialogsOf(const Platform& services) {
    return {*services.dialogs, *services.ui, *services.app};
}
}  // namespace

void ProgramServices::Attach(frmMain& form) {
    download_.DownloadProgress = [&form](int32_t nBytesMax, int32_t nBytes) {
        form.GetNetFile_DownloadProgress(nBytesMax, nBytes);
    };
    download_.DownloadComplete = [&form](int32_t) { form.GetNetFile_DownloadComplete(); };
    download_.DownloadFailed = [&form](int32_t number, const std::string& description) {
        form.GetNetFile_DownloadFailed(number, description);
    };
}

int32_t ProgramServices::ScreenWidthTwips() { return services_.ui->ScreenWidthTwips(); }
int32_t ProgramServices::ScreenHeightTwips() { return services_.ui->ScreenHeightTwips(); }
AppIdentity ProgramServices::Identity() { return services_.app->Identity(); }
std::string ProgramServices::ArgumentText() { return services_.app->ArgumentText(); }
void ProgramServices::DoEvents() noexcept { services_.events->DoEvents(); }
std::string ProgramServices::ThousandsSeparator() { return services_.locale->ThousandsSeparator(); }

void ProgramServices::SetIcon(uintptr_t window, const std::string& resourceName,
                              bool asAppIcon) noexcept {
    tav::SetIcon(*services_.environment, log_, static_cast<WindowHandle>(window), resourceName,
                 asAppIcon);
}

bool ProgramServices::IsFile(const std::string& path) noexcept {
    return tav::IsFile(ToolsOf(services_, log_), path);
}
void ProgramServices::RemoveFile(const std::string& path) { services_.files->Delete(path); }
void ProgramServices::RenameFile(const std::string& from, const std::string& to) {
    services_.files->Rename(from, to);
}

void ProgramServices::ShowCriticalError(const std::string& content) noexcept {
    ShowMessageDialog(DialogsOf(services_), log_, content, kDialogStyle, kDialogTitle,
                      kDialogHeading);
}

void ProgramServices::DownloadStart(const std::string& url, const std::string& filename,
                                    int32_t readOptions, const std::string& folder) noexcept {
    download_.DownloadFolder = folder;
    download_.DownloadStart(url, filename, readOptions);
}

std::shared_ptr<StagedFile> ProgramServices::TakeInstaller() noexcept {
    downloaded_ = download_.Digest();
    return download_.TakeFile();
}

InstallerVerdict ProgramServices::VerifyInstaller(StagedFile& installer,
                                                  const std::optional<Sha256Digest>& expected) {
    if (auto refused = JudgeDigest(expected, downloaded_)) return *refused;
    return Aside(*services_.events,
                 [&] { return tav::VerifyInstaller(installer, BuildTrustPolicy()); });
}

void ProgramServices::SetRunAsAdmin(const std::string& installerFile) noexcept {
    tav::SetRunAsAdmin(*services_.environment, registry_, log_, location_.folder, installerFile);
}

void ProgramServices::ShutDownTAV(const std::function<bool()>& stopRequested) noexcept {
    ShutdownOptions options;
    options.shouldStop = stopRequested;
    tav::ShutDownTAV(registry_, ToolsOf(services_, log_), options);
}

bool ProgramServices::CloseAllTavProcesses(const std::function<bool()>& stopRequested) noexcept {
    ShutdownOptions options;
    options.shouldStop = stopRequested;
    return tav::CloseAllTavProcesses(ToolsOf(services_, log_), options);
}

void ProgramServices::PrepareInstallerStart(StagedFile& installer,
                                            const std::function<bool()>& stopRequested) {
    // The flag is read on the worker: the handler that sets it runs on
    // this thread while the worker reads.
    std::atomic<bool> stop{false};
    const Sha256Digest held = Aside(
        *services_.events,
        [&] {
            installer.PrepareStart();
            return HeldDigest(installer, [&] { return stop.load(); });
        },
        [&] {
            if (stopRequested && stopRequested()) stop = true;
        });
    if (held != downloaded_)
        throw Failure(err::kPathFileAccess, "The file changed after it was checked");
}

void ProgramServices::StartInstaller(const std::string& path, const std::string& parameters,
                                     const std::string& folder) {
    services_.shell->Open(path, parameters, folder);
}

}  // namespace tav
