// The update as the main window drives it: load, download session, install
// step and Abort, on fakes.
#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "error_log/CErrorUpdate.h"
#include "fakes/fake_main_window.h"
#include "fakes/fake_platform.h"
#include "main_window/frmMain.h"

namespace tav {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kUrl = "http://127.0.0.1:8080/files/setup.exe";
const std::string kFolder = "C:\\Program Files\\TAV";

class FrmMainTest : public ::testing::Test {
protected:
    FrmMainTest() : services(view), form(view, services) {
        sInstallLocation = kFolder;
        fake.files.AddFolder(kFolder);
        fake.app.argumentText = kUrl + "|TAV";
    }
    std::string Log() { return fake.files.Content(kFolder + "\\LOGS\\TAVerror.log"); }
    // Loads the window and lets the start timer tick once.
    void Start() {
        form.Form_Load();
        form.TimerBeginUpdate_Timer();
        services.calls.clear();
    }

    fakes::FakePlatform fake;
    fakes::FakeMainWindowView view;
    fakes::FakeUpdateServices services;
    frmMain form;
};

TEST_F(FrmMainTest, LoadSetsIconPositionVersionAndArmsTheTimer) {
    form.Form_Load();
    EXPECT_THAT(services.calls, ElementsAre("SetIcon 4660 TAV true"));
    EXPECT_EQ(view.left, (1024 * 15 - 6000) / 2);
    EXPECT_EQ(view.top, (768 * 15 - 3000) / 5);
    EXPECT_EQ(view.version, "Version 7.6.10");
    EXPECT_EQ(form.sDownloadURL(), kUrl);
    EXPECT_EQ(form.sInstallerFile(), "setup.exe");
    EXPECT_TRUE(view.timerEnabled);
}

TEST_F(FrmMainTest, WithoutUrlTheTimerStillRunsAndReportsItThenCloses) {
    fake.app.argumentText = kUrl;  // no "|"
    form.Form_Load();
    EXPECT_TRUE(view.timerEnabled);
    services.calls.clear();
    form.TimerBeginUpdate_Timer();
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_THAT(services.calls, ElementsAre("Dialog Missing Download URL. Aborting Update Process!"));
    EXPECT_EQ(view.closes, 1);
    EXPECT_FALSE(view.statusVisible);
}

// The earlier installer stays in place through the load and the download;
// only an installer that passed its check takes its name.
TEST_F(FrmMainTest, TheEarlierInstallerIsMovedAsideOnlyOnceTheNewOneHasPassed) {
    fake.app.argumentText = "http://h/x/Setup.exe|";
    fake.files.AddFile(kFolder + "\\Setup.exe", "previous");
    fake.files.AddFile(kFolder + "\\setup.old", "oldest");
    services.files = {kFolder + "\\Setup.exe", kFolder + "\\setup.old"};
    Start();
    EXPECT_EQ(fake.files.Content(kFolder + "\\Setup.exe"), "previous");
    form.GetNetFile_DownloadComplete(10);
    EXPECT_FALSE(fake.files.HasFile(kFolder + "\\Setup.exe"));
    EXPECT_EQ(fake.files.Content(kFolder + "\\setup.old"), "previous");
    EXPECT_EQ(fake.files.StoredName(kFolder + "\\setup.old"), "setup.old");
    EXPECT_THAT(services.calls, ::testing::Contains("RenameStaged Setup.exe"));
    EXPECT_EQ(Log(), "");
}

// Whatever goes wrong before the start, the earlier installer keeps its
// name and the staged file is deleted.
TEST_F(FrmMainTest, ARefusedStageOrAFailedRenameLeavesTheEarlierInstallerInPlace) {
    for (int road = 0; road < 3; ++road) {
        fakes::FakeMainWindowView v;
        fakes::FakeUpdateServices s(v);
        frmMain f(v, s);
        fake.files.AddFile(kFolder + "\\setup.exe", "previous");
        s.files = {kFolder + "\\setup.exe"};
        s.verdictAccepted = road != 0;
        s.saveSucceeds = road != 1;
        s.renameFails = road == 2;
        f.Form_Load();
        f.TimerBeginUpdate_Timer();
        f.GetNetFile_DownloadComplete(10);
        EXPECT_EQ(fake.files.Content(kFolder + "\\setup.exe"), "previous") << road;
        EXPECT_FALSE(fake.files.HasFile(kFolder + "\\setup.old")) << road;
        for (const std::string& call : s.calls) {
            EXPECT_THAT(call, ::testing::Not(::testing::StartsWith("StartInstaller"))) << road;
            EXPECT_THAT(call, ::testing::Not(::testing::StartsWith("SetRunAsAdmin"))) << road;
        }
        EXPECT_EQ(std::count(s.calls.begin(), s.calls.end(), "DeleteStaged"), road == 1 ? 0 : 1) << road;
        EXPECT_TRUE(f.closed());
    }
}

// A URL naming a TAV program: a failed parse, logged; nothing is staged,
// renamed or started, even once the download completes.
TEST_F(FrmMainTest, ARefusedNameIsAFailedParseAndNothingIsWritten) {
    fake.app.argumentText = "http://h/TAV%20Core%20Server.exe|";
    fake.files.AddFile(kFolder + "\\TAV Core Server.exe", "TAV itself");
    services.files = {kFolder + "\\TAV Core Server.exe"};
    Start();
    EXPECT_EQ(form.sInstallerFile(), "");
    EXPECT_THAT(Log(), HasSubstr("frmMain.Form_Load \r\nERROR: TAVUpdate, 52, Bad file name or number, 0"));
    form.GetNetFile_DownloadComplete(10);
    EXPECT_THAT(services.calls, ElementsAre("Dialog Error while saving " + kFolder + "\\"));
    EXPECT_EQ(fake.files.Content(kFolder + "\\TAV Core Server.exe"), "TAV itself");
}

TEST_F(FrmMainTest, StartShowsTheBarAndStartsAFreshDownload) {
    form.Form_Load();
    services.calls.clear();
    form.TimerBeginUpdate_Timer();
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_TRUE(view.barVisible);
    EXPECT_TRUE(view.statusVisible);
    EXPECT_THAT(services.calls, ElementsAre("Status Downloading setup.exe", "DownloadStart " + kUrl + " setup.exe 16"));
    EXPECT_THAT(view.barWrites, ElementsAre(0));
}

TEST_F(FrmMainTest, StatusWritesTheBarForEveryValueButMinusOneAndYields) {
    form.Status("a", -1);
    form.Status("b", 0);
    form.Status("c", 100);
    EXPECT_THAT(view.barWrites, ElementsAre(0, 100));
    EXPECT_EQ(view.status, "c");
    EXPECT_EQ(fake.events.doEventsCalls, 3);
    form.Status("d", 101);  // the bar refuses it: logged, text shown, events still run
    EXPECT_EQ(view.status, "d");
    EXPECT_EQ(fake.events.doEventsCalls, 4);
    EXPECT_THAT(Log(), HasSubstr("frmMain.Status \r\nERROR: TAVUpdate, 380, Invalid property value, 0"));
}

TEST_F(FrmMainTest, ProgressRefreshesOnTheFirstAndEverySixthEvent) {
    Start();
    form.GetNetFile_DownloadProgress(2500000, 1250000);
    EXPECT_EQ(view.status, "Downloading setup.exe 1,250 of 2,500 K Bytes  (50%)");
    EXPECT_EQ(view.bar, 50);
    for (int i = 0; i < 4; ++i) form.GetNetFile_DownloadProgress(2500000, 2000000);
    EXPECT_EQ(view.status, "Downloading setup.exe 1,250 of 2,500 K Bytes  (50%)");
    form.GetNetFile_DownloadProgress(2500000, 2500000);
    EXPECT_EQ(view.status, "Downloading setup.exe 2,500 of 2,500 K Bytes  (100%)");
    EXPECT_EQ(view.bar, 100);
}

TEST_F(FrmMainTest, ProgressWithoutTotalShowsBytesAndLogsNothing) {
    Start();
    view.bar = 0;
    for (int i = 0; i < 6; ++i) form.GetNetFile_DownloadProgress(0, 1500 * (i + 1));
    EXPECT_EQ(view.status, "Downloading setup.exe 9 K Bytes");
    EXPECT_THAT(view.barWrites, ElementsAre(0));  // only the start's 0
    EXPECT_EQ(Log(), "");
}

TEST_F(FrmMainTest, FailedDownloadIsLoggedAndShownAndTheWindowStays) {
    Start();
    form.GetNetFile_DownloadFailed(404, "HTTP 404 Not Found");
    EXPECT_EQ(view.status, "Download of setup.exe failed: HTTP 404 Not Found");
    EXPECT_TRUE(view.barError);
    EXPECT_EQ(view.closes, 0);
    EXPECT_THAT(Log(), HasSubstr("frmMain.GetNetFile_DownloadFailed \r\nERROR: GetNetFile, 404, HTTP 404 Not Found, 0"));
}

TEST_F(FrmMainTest, FailedSaveNamesTheInstallationFolder) {
    Start();
    services.saveSucceeds = false;
    form.GetNetFile_DownloadComplete(10);
    EXPECT_THAT(services.calls, ElementsAre("StageInstaller " + kFolder,
                                            "Dialog Error while saving " + kFolder + "\\setup.exe"));
    EXPECT_EQ(view.closes, 1);
}

TEST_F(FrmMainTest, AnInstallerThatCannotTakeItsNameStopsBeforeAnythingIsTouched) {
    Start();
    services.renameFails = true;
    form.GetNetFile_DownloadComplete(10);
    EXPECT_THAT(services.calls,
                ElementsAre("StageInstaller " + kFolder, "Status Download of setup.exe complete.",
                            "VerifyInstaller " + kFolder + "\\staged", "RenameStaged setup.exe",
                            "Dialog Missing Installer " + kFolder + "\\setup.exe. Aborting Update Process!",
                            "DeleteStaged"));
    EXPECT_GE(view.closes, 1);
}

TEST_F(FrmMainTest, AnInstallerTheShellCannotStartIsLoggedAndShown) {
    Start();
    services.startSucceeds = false;
    form.GetNetFile_DownloadComplete(10);
    const std::string installer = kFolder + "\\setup.exe";
    EXPECT_THAT(std::vector<std::string>(services.calls.end() - 2, services.calls.end()),
                ElementsAre("ReleaseHold", "Dialog The installer " + installer +
                                               " could not be started: The system cannot find the file "
                                               "specified. Aborting Update Process!"));
    EXPECT_THAT(Log(), HasSubstr("frmMain.InstallUpdate \r\nERROR: TAVUpdate, 53, The system cannot find the file "
                                 "specified, 0"));
    EXPECT_GE(view.closes, 1);
}

class InstallStepTest : public FrmMainTest, public ::testing::WithParamInterface<bool> {};

TEST_P(InstallStepTest, TextsAndStepsComeInOrderAndTheInstallerStartsLast) {
    view.silent = GetParam();
    Start();
    form.GetNetFile_DownloadComplete(10);
    EXPECT_THAT(services.calls,
                ElementsAre("StageInstaller " + kFolder, "Status Download of setup.exe complete.",
                            "VerifyInstaller " + kFolder + "\\staged", "RenameStaged setup.exe",
                            "Status Setting setup.exe Properties.", "SetRunAsAdmin setup.exe",
                            std::string("Status ") + kClosingText, "ShutDownTAV",
                            std::string("Status ") + kClosingText + ".", "CloseAllTavProcesses",
                            std::string("Status ") + kBeginningText,
                            "StartInstaller " + kFolder + "\\setup.exe [" + (GetParam() ? "/s" : "") + "] " +
                                kFolder + "\\",
                            "ReleaseHold"));
    EXPECT_FALSE(view.barVisible);
    EXPECT_EQ(view.closes, 1);
    EXPECT_FALSE(services.stoppedEarly);
    EXPECT_EQ(Log(), "") << "the log is for failures only";
}

INSTANTIATE_TEST_SUITE_P(SilentOrNot, InstallStepTest, ::testing::Bool());

TEST_F(FrmMainTest, ARefusedInstallerIsReportedLoggedAndNothingIsTouched) {
    Start();
    services.verdictAccepted = false;
    services.verdictReason = "it is signed by another publisher (CN=Other)";
    form.GetNetFile_DownloadComplete(10);
    EXPECT_THAT(services.calls,
                ElementsAre("StageInstaller " + kFolder, "Status Download of setup.exe complete.",
                            "VerifyInstaller " + kFolder + "\\staged", "DeleteStaged",
                            "Dialog The installer " + kFolder +
                                "\\setup.exe failed its signature check. Aborting Update Process!"));
    EXPECT_GE(view.closes, 1);
    EXPECT_THAT(Log(), HasSubstr("frmMain.InstallUpdate Refused " + kFolder +
                                 "\\setup.exe: it is signed by another publisher (CN=Other)\r\n"));
}

// Abort pressed inside any yield of the install step: the window closes at
// once and the installer is never started.
TEST_F(FrmMainTest, AbortInsideAnyYieldNeverStartsTheInstaller) {
    for (int abortAt = 1; abortAt <= 8; ++abortAt) {
        fakes::FakeMainWindowView v;
        fakes::FakeUpdateServices s(v);
        frmMain f(v, s);
        fake.app.argumentText = kUrl + "|";
        f.Form_Load();
        f.TimerBeginUpdate_Timer();
        int yields = 0;
        fake.events.onDoEvents = [&] {
            if (++yields == abortAt) f.cmdAbort_Click();
        };
        f.GetNetFile_DownloadComplete(10);
        fake.events.onDoEvents = nullptr;
        for (const std::string& call : s.calls)
            EXPECT_THAT(call, ::testing::Not(::testing::StartsWith("StartInstaller"))) << abortAt;
        // A hold taken is always given back.
        const auto staged = std::count_if(s.calls.begin(), s.calls.end(),
                                          [](const std::string& c) { return c.rfind("StageInstaller", 0) == 0; });
        EXPECT_EQ(std::count(s.calls.begin(), s.calls.end(), "ReleaseHold") +
                      std::count(s.calls.begin(), s.calls.end(), "DeleteStaged"),
                  staged)
            << abortAt;
        EXPECT_GE(v.closes, 1);
        EXPECT_TRUE(f.closed());
    }
}

TEST_F(FrmMainTest, AbortDuringTheWatchdogWaitStopsTheWait) {
    Start();
    services.duringShutDown = [&] { form.cmdAbort_Click(); };
    form.GetNetFile_DownloadComplete(10);
    EXPECT_TRUE(services.stoppedEarly);
    EXPECT_THAT(std::vector<std::string>(services.calls.end() - 2, services.calls.end()),
                ElementsAre("ShutDownTAV", "ReleaseHold"));
}

TEST_F(FrmMainTest, AbortDuringTheDownloadClosesAndLaterEventsDoNothing) {
    Start();
    form.cmdAbort_Click();
    EXPECT_EQ(view.closes, 1);
    form.GetNetFile_DownloadProgress(100, 50);
    form.GetNetFile_DownloadComplete(100);
    EXPECT_THAT(services.calls, IsEmpty());
}

TEST_F(FrmMainTest, AnyMouseButtonOnTheLabelsMovesTheWindow) {
    for (const char* control : {"Form", "aicAlphaImage1", "lblName", "lblVersion", "LabelCopyright", "txtStatus"})
        form.MouseDown(control);
    EXPECT_EQ(view.moves, 6);
}

TEST_F(FrmMainTest, UnloadReleasesTheLogger) {
    form.Form_Unload();
    EXPECT_TRUE(form.closed());
    ErrorLog().Log("after.Unload");  // created afresh on use
    EXPECT_THAT(Log(), HasSubstr("after.Unload \r\n"));
}

}  // namespace
}  // namespace tav
