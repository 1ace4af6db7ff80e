#include "error_log/CErrorUpdate.h"

#include <cstdio>
#include <string_view>

#include "app/state.h"
#include "core/failure.h"
#include "platform/platform.h"

namespace tav {

namespace {
constexpr std::string_view kLogFolder = "\\LOGS";
constexpr std::string_view kLogFile = "TAVerror.log";

// True for "" (root of the current drive) and "X:" (a drive): folders that
// always exist and have no parent to recurse into.
bool IsRootPart(const std::string& parent) {
    return parent.empty() || (parent.size() == 2 && parent[1] == ':');
}
// Server reasons and certificate names reach the log too: a line break or
// other control character in them must not forge lines of its own.
std::string Printable(std::string text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            text[i] = ' ';
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            text.replace(i, 2, " ");  // a C1 control, U+0080 to U+009F
        }
    }
    return text;
}
}  // namespace

std::string FormatTime24(int hour, int minute, int second) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
    return buf;
}

bool CErrorUpdate::CreateFolderPath(const std::string& path) noexcept {
    Files& files = *platform().files;
    const size_t cut = path.rfind('\\');
    // Without a separator there is no parent to start from: stop here
    // rather than recurse for ever.
    if (cut == std::string::npos) return false;
    const std::string parent = path.substr(0, cut);
    bool parentExists = IsRootPart(parent);
    try {
        if (!parentExists) parentExists = files.FolderExists(parent);
    } catch (...) {
    }
    if (!parentExists && !CreateFolderPath(parent)) return false;
    try {
        files.MakeFolder(path);
    } catch (...) {
        // A folder that cannot be made surfaces as the failed open in Log.
    }
    return true;
}

void CErrorUpdate::Log(const std::string& sRoutine, const std::string& sParm) noexcept {
    const ErrorRecord error = CurrentError();
    const std::string errorText = "ERROR: " + Printable(error.source) + ", " +
                                  std::to_string(error.number) + ", " +
                                  Printable(error.description) + ", " + std::to_string(error.line);

    Platform& p = platform();
    std::string folder;
    int fileNumber = 0;
    try {
        folder = sInstallLocation;
        const std::string logFolder = folder + std::string(kLogFolder);
        if (!p.files->FolderExists(logFolder)) CreateFolderPath(logFolder);
        fileNumber = p.files->FreeFile();
    } catch (...) {
        return;  // nothing taken yet: end silently
    }

    // From the open on, every failing step closes the file, says so and
    // lets the next step run, as the log's readers have always seen it.
    auto step = [&](auto&& statement) {
        try {
            statement();
        } catch (const Failure& f) {
            p.files->Close(fileNumber);
            p.ui->MsgBox("Error while trying to Write error to Error Log: " + sRoutine + " " +
                         f.description() + std::to_string(f.number()));
        } catch (...) {
            p.files->Close(fileNumber);
            const Failure f = err::Make(err::kInternalError);
            p.ui->MsgBox("Error while trying to Write error to Error Log: " + sRoutine + " " +
                         f.description() + std::to_string(f.number()));
        }
    };

    try {
        std::string versionText;
        step([&] {
            p.files->OpenAppend(fileNumber,
                                folder + std::string(kLogFolder) + "\\" + std::string(kLogFile));
        });
        step([&] {
            const AppIdentity id = p.app->Identity();
            versionText = id.exeName + " V" + std::to_string(id.major) + "." +
                          std::to_string(id.minor) + "." + std::to_string(id.revision);
        });
        step([&] {
            const DateTime now = p.clock->Now();
            p.files->PrintLine(fileNumber, versionText + " @ " +
                                               FormatTime24(now.hour, now.minute, now.second) +
                                               " On " + p.clock->ShortDate(now));
        });
        step([&] { p.files->PrintLine(fileNumber, Printable(sRoutine + " " + sParm)); });
        if (error.number != 0) step([&] { p.files->PrintLine(fileNumber, errorText); });
        step([&] { p.files->PrintLine(fileNumber, std::string(80, '*')); });
        p.files->Close(fileNumber);
    } catch (...) {
        // A message box that itself fails must not reach the caller.
    }
}

}  // namespace tav
