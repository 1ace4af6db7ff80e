// Judges an installer as the program would, pinned to key digests ("-"
// for a development build); optionally keeps the hold until a named event is
// set and then starts the installer.
// trust_probe <key digest[,digest...]|-> <installer> <report file> [event name]
// Writes "accepted=0|1\r\nreason=...\r\n" to the report file; exit code 0
// when accepted, 2 when refused.
#include "install/installer_trust.h"
#include "core/failure.h"
#include "platform/platform.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/text.h"
#include "platform/win32/win.h"

#include <shellapi.h>

namespace {

void Write(const std::wstring& path, const std::string& text) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(f);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 4) return 1;
    tav::win32::InstallWin32Platform();
    tav::TrustPolicy policy;
    for (std::string keys = tav::win32::Narrow(argv[1]); keys != "-" && !keys.empty();) {
        const size_t comma = keys.find(',');
        policy.pinnedKeys.push_back(keys.substr(0, comma));
        keys = comma == std::string::npos ? "" : keys.substr(comma + 1);
    }
    const std::string installer = tav::win32::Narrow(argv[2]);
    std::unique_ptr<tav::HeldFile> hold;
    tav::InstallerVerdict verdict;
    try {
        hold = tav::platform().signing->Hold(installer);
        verdict = tav::VerifyInstaller(*hold, policy);
    } catch (const tav::Failure& f) {
        verdict.reason = "it cannot be opened for the check (" + f.description() + ")";
    }
    const std::string report =
        "accepted=" + std::to_string(verdict.accepted) + "\r\nreason=" + verdict.reason + "\r\n";
    if (argc > 4 && verdict.accepted) {
        HANDLE go = ::OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
        Write(argv[3], report);
        if (go) {
            ::WaitForSingleObject(go, 60000);
            ::CloseHandle(go);
        }
        const std::string folder = installer.substr(0, installer.find_last_of('\\') + 1);
        try {
            tav::platform().shell->Open(installer, "", folder);
        } catch (const tav::Failure&) {
            return 3;
        }
        hold.reset();
    } else {
        Write(argv[3], report);
    }
    return verdict.accepted ? 0 : 2;
}
