#include "main_window/command_line.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <optional>
#include <vector>

#include "install/related_programs.h"
#include "core/number_text.h"

namespace tav {

namespace {

std::vector<std::string> SplitAll(const std::string& text, char sep) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(sep, start);
        fields.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return fields;
        start = at + 1;
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> UrlPath(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos || scheme == 0) return std::nullopt;
    for (size_t i = 0; i < scheme; ++i) {
        const char c = url[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return std::nullopt;
    }
    const size_t authority = scheme + 3;
    const size_t pathStart = url.find_first_of("/?#", authority);
    if (pathStart == authority) return std::nullopt;  // no host
    if (pathStart == std::string::npos || url[pathStart] != '/') return std::string();
    const size_t pathEnd = url.find_first_of("?#", pathStart);
    return url.substr(pathStart,
                      pathEnd == std::string::npos ? std::string::npos : pathEnd - pathStart);
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::u16string> Utf16Name(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(utf8[k]); };
        const unsigned char lead = byte(i);
        size_t length = 0;
        char32_t cp = 0;
        if (lead < 0x80)
            length = 1, cp = lead;
        else if (lead >= 0xC2 && lead <= 0xDF)
            length = 2, cp = lead & 0x1F;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3, cp = lead & 0x0F;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4, cp = lead & 0x07;
        else
            return std::nullopt;
        if (i + length > utf8.size()) return std::nullopt;
        for (size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no text.
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return std::nullopt;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += length;
    }
    return out;
}

namespace {

// Upper case as the file system compares names, for the letters that matter
// here: ASCII, and the three others that fold onto ASCII letters.
char16_t FoldUpper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - u'a' + u'A');
    if (c == 0x0131) return u'I';  // dotless i
    if (c == 0x017F) return u'S';  // long s
    if (c == 0x212A) return u'K';  // Kelvin sign
    return c;
}

std::u16string Folded(std::u16string_view s) {
    std::u16string out;
    for (char16_t c : s) out += FoldUpper(c);
    return out;
}

bool IsDeviceName(const std::u16string& name) {
    // Windows takes the part before the first dot, less trailing blanks.
    std::u16string stem = Folded(name.substr(0, name.find(u'.')));
    while (!stem.empty() && stem.back() == u' ') stem.pop_back();
    for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
        if (stem == device) return true;
    if (stem.size() != 4 || (stem.compare(0, 3, u"COM") != 0 && stem.compare(0, 3, u"LPT") != 0))
        return false;
    const char16_t digit = stem[3];
    return (digit >= u'0' && digit <= u'9') || digit == 0x00B9 || digit == 0x00B2 ||
           digit == 0x00B3;
}

}  // namespace

bool IsSafeFileName(const std::string& name) {
    const std::optional<std::u16string> wide = Utf16Name(name);
    // 255 UTF-16 units is the longest name a folder entry can have.
    if (!wide || wide->empty() || wide->size() > 255) return false;
    if (wide->find(u"..") != std::u16string::npos || *wide == u".") return false;
    for (char16_t c : *wide) {
        if (c < 0x20 || c == 0x7F) return false;
        if (std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) return false;
    }
    if (wide->back() == u'.' || wide->back() == u' ') return false;
    return !IsDeviceName(*wide);
}

