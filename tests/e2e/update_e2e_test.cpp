// The update manager as TAV starts it and a user meets it: a demo TAV
// installation, stand-in TAV programs and service, a loopback server with a
// stand-in installer. This test program is the user: it reads the window
// and its dialogs from outside and presses their buttons. Only a genuine,
// intact installer is started: a release build pinned to a throw-away
// authority's publisher, and the development build, are served installers
// signed by that publisher, by another one, unsigned, or with one byte
// flipped. What is refused before the download (a missing address, a
// package) and the backup that cannot be made are the unit tier's
// (FrmMainTest); the real dialog's keys and buttons, DialogWinTest's.
#include <gmock/gmock.h>

#include <algorithm>

#include "e2e_support.h"

#include <commctrl.h>

namespace tav::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using wintest::ReadFileBytes;

constexpr long kObeyedTheWatchdog = 6;  // the stand-in's exit code
const std::string kEarlier = "the installer of the last update";

class UpdateE2eTest : public ::testing::Test {
protected:
    DemoInstallation tav;
};

// The installer, spread over ms so that there is time to act.
std::string Installer(int ms) {
    return ServerUrl("/file/setup.exe?ms=" + std::to_string(ms)) + "|demo";
}
// A made-up setup.exe of size bytes, in pieces of 16 KB with pauseMs after each.
std::string MadeUpInstaller(unsigned long long size, int pauseMs = 0) {
    const std::string query = "size=" + std::to_string(size) + "&slow=" + std::to_string(pauseMs);
    return ServerUrl("/body/setup.exe?" + query) + "|demo";
}
std::string StatusLine(HWND window) { return Text(::GetDlgItem(window, kStatusId)); }
bool WaitFor(const std::function<bool()>& done) { return wintest::PumpMessages(kShowMs, done); }
std::string ServedFile(const std::string& name) {
    return ReadFileBytes(wintest::HostPath(TAV_E2E_WWW "/" + name));
}
LRESULT Ask(HWND window, int id, UINT msg) { return wintest::Ask(::GetDlgItem(window, id), msg); }

TEST_F(UpdateE2eTest, SilentUpdateClosesTavKeepsTheEarlierInstallerAndStartsTheNewOneWithSlashS) {
    ASSERT_TRUE(wintest::WriteFileBytes(tav.Path("setup.exe"), kEarlier));
    ASSERT_TRUE(wintest::WriteFileBytes(tav.Path("setup.old"), "the one before"));
    ASSERT_TRUE(tav.StartService()) << "the TAV service did not start";
    const Process watched = tav.StartProgram("TAV Core Server.exe", "watchdog");
    const Process windowed = tav.StartProgram("TAV LAN Server.exe", "window");

    const Process update = tav.StartUpdate(Installer(4000));
    const HWND window = MainWindow(update);
    ASSERT_NE(window, nullptr) << "the main window never showed";
    for (const WPARAM size : {ICON_BIG, ICON_SMALL})
        EXPECT_NE(wintest::Ask(window, WM_GETICON, size), 0) << "no icon of size " << size;
    // Part way: the bar follows the bytes, and the box is ticked.
    ASSERT_TRUE(WaitStatus(window, "Downloading setup.exe ")) << StatusLine(window);
    EXPECT_TRUE(WaitFor([&] { return Ask(window, kBarId, PBM_GETPOS) >= 30; }))
        << "the bar did not follow the download";
    Click(::GetDlgItem(window, kSilentId));
    EXPECT_TRUE(WaitFor([&] { return Ask(window, kSilentId, BM_GETCHECK) == BST_CHECKED; }))
        << "the Silent Installation box did not take the click";

    EXPECT_EQ(update.Exit(kEndMs), 0) << "the update did not end by itself";
    EXPECT_EQ(watched.Exit(10000), kObeyedTheWatchdog) << "the watchdog was not told to shut down";
    EXPECT_NE(windowed.Exit(10000), -1) << "a windowed TAV program was not closed";
    EXPECT_FALSE(ServiceRunning()) << "the TAV service still runs";
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown"), "99")
        << "the watchdog's value is not in the 32-bit view";
    EXPECT_EQ(RunAsAdminFlag("setup.exe"), "WINXPSP3 RUNASADMIN") << "no run-as-administrator flag";
    EXPECT_EQ(ReadFileBytes(tav.Path("setup.old")), kEarlier) << "no backup of the earlier one";
    EXPECT_EQ(ReadFileBytes(tav.Path("setup.exe")), ServedFile("setup.exe"))
        << "the installer is not the served file";
    // The installer runs by itself after the program ended, from the
    // installation folder, shown as the shell was asked to show it.
    EXPECT_THAT(tav.InstallerRecord("setup.exe", kShowMs),
                ::testing::StrCaseEq("args=/s\r\ncwd=" + tav.folder() + "\r\nshow=1\r\n"))
        << "the installer was not started with /s from the installation folder";
    EXPECT_EQ(tav.Log(), "") << "a development build starts the unsigned installer silently";
}

