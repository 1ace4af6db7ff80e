// The update manager as TAV starts it and a user meets it: a demo TAV
// installation, stand-in TAV programs and service, a loopback server with a
// stand-in installer. This test program is the user: it reads the window
// and its dialogs from outside and presses their buttons. Only a genuine,
// intact installer is started: a release build pinned to a throw-away
// authority's publisher, and the development build, are served installers
// signed by that publisher, by another one, unsigned, or with one byte
// flipped.
#include <gmock/gmock.h>

#include <algorithm>

#include "e2e_support.h"
#include "platform/win32/text.h"

#include <commctrl.h>

namespace tav::e2e {
namespace {

using ::testing::HasSubstr;

constexpr long kObeyedTheWatchdog = 6;  // the stand-in's exit code

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

TEST_F(UpdateE2eTest, SilentUpdateClosesTavKeepsTheEarlierInstallerAndStartsTheNewOneWithSlashS) {
    const std::string earlier = "the installer of the last update";
    ASSERT_TRUE(wintest::WriteFileBytes(tav.Path("setup.exe"), earlier));
    ASSERT_TRUE(wintest::WriteFileBytes(tav.Path("setup.old"), "the one before"));
    ASSERT_TRUE(tav.StartService());
    const Process watched = tav.StartProgram("TAV Core Server.exe", "watchdog");
    const Process windowed = tav.StartProgram("TAV LAN Server.exe", "window");
    const Process bystander = tav.StartProgram("Notes.exe", "window");

    const Process update = tav.StartUpdate(Installer(4000));
    const HWND window = MainWindow(update);
    ASSERT_NE(window, nullptr);
    for (const WPARAM size : {ICON_BIG, ICON_SMALL})
        EXPECT_NE(wintest::Ask(window, WM_GETICON, size), 0) << size;
    // Part way: the bar and the status line follow the bytes.
    ASSERT_TRUE(WaitStatus(window, "Downloading setup.exe "));
    const HWND bar = ::GetDlgItem(window, kBarId), silent = ::GetDlgItem(window, kSilentId);
    EXPECT_TRUE(
        wintest::PumpMessages(kShowMs, [&] { return wintest::Ask(bar, PBM_GETPOS) >= 30; }));
    Click(silent);
    EXPECT_TRUE(wintest::PumpMessages(
        5000, [&] { return wintest::Ask(silent, BM_GETCHECK) == BST_CHECKED; }));

    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_EQ(watched.Exit(10000), kObeyedTheWatchdog);
    EXPECT_NE(windowed.Exit(10000), -1) << "closed by the update";
    EXPECT_TRUE(bystander.Running()) << "not a TAV program";
    EXPECT_FALSE(ServiceRunning());
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown"), "99");
    EXPECT_EQ(RunAsAdminFlag("setup.exe"), "WINXPSP3 RUNASADMIN");
    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.old")), earlier);
    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.exe")),
              wintest::ReadFileBytes(wintest::HostPath(TAV_E2E_WWW "/setup.exe")));
    // The installer runs by itself after the program ended, from the
    // installation folder.
    EXPECT_THAT(tav.InstallerRecord("setup.exe", kShowMs),
                ::testing::StrCaseEq("args=/s\r\ncwd=" + tav.folder() + "\r\n"));
    EXPECT_EQ(tav.Log(), "")
        << "a development build starts the unsigned installer and logs nothing";
}

TEST_F(UpdateE2eTest, MissingUrlShowsTheCriticalErrorUntilItsButtonIsPressed) {
    const Process update = tav.StartUpdate("no address here");
    const HWND dialog = Dialog(update);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Text(dialog), "TAV Update Manager");
    EXPECT_EQ(Text(::GetDlgItem(dialog, kDialogContentId - 1)), "Critical Error");  // the heading
    EXPECT_EQ(Text(::GetDlgItem(dialog, kDialogContentId)),
              "Missing Download URL. Aborting Update Process!");
    EXPECT_TRUE(update.Running()) << "the dialog waits for its answer";
    ASSERT_TRUE(PressTheOnlyButton(dialog));
    EXPECT_EQ(update.Exit(kEndMs), 0);
}

// The dialog's text as one line: the wrap's line ends become the spaces
// they replaced.
std::string Content(HWND dialog) {
    std::string content = Text(::GetDlgItem(dialog, kDialogContentId));
    content.erase(std::remove(content.begin(), content.end(), '\n'), content.end());
    std::replace(content.begin(), content.end(), '\r', ' ');
    while (content.ends_with(' ')) content.pop_back();
    return content;
}

