// The file service, files by number as the classic run-time had them.
#include "platform/win32/runtime_win32.h"

#include <vector>

#include "core/failure.h"
#include "platform/win32/win.h"

#include "platform/win32/text.h"

namespace tav::win32 {

int32_t ClassicFileError(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
            return err::kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return err::kPathNotFound;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return err::kFileAlreadyExists;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return err::kPermissionDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return err::kDiskFull;
        case ERROR_TOO_MANY_OPEN_FILES:
            return err::kTooManyFiles;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return err::kOutOfMemory;
        case ERROR_INVALID_NAME:
            return err::kBadFileNameOrNumber;
        case ERROR_WRITE_FAULT:
        case ERROR_READ_FAULT:
        case ERROR_GEN_FAILURE:
            return err::kDeviceIo;
        default:
            return err::kPathFileAccess;
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

namespace {
bool IsReparsePoint(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return !::GetFileInformationByHandle(h, &info) ||
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
}  // namespace

void Win32Files::OpenAppend(int fileNumber, const std::string& path) {
    if (open_.count(fileNumber)) throw err::Make(err::kFileAlreadyOpen);
    const std::wstring wide = Widen(path);
    const size_t cut = wide.find_last_of(L"\\/");
    // The folder is held without delete sharing while the file is opened,
    // so that it cannot be swapped for a link between its check and the
    // open; the file itself is opened as what it is, not followed.
    UniqueFile folder;
    if (cut != std::wstring::npos && cut > 0) {
        const DWORD attributes = ::GetFileAttributesW(wide.substr(0, cut).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            throw err::Make(err::kPathFileAccess);
        folder.reset(::CreateFileW(wide.substr(0, cut).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                   nullptr));
        if (!folder) ThrowLastFileError();
        if (IsReparsePoint(folder.get())) throw err::Make(err::kPathFileAccess);
    }
    UniqueFile f(::CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!f) ThrowLastFileError();
    if (IsReparsePoint(f.get())) throw err::Make(err::kPathFileAccess);
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
                                   const std::function<size_t(std::span<uint8_t>)>& next) {
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
    std::vector<uint8_t> room(1 << 20);
    for (size_t n; (n = next(room)) > 0;) WriteAll(f.get(), room.data(), n);
    if (!::FlushFileBuffers(f.get())) ThrowLastFileError();
    if (!::CloseHandle(f.release())) ThrowLastFileError();
    if (!::MoveFileExW(temp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
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

std::string SystemFolder() {
    wchar_t buf[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) throw err::Make(err::kPathNotFound);
    return Narrow(std::wstring(buf, n));
}

}  // namespace tav::win32
