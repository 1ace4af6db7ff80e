// The error log as support staff read it: entry layout, folders, and what
// happens when the file cannot be written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "error_log/CErrorUpdate.h"
#include "fakes/fake_platform.h"
#include "core/failure.h"
#include "error_log/trap.h"

namespace tav {
namespace {

using ::testing::ElementsAre;

const std::string kStars(80, '*');

class ErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        sInstallLocation = "C:\\Program Files\\TAV";
        fake.files.AddFolder(sInstallLocation);
    }
    std::string LogText() { return fake.files.Content(sInstallLocation + "\\LOGS\\TAVerror.log"); }

    fakes::FakePlatform fake;
};

TEST_F(ErrorLogTest, EntryWithoutErrorHasThreeLines) {
    ErrorLog().Log("frmMain.Form_Load");
    EXPECT_EQ(LogText(), "TAVUpdate V7.6.10 @ 09:05:07 On 12/6/2026\r\n"
                         "frmMain.Form_Load \r\n" +
                             kStars + "\r\n");
}

TEST_F(ErrorLogTest, EntryWithErrorCarriesTheErrorLineThird) {
    CurrentError().Set(err::Make(err::kFileNotFound));
    ErrorLog().Log("modMain.Main", "extra");
    EXPECT_EQ(LogText(), "TAVUpdate V7.6.10 @ 09:05:07 On 12/6/2026\r\n"
                         "modMain.Main extra\r\n"
                         "ERROR: TAVUpdate, 53, File not found, 0\r\n" +
                             kStars + "\r\n");
}

TEST_F(ErrorLogTest, NegativeNumbersAndLineLabelsAreWrittenPlainly) {
    CurrentError().Set(Failure(-2147467259, "Automation error", "WinHttp", 120));
    ErrorLog().Log("frmMain.Status");
    EXPECT_THAT(LogText(), ::testing::HasSubstr("ERROR: WinHttp, -2147467259, Automation error, 120\r\n"));
}

