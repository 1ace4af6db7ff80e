// The shell service: programs started hidden, files opened through the shell.
#include "platform/win32/runtime_win32.h"
#include "platform/win32/shell_win32.h"

#include "core/failure.h"
#include "platform/win32/share_retry.h"
#include "platform/win32/text.h"

namespace tav::win32 {

bool Win32Shell::RunHidden(const std::string& application, const std::string& commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = Widen(commandLine);  // CreateProcessW may write to it
    const std::wstring app = Widen(application);
    if (!::CreateProcessW(app.empty() ? nullptr : app.c_str(), cmd.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
        return false;
    }
    // Not waited for: both handles go at once.
    const UniqueKernel thread(pi.hThread), process(pi.hProcess);
    return true;
}

namespace {
std::string SystemErrorText(DWORD code) {
    const std::string text = SystemMessage(code);
    return text.empty() ? "error " + std::to_string(code) : text;
}
}  // namespace

SHELLEXECUTEINFOW ShellOpenRequest(const std::wstring& file, const std::wstring& parameters,
                                   const std::wstring& folder) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No error box of the shell's own: the program says what went wrong.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"Open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    return info;
}

void Win32Shell::Open(const std::string& file, const std::string& parameters,
                      const std::string& folder) {
    const std::wstring wideFile = Widen(file), wideParameters = Widen(parameters),
                       wideFolder = Widen(folder);
    SHELLEXECUTEINFOW info = ShellOpenRequest(wideFile, wideParameters, wideFolder);
    // A scanner may still be looking at the installer when it is started.
    if (RetryWhileShared([&] { return ::ShellExecuteExW(&info) != 0; })) return;
    const DWORD error = ::GetLastError();
    // The classic numbers the log's readers know (53 for a missing file),
    // with the system's own words for the failure.
    throw Failure(ClassicFileError(error), SystemErrorText(error));
}

}  // namespace tav::win32
