// The update as the main window drives it: load, download session, install
// step and Abort, read from one journal of the window's and services' calls.
#include <gmock/gmock.h>

#include "app/state.h"
#include "error_log/CErrorUpdate.h"
#include "fakes/fake_main_window.h"
#include "fakes/fake_platform.h"
#include "main_window/frmMain.h"

namespace tav {
namespace {

using ::testing::AnyOf;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Calls = std::vector<std::string>;

Calls operator+(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::string Fatal(const std::string& text) {
    return "Dialog " + text + ". Aborting Update Process!";
}

const std::string kUrl = "http://127.0.0.1:8080/files/setup.exe";
const std::string F = "C:\\Program Files\\TAV";

class FrmMainTest : public ::testing::Test {
protected:
    FrmMainTest() { fake.files.AddFolder(location.folder = F); }
    std::string Log() { return fake.files.Content(location.folder + "\\LOGS\\TAVerror.log"); }
    // A window of its own, loaded and downloading, its journal empty.
    struct Session {
        Session(fakes::FakePlatform& fake, const std::string& arguments)
            : form{ui, ui, fake.state.location, fake.state.log} {
            ui.arguments = arguments;
        }
        void Start() {
            form.Form_Load();
            form.TimerBeginUpdate_Timer();
            ui.calls.clear();
        }
        fakes::FakeMainWindow ui;
        frmMain form;
    };
    fakes::FakePlatform fake;  // under the error log
    InstallLocation& location = fake.state.location;
};

TEST_F(FrmMainTest, LoadPlacesTheWindowAndTheTimerStartsTheDownload) {
    Session s(fake, kUrl + "|");
    s.form.Form_Load();
    s.form.TimerBeginUpdate_Timer();
    EXPECT_THAT(s.ui.calls, ElementsAre("SetIcon 4660 TAV app", "Move 4680 1704", "Version 7.6.10",
                                        "TimerInterval 10", "TimerOn", "TimerOff", "ShowBar",
                                        "ShowStatus", "Status Downloading setup.exe", "Bar 0",
                                        "Download " + kUrl + " setup.exe 16 into " + F))
        << "the start";
}

// What can be known before the download is said then, and nothing is
// downloaded: an unusable installation folder first, then the address.
TEST_F(FrmMainTest, RefusalsKnownFromTheStartAreShownBeforeAnyDownload) {
    // 199 + 1 + 60 units: one more than Windows takes.
    const std::string longFolder = "C:\\" + std::string(196, 'f');
    const std::string longName = std::string(56, 's') + ".exe";
    const struct {
        std::string arguments;
        std::string folder;
        std::string dialog;
        bool logged;  // by the window; Main logged the folder's problem
    } rows[] = {
        {"http://h/setup.msi|", F,
         "The installer name \"setup.msi\" in the download URL names a Windows Installer package "
         "(.msi), which the update cannot start",
         true},
        {"http://h/dir/|", F, "The download URL http://h/dir/ names no installer file", true},
        {"http://h/" + longName + "|", longFolder,
         "The installer path " + longFolder + "\\" + longName + " is longer than Windows allows (" +
             "198 characters for the installation folder with this installer name)",
         true},
        {"http://h/%E2%82%AC.exe|", "", "The TAV installation folder is not set", false},
        {kUrl, F, "Missing Download URL", false},  // no "|": no address
    };
    for (const auto& row : rows) {
        location.folder = row.folder;
        fake.files.AddFolder(row.folder);
        location.problem = row.folder.empty() ? row.dialog : "";
        Session s(fake, row.arguments);
        s.form.Form_Load();
        s.ui.calls.clear();
        s.form.TimerBeginUpdate_Timer();
        EXPECT_THAT(s.ui.calls, ElementsAre("TimerOff", Fatal(row.dialog), "Close"))
            << row.arguments;
        const std::string entry = "frmMain.Form_Load \r\nERROR: TAVUpdate, 52, ";
        EXPECT_EQ(Log().find(entry + row.dialog.substr(0, 30)) != std::string::npos, row.logged)
            << "logged or not: " << row.arguments;
    }
    // One character less in the folder and the same installer fits.
    location.problem.clear();
    location.folder = longFolder.substr(0, longFolder.size() - 1);
    Session fits(fake, "http://h/" + longName + "|");
    fits.form.Form_Load();
    fits.form.TimerBeginUpdate_Timer();
    EXPECT_EQ(fits.ui.calls.back(),
              "Download http://h/" + longName + " " + longName + " 16 into " + location.folder)
        << "a path that fits is refused";
}

TEST_F(FrmMainTest, StatusWritesTheBarForEveryValueButMinusOneAndAlwaysYields) {
    Session s(fake, kUrl + "|");
    int yields = 0;
    s.ui.onYield = [&] { ++yields; };
    for (int16_t value : {-1, 0, 100, 101}) s.form.Status("t" + std::to_string(value), value);
    EXPECT_THAT(s.ui.calls, ElementsAre("Status t-1", "Status t0", "Bar 0", "Status t100",
                                        "Bar 100", "Status t101"))
        << "the bar";
    EXPECT_EQ(yields, 4) << "a status did not yield";
    EXPECT_THAT(Log(),
                HasSubstr("frmMain.Status \r\nERROR: TAVUpdate, 380, Invalid property value, 0"))
        << "a bad bar value";
}

// A failure is logged and shown, and the window stays for the user to read.
TEST_F(FrmMainTest, ProgressShowsTheFirstAndEveryFifthEventAfterItAndAFailureWhy) {
    Session s(fake, kUrl + "|");
    s.Start();
    for (int32_t n = 1; n <= 11; ++n) s.form.GetNetFile_DownloadProgress(2500000, n * 200000);
    for (int32_t n = 12; n <= 16; ++n) s.form.GetNetFile_DownloadProgress(0, 9000);
    s.form.GetNetFile_DownloadProgress(0, 9500);  // the 17th, without a total
    EXPECT_THAT(s.ui.calls, ElementsAre("Status Downloading setup.exe 200 of 2,500 K Bytes  (8%)",
                                        "Bar 8", HasSubstr("(48%)"), "Bar 48", HasSubstr("(88%)"),
                                        "Bar 88", "Status Downloading setup.exe 9 K Bytes"))
        << "the events shown";
    s.ui.calls.clear();
    s.form.GetNetFile_DownloadFailed(404, "HTTP 404 Not Found");
    EXPECT_THAT(s.ui.calls,
                ElementsAre("BarError", "Status Download of setup.exe failed: HTTP 404 Not Found"))
        << "the failure shown";
    EXPECT_THAT(Log(), HasSubstr("frmMain.GetNetFile_DownloadFailed \r\nERROR: GetNetFile, 404, "
                                 "HTTP 404 Not Found, 0"))
        << "the failure's entry";
}

// Every road from a finished download: the earlier installer moves aside
// only for one that passed and took its name, and is back when it could not.
TEST_F(FrmMainTest, TheInstallStepsOutcomes) {
    const std::string exe = F + "\\setup.exe";
    const std::string old = F + "\\setup.old";
    const Calls done = {"Take", "Status Download of setup.exe complete.", "HideBar", "Verify"};
    const Calls aside = {"Rename " + exe + " " + old};
    const Calls ready = {"Name setup.exe", "Prepare"};
    const Calls run = {"Status Setting setup.exe Properties.",      "RunAsAdmin setup.exe",
                       std::string("Status ") + kClosingText,       "ShutDownTAV",
                       std::string("Status ") + kClosingText + ".", "CloseAll",
                       std::string("Status ") + kBeginningText};
    const Calls restored = {"Remove " + exe, "Rename " + old + " " + exe};
    const std::string started = "Start " + exe + " [] " + F + "\\";
    const std::string exists =
        "frmMain.InstallUpdate \r\nERROR: TAVUpdate, 58, File already exists";
    const struct {
        const char* name;
        std::function<void(fakes::FakeMainWindow&)> setUp;
        Calls calls;
        std::string log;
    } rows[] = {
        {"silent, with an earlier backup",
         [&](auto& w) {
             w.silent = true;
             w.files = {exe, old};
         },
         done + Calls{"Remove " + old} + aside + ready + run +
             Calls{"Start " + exe + " [/s] " + F + "\\", "Release", "Close"},
         ""},
        // The backup is logged, not fatal: the update goes on over the earlier installer.
        {"backup name taken by a folder",
         [&](auto& w) {
             w.files = {exe};
             w.folders = {old};
         },
         done + aside + Calls{"Name setup.exe replacing", "Prepare"} + run +
             Calls{started, "Release", "Close"},
         exists},
        {"nothing arrived",
         [](auto& w) { w.saves = false; },
         {"Take", "Dialog Error while saving " + exe, "Close"},
         ""},
        // Refused in the digest's own words, and the digest reaches the check.
        {"not the expected digest",
         [&](auto& w) {
             w.arguments = kUrl + "|SHA256=" + std::string(64, 'A') + "\"";
             w.verdict = {false, "its SHA-256 is 00", "does not match the expected digest"};
         },
         Calls{"Take", "Status Download of setup.exe complete.", "HideBar", "Verify aaaaaaaa",
               "DeleteStaged",
               Fatal("The installer " + exe + " does not match the expected digest"), "Close",
               "Close"},
         "frmMain.InstallUpdate Refused " + exe + ": its SHA-256 is 00\r\n"},
        {"name taken",
         [&](auto& w) {
             w.files = {exe};
             w.renames = false;
         },
         done + aside +
             Calls{"Name setup.exe", "Rename " + old + " " + exe, Fatal("Missing Installer " + exe),
                   "Close", "DeleteStaged", "Close"},
         exists},
        // Refused after its placing but before any TAV program is touched:
        // the folder is as it was.
        {"not made ready",
         [&](auto& w) {
             w.files = {exe};
             w.prepares = false;
         },
         done + aside + ready + Calls{"Release"} + restored +
             Calls{Fatal("The installer " + exe +
                         " could not be made ready to start: Permission denied"),
                   "Close", "Close"},
         "frmMain.InstallUpdate \r\nERROR: TAVUpdate, 70, Permission denied, 0"},
        {"not started", [](auto& w) { w.starts = false; },
         done + ready + run +
             Calls{started, "Release",
                   Fatal("The installer " + exe +
                         " could not be started: The system cannot find the file specified"),
                   "Close"},
         "frmMain.InstallUpdate \r\nERROR: TAVUpdate, 53, The system cannot find the file"},
    };
    for (const auto& row : rows) {
        fake.files.AddFile(F + "\\LOGS\\TAVerror.log");
        Session s(fake, kUrl + "|");
        row.setUp(s.ui);
        s.Start();
        s.form.GetNetFile_DownloadComplete();
        EXPECT_EQ(s.ui.calls, row.calls) << row.name;
        EXPECT_EQ(Log().empty(), row.log.empty()) << row.name << ": logged or not";
        EXPECT_THAT(Log(), HasSubstr(row.log)) << row.name;
    }
}

// Abort before the download's events (-1), during the installer's check
// (-2), inside any yield of its end and the install step, or inside the
// watchdog wait (0): nothing more happens.
TEST_F(FrmMainTest, AbortInsideAnyYieldNeverStartsTheInstaller) {
    for (int abortAt = -2; abortAt <= 9; ++abortAt) {
        Session s(fake, kUrl + "|");
        s.Start();
        int yields = 0;
        s.ui.onYield = [&] {
            if (++yields == abortAt) s.form.cmdAbort_Click();
        };
        if (abortAt == 0) s.ui.onShutDown = [&] { s.form.cmdAbort_Click(); };
        if (abortAt == -2) s.ui.onVerify = [&] { s.form.cmdAbort_Click(); };
        if (abortAt == -1) {
            s.form.cmdAbort_Click();
            s.form.GetNetFile_DownloadProgress(100, 50);
            s.form.GetNetFile_DownloadFailed(404, "x");
        }
        s.form.GetNetFile_DownloadComplete();
        // Once closed, nothing but hiding and letting go: no step, no start.
        const Calls& c = s.ui.calls;
        EXPECT_THAT(Calls(std::ranges::find(c, "Close"), c.end()),
                    Each(AnyOf("Close", "HideBar", "Release", "DeleteStaged")))
            << "a step after an Abort at " << abortAt;
        const auto letGo = std::ranges::count(c, "Release") + std::ranges::count(c, "DeleteStaged");
        EXPECT_EQ(letGo, abortAt == -1 ? 0 : 1) << "the file not let go once, Abort at " << abortAt;
        const bool named =
            std::ranges::any_of(c, [](auto& call) { return call.starts_with("Name"); });
        EXPECT_FALSE(abortAt == -2 && named) << "placed after an Abort during the check";
        EXPECT_EQ(s.ui.stoppedEarly, abortAt == 0)
            << "the watchdog wait not stopped at " << abortAt;
    }
}

TEST_F(FrmMainTest, AnyMouseButtonOnTheLabelsDragsTheWindowAndUnloadReleasesTheLog) {
    Session s(fake, kUrl + "|");
    for (const char* control :
         {"Form", "aicAlphaImage1", "lblName", "lblVersion", "LabelCopyright", "txtStatus"})
        s.form.MouseDown(control);
    EXPECT_EQ(s.ui.calls, Calls(6, "DragWindow")) << "a label does not drag the window";
    s.form.Form_Unload();
    EXPECT_TRUE(s.form.closed()) << "unloaded but not closed";
    fake.state.log.Log("after.Unload");
    EXPECT_THAT(Log(), HasSubstr("after.Unload \r\n")) << "no log after the unload";
}

}  // namespace
}  // namespace tav
