// The update manager as TAV starts it and a user meets it: a demo TAV
// installation, dummy TAV programs and service, a loopback server with a
// dummy installer. This test program is the user: it reads the window and
// its dialogs from outside and presses their buttons.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>

#include "e2e_support.h"
#include "platform/win32/text.h"

namespace tav::e2e {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// Generous bounds: Wine on a busy machine is slow to start programs.
constexpr unsigned long kShowMs = 30000;
constexpr unsigned long kEndMs = 60000;
constexpr long kWatchdogExitCode = 6;

const char kClosingText[] = "Closing TAV and all related programs before installing update.";

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The update program's window, read and pressed from outside.
class UpdateWindow {
public:
    explicit UpdateWindow(const Process& p) {
        const DWORD pid = p.id();
        WaitFor([&] { return (hwnd_ = FindTopWindow(pid, kMainWindowClass)) != nullptr || !p.Running(); },
                kShowMs);
    }
    HWND hwnd() const { return hwnd_; }
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    std::string Status() const { return Text(Item(kStatusId)); }
    int Bar() const { return BarPosition(Item(kBarId)); }
    bool BarShown() const { return ::IsWindowVisible(Item(kBarId)) != FALSE; }
    void Abort() const { Click(Item(kAbortId)); }
    // Waits until the status line starts with prefix.
    bool WaitStatus(const std::string& prefix, unsigned long ms = kShowMs) const {
        return WaitFor([&] { return Status().rfind(prefix, 0) == 0 || !::IsWindow(hwnd_); }, ms) &&
               Status().rfind(prefix, 0) == 0;
    }

private:
    HWND hwnd_ = nullptr;
};

// The message dialog the program shows, read and answered from outside.
HWND WaitDialog(const Process& p) {
    HWND dialog = nullptr;
    WaitFor([&] { return (dialog = FindTopWindow(p.id(), kDialogClass)) != nullptr || !p.Running(); },
            kShowMs);
    return dialog;
}

class UpdateE2eTest : public ::testing::Test {
protected:
    DemoInstallation tav;
};

// The download is spread over a few seconds so that there is time to act.
std::string SlowInstallerUrl(int ms) { return ServerUrl("/file/setup.exe?ms=" + std::to_string(ms)); }

TEST_F(UpdateE2eTest, UpdateClosesTavAndStartsTheInstallerFromTheInstallationFolder) {
    // An installer from an earlier update: kept as the backup.
    const std::string earlier = "the installer of the last update";
    ASSERT_TRUE(WriteFileBytes(tav.Path("setup.exe"), earlier));
    ASSERT_TRUE(WriteFileBytes(tav.Path("setup.old"), "the one before"));
    ASSERT_TRUE(tav.StartService());
    Process watched = tav.StartProgram("TAV Core Server.exe", "watchdog");
    Process windowed = tav.StartProgram("TAV LAN Server.exe", "window");
    Process bystander = tav.StartProgram("Notes.exe", "window");

    Process update = tav.StartUpdate(SlowInstallerUrl(1500) + "|demo");
    UpdateWindow window(update);
    ASSERT_NE(window.hwnd(), nullptr);
    EXPECT_EQ(Text(window.hwnd()), "TAV Update Manager");
    EXPECT_EQ(Text(window.Item(kAbortId)), "Abort");
    EXPECT_THAT(Text(window.Item(kVersionId)), StartsWith("Version "));
    EXPECT_EQ(Text(window.Item(kNameId)), "TAV Update Manager");
    EXPECT_THAT(Text(window.Item(kCopyrightId)), StartsWith("Copyright"));
    EXPECT_FALSE(Checked(window.Item(kSilentId)));

    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_EQ(watched.Exit(10000), kWatchdogExitCode) << "it obeyed the watchdog's shutdown";
    EXPECT_NE(windowed.Exit(10000), -1) << "closed by the update";
    EXPECT_TRUE(bystander.Running()) << "not a TAV program";
    EXPECT_FALSE(DemoInstallation::ServiceRunning());

    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command"), "Shutdown");
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown"), 99u);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kLayersKey, LayersValueName("setup.exe")),
              "WINXPSP3 RUNASADMIN");

    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.old")), earlier);
    const std::string served = wintest::ReadFileBytes(wintest::HostPath(TAV_E2E_WWW "/setup.exe"));
    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.exe")), served);
    // The installer runs by itself after the program ended.
    ASSERT_TRUE(WaitFor([&] { return !tav.InstallerRecord().empty(); }, kShowMs));
    const std::string record = tav.InstallerRecord();
    EXPECT_THAT(record, StartsWith("args=\r\n"));
    EXPECT_THAT(Lower(record), HasSubstr("cwd=" + Lower(tav.folder())));
    // A development build starts the unsigned installer, and a success
    // leaves the log of failures alone.
    EXPECT_EQ(tav.Log(), "");
}

