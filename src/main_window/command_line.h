// The command line TAV starts the updater with: "<url>|<anything>".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/sha256.h"

namespace tav {

struct CommandLineFields {
    std::string sDownloadURL;    // field 1, unchanged; empty without a "|"
    std::string sInstallerFile;  // last "/" part of the URL's path; empty when unusable
    // Why a URL that is there names no usable installer, in words for the
    // user ("" when sInstallerFile is set or there is no URL).
    std::string sNameProblem;
    // The SHA-256 the installer must have, when field 2 is "sha256=" and 64
    // hex digits; any other text there is ignored, as it always was.
    std::optional<Sha256Digest> expectedDigest;
};

// Splits the argument text at every "|". With at least two fields the first
// is the download URL and the second may name the installer's digest;
// further fields are ignored.
CommandLineFields ParseCommandLine(const std::string& argumentText);

// The path of an absolute URL ("scheme://authority/path?query#fragment"),
// "" when it has none; nothing when the text is not such a URL.
std::optional<std::string> UrlPath(const std::string& url);

// Decodes %XX escapes; a malformed escape stays as it is.
std::string PercentDecode(const std::string& text);

// The UTF-16 name Windows makes of a UTF-8 text; nothing when the text is
// not valid UTF-8 (Windows would put U+FFFD where it breaks).
std::optional<std::u16string> Utf16Name(const std::string& utf8);

// True when name can only ever name a file inside the folder it is joined
// to, judged as the UTF-16 name Windows sees: valid UTF-8, no separators,
// drive colons, "..", control characters, characters Windows forbids,
// trailing dot or blank, or device names as Windows recognises them
// ("COM1 .exe", "LPT³.exe", "CONIN$.exe").
bool IsSafeFileName(const std::string& name);

// Why name may not be given to a downloaded installer, in words for the
// user; "" for a safe file name ending in ".exe", without a short-name
// alias ("~"), that names none of the TAV system's own files. Windows
// Installer packages are refused: the shell would hand them to msiexec,
// which takes no "/s" and opens the file again by its name.
std::string InstallerNameProblem(const std::string& name);
bool IsInstallerName(const std::string& name);

// The longest name the update gives a file of its own in the installation
// folder (the staging file "TAVUpdate-<process>-<n>.staging").
inline constexpr size_t kLongestOwnName = 39;
// The longest path Windows takes without the long-path prefix, in UTF-16
// units, the terminating NUL not counted.
inline constexpr size_t kMaxPathLength = 259;

// Why the installer's files cannot all be made in folder (its path, its
// backup's and the staging file's are longer than Windows takes), in words
// for the user; "" when they can.
std::string InstallerPathProblem(const std::string& folder, const std::string& installerFile);

// The ".old" name an earlier installer is moved aside to: lower case, every
// ".exe" replaced by ".old" ("Setup.EXE" -> "setup.old"); a name without
// ".exe" gets ".old" appended.
std::string BackupName(const std::string& installerFile);

// The download status line for one progress event. Without a total (0) it
// shows the kB received alone.
std::string ProgressText(const std::string& installerFile, int32_t nBytesMax, int32_t nBytes,
                         const std::string& thousandsSeparator);

}  // namespace tav
