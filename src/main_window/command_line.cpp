#include "main_window/command_line.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

#include "platform/number_text.h"

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

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
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
    return url.substr(pathStart, pathEnd == std::string::npos ? std::string::npos : pathEnd - pathStart);
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

bool IsSafeFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find("..") != std::string::npos) return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
        if (std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
    }
    if (name.back() == '.' || name.back() == ' ') return false;
    // Device names stay devices whatever extension follows them.
    const std::string stem = Upper(name.substr(0, name.find('.')));
    static const std::array<std::string_view, 4> plain{"CON", "PRN", "AUX", "NUL"};
    if (std::find(plain.begin(), plain.end(), stem) != plain.end()) return false;
    if (stem == "CONIN$" || stem == "CONOUT$") return false;
    if (stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
        stem[3] >= '0' && stem[3] <= '9')
        return false;
    return true;
}

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
    const std::optional<std::string> path = UrlPath(url);
    if (!path) return result;
    const size_t slash = path->rfind('/');
    const std::string name = PercentDecode(slash == std::string::npos ? *path : path->substr(slash + 1));
    if (IsSafeFileName(name)) result.sInstallerFile = name;
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
    const std::string received = FormatGrouped(RoundHalfEven32(nBytes / 1000.0), thousandsSeparator);
    if (nBytesMax == 0) return "Downloading " + installerFile + " " + received + " K Bytes";
    const std::string total = FormatGrouped(RoundHalfEven32(nBytesMax / 1000.0), thousandsSeparator);
    const int32_t percent = RoundHalfEven32(static_cast<double>(nBytes) / nBytesMax * 100.0);
    return "Downloading " + installerFile + " " + received + " of " + total + " K Bytes  (" +
           std::to_string(percent) + "%)";
}

}  // namespace tav