TEST_F(UpdateE2eTest, SilentTickedDuringTheDownloadPassesSlashS) {
    Process update = tav.StartUpdate(SlowInstallerUrl(4000) + "|demo");
    UpdateWindow window(update);
    ASSERT_NE(window.hwnd(), nullptr);
    ASSERT_TRUE(window.WaitStatus("Downloading setup.exe "));
    // Part way: the bar and the status line follow the bytes.
    ASSERT_TRUE(WaitFor([&] { return window.Bar() >= 30 || !update.Running(); }, kShowMs));
    EXPECT_TRUE(window.BarShown());
    EXPECT_THAT(window.Status(), HasSubstr(" K Bytes  ("));
    EXPECT_TRUE(Screenshot(window.hwnd(), "e2e_main_window_downloading"));

    Click(window.Item(kSilentId));
    EXPECT_TRUE(WaitFor([&] { return Checked(window.Item(kSilentId)); }, 5000));

    EXPECT_EQ(update.Exit(kEndMs), 0);
    ASSERT_TRUE(WaitFor([&] { return !tav.InstallerRecord().empty(); }, kShowMs));
    EXPECT_THAT(tav.InstallerRecord(), StartsWith("args=/s\r\n"));
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown"), 99u)
        << "with no TAV program running, all is closed at once";
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command"), std::nullopt)
        << "no watched program: the watchdog is not asked";
}

TEST_F(UpdateE2eTest, MissingUrlShowsTheCriticalErrorAndItsButtonEndsTheProgram) {
    Process update = tav.StartUpdate("no address here");
    const HWND dialog = WaitDialog(update);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Text(dialog), "TAV Update Manager");
    EXPECT_THAT(Text(::GetDlgItem(dialog, kDialogMessageId)), HasSubstr("Error"));
    EXPECT_THAT(Text(::GetDlgItem(dialog, kDialogContentId)),
                AllOf(HasSubstr("Missing Download URL."), HasSubstr("Aborting Update Process!")));
    EXPECT_TRUE(Screenshot(dialog, "e2e_missing_url_dialog"));
    const std::vector<HWND> buttons = DialogButtons(dialog);
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_TRUE(update.Running()) << "the dialog waits for its answer";

    Click(buttons[0]);
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_EQ(tav.InstallerRecord(), "");
}

TEST_F(UpdateE2eTest, FailedSaveIsReportedAndNothingIsInstalled) {
    // TAV says it lives in a folder that is not there: the download has
    // nowhere to go.
    const std::string missing = tav.Path("gone");
    ASSERT_TRUE(WriteString(HKEY_LOCAL_MACHINE, kTavKey, "InstallLocation", missing));
    Process update = tav.StartUpdate(SlowInstallerUrl(0) + "|demo");
    const HWND dialog = WaitDialog(update);
    ASSERT_NE(dialog, nullptr);
    EXPECT_THAT(Text(::GetDlgItem(dialog, kDialogContentId)), HasSubstr("Error while saving"));
    const std::vector<HWND> buttons = DialogButtons(dialog);
    ASSERT_EQ(buttons.size(), 1u);
    Click(buttons[0]);
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_EQ(tav.InstallerRecord(), "");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kLayersKey, LayersValueName("setup.exe")), std::nullopt);
}