// A Windows Installer package cannot be started the way the update starts
// an installer: it is refused before a byte is asked for.
TEST_F(UpdateE2eTest, AnInstallerTheUpdateCannotStartIsRefusedBeforeAnyDownload) {
    const Process update = tav.StartUpdate(ServerUrl("/file/refused_setup.msi") + "|demo");
    const HWND dialog = Dialog(update);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Content(dialog),
              "The installer name \"refused_setup.msi\" in the download URL names a Windows "
              "Installer package (.msi), which the update cannot start. Aborting Update Process!");
    ASSERT_TRUE(PressTheOnlyButton(dialog));
    EXPECT_EQ(update.Exit(kEndMs), 0);
    const std::string www = TAV_E2E_WWW;  // the server's requests are logged beside it
    const std::string requests = www.substr(0, www.rfind('/')) + "/requests/refused_setup.msi.log";
    EXPECT_EQ(wintest::ReadFileBytes(wintest::HostPath(requests)), "")
        << "the server was never asked";
    EXPECT_FALSE(tav.AnyStagingFile());
    EXPECT_THAT(tav.Log(),
                HasSubstr("frmMain.Form_Load \r\nERROR: TAVUpdate, 52, The installer name"));
}

// A backup that cannot be made is logged; the update is what the user
// asked for, and goes on over the earlier installer.
TEST_F(UpdateE2eTest, ABackupNameTakenByAFolderIsLoggedAndTheUpdateGoesOn) {
    ASSERT_TRUE(wintest::WriteFileBytes(tav.Path("setup.exe"), "the installer of the last update"));
    ASSERT_TRUE(::CreateDirectoryW(win32::Widen(tav.Path("setup.old")).c_str(), nullptr));
    const Process update = tav.StartUpdate(Installer(0));
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_THAT(tav.InstallerRecord("setup.exe", kShowMs), ::testing::StartsWith("args=\r\n"));
    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.exe")),
              wintest::ReadFileBytes(wintest::HostPath(TAV_E2E_WWW "/setup.exe")));
    EXPECT_EQ(::GetFileAttributesW(win32::Widen(tav.Path("setup.old")).c_str()) &
                  FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY))
        << "the folder is left as it was";
    EXPECT_THAT(tav.Log(),
                HasSubstr("frmMain.InstallUpdate \r\nERROR: TAVUpdate, 58, File already exists"));
}

TEST_F(UpdateE2eTest, ASecondInstanceEndsAtOnceAndAbortEndsTheFirstInTheMiddleOfItsDownload) {
    const Process first = tav.StartUpdate(Installer(40000));
    const HWND window = MainWindow(first);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitStatus(window, "Downloading setup.exe"));

    // A second that went on would wait for its download or a dialog's answer.
    const Process second = tav.StartUpdate(Installer(0));
    EXPECT_EQ(second.Exit(kShowMs), 0);
    EXPECT_TRUE(first.Running());

    Click(::GetDlgItem(window, kAbortId));
    EXPECT_EQ(first.Exit(15000), 0) << "a running download holds nothing back";
    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.exe")), "")
        << "no half file under the real name";
    EXPECT_EQ(tav.InstallerRecord(), "");
}

// The download goes to a staging file whose delete disposition is set
// (FileDispositionInfo) as it is made. The system deletes such a file once
// its last handle is closed, and a process that is ended has its handles
// closed before it counts as ended: documented behaviour, which the check
// right after the wait relies on, and which Wine follows (its server closes
// a dead process's handles; the last close deletes the file).
TEST_F(UpdateE2eTest, AProgramKilledDuringItsDownloadLeavesNothingBehind) {
    const std::string earlier = "the installer of the last update";
    ASSERT_TRUE(wintest::WriteFileBytes(tav.Path("setup.exe"), earlier));
    // Far longer than the waits below: about 100 s.
    const Process update = tav.StartUpdate(MadeUpInstaller(16000000, 100));
    const HWND window = MainWindow(update);
    ASSERT_NE(window, nullptr);
    const HWND bar = ::GetDlgItem(window, kBarId);
    ASSERT_TRUE(wintest::PumpMessages(kShowMs, [&] { return wintest::Ask(bar, PBM_GETPOS) >= 1; }))
        << "no bytes arrived; the status line says: " << StatusLine(window);
    ASSERT_TRUE(wintest::PumpMessages(kShowMs, [&] { return tav.AnyStagingFile(); }))
        << "the download is not written to a staging file as it arrives";
    ASSERT_THAT(StatusLine(window), ::testing::StartsWith("Downloading setup.exe "))
        << "the download ended before it could be cut off";

    constexpr unsigned kKilled = 9;
    ASSERT_TRUE(update.Kill(kKilled)) << "TerminateProcess failed";
    ASSERT_EQ(update.Exit(kEndMs), long{kKilled}) << "the killed program did not end";
    EXPECT_THAT(tav.Files(), ::testing::ElementsAre("TAVUpdate.exe", "TAVri.dll", "setup.exe"))
        << "a staging file, backup, log or installer record was left behind";
    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.exe")), earlier)
        << "the earlier installer was changed";
}

