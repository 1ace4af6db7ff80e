// The file services and the error log on the real file system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/state.h"
#include "error_log/CErrorUpdate.h"
#include "core/failure.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/runtime_win32.h"
#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

using ::testing::HasSubstr;
using wintest::ReadFileBytes;

int32_t FailureNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.number();
    }
    return 0;
}

class FilesWinTest : public ::testing::Test {
protected:
    void SetUp() override { win32::InstallWin32Platform(); }
    wintest::TempFolder temp;
    win32::Win32Files files;
};

TEST_F(FilesWinTest, AppendWritesAnsiLinesAndNeverTruncates) {
    const std::string log = temp.path() + "\\a.log";
    int n = files.FreeFile();
    files.OpenAppend(n, log);
    EXPECT_NE(files.FreeFile(), n);
    files.PrintLine(n, "first");
    files.Close(n);
    files.OpenAppend(n, log);
    files.PrintLine(n, "caf\xC3\xA9");  // UTF-8 inside, code page 1252 on disk
    files.Close(n);
    EXPECT_EQ(ReadFileBytes(log), "first\r\ncaf\xE9\r\n");
    EXPECT_EQ(FailureNumber([&] { files.PrintLine(n, "closed"); }), err::kBadFileNameOrNumber);
    files.Close(n);  // closing a number not in use is harmless
}

TEST_F(FilesWinTest, ClassicNumbersForClassicFailures) {
    const int n = files.FreeFile();
    EXPECT_EQ(FailureNumber([&] { files.OpenAppend(n, temp.path() + "\\no\\such\\x.log"); }),
              err::kPathNotFound);
    // A log another program holds without sharing it.
    const std::string held = temp.path() + "\\held.log";
    HANDLE h = ::CreateFileW(win32::Widen(held).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FailureNumber([&] { files.OpenAppend(n, held); }), err::kPermissionDenied);
    ::CloseHandle(h);
    EXPECT_EQ(FailureNumber([&] { files.Delete(temp.path() + "\\missing"); }), err::kFileNotFound);
    EXPECT_EQ(FailureNumber([&] { files.MakeFolder(temp.path()); }), err::kPathFileAccess);
}

TEST_F(FilesWinTest, BinaryWriteDeleteRenameAndSearch) {
    const std::string a = temp.path() + "\\Setup.exe", b = temp.path() + "\\setup.old";
    files.WriteBinary(a, std::vector<uint8_t>{0, 1, 2, 255});
    files.WriteBinary(a, std::vector<uint8_t>{7, 8});  // replaced, not appended
    EXPECT_EQ(ReadFileBytes(a), std::string("\x07\x08", 2));
    files.WriteBinary(b, std::vector<uint8_t>{9});
    EXPECT_EQ(FailureNumber([&] { files.Rename(a, b); }), err::kFileAlreadyExists);
    files.Delete(b);
    files.Rename(a, b);
    EXPECT_EQ(ReadFileBytes(b), std::string("\x07\x08", 2));

    auto found = files.FindFirst(temp.path() + "\\SETUP.*");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "setup.old");
    EXPECT_FALSE(found->attributes & kAttrDirectory);
    EXPECT_FALSE(files.FindFirst(temp.path() + "\\nothing*"));

    files.MakeFolder(temp.path() + "\\Sub");
    EXPECT_TRUE(files.FolderExists(temp.path() + "\\Sub"));
    EXPECT_FALSE(files.FolderExists(b));
    EXPECT_FALSE(files.FolderExists(""));
    found = files.FindFirst(temp.path() + "\\Sub");
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->attributes & kAttrDirectory);
}

TEST_F(FilesWinTest, ErrorLogCreatesItsFoldersAndAppendsEntries) {
    sInstallLocation = temp.path() + "\\Corvel\\TAV";
    CurrentError().Set(err::Make(err::kFileNotFound));
    ErrorLog().Log("modMain.Main");
    CurrentError().Clear();
    ErrorLog().Log("frmMain.Form_Load");
    const std::string text = ReadFileBytes(sInstallLocation + "\\LOGS\\TAVerror.log");
    // Two entries; the first line of each holds the live time and date.
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    ASSERT_EQ(lines.size(), 7u) << text;
    const std::string stars(80, '*');
    EXPECT_THAT(lines[0], ::testing::StartsWith("win_tests V7.6.10 @ "));
    EXPECT_EQ(lines[0].substr(22, 1), ":");
    EXPECT_THAT(lines[0].substr(28), ::testing::StartsWith(" On "));
    EXPECT_EQ(lines[1], "modMain.Main ");
    EXPECT_EQ(lines[2], "ERROR: TAVUpdate, 53, File not found, 0");
    EXPECT_EQ(lines[3], stars);
    EXPECT_EQ(lines[5], "frmMain.Form_Load ");
    EXPECT_EQ(lines[6], stars);
    sInstallLocation.clear();
    ReleaseErrorLog();
}