TEST_F(UpdateE2eTest, ASecondInstanceEndsAtOnceAndAbortEndsTheFirstInTheMiddleOfItsDownload) {
    const Process first = tav.StartUpdate(Installer(40000));
    const HWND window = MainWindow(first);
    ASSERT_NE(window, nullptr) << "the main window never showed";
    ASSERT_TRUE(WaitStatus(window, "Downloading setup.exe")) << StatusLine(window);

    // A second that went on would wait for its download or a dialog's answer.
    const Process second = tav.StartUpdate(Installer(0));
    EXPECT_EQ(second.Exit(kShowMs), 0) << "a second instance did not end at once";
    EXPECT_TRUE(first.Running()) << "the second instance ended the first";

    Click(::GetDlgItem(window, kAbortId));
    EXPECT_EQ(first.Exit(15000), 0) << "Abort did not end a running download";
    EXPECT_EQ(ReadFileBytes(tav.Path("setup.exe")), "") << "a half file under the real name";
    EXPECT_EQ(tav.InstallerRecord(), "") << "an installer was started";
}

// The download goes to a staging file whose delete disposition is set
// (FileDispositionInfo) as it is made. The system deletes such a file once
// its last handle is closed, and a process that is ended has its handles
// closed before it counts as ended: documented behaviour, which the check
// right after the wait relies on, and which Wine follows (its server closes
// a dead process's handles; the last close deletes the file).
TEST_F(UpdateE2eTest, AProgramKilledDuringItsDownloadLeavesNothingBehind) {
    ASSERT_TRUE(wintest::WriteFileBytes(tav.Path("setup.exe"), kEarlier));
    // Far longer than the waits below: about 100 s.
    const Process update = tav.StartUpdate(MadeUpInstaller(16000000, 100));
    const HWND window = MainWindow(update);
    ASSERT_NE(window, nullptr) << "the main window never showed";
    ASSERT_TRUE(WaitFor([&] { return Ask(window, kBarId, PBM_GETPOS) >= 1; }))
        << "no bytes arrived; the status line says: " << StatusLine(window);
    ASSERT_TRUE(WaitFor([&] { return tav.AnyStagingFile(); }))
        << "the download is not written to a staging file as it arrives";
    ASSERT_THAT(StatusLine(window), StartsWith("Downloading setup.exe "))
        << "the download ended before it could be cut off";

    constexpr unsigned kKilled = 9;
    ASSERT_TRUE(update.Kill(kKilled)) << "TerminateProcess failed";
    ASSERT_EQ(update.Exit(kEndMs), long{kKilled}) << "the killed program did not end";
    EXPECT_THAT(tav.Files(), ::testing::ElementsAre("TAVUpdate.exe", "TAVri.dll", "setup.exe"))
        << "a staging file, backup, log or installer record was left behind";
    EXPECT_EQ(ReadFileBytes(tav.Path("setup.exe")), kEarlier) << "the earlier installer changed";
}

