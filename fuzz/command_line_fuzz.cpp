// The command line as any caller could write it: whatever the text, the
// installer name that comes out is one the program may save and start inside
// the installation folder, and its backup name stays in that folder too.
#include <cstddef>
#include <cstdint>
#include <string>

#include "main_window/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const tav::CommandLineFields fields = tav::ParseCommandLine(text);
    if (!fields.sInstallerFile.empty()) {
        if (!tav::IsInstallerName(fields.sInstallerFile)) __builtin_trap();
        if (!tav::IsSafeFileName(tav::BackupName(fields.sInstallerFile))) __builtin_trap();
    }
    if (fields.sDownloadURL.size() > text.size()) __builtin_trap();
    (void)tav::IsSafeFileName(text);
    (void)tav::IsInstallerName(text);
    (void)tav::PercentDecode(text);
    (void)tav::UrlPath(text);
    return 0;
}