TEST_F(UpdateE2eTest, AbortWhileTavProgramsAreClosingStartsNoInstaller) {
    // A watched program that ignores the watchdog holds the close stage
    // for many seconds: the window must answer Abort meanwhile.
    const Process stubborn = tav.StartProgram("TAVCOM.EXE", "windowless");
    const Process update = tav.StartUpdate(Installer(0));
    const HWND window = MainWindow(update);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(
        WaitStatus(window, "Closing TAV and all related programs before installing update."));
    // The status line comes first, the watchdog's command a moment later.
    EXPECT_TRUE(wintest::PumpMessages(
        kShowMs, [] { return Value(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command") == "Shutdown"; }));
    Click(::GetDlgItem(window, kAbortId));
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_TRUE(stubborn.Running());
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown"), std::nullopt);
    // Time for an installer to have written its record, had one started.
    EXPECT_EQ(tav.InstallerRecord("setup.exe", 1500), "");
    EXPECT_EQ(RunAsAdminFlag("setup.exe"), "WINXPSP3 RUNASADMIN")
        << "set before the close stage began";
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
    const std::string earlier = "the installer of the last update";
    ASSERT_TRUE(wintest::WriteFileBytes(tav.Path("setup.exe"), earlier));
    const Process windowed = tav.StartProgram("TAV LAN Server.exe", "window");

    const Process update = tav.StartUpdate(MadeUpInstaller(kInstallerSize));
    const HWND window = MainWindow(update);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitStatus(window, "Download of setup.exe failed: Disk full"))
        << "the status line says: " << StatusLine(window);
    EXPECT_THAT(tav.Log(), HasSubstr("DownloadFailed \r\nERROR: GetNetFile, 61, Disk full"))
        << "the failure is not in the error log";
    EXPECT_FALSE(tav.AnyStagingFile()) << "the staging file is left on the full disk";
    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.exe")), earlier)
        << "the earlier installer was changed";
    EXPECT_TRUE(windowed.Running()) << "TAV was closed";

    EXPECT_TRUE(update.Running()) << "the window did not wait for Abort";
    Click(::GetDlgItem(window, kAbortId));
    EXPECT_EQ(update.Exit(kEndMs), 0) << "Abort did not end the program cleanly";
}

std::string Fixture(const std::string& name) {
    return wintest::HostPath(std::string(TAV_E2E_FIXTURES) + "/" + name);
}

class InstallerTrustE2eTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(root_.ok()); }
    void UsePinnedUpdater() {
        // The image of an update that has just ended may be held a moment
        // longer: a copy that did not land would run the other build.
        ASSERT_TRUE(wintest::PumpMessages(kShowMs, [&] {
            return wintest::CopyFromBuild(TAV_E2E_PINNED_UPDATER, tav.Path("TAVUpdate.exe"));
        }));
    }
    // Serves the fixture under a name of its own, so that a record or flag
    // one leaves behind cannot pass for another's, and starts the update.
    Process Update(const std::string& fixture, const std::string& servedAs) {
        wintest::CopyFromBuild(TAV_E2E_FIXTURES "/" + fixture,
                               wintest::HostPath(TAV_E2E_WWW "/" + servedAs));
        return tav.StartUpdate(ServerUrl("/file/" + servedAs) + "|demo");
    }

    wintest::TrustedTestRoot root_{Fixture("ca.der")};
    DemoInstallation tav;
};

TEST_F(InstallerTrustE2eTest, PinnedBuildStartsItsPublishersInstallerWithoutSlashSAndLogsNothing) {
    UsePinnedUpdater();
    const Process update = Update("installer_publisher.exe", "genuine_setup.exe");
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_THAT(tav.InstallerRecord("genuine_setup.exe", kShowMs),
                ::testing::StartsWith("args=\r\n"));
    EXPECT_EQ(RunAsAdminFlag("genuine_setup.exe"), "WINXPSP3 RUNASADMIN");
    EXPECT_EQ(tav.Log(), "");
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
    ASSERT_TRUE(tav.StartService());
    const Process windowed = tav.StartProgram("TAV LAN Server.exe", "window");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.servedAs);
        if (row.pinned) UsePinnedUpdater();
        const std::string installer = tav.Path(row.servedAs),
                          earlier = "the installer of the last update";
        ASSERT_TRUE(wintest::WriteFileBytes(installer, earlier));
        const Process update = Update(row.fixture, row.servedAs);
        const HWND dialog = Dialog(update);
        ASSERT_NE(dialog, nullptr);
        EXPECT_THAT(Content(dialog),
                    HasSubstr("The installer " + installer + " failed its signature check."));
        EXPECT_FALSE(tav.AnyStagingFile()) << "the refused download is deleted";
        ASSERT_TRUE(PressTheOnlyButton(dialog));
        EXPECT_EQ(update.Exit(kEndMs), 0);

        EXPECT_TRUE(windowed.Running());
        EXPECT_TRUE(ServiceRunning());
        EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command"), std::nullopt);
        EXPECT_EQ(RunAsAdminFlag(row.servedAs), std::nullopt);
        // A started installer writes its record at once: give it the time it
        // takes in the accepted case.
        EXPECT_EQ(tav.InstallerRecord(row.servedAs, 3000), "");
        EXPECT_EQ(wintest::ReadFileBytes(installer), earlier);
        EXPECT_THAT(tav.Log(),
                    HasSubstr("frmMain.InstallUpdate Refused " + installer + ": " + row.reason));
    }
}

}  // namespace
}  // namespace tav::e2e