TEST_F(UpdateE2eTest, AbortWhileTavProgramsAreClosingStartsNoInstaller) {
    // A watched program that ignores the watchdog holds the close stage
    // for many seconds: the window must answer Abort meanwhile.
    const Process stubborn = tav.StartProgram("TAVCOM.EXE", "windowless");
    const Process update = tav.StartUpdate(Installer(0));
    const HWND window = MainWindow(update);
    ASSERT_NE(window, nullptr) << "the main window never showed";
    ASSERT_TRUE(
        WaitStatus(window, "Closing TAV and all related programs before installing update."))
        << StatusLine(window);
    // The status line comes first, the watchdog's command a moment later.
    EXPECT_TRUE(WaitFor([] {
        return Value(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command") == "Shutdown";
    })) << "the watchdog was never asked";
    Click(::GetDlgItem(window, kAbortId));
    EXPECT_EQ(update.Exit(kEndMs), 0) << "Abort did not end the program";
    EXPECT_TRUE(stubborn.Running()) << "the program was ended after Abort";
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown"), std::nullopt)
        << "the shutdown value was written after Abort";
    // Time for an installer to have written its record, had one started.
    EXPECT_EQ(tav.InstallerRecord("setup.exe", 1500), "") << "an installer was started after Abort";
}

// The installation on the small drive the test run maps (small_drive.sh):
// the installer is larger than the whole drive.
class SmallDriveE2eTest : public ::testing::Test {
protected:
    DemoInstallation tav{TAV_E2E_SMALL_DRIVE "\\TAV"};
};

TEST_F(SmallDriveE2eTest, ADiskThatFillsUpFailsTheDownloadAndTouchesNothingElse) {
    constexpr ULONGLONG kInstallerSize = 12000000;
    ULARGE_INTEGER free{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(L"" TAV_E2E_SMALL_DRIVE "\\", &free, nullptr, nullptr))
        << "the test run mapped no drive " TAV_E2E_SMALL_DRIVE;
    ASSERT_LT(free.QuadPart, kInstallerSize / 2) << TAV_E2E_SMALL_DRIVE " is not the small drive";
    ASSERT_TRUE(wintest::WriteFileBytes(tav.Path("setup.exe"), kEarlier));
    const Process windowed = tav.StartProgram("TAV LAN Server.exe", "window");

    const Process update = tav.StartUpdate(MadeUpInstaller(kInstallerSize));
    const HWND window = MainWindow(update);
    ASSERT_NE(window, nullptr) << "the main window never showed";
    EXPECT_TRUE(WaitStatus(window, "Download of setup.exe failed: Disk full"))
        << "the status line says: " << StatusLine(window);
    EXPECT_THAT(tav.Log(), HasSubstr("DownloadFailed \r\nERROR: GetNetFile, 61, Disk full"))
        << "the failure is not in the error log";
    EXPECT_FALSE(tav.AnyStagingFile()) << "the staging file is left on the full disk";
    EXPECT_EQ(ReadFileBytes(tav.Path("setup.exe")), kEarlier) << "the earlier installer changed";
    EXPECT_TRUE(windowed.Running()) << "TAV was closed";
    EXPECT_TRUE(update.Running()) << "the window did not wait for Abort";
    Click(::GetDlgItem(window, kAbortId));
    EXPECT_EQ(update.Exit(kEndMs), 0) << "Abort did not end the program cleanly";
}

// The dialog's text as one line: the wrap's line ends become the spaces
// they replaced.
std::string Content(HWND dialog) {
    std::string content = Text(::GetDlgItem(dialog, kDialogContentId));
    content.erase(std::remove(content.begin(), content.end(), '\n'), content.end());
    std::replace(content.begin(), content.end(), '\r', ' ');
    return content;
}

class InstallerTrustE2eTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(root_.ok()) << "the test root is not trusted"; }
    void UsePinnedUpdater() {
        // The image of an update that has just ended may be held a moment
        // longer: a copy that did not land would run the other build.
        ASSERT_TRUE(WaitFor([&] {
            return wintest::CopyFromBuild(TAV_E2E_PINNED_UPDATER, tav.Path("TAVUpdate.exe"));
        })) << "the pinned updater could not be copied";
    }
    // Serves the fixture under a name of its own, so that a record or flag
    // one leaves behind cannot pass for another's, and starts the update.
    Process Update(const std::string& fixture, const std::string& servedAs) {
        wintest::CopyFromBuild(TAV_E2E_FIXTURES "/" + fixture,
                               wintest::HostPath(TAV_E2E_WWW "/" + servedAs));
        return tav.StartUpdate(ServerUrl("/file/" + servedAs) + "|demo");
    }

    wintest::TrustedTestRoot root_{wintest::HostPath(TAV_E2E_FIXTURES "/ca.der")};
    DemoInstallation tav;
};

