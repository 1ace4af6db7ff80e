// The program itself: its name, folder, version, instance and arguments.
#include "platform/win32/runtime_win32.h"

#include "core/failure.h"
#include "platform/win32/text.h"
#include "version.h"

namespace tav::win32 {

AppIdentity Win32App::Identity() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) throw err::Make(err::kInternalError);
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring file = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = file.rfind(L'.');
    if (dot != std::wstring::npos) file.resize(dot);
    AppIdentity id;
    id.exeName = Narrow(file);
    id.path = slash == std::wstring::npos ? std::string() : Narrow(path.substr(0, slash));
    id.major = TAV_VERSION_MAJOR;
    id.minor = TAV_VERSION_MINOR;
    id.revision = TAV_VERSION_REVISION;
    return id;
}

bool Win32App::PrevInstance() {
    if (!tested_) {
        // One updater per machine: two would close the same programs and
        // start the same installer. The mutex lives as long as the process.
        instanceMutex_.reset(::CreateMutexW(nullptr, FALSE, L"Global\\TAVUpdate.Instance"));
        const DWORD error = ::GetLastError();
        tested_ = true;
        another_ = instanceMutex_ && error == ERROR_ALREADY_EXISTS;
        // Refused: the name is taken by an object this user may not open,
        // another user's updater or anybody's squatter. Either way this
        // copy must not run, and support staff must be able to see why.
        if (!instanceMutex_ && error == ERROR_ACCESS_DENIED)
            failure_ =
                "The update's instance lock (Global\\TAVUpdate.Instance) is held by a process "
                "of another user or refused to this one (access denied)";
        else if (!instanceMutex_)
            failure_ =
                "The update's instance lock (Global\\TAVUpdate.Instance) could not be made "
                "(error " +
                std::to_string(error) + ")";
    }
    if (!failure_.empty()) throw Failure(err::kPermissionDenied, failure_);
    return another_;
}

std::string Win32App::ArgumentText() {
    return Narrow(ArgumentsAfterProgramName(::GetCommandLineW()));
}

std::wstring ArgumentsAfterProgramName(const std::wstring& commandLine) {
    // The program name ends at its closing quote, or at the first blank
    // when it is not quoted; the blanks after it are not arguments.
    size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        i = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t') ++i;
    }
    while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
    return commandLine.substr(i);
}

}  // namespace tav::win32