TEST_F(ErrorLogTest, TwoEntriesAppendAndAnExistingLogIsNeverTruncated) {
    fake.files.AddFile(sInstallLocation + "\\LOGS\\TAVerror.log", "older entry\r\n");
    ErrorLog().Log("a.One");
    fake.clock.Advance(3'600'000 * 5 + 61'000);  // 14:06:08
    ErrorLog().Log("b.Two");
    const std::string text = LogText();
    EXPECT_EQ(text.rfind("older entry\r\n", 0), 0u);
    EXPECT_EQ(text, "older entry\r\n"
                    "TAVUpdate V7.6.10 @ 09:05:07 On 12/6/2026\r\na.One \r\n" +
                        kStars + "\r\n" +
                        "TAVUpdate V7.6.10 @ 14:06:08 On 12/6/2026\r\nb.Two \r\n" + kStars + "\r\n");
}

TEST_F(ErrorLogTest, TimeFieldsAlwaysHaveTwoDigits) {
    EXPECT_EQ(FormatTime24(0, 0, 0), "00:00:00");
    EXPECT_EQ(FormatTime24(23, 9, 5), "23:09:05");
}

TEST_F(ErrorLogTest, MissingLogsAndMissingInstallFolderAreCreated) {
    sInstallLocation = "C:\\Vendor\\TAV\\Install";  // only C: exists
    ErrorLog().Log("x.Y");
    EXPECT_TRUE(fake.files.FolderExists("C:\\Vendor\\TAV\\Install\\LOGS"));
    EXPECT_THAT(fake.files.Content("C:\\Vendor\\TAV\\Install\\LOGS\\TAVerror.log"),
                ::testing::StartsWith("TAVUpdate V7.6.10"));
    EXPECT_TRUE(fake.ui.messages.empty());
}

TEST_F(ErrorLogTest, EmptyInstallFolderWritesBelowTheDriveRoot) {
    sInstallLocation.clear();
    ErrorLog().Log("x.Y");
    EXPECT_TRUE(fake.files.FolderExists("\\LOGS"));
    EXPECT_THAT(fake.files.Content("\\LOGS\\TAVerror.log"), ::testing::HasSubstr("x.Y \r\n"));
}

TEST_F(ErrorLogTest, FolderWithoutSeparatorEndsTheRecursion) {
    sInstallLocation = "NoSeparatorsAnywhere";
    ErrorLog().Log("x.Y");  // must return; the open then fails
    EXPECT_FALSE(fake.ui.messages.empty());
    EXPECT_EQ(fake.files.OpenCount(), 0u);
}

TEST_F(ErrorLogTest, UnwritableLogShowsOneMessagePerFailedStep) {
    fake.files.AddFile(sInstallLocation + "\\LOGS\\TAVerror.log", "", kAttrReadOnly);
    CurrentError().Set(err::Make(err::kDivisionByZero));
    ErrorLog().Log("frmMain.GetNetFile_DownloadProgress");
    const std::string prefix =
        "Error while trying to Write error to Error Log: frmMain.GetNetFile_DownloadProgress ";
    // The open, then each of the four writes of this entry.
    EXPECT_THAT(fake.ui.messages,
                ElementsAre(prefix + "Path/File access error75", prefix + "Bad file name or number52",
                            prefix + "Bad file name or number52", prefix + "Bad file name or number52",
                            prefix + "Bad file name or number52"));
    EXPECT_EQ(fake.files.OpenCount(), 0u);
}

// A junction or link at LOGS, or a linked log file, would carry the lines
// wherever it points: the log refuses to write through it.
TEST_F(ErrorLogTest, NothingIsWrittenThroughAJunctionOrLink) {
    const std::string logs = sInstallLocation + "\\LOGS";
    fake.files.AddFolder(logs);
    for (const std::string& link : {logs, logs + "\\TAVerror.log"}) {
        fake.files.reparsePoints = {fakes::NormalizePath(link)};
        fake.ui.messages.clear();
        ErrorLog().Log("frmMain.Form_Load");
        EXPECT_EQ(LogText(), "") << link;
        ASSERT_FALSE(fake.ui.messages.empty()) << link;
        EXPECT_THAT(fake.ui.messages.front(), ::testing::EndsWith("Path/File access error75"));
    }
}

TEST_F(ErrorLogTest, ControlCharactersInLoggedTextsCannotForgeLines) {
    CurrentError().Set(Failure(404, "Not Found\r\nTAVUpdate V7.6.10 @ forged\x1b[2J\xC2\x85!", "Get\nNetFile"));
    ErrorLog().Log("frmMain.InstallUpdate", "Refused C:\\TAV\\setup.exe: signed by (CN=Evil\r\n****)");
    EXPECT_EQ(LogText(), "TAVUpdate V7.6.10 @ 09:05:07 On 12/6/2026\r\n"
                         "frmMain.InstallUpdate Refused C:\\TAV\\setup.exe: signed by (CN=Evil  ****)\r\n"
                         "ERROR: Get NetFile, 404, Not Found  TAVUpdate V7.6.10 @ forged [2J !, 0\r\n" +
                             kStars + "\r\n");
}

TEST_F(ErrorLogTest, UnwritableLogWithoutErrorHasOneMessageFewer) {
    fake.files.deniedFolders.insert(fakes::NormalizePath(sInstallLocation + "\\LOGS"));
    fake.files.AddFolder(sInstallLocation + "\\LOGS");
    ErrorLog().Log("modMain.Main");
    ASSERT_EQ(fake.ui.messages.size(), 4u);
    EXPECT_EQ(fake.ui.messages[0],
              "Error while trying to Write error to Error Log: modMain.Main Path/File access error75");
}

TEST_F(ErrorLogTest, AFailingWriteIsReportedAndTheNextWriteStillRuns) {
    fake.files.failWritesWith = err::kDiskFull;
    ErrorLog().Log("modMain.Main");
    ASSERT_EQ(fake.ui.messages.size(), 3u);
    EXPECT_EQ(fake.ui.messages[0],
              "Error while trying to Write error to Error Log: modMain.Main Disk full61");
    // The failed write closed the file: the later writes fail on the number.
    EXPECT_EQ(fake.ui.messages[1],
              "Error while trying to Write error to Error Log: modMain.Main Bad file name or number52");
}

TEST_F(ErrorLogTest, DebugPrintWritesNothing) {
    ErrorLog().DebugPrint("trace");
    EXPECT_FALSE(fake.files.HasFile(sInstallLocation + "\\LOGS\\TAVerror.log"));
    EXPECT_TRUE(fake.ui.messages.empty());
}

TEST_F(ErrorLogTest, LoggerIsCreatedAfreshAfterRelease) {
    CErrorUpdate* first = &ErrorLog();
    ReleaseErrorLog();
    ErrorLog().Log("after.Release");
    EXPECT_THAT(LogText(), ::testing::HasSubstr("after.Release \r\n"));
    (void)first;
}

// The trap: a failing statement is logged under the routine and the next
// statement runs; the current error is clear again afterwards.
TEST_F(ErrorLogTest, TrapLogsAndGoesOn) {
    Trap trap("modMain.Main");
    int ran = 0;
    EXPECT_FALSE(trap([] { throw err::Make(err::kPathNotFound); }));
    EXPECT_TRUE(trap([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(CurrentError().number, 0);
    EXPECT_THAT(LogText(), ::testing::HasSubstr("modMain.Main \r\nERROR: TAVUpdate, 76, Path not found, 0\r\n"));
}

TEST_F(ErrorLogTest, TrapMapsForeignExceptionsToClassicFailures) {
    Trap trap("x.Y");
    trap([] { throw std::bad_alloc(); });
    trap([] { throw 42; });
    EXPECT_THAT(LogText(), ::testing::HasSubstr("ERROR: TAVUpdate, 7, Out of memory, 0"));
    EXPECT_THAT(LogText(), ::testing::HasSubstr("ERROR: TAVUpdate, 51, Internal error, 0"));
}

TEST_F(ErrorLogTest, SilentTrapSkipsWithoutLogging) {
    Trap trap = Trap::Silent();
    EXPECT_FALSE(trap([] { throw err::Make(err::kFileNotFound); }));
    EXPECT_FALSE(fake.files.HasFile(sInstallLocation + "\\LOGS\\TAVerror.log"));
    EXPECT_EQ(CurrentError().number, 0);
}

}  // namespace
}  // namespace tav
