// The file service over the real system: failures keep the classic numbers
// the log's readers know; lines are appended in the ANSI code page;
// folders, hidden files and links are told apart from the files the
// program may use.
#include <gtest/gtest.h>

#include <functional>

#include "app/state.h"
#include "core/failure.h"
#include "install/process_utils.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

using win32::Widen;

int32_t FailureNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.number();
    }
    return 0;
}

TEST(FilesWinTest, FailuresHaveTheClassicNumbersLinesAreAnsiAndALinkIsRefused) {
    const Platform& services = win32::InstallWin32Platform();
    ProgramState state{services};
    ProcessTools tools{*services.processes, *services.events,      *services.clock, *services.files,
                       *services.shell,     *services.environment, state.log};
    wintest::TempFolder temp;
    win32::Win32Files files;
    const int n = files.FreeFile();
    const std::string a = temp.path() + "\\a";
    const std::string held = temp.path() + "\\held.log";
    files.WriteBinary(a, std::vector<uint8_t>{1});
    files.WriteBinary(temp.path() + "\\b", std::vector<uint8_t>{2});
    files.MakeFolder(temp.path() + "\\Sub");
    // Held by another program without sharing.
    HANDLE h =
        ::CreateFileW(Widen(held).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const struct {
        const char* what;
        std::function<void()> call;
        int32_t number;
    } rows[] = {
        {"append in a missing folder",
         [&] { files.OpenAppend(n, temp.path() + "\\no\\such\\x.log"); }, err::kPathNotFound},
        {"append to a held file", [&] { files.OpenAppend(n, held); }, err::kPermissionDenied},
        {"delete a missing file", [&] { files.Delete(temp.path() + "\\missing"); },
         err::kFileNotFound},
        {"make an existing folder", [&] { files.MakeFolder(temp.path()); }, err::kPathFileAccess},
        {"rename over a file", [&] { files.Rename(a, temp.path() + "\\b"); },
         err::kFileAlreadyExists},
        // The backup name taken by a folder.
        {"rename over a folder", [&] { files.Rename(a, temp.path() + "\\Sub"); },
         err::kFileAlreadyExists},
        {"print to a closed number", [&] { files.PrintLine(n + 1, "x"); },
         err::kBadFileNameOrNumber},
    };
    for (const auto& row : rows) EXPECT_EQ(FailureNumber(row.call), row.number) << row.what;
    ::CloseHandle(h);

    const std::string log = temp.path() + "\\a.log";
    for (const char* line : {"first", "caf\xC3\xA9"}) {  // UTF-8 inside, code page 1252 on disk
        files.OpenAppend(n, log);
        files.PrintLine(n, line);
        files.Close(n);
    }
    EXPECT_EQ(wintest::ReadFileBytes(log), "first\r\ncaf\xE9\r\n") << "not ANSI lines ending CR LF";
    ::CloseHandle(::CreateFileW(Widen(temp.path() + "\\hidden.txt").c_str(), GENERIC_WRITE, 0,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
    EXPECT_TRUE(IsFile(tools, temp.path() + "\\A.LOG")) << "a file under another case not found";
    for (const char* no : {"\\hidden.txt", "\\Sub", "\\a.log\\"})
        EXPECT_FALSE(IsFile(tools, temp.path() + no))
            << no << " taken for a file the program may use";

    // Nothing is written through a directory link (as the error log would be).
    const std::string elsewhere = temp.path() + "\\elsewhere";
    const std::string logs = temp.path() + "\\LOGS";
    ASSERT_TRUE(::CreateDirectoryW(Widen(elsewhere).c_str(), nullptr)) << "no folder made";
    if (!::CreateSymbolicLinkW(
            Widen(logs).c_str(), Widen(elsewhere).c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "no directory links on this system: " << ::GetLastError();
    // Windows refuses a reparse point (75); Wine 8 answers for its link
    // only at first and then no longer finds it (53).
    const int32_t refused =
        FailureNumber([&] { files.OpenAppend(files.FreeFile(), logs + "\\TAVerror.log"); });
    EXPECT_TRUE(refused == err::kPathFileAccess || refused == err::kFileNotFound)
        << "a log through a link failed with " << refused;
    EXPECT_EQ(::GetFileAttributesW(Widen(elsewhere + "\\TAVerror.log").c_str()),
              INVALID_FILE_ATTRIBUTES)
        << "written through the link";
    ::RemoveDirectoryW(Widen(logs).c_str());
}

}  // namespace
}  // namespace tav