// A junction at LOGS pointing elsewhere: the error log writes nothing
// through it (the lines would land where the link points).
TEST_F(FilesWinTest, TheLogRefusesAJunctionAtLogs) {
    const std::string elsewhere = temp.path() + "\\elsewhere";
    const std::string logs = temp.path() + "\\LOGS";
    ASSERT_TRUE(::CreateDirectoryW(win32::Widen(elsewhere).c_str(), nullptr));
    if (!::CreateSymbolicLinkW(win32::Widen(logs).c_str(), win32::Widen(elsewhere).c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "no directory links on this system: " << ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(win32::Widen(logs).c_str());
    ASSERT_NE(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << attributes;
    const int n = files.FreeFile();
    // Windows: refused as a reparse point (75). Wine 8 answers for its
    // link only at first and then no longer finds it (53): refused all
    // the same.
    const int32_t refused = FailureNumber([&] { files.OpenAppend(n, logs + "\\TAVerror.log"); });
    EXPECT_TRUE(refused == err::kPathFileAccess || refused == err::kFileNotFound) << refused;
    EXPECT_EQ(ReadFileBytes(elsewhere + "\\TAVerror.log"), "");
    EXPECT_EQ(::GetFileAttributesW(win32::Widen(elsewhere + "\\TAVerror.log").c_str()), INVALID_FILE_ATTRIBUTES);
    // An ordinary folder still takes the log.
    files.OpenAppend(n, elsewhere + "\\TAVerror.log");
    files.PrintLine(n, "entry");
    files.Close(n);
    EXPECT_EQ(ReadFileBytes(elsewhere + "\\TAVerror.log"), "entry\r\n");
    ::RemoveDirectoryW(win32::Widen(logs).c_str());
}

TEST_F(FilesWinTest, ClockAndLocaleAnswer) {
    win32::Win32Clock clock;
    const DateTime now = clock.Now();
    EXPECT_GE(now.year, 2020);
    EXPECT_FALSE(clock.ShortDate(now).empty());
    win32::Win32Locale locale;
    EXPECT_FALSE(locale.ThousandsSeparator().empty());
    EXPECT_EQ(locale.FromAnsi(locale.ToAnsi("Gr\xC3\xBC\xC3\x9F" "e")), "Gr\xC3\xBC\xC3\x9F" "e");
    win32::Win32Ui ui;
    EXPECT_GT(ui.ScreenWidthTwips(), 0);
}

TEST_F(FilesWinTest, ArgumentTextIsEverythingAfterTheProgramName) {
    EXPECT_EQ(win32::ArgumentsAfterProgramName(L"\"C:\\Program Files\\TAV\\TAVUpdate.exe\"  \"http://h/s.exe|x\""),
              L"\"http://h/s.exe|x\"");
    EXPECT_EQ(win32::ArgumentsAfterProgramName(L"TAVUpdate.exe http://h/s.exe|x| y "), L"http://h/s.exe|x| y ");
    EXPECT_EQ(win32::ArgumentsAfterProgramName(L"TAVUpdate.exe"), L"");
    EXPECT_EQ(win32::ArgumentsAfterProgramName(L"\"unterminated"), L"");
}

TEST_F(FilesWinTest, ShellOpenStartsTheFileWithItsParametersAndFolder) {
    const std::string installer = temp.path() + "\\TAV Setup.exe";
    ASSERT_TRUE(::CopyFileW(win32::Widen(wintest::HostPath(TAV_TEST_HELPER_DIR "/installer_stub.exe")).c_str(),
                            win32::Widen(installer).c_str(), FALSE));
    win32::Win32Shell shell;
    shell.Open(installer, "/s", temp.path() + "\\");
    std::string record;
    for (int i = 0; i < 500 && record.empty(); ++i) {
        ::Sleep(20);
        record = ReadFileBytes(installer + ".record.txt");
    }
    EXPECT_EQ(record, "args=/s\r\ncwd=" + temp.path() + "\r\n");
    try {
        shell.Open(temp.path() + "\\missing.exe", "", temp.path() + "\\");
        ADD_FAILURE() << "a missing file was started";
    } catch (const Failure& f) {
        EXPECT_FALSE(f.description().empty());
    }
}

TEST_F(FilesWinTest, IdentityNamesTheRunningProgram) {
    win32::Win32App app;
    const AppIdentity id = app.Identity();
    EXPECT_EQ(id.exeName, "win_tests");
    EXPECT_EQ(id.major, 7);
    EXPECT_EQ(id.minor, 6);
    EXPECT_EQ(id.revision, 10);
    EXPECT_FALSE(id.path.empty());
    EXPECT_NE(id.path.back(), '\\');
}

}  // namespace
}  // namespace tav
