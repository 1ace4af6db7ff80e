#include "error_log/CErrorUpdate.h"

#include <cstdio>
#include <string_view>

namespace tav {

namespace {
constexpr std::string_view kLogFolder = "\\LOGS";
constexpr std::string_view kLogFile = "TAVerror.log";
// The line of stars that ends every entry.
constexpr size_t kEntryRuleWidth = 80;

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
    Files& files = services_.files;
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
    Write(sRoutine, nullptr, sParm);
}

void CErrorUpdate::Log(const std::string& sRoutine, const Failure& failure,
                       const std::string& sParm) noexcept {
    Write(sRoutine, &failure, sParm);
}

void CErrorUpdate::Write(const std::string& sRoutine, const Failure* failure,
                         const std::string& sParm) noexcept {
    Files& files = services_.files;
    std::string errorText;
    std::string folder;
    int fileNumber = 0;
    try {
        if (failure && failure->number() != 0)
            errorText = "ERROR: " + Printable(failure->source()) + ", " +
                        std::to_string(failure->number()) + ", " +
                        Printable(failure->description()) + ", " + std::to_string(failure->line());
        folder = location_.folder;
        const std::string logFolder = folder + std::string(kLogFolder);
        if (!files.FolderExists(logFolder)) CreateFolderPath(logFolder);
        fileNumber = files.FreeFile();
    } catch (...) {
        return;  // nothing taken yet: end silently
    }

    // From the open on, every failing step closes the file, says so and
    // lets the next step run, as the log's readers have always seen it.
    const auto sayFailed = [&](const Failure& f) {
        files.Close(fileNumber);
        services_.ui.MsgBox("Error while trying to Write error to Error Log: " + sRoutine + " " +
                            f.description() + std::to_string(f.number()));
    };
    auto step = [&](auto&& statement) {
        try {
            statement();
        } catch (const Failure& f) {
            sayFailed(f);
        } catch (...) {
            sayFailed(err::Make(err::kInternalError));
        }
    };

    try {
        std::string versionText;
        step([&] {
            files.OpenAppend(fileNumber,
                             folder + std::string(kLogFolder) + "\\" + std::string(kLogFile));
        });
        step([&] {
            const AppIdentity id = services_.app.Identity();
            versionText = id.exeName + " V" + std::to_string(id.major) + "." +
                          std::to_string(id.minor) + "." + std::to_string(id.revision);
        });
        step([&] {
            const DateTime now = services_.clock.Now();
            files.PrintLine(fileNumber, versionText + " @ " +
                                            FormatTime24(now.hour, now.minute, now.second) +
                                            " On " + services_.clock.ShortDate(now));
        });
        step([&] { files.PrintLine(fileNumber, Printable(sRoutine + " " + sParm)); });
        if (failure && failure->number() != 0)
            step([&] { files.PrintLine(fileNumber, errorText); });
        step([&] { files.PrintLine(fileNumber, std::string(kEntryRuleWidth, '*')); });
        files.Close(fileNumber);
    } catch (...) {
        // A message box that itself fails must not reach the caller.
    }
}

}  // namespace tav
