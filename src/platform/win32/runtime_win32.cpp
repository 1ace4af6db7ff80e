#include "platform/win32/runtime_win32.h"

#include <vector>

#include "platform/failure.h"
#include "platform/win32/win.h"

#include <shellapi.h>

#include "platform/win32/dpi.h"
#include "platform/win32/text.h"
#include "version.h"

namespace tav::win32 {

// ---------------------------------------------------------------- events

namespace {
std::vector<std::pair<int, MessageFilter>>& Filters() {
    static std::vector<std::pair<int, MessageFilter>> filters;
    return filters;
}
int& WindowCount() {
    static int count = 0;
    return count;
}
}  // namespace

int AddMessageFilter(MessageFilter filter) {
    static int next = 0;
    Filters().emplace_back(++next, std::move(filter));
    return next;
}

void RemoveMessageFilter(int id) {
    auto& filters = Filters();
    for (auto it = filters.begin(); it != filters.end(); ++it) {
        if (it->first == id) {
            filters.erase(it);
            return;
        }
    }
}

bool FilterMessage(MSG& msg) {
    // A copy: a filter may close its window and remove itself.
    const auto filters = Filters();
    for (const auto& [id, filter] : filters)
        if (filter(msg)) return true;
    return false;
}

void Win32EventLoop::DoEvents() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The outer loop must still see it and end the program.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (FilterMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void Win32EventLoop::Sleep(uint32_t ms) { ::Sleep(ms); }

void Win32EventLoop::WaitForEvents(uint32_t ms) {
    ::MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

int RunMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        if (FilterMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void WindowOpened() { ++WindowCount(); }

void WindowClosed() {
    if (--WindowCount() <= 0) {
        WindowCount() = 0;
        ::PostQuitMessage(0);
    }
}

int OpenWindowCount() { return WindowCount(); }

// ------------------------------------------------------------------- app

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
        another_ = ::GetLastError() == ERROR_ALREADY_EXISTS ||
                   (!instanceMutex_ && ::GetLastError() == ERROR_ACCESS_DENIED);
        tested_ = true;
    }
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

// ----------------------------------------------------------------- files

int32_t ClassicFileError(DWORD e) {
    switch (e) {
    case ERROR_FILE_NOT_FOUND: return err::kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return err::kPathNotFound;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return err::kFileAlreadyExists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return err::kPermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return err::kDiskFull;
    case ERROR_TOO_MANY_OPEN_FILES: return err::kTooManyFiles;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return err::kOutOfMemory;
    case ERROR_INVALID_NAME: return err::kBadFileNameOrNumber;
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE: return err::kDeviceIo;
    default: return err::kPathFileAccess;
    }
}

namespace {
[[noreturn]] void ThrowLastFileError() { throw err::Make(ClassicFileError(::GetLastError())); }

void WriteAll(HANDLE h, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(h, p, chunk, &written, nullptr)) ThrowLastFileError();
        if (written == 0) throw err::Make(err::kDeviceIo);
        p += written;
        size -= written;
    }
}
}  // namespace

Win32Files::~Win32Files() = default;

int Win32Files::FreeFile() {
    int n = 1;
    while (open_.count(n)) ++n;
    if (n > 511) throw err::Make(err::kTooManyFiles);
    return n;
}

void Win32Files::OpenAppend(int fileNumber, const std::string& path) {
    if (open_.count(fileNumber)) throw err::Make(err::kFileAlreadyOpen);
    UniqueFile f(::CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) ThrowLastFileError();
    open_.emplace(fileNumber, std::move(f));
}

void Win32Files::PrintLine(int fileNumber, const std::string& text) {
    auto it = open_.find(fileNumber);
    if (it == open_.end()) throw err::Make(err::kBadFileNameOrNumber);
    // The log's readers expect the system's ANSI code page.
    const std::string line = Utf8ToAnsi(text) + "\r\n";
    WriteAll(it->second.get(), line.data(), line.size());
}

void Win32Files::Close(int fileNumber) { open_.erase(fileNumber); }

void Win32Files::WriteBinary(const std::string& path, std::span<const uint8_t> bytes) {
    UniqueFile f(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) ThrowLastFileError();
    WriteAll(f.get(), bytes.data(), bytes.size());
    if (!::CloseHandle(f.release())) ThrowLastFileError();
}

void Win32Files::WriteBinaryAtomic(const std::string& path,
                                   const std::vector<std::span<const uint8_t>>& pieces) {
    // The new file lies beside the target, so the final move stays on one
    // volume and replaces the target in one step or not at all.
    const std::wstring target = Widen(path);
    static LONG counter = 0;
    std::wstring temp;
    struct RemoveOnFailure {
        const std::wstring& name;
        bool armed = false;
        ~RemoveOnFailure() {
            if (armed) ::DeleteFileW(name.c_str());
        }
    } cleanup{temp};  // declared before the handle, so it runs after the close
    UniqueFile f;
    for (int tries = 0; !f; ++tries) {
        temp = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(::InterlockedIncrement(&counter)) + L".tmp";
        f.reset(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f && (::GetLastError() != ERROR_FILE_EXISTS || tries == 8)) ThrowLastFileError();
    }
    cleanup.armed = true;
    for (std::span<const uint8_t> piece : pieces) WriteAll(f.get(), piece.data(), piece.size());
    if (!::FlushFileBuffers(f.get())) ThrowLastFileError();
    if (!::CloseHandle(f.release())) ThrowLastFileError();
    if (!::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ThrowLastFileError();
    cleanup.armed = false;
}

void Win32Files::Delete(const std::string& path) {
    if (!::DeleteFileW(Widen(path).c_str())) ThrowLastFileError();
}

void Win32Files::Rename(const std::string& from, const std::string& to) {
    if (!::MoveFileW(Widen(from).c_str(), Widen(to).c_str())) ThrowLastFileError();
}

bool Win32Files::FolderExists(const std::string& path) {
    if (path.empty()) return false;
    const DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void Win32Files::MakeFolder(const std::string& path) {
    if (!::CreateDirectoryW(Widen(path).c_str(), nullptr)) {
        const DWORD e = ::GetLastError();
        // Making a folder that exists is the classic "Path/File access error".
        throw err::Make(e == ERROR_ALREADY_EXISTS ? err::kPathFileAccess : ClassicFileError(e));
    }
}

std::optional<FoundFile> Win32Files::FindFirst(const std::string& pattern) {
    WIN32_FIND_DATAW data{};
    UniqueFind find(::FindFirstFileW(Widen(pattern).c_str(), &data));
    if (!find) return std::nullopt;
    return FoundFile{Narrow(data.cFileName), data.dwFileAttributes};
}

std::vector<FoundFile> Win32Files::FindAll(const std::string& pattern) {
    std::vector<FoundFile> found;
    WIN32_FIND_DATAW data{};
    UniqueFind find(::FindFirstFileW(Widen(pattern).c_str(), &data));
    if (!find) return found;
    do {
        found.push_back(FoundFile{Narrow(data.cFileName), data.dwFileAttributes});
    } while (::FindNextFileW(find.get(), &data));
    return found;
}

// ----------------------------------------------------------------- clock

DateTime Win32Clock::Now() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string Win32Clock::ShortDate(const DateTime& when) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(when.year);
    st.wMonth = static_cast<WORD>(when.month);
    st.wDay = static_cast<WORD>(when.day);
    wchar_t buf[128];
    const int n = ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf,
                                    static_cast<int>(std::size(buf)), nullptr);
    if (n <= 0) throw err::Make(err::kInvalidCall);
    return Narrow(std::wstring(buf, static_cast<size_t>(n - 1)));
}

uint32_t Win32Clock::TickCount() { return ::GetTickCount(); }

// -------------------------------------------------------------------- ui

void Win32Ui::MsgBox(const std::string& text) {
    ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(kAppTitle).c_str(),
                  MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

int32_t Win32Ui::ScreenWidthTwips() {
    return ::MulDiv(::GetSystemMetrics(SM_CXSCREEN), kTwipsPerInch, static_cast<int>(SystemDpi()));
}

int32_t Win32Ui::ScreenHeightTwips() {
    return ::MulDiv(::GetSystemMetrics(SM_CYSCREEN), kTwipsPerInch, static_cast<int>(SystemDpi()));
}

// ----------------------------------------------------------------- shell

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
    const UniqueKernel thread(pi.hThread), process(pi.hProcess);
    return true;
}

bool Win32Shell::Open(const std::string& file, const std::string& parameters, const std::string& folder) {
    const HINSTANCE result =
        ::ShellExecuteW(nullptr, L"Open", Widen(file).c_str(), parameters.empty() ? nullptr : Widen(parameters).c_str(),
                        Widen(folder).c_str(), SW_SHOWNORMAL);
    // Values above 32 mean the shell started it.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

std::string SystemFolder() {
    wchar_t buf[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) throw err::Make(err::kPathNotFound);
    return Narrow(std::wstring(buf, n));
}

// ---------------------------------------------------------------- locale

std::string Win32Locale::ThousandsSeparator() {
    wchar_t buf[8];
    const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, buf,
                                    static_cast<int>(std::size(buf)));
    if (n <= 1) return ",";
    return Narrow(std::wstring(buf, static_cast<size_t>(n - 1)));
}

std::string Win32Locale::ToAnsi(const std::string& utf8) { return Utf8ToAnsi(utf8); }
std::string Win32Locale::FromAnsi(const std::string& ansi) { return AnsiToUtf8(ansi); }

}  // namespace tav::win32