namespace {

// The name as it may be shown: control characters, which could forge lines
// in a message, become "?".
std::string Shown(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

bool EndsWith(std::u16string_view text, std::u16string_view end) {
    return text.size() > end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

std::string InstallerNameProblem(const std::string& name) {
    const std::string shown = "The installer name \"" + Shown(name) + "\" in the download URL ";
    if (!IsSafeFileName(name) || name.find('~') != std::string::npos)
        return shown + "is not a file name the update can safely use";
    const std::u16string upper = Folded(*Utf16Name(name));
    if (EndsWith(upper, u".MSI"))
        return shown + "names a Windows Installer package (.msi), which the update cannot start";
    if (!EndsWith(upper, u".EXE")) return shown + "does not name a program (.exe)";
    if (upper == u"TAVUPDATE.EXE" || upper == u"TAVRI.DLL")
        return shown + "names a file of the TAV system";
    for (const RelatedProcess& program : RelatedProcessTable)
        if (upper == Folded(std::u16string(program.imageName.begin(), program.imageName.end())))
            return shown + "names a file of the TAV system";
    return {};
}

bool IsInstallerName(const std::string& name) { return InstallerNameProblem(name).empty(); }

std::string InstallerPathProblem(const std::string& folder, const std::string& installerFile) {
    const auto units = [](const std::string& text) {
        const std::optional<std::u16string> wide = Utf16Name(text);
        return wide ? wide->size() : text.size();
    };
    const size_t longestName =
        std::max({units(installerFile), units(BackupName(installerFile)), kLongestOwnName});
    if (units(folder) + 1 + longestName <= kMaxPathLength) return {};
    return "The installer path " + folder + "\\" + installerFile +
           " is longer than Windows allows (" + std::to_string(kMaxPathLength - 1 - longestName) +
           " characters for the installation folder with this installer name)";
}

namespace {
// "sha256=<64 hex digits>", as the field stands in the quoted argument.
std::optional<Sha256Digest> ExpectedDigest(std::string field) {
    while (!field.empty() && (field.back() == '"' || field.back() == ' ')) field.pop_back();
    while (!field.empty() && field.front() == ' ') field.erase(0, 1);
    constexpr std::string_view kPrefix = "sha256=";
    if (field.size() < kPrefix.size()) return std::nullopt;
    for (size_t i = 0; i < kPrefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(field[i])) != kPrefix[i]) return std::nullopt;
    return ParseSha256Hex(std::string_view(field).substr(kPrefix.size()));
}
}  // namespace

CommandLineFields ParseCommandLine(const std::string& argumentText) {
    CommandLineFields result;
    if (argumentText.find('|') == std::string::npos) return result;
    std::vector<std::string> fields = SplitAll(argumentText, '|');
    if (fields.size() < 2) return result;
    std::string url = fields.front();
    // TAV passes the whole argument in double quotes; no URL can hold a
    // literal '"', so those quotes are never part of it.
    if (!url.empty() && url.front() == '"') url.erase(0, 1);
    result.sDownloadURL = url;
    result.expectedDigest = ExpectedDigest(fields[1]);
    const std::optional<std::string> path = UrlPath(url);
    if (!path || path->empty() || path->back() == '/') {
        result.sNameProblem = "The download URL " + Shown(url) + " names no installer file";
        return result;
    }
    const size_t slash = path->rfind('/');
    const std::string name =
        PercentDecode(slash == std::string::npos ? *path : path->substr(slash + 1));
    result.sNameProblem = InstallerNameProblem(name);
    if (result.sNameProblem.empty()) result.sInstallerFile = name;
    return result;
}

std::string BackupName(const std::string& installerFile) {
    std::string lower = installerFile;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string out;
    size_t start = 0;
    for (size_t at; (at = lower.find(".exe", start)) != std::string::npos; start = at + 4)
        out += lower.substr(start, at - start) + ".old";
    out += lower.substr(start);
    // Without ".exe" the lowered name is the installer itself on a file
    // system that ignores case: keep the earlier installer under its own
    // name plus ".old" instead of renaming it onto itself.
    if (out == lower) out += ".old";
    return out;
}

std::string ProgressText(const std::string& installerFile, int32_t nBytesMax, int32_t nBytes,
                         const std::string& thousandsSeparator) {
    const std::string received =
        FormatGrouped(RoundHalfEven32(nBytes / 1000.0), thousandsSeparator);
    if (nBytesMax == 0) return "Downloading " + installerFile + " " + received + " K Bytes";
    const std::string total =
        FormatGrouped(RoundHalfEven32(nBytesMax / 1000.0), thousandsSeparator);
    const int32_t percent = RoundHalfEven32(static_cast<double>(nBytes) / nBytesMax * 100.0);
    return "Downloading " + installerFile + " " + received + " of " + total + " K Bytes  (" +
           std::to_string(percent) + "%)";
}

}  // namespace tav