TEST_F(InstallerTrustE2eTest, PinnedBuildStartsItsPublishersInstallerWithoutSlashSAndLogsNothing) {
    UsePinnedUpdater();
    const Process update = Update("installer_publisher.exe", "genuine_setup.exe");
    EXPECT_EQ(update.Exit(kEndMs), 0) << "the update did not end by itself";
    EXPECT_THAT(tav.InstallerRecord("genuine_setup.exe", kShowMs), StartsWith("args=\r\n"))
        << "the publisher's installer was not started, or not without /s";
    EXPECT_EQ(tav.Log(), "") << "a started update logs nothing";
}

// Run while TAV runs: each installer is downloaded, refused with its
// reason and deleted; TAV and the earlier installer are left as they were.
TEST_F(InstallerTrustE2eTest,
       RefusedInstallersAreDeletedAndLeaveTavRunningAndTheEarlierInstallerInPlace) {
    const struct {
        bool pinned;
        const char *fixture, *servedAs, *reason;
    } rows[] = {
        // TRUST_E_BAD_DIGEST: the signature stands but no longer covers the bytes.
        {false, "installer_tampered.exe", "tampered_setup.exe",
         "its signature is present but not valid (0x80096010)"},
        {true, "installer_other.exe", "foreign_setup.exe", "it is signed by another publisher ("},
        {true, "installer_unsigned.exe", "unsigned_setup.exe", "it is not signed"},
        // The publisher's own key under a certificate the authority's list revokes.
        {true, "installer_revoked.exe", "revoked_setup.exe",
         "its signer's certificate is revoked (0x"}};
    ASSERT_TRUE(tav.StartService()) << "the TAV service did not start";
    const Process windowed = tav.StartProgram("TAV LAN Server.exe", "window");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.servedAs);
        if (row.pinned) UsePinnedUpdater();
        const std::string installer = tav.Path(row.servedAs);
        ASSERT_TRUE(wintest::WriteFileBytes(installer, kEarlier));
        const Process update = Update(row.fixture, row.servedAs);
        const HWND dialog = Dialog(update);
        ASSERT_NE(dialog, nullptr) << "no dialog";
        EXPECT_EQ(Text(dialog), "TAV Update Manager") << "the dialog's title";
        EXPECT_EQ(Text(::GetDlgItem(dialog, kDialogContentId - 1)), "Critical Error")
            << "the dialog's heading";
        EXPECT_THAT(Content(dialog),
                    HasSubstr("The installer " + installer + " failed its signature check."))
            << "not refused for its signature";
        EXPECT_TRUE(update.Running()) << "the dialog did not wait for its answer";
        EXPECT_FALSE(tav.AnyStagingFile()) << "the refused download is not deleted";
        ASSERT_TRUE(PressTheOnlyButton(dialog)) << "the dialog does not show one button";
        EXPECT_EQ(update.Exit(kEndMs), 0) << "the button did not end the program";

        EXPECT_TRUE(windowed.Running()) << "a TAV program was closed";
        EXPECT_TRUE(ServiceRunning()) << "the TAV service was stopped";
        EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command"), std::nullopt)
            << "the watchdog was asked";
        EXPECT_EQ(RunAsAdminFlag(row.servedAs), std::nullopt) << "the refused file was flagged";
        // A started installer writes its record at once: give it the time it
        // takes in the accepted case.
        EXPECT_EQ(tav.InstallerRecord(row.servedAs, 3000), "") << "the refused file was started";
        EXPECT_EQ(ReadFileBytes(installer), kEarlier) << "the earlier installer changed";
        EXPECT_THAT(tav.Log(),
                    HasSubstr("frmMain.InstallUpdate Refused " + installer + ": " + row.reason))
            << "the refusal's reason is not logged";
    }
}

}  // namespace
}  // namespace tav::e2e