TEST_F(UpdateE2eTest, AnInstallerThatCannotTakeItsNameIsReportedAndNothingIsTouched) {
    // A folder holds the installer's name: the checked download cannot be
    // given it.
    ASSERT_TRUE(::CreateDirectoryW(tav::win32::Widen(tav.Path("setup.exe")).c_str(), nullptr));
    Process update = tav.StartUpdate(SlowInstallerUrl(0) + "|demo");
    const HWND dialog = WaitDialog(update);
    ASSERT_NE(dialog, nullptr);
    const std::string content = Text(::GetDlgItem(dialog, kDialogContentId));
    EXPECT_THAT(content, HasSubstr("Missing Installer"));
    EXPECT_THAT(content, HasSubstr("setup.exe"));
    const std::vector<HWND> buttons = DialogButtons(dialog);
    ASSERT_EQ(buttons.size(), 1u);
    Click(buttons[0]);
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_EQ(tav.StagingFiles(), std::vector<std::string>{});
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown"), std::nullopt);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kLayersKey, LayersValueName("setup.exe")), std::nullopt);
}

TEST_F(UpdateE2eTest, FailedDownloadSaysWhyAndWaitsForAbort) {
    ASSERT_TRUE(WriteFileBytes(tav.Path("setup.exe"), "the installer of the last update"));
    Process update = tav.StartUpdate(ServerUrl("/status/404/setup.exe") + "|demo");
    UpdateWindow window(update);
    ASSERT_NE(window.hwnd(), nullptr);
    ASSERT_TRUE(window.WaitStatus("Download of setup.exe failed: "));
    EXPECT_THAT(window.Status(), HasSubstr("404"));
    EXPECT_EQ(update.Exit(1000), -1) << "the window stays for the user to read";
    EXPECT_THAT(tav.Log(), HasSubstr("frmMain.GetNetFile_DownloadFailed"));

    window.Abort();
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_EQ(tav.InstallerRecord(), "");
    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.exe")), "the installer of the last update");
    EXPECT_EQ(::GetFileAttributesW(tav::win32::Widen(tav.Path("setup.old")).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(tav.StagingFiles(), std::vector<std::string>{});
}

TEST_F(UpdateE2eTest, AbortDuringTheDownloadEndsWithoutInstalling) {
    Process update = tav.StartUpdate(SlowInstallerUrl(8000) + "|demo");
    UpdateWindow window(update);
    ASSERT_NE(window.hwnd(), nullptr);
    ASSERT_TRUE(window.WaitStatus("Downloading setup.exe"));
    window.Abort();
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_EQ(wintest::ReadFileBytes(tav.Path("setup.exe")), "") << "no half file under the real name";
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kLayersKey, LayersValueName("setup.exe")), std::nullopt);
}

TEST_F(UpdateE2eTest, AbortWhileTavProgramsAreClosingStartsNoInstaller) {
    // A watched program that ignores the watchdog holds the close stage
    // for many seconds: the window must answer Abort meanwhile.
    Process stubborn = tav.StartProgram("TAVCOM.EXE", "windowless");
    Process update = tav.StartUpdate(SlowInstallerUrl(0) + "|demo");
    UpdateWindow window(update);
    ASSERT_NE(window.hwnd(), nullptr);
    ASSERT_TRUE(window.WaitStatus(kClosingText));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command"), "Shutdown");
    window.Abort();
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_TRUE(stubborn.Running());
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown"), std::nullopt);
    // Time for an installer to have written its record, had one started.
    ::Sleep(1500);
    EXPECT_EQ(tav.InstallerRecord(), "");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kLayersKey, LayersValueName("setup.exe")),
              "WINXPSP3 RUNASADMIN")
        << "set before the close stage began";
}

TEST_F(UpdateE2eTest, SecondInstanceEndsAtOnceAndLeavesTheFirstAlone) {
    Process first = tav.StartUpdate(SlowInstallerUrl(8000) + "|demo");
    UpdateWindow window(first);
    ASSERT_NE(window.hwnd(), nullptr);

    Process second = tav.StartUpdate(SlowInstallerUrl(0) + "|demo");
    bool secondShowedWindow = false;
    long code = -1;
    WaitFor([&] {
        secondShowedWindow = secondShowedWindow || FindTopWindow(second.id(), kMainWindowClass) ||
                             FindTopWindow(second.id(), kDialogClass);
        code = second.Exit(0);
        return code != -1;
    }, kEndMs);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(secondShowedWindow);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(window.WaitStatus("Downloading setup.exe"));

    window.Abort();
    EXPECT_EQ(first.Exit(kEndMs), 0);
    EXPECT_EQ(tav.Log(), "");
    EXPECT_EQ(tav.InstallerRecord(), "");
}

}  // namespace
}  // namespace tav::e2e
