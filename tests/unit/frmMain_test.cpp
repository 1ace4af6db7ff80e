// The update as the main window drives it: load, download session, install
// step and Abort, read from one journal of the window's and services' calls;
// the command line TAV gives it, the names and texts derived from it, and
// the number rules under them.

#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include <cmath>

#include "error_log/CErrorUpdate.h"
#include "fakes/fake_main_window.h"
#include "fakes/fake_platform.h"
#include "main_window/command_line.h"
#include "main_window/aside.h"
#include "main_window/frmMain.h"
#include "core/number_text.h"

namespace tav {
namespace {

using ::testing::AnyOf;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Calls = std::vector<std::string>;
Calls operator+(Calls a, const Calls& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

const std::string kUrl = "http://127.0.0.1:8080/files/setup.exe";
const std::string F = "C:\\Program Files\\TAV";

class FrmMainTest : public ::testing::Test {
protected:
    FrmMainTest() {
        fake.files.AddFolder(location.folder = F);
        ui.arguments = kUrl + "|";
    }
    std::string Log() { return fake.files.Content(F + "\\LOGS\\TAVerror.log"); }
    static void Start(fakes::FakeMainWindow& w, frmMain& f) {
        f.Form_Load(), f.TimerBeginUpdate_Timer(), w.calls.clear();
    }

    fakes::FakePlatform fake;  // under the error log
    InstallLocation& location = fake.state.location;
    fakes::FakeMainWindow ui;
    frmMain form{ui, ui, location, fake.state.log};
};

TEST_F(FrmMainTest, LoadPlacesTheWindowAndTheTimerStartsTheDownloadOrReportsAMissingAddress) {
    form.Form_Load();
    form.TimerBeginUpdate_Timer();
    EXPECT_THAT(ui.calls,
                ElementsAre("SetIcon 4660 TAV app", "Move 4680 1704", "Version 7.6.10", "TimerOn",
                            "TimerOff", "ShowBar", "ShowStatus", "Status Downloading setup.exe",
                            "Bar 0", "Download " + kUrl + " setup.exe 16 into " + F));
    ui.arguments = kUrl;  // no "|": no address, and nothing after the critical error
    form.Form_Load(), ui.calls.clear(), form.TimerBeginUpdate_Timer();
    EXPECT_THAT(
        ui.calls,
        ElementsAre("TimerOff", "Dialog Missing Download URL. Aborting Update Process!", "Close"));
}

// What can be known before the download is said then, and nothing is
// downloaded: an unusable installation folder first, then the address.
TEST_F(FrmMainTest, RefusalsKnownFromTheStartAreShownBeforeAnyDownload) {
    // 199 + 1 + 60 units: one more than Windows takes.
    const std::string longFolder = "C:\\" + std::string(196, 'f'),
                      longName = std::string(56, 's') + ".exe";
    const struct {
        std::string arguments, folder, folderProblem, dialog, log;
    } rows[] = {
        {"http://h/setup.msi|", F, "",
         "The installer name \"setup.msi\" in the download URL names a Windows Installer package "
         "(.msi), "
         "which the update cannot start",
         "frmMain.Form_Load \r\nERROR: TAVUpdate, 52, The installer name \"setup.msi\""},
        {"http://h/TAV%20Core%20Server.exe|", F, "",
         "The installer name \"TAV Core Server.exe\" in the download URL names a file of the TAV "
         "system",
         "ERROR: TAVUpdate, 52"},
        {"http://h/dir/|", F, "", "The download URL http://h/dir/ names no installer file",
         "ERROR: TAVUpdate, 52"},
        {"http://h/" + longName + "|", longFolder, "",
         "The installer path " + longFolder + "\\" + longName + " is longer than Windows allows (" +
             "198 characters for the installation folder with this installer name)",
         "frmMain.Form_Load \r\nERROR: TAVUpdate, 52, The installer path"},
        {"http://h/%E2%82%AC.exe|", "", "The TAV installation folder is not set",
         "The TAV installation folder is not set", ""},  // Main logged that one
    };
    for (const auto& row : rows) {
        location.folder = row.folder;
        location.problem = row.folderProblem;
        fake.files.AddFile(location.folder + "\\LOGS\\TAVerror.log");
        fakes::FakeMainWindow w;
        frmMain f(w, w, location, fake.state.log);
        w.arguments = row.arguments;
        f.Form_Load();
        w.calls.clear();
        f.TimerBeginUpdate_Timer();
        EXPECT_THAT(
            w.calls,
            ElementsAre("TimerOff", "Dialog " + row.dialog + ". Aborting Update Process!", "Close"))
            << row.arguments;
        const std::string log = fake.files.Content(location.folder + "\\LOGS\\TAVerror.log");
        EXPECT_THAT(log, HasSubstr(row.log)) << "the log of " << row.arguments;
        EXPECT_EQ(log.empty(), row.log.empty()) << "the log of " << row.arguments;
    }
    // One character less in the folder and the same installer fits.
    location.problem.clear();
    location.folder = longFolder.substr(0, longFolder.size() - 1);
    ui.arguments = "http://h/" + longName + "|";
    form.Form_Load();
    form.TimerBeginUpdate_Timer();
    EXPECT_EQ(ui.calls.back(),
              "Download http://h/" + longName + " " + longName + " 16 into " + location.folder)
        << "a path that fits is downloaded";
}

TEST_F(FrmMainTest, StatusWritesTheBarForEveryValueButMinusOneAndAlwaysYields) {
    int yields = 0;
    ui.onYield = [&] { ++yields; };
    for (int16_t value : {-1, 0, 100, 101}) form.Status("t" + std::to_string(value), value);
    EXPECT_THAT(ui.calls, ElementsAre("Status t-1", "Status t0", "Bar 0", "Status t100", "Bar 100",
                                      "Status t101"));
    EXPECT_EQ(yields, 4);
    EXPECT_THAT(Log(),
                HasSubstr("frmMain.Status \r\nERROR: TAVUpdate, 380, Invalid property value, 0"));
}

// A failure is logged and shown, and the window stays for the user to read.
TEST_F(FrmMainTest, ProgressShowsTheFirstAndEveryFifthEventAfterItAndAFailureWhy) {
    Start(ui, form);
    for (int32_t n = 1; n <= 11; ++n) form.GetNetFile_DownloadProgress(2500000, n * 200000);
    form.GetNetFile_DownloadProgress(0, 9000);  // the 12th: not shown
    for (int32_t n = 13; n <= 16; ++n) form.GetNetFile_DownloadProgress(0, 9000);
    form.GetNetFile_DownloadProgress(0, 9500);  // the 17th, without a total
    EXPECT_THAT(ui.calls,
                ElementsAre("Status Downloading setup.exe 200 of 2,500 K Bytes  (8%)", "Bar 8",
                            "Status Downloading setup.exe 1,200 of 2,500 K Bytes  (48%)", "Bar 48",
                            "Status Downloading setup.exe 2,200 of 2,500 K Bytes  (88%)", "Bar 88",
                            "Status Downloading setup.exe 9 K Bytes"));
    ui.calls.clear();
    form.GetNetFile_DownloadFailed(404, "HTTP 404 Not Found");
    EXPECT_THAT(ui.calls,
                ElementsAre("BarError", "Status Download of setup.exe failed: HTTP 404 Not Found"));
    EXPECT_THAT(
        Log(),
        HasSubstr(
            "frmMain.GetNetFile_DownloadFailed \r\nERROR: GetNetFile, 404, HTTP 404 Not Found, 0"));
}

// Every road from a finished download: the earlier installer moves aside
// only for one that passed and took its name, and is back when it could not.
TEST_F(FrmMainTest, TheInstallStepsOutcomes) {
    const std::string exe = F + "\\setup.exe", old = F + "\\setup.old";
    const Calls done = {"Take", "Status Download of setup.exe complete.", "HideBar", "Verify"};
    const Calls ready = {"Name setup.exe", "Prepare"};
    const Calls run = {"Status Setting setup.exe Properties.",      "RunAsAdmin setup.exe",
                       std::string("Status ") + kClosingText,       "ShutDownTAV",
                       std::string("Status ") + kClosingText + ".", "CloseAll",
                       std::string("Status ") + kBeginningText};
    struct Row {
        const char* name;
        std::function<void(fakes::FakeMainWindow&)> setUp;
        Calls calls;
        std::string log;
    } rows[] = {
        {"silent, with an earlier backup",
         [&](auto& w) {
             w.silent = true, w.files = {exe, old};
         },
         done + Calls{"Remove " + old, "Rename " + exe + " " + old} + ready + run +
             Calls{"Start " + exe + " [/s] " + F + "\\", "Release", "Close"},
         ""},
        // The backup is logged, not fatal: the update goes on over the earlier installer.
        {"backup name taken by a folder", [&](auto& w) { w.files = {exe}, w.folders = {old}; },
         done + Calls{"Rename " + exe + " " + old, "Name setup.exe replacing", "Prepare"} + run +
             Calls{"Start " + exe + " [] " + F + "\\", "Release", "Close"},
         "frmMain.InstallUpdate \r\nERROR: TAVUpdate, 58, File already exists, 0"},
        {"refused",
         [&](auto& w) {
             w.files = {exe}, w.verdict = {false, "it is signed by another publisher"};
         },
         done + Calls{"DeleteStaged",
                      "Dialog The installer " + exe +
                          " failed its signature check. Aborting Update Process!",
                      "Close", "Close"},
         "frmMain.InstallUpdate Refused " + exe + ": it is signed by another publisher\r\n"},
        {"nothing arrived",
         [](auto& w) { w.saves = false; },
         {"Take", "Dialog Error while saving " + exe, "Close"},
         ""},
        // Refused in the digest's own words, and the digest reaches the check.
        {"not the expected digest",
         [&](auto& w) {
             w.arguments = kUrl + "|SHA256=" + std::string(64, 'A') + "\"";
             w.files = {exe},
             w.verdict = {false, "its SHA-256 is 00", "does not match the expected digest"};
         },
         Calls{"Take", "Status Download of setup.exe complete.", "HideBar", "Verify aaaaaaaa",
               "DeleteStaged",
               "Dialog The installer " + exe +
                   " does not match the expected digest. Aborting Update Process!",
               "Close", "Close"},
         "frmMain.InstallUpdate Refused " + exe + ": its SHA-256 is 00\r\n"},
        {"name taken", [&](auto& w) { w.files = {exe}, w.renames = false; },
         done + Calls{"Rename " + exe + " " + old, "Name setup.exe", "Rename " + old + " " + exe,
                      "Dialog Missing Installer " + exe + ". Aborting Update Process!", "Close",
                      "DeleteStaged", "Close"},
         "frmMain.InstallUpdate \r\nERROR: TAVUpdate, 58, File already exists, 0"},
        // Refused after its placing but before any TAV program is touched:
        // the folder is as it was.
        {"not made ready", [&](auto& w) { w.files = {exe}, w.prepares = false; },
         done + Calls{"Rename " + exe + " " + old} + ready +
             Calls{"Release", "Remove " + exe, "Rename " + old + " " + exe,
                   "Dialog The installer " + exe +
                       " could not be made ready to start: Permission denied. "
                       "Aborting Update Process!",
                   "Close", "Close"},
         "frmMain.InstallUpdate \r\nERROR: TAVUpdate, 70, Permission denied, 0"},
        {"not started", [](auto& w) { w.starts = false; },
         done + ready + run +
             Calls{"Start " + exe + " [] " + F + "\\", "Release",
                   "Dialog The installer " + exe +
                       " could not be started: The system cannot find the file specified. Aborting "
                       "Update Process!",
                   "Close"},
         "frmMain.InstallUpdate \r\nERROR: TAVUpdate, 53, The system cannot find the file "
         "specified, 0"},
    };
    for (const Row& row : rows) {
        fake.files.AddFile(F + "\\LOGS\\TAVerror.log");
        fakes::FakeMainWindow w;
        frmMain f(w, w, location, fake.state.log);
        w.arguments = kUrl + "|";
        row.setUp(w);
        Start(w, f);
        f.GetNetFile_DownloadComplete();
        EXPECT_EQ(w.calls, row.calls) << row.name;
        EXPECT_EQ(Log().empty(), row.log.empty()) << row.name;
        EXPECT_THAT(Log(), HasSubstr(row.log)) << row.name;
    }
}

// Abort before the download's events (-1), during the installer's check
// (-2), inside any yield of its end and the install step, or inside the
// watchdog wait (0): nothing more happens.
TEST_F(FrmMainTest, AbortInsideAnyYieldNeverStartsTheInstaller) {
    for (int abortAt = -2; abortAt <= 9; ++abortAt) {
        fakes::FakeMainWindow w;
        frmMain f(w, w, location, fake.state.log);
        w.arguments = kUrl + "|", Start(w, f);
        int yields = 0;
        w.onYield = [&] {
            if (++yields == abortAt) f.cmdAbort_Click();
        };
        if (abortAt == 0) w.onShutDown = [&] { f.cmdAbort_Click(); };
        if (abortAt == -2) w.onVerify = [&] { f.cmdAbort_Click(); };
        if (abortAt == -1)
            f.cmdAbort_Click(), f.GetNetFile_DownloadProgress(100, 50),
                f.GetNetFile_DownloadFailed(404, "x");
        f.GetNetFile_DownloadComplete();
        // Once closed, nothing but hiding and letting go: no step, no start.
        const Calls& c = w.calls;
        EXPECT_THAT(Calls(std::find(c.begin(), c.end(), "Close"), c.end()),
                    Each(AnyOf("Close", "HideBar", "Release", "DeleteStaged")))
            << abortAt;
        EXPECT_EQ(std::count(c.begin(), c.end(), "Release") +
                      std::count(c.begin(), c.end(), "DeleteStaged"),
                  abortAt != -1)
            << abortAt;
        const bool named = std::any_of(
            c.begin(), c.end(), [](const std::string& call) { return call.starts_with("Name"); });
        EXPECT_FALSE(abortAt == -2 && named) << "placed after an Abort during the check";
        EXPECT_EQ(w.stoppedEarly, abortAt == 0);
    }
}

TEST_F(FrmMainTest, AnyMouseButtonOnTheLabelsDragsTheWindowAndUnloadReleasesTheLog) {
    for (const char* control :
         {"Form", "aicAlphaImage1", "lblName", "lblVersion", "LabelCopyright", "txtStatus"})
        form.MouseDown(control);
    EXPECT_EQ(ui.calls, Calls(6, "DragWindow"));
    form.Form_Unload();
    EXPECT_TRUE(form.closed());
    fake.state.log.Log("after.Unload");  // the log outlives the window
    EXPECT_THAT(Log(), HasSubstr("after.Unload \r\n"));
}

// Whole-file work runs beside the window's events, not before or after
// them: it sees events handled while it runs, and its failure comes back.
TEST(AsideTest, EventsRunWhileTheWorkRunsAndItsFailureComesBack) {
    fakes::FakePlatform fake;
    std::atomic<int> handled{0};
    fake.events.onDoEvents = [&] { ++handled; };
    const bool sawEvents = Aside(fake.events, [&] {
        for (int i = 0; i < 1000 && handled < 3; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return handled >= 3;
    });
    EXPECT_TRUE(sawEvents) << "no event was handled while the work ran";
    EXPECT_THROW(Aside(fake.events, []() -> int { throw err::Make(err::kDiskFull); }), Failure);
}

TEST(CommandLineTest, UrlIsTheFirstOfAtLeastTwoFieldsAndNamesTheInstaller) {
    const std::string u = "http://updates.example.test/tav/7.6/setup.exe";
    const struct {
        std::string args, url, file;
    } cases[] = {
        {u + "|", u, "setup.exe"},
        {"\"" + u + "|TAV\"", u, "setup.exe"},
        {u, "", ""},
        {"", "", ""},
        {"|", "", ""},
        {"|" + u, "", ""},
        {" " + u + "|", " " + u, ""},  // kept as given: the download then fails visibly
        {"https://h/a/b/TAV%20Setup.exe?token=1/2|", "https://h/a/b/TAV%20Setup.exe?token=1/2",
         "TAV Setup.exe"},
        {"https://h:8443/Setup.EXE#frag|", "https://h:8443/Setup.EXE#frag", "Setup.EXE"},
        {"http://h?q=setup.exe|", "http://h?q=setup.exe", ""},
        {"http://h/|", "http://h/", ""},
        {"not a url/setup.exe|", "not a url/setup.exe", ""},
    };
    for (const auto& c : cases) {
        const CommandLineFields f = ParseCommandLine(c.args);
        EXPECT_EQ(f.sDownloadURL, c.url) << c.args;
        EXPECT_EQ(f.sInstallerFile, c.file) << c.args;
    }
    EXPECT_EQ(PercentDecode("a%20b%zz%4%41"), "a b%zz%4A");
}

// Only "sha256=" and exactly 64 hex digits name a digest; anything else
// after the "|" stays ignored, as callers have always relied on.
TEST(CommandLineTest, TheSecondFieldNamesTheInstallersDigestOnlyInItsOneForm) {
    const std::string u = "http://h/setup.exe|",
                      hex = "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08";
    const std::string lower = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    for (const std::string& named :
         {"sha256=" + hex, "\"SHA256=" + lower + "\"", " sha256=" + lower + " "}) {
        const CommandLineFields f =
            ParseCommandLine((named[0] == '"' ? "\"" + u : u) + named.substr(named[0] == '"'));
        ASSERT_TRUE(f.expectedDigest) << named;
        EXPECT_EQ(HexText(*f.expectedDigest), lower) << named;
        EXPECT_EQ(f.sInstallerFile, "setup.exe") << named;
    }
    for (const std::string& ignored :
         {std::string("TAV"), std::string(), "sha256=" + hex.substr(1), "sha256=" + hex + "0",
          "sha256:" + hex, "sha256=" + hex.substr(0, 63) + "g", "sha1=" + hex, "md5=" + hex})
        EXPECT_FALSE(ParseCommandLine(u + ignored).expectedDigest) << ignored;
    EXPECT_FALSE(ParseCommandLine(u + "x|sha256=" + hex).expectedDigest)
        << "only the second field names it";
}

// Every name that could leave the folder, reach a device, be started as
// another file or name a file of the TAV system is refused.
TEST(CommandLineTest, InstallerNamesAreJudgedAsWindowsSeesThem) {
    for (const char* good : {"TAVSetup_7.6.0.10.exe", "CONFIG.exe", "COM10.exe",
                             "Gr%C3%BC%C3%9Fe.exe", "%F0%9F%98%80.exe"})
        EXPECT_NE(ParseCommandLine(std::string("http://h/") + good + "|").sInstallerFile, "")
            << good;
    for (const char* bad :
         {"..%5C..%5Cevil.exe", "%2e%2e", "a%2Fb.exe", "C%3Aevil.exe", "a.exe%3A%3A$DATA",
          "evil%00.exe", "a%0Ab.exe", "a*b.exe", "a%22b.exe", "x..y.exe", "setup.exe.",
          "setup.exe%20",
          // devices, written the ways Windows still recognises them
          "CON", "con.exe", "LPT1.exe", "COM1%20.exe", "CON%20.exe", "NUL%20%20.exe",
          "CONIN$%20.exe", "conout$.exe", "COM%C2%B9.exe", "LPT%C2%B3.exe", "aux.tar.exe",
          // no UTF-8: Windows would see U+FFFD
          "%FF.exe", "a%C0%AF.exe", "%ED%A0%80.exe", "a%E2%82.exe",
          // only names the shell starts as themselves; none of TAV's own files
          "setup", "setup.bat", "setup.exe.txt", ".exe", "TAV%20Setup.MSI",
          "TAV%20Core%20Server.exe", "tavupdate.exe", "TAVri.dll", "TAVIMD.EXE",
          "tav%20setup%20console.exe", "QT%C5%BFEXE.exe", "TAVUPD~1.EXE"})
        EXPECT_EQ(ParseCommandLine(std::string("http://h/") + bad + "|").sInstallerFile, "") << bad;
}

TEST(CommandLineTest, BackupNamesAndProgressTexts) {
    for (const auto& [name, backup] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Setup.EXE", "setup.old"},
             {"a.exe.exe", "a.old.old"},
             {"TAV.exeSetup.exe", "tav.oldsetup.old"},
             {"Setup.msi", "setup.msi.old"}})
        EXPECT_EQ(BackupName(name), backup);
    const struct {
        int32_t max, bytes;
        const char* separator;
        const char* text;
    } cases[] = {
        {2500000, 1250000, ",", "Downloading s.exe 1,250 of 2,500 K Bytes  (50%)"},
        {2500000, 499, ",", "Downloading s.exe  of 2,500 K Bytes  (0%)"},
        {100000, 2500, ",", "Downloading s.exe 2 of 100 K Bytes  (2%)"},
        {2147483647, 2147483647, ".", "Downloading s.exe 2.147.484 of 2.147.484 K Bytes  (100%)"},
        {0, 1250000, ",", "Downloading s.exe 1,250 K Bytes"},  // no total announced
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressText("s.exe", c.max, c.bytes, c.separator), c.text);
}

// Out of range is the classic overflow (6), as the dialog's log shows.
TEST(CommandLineTest, HalvesRoundToEvenAndOutOfRangeFails) {
    EXPECT_EQ(RoundHalfEven32(1.5) * 100 + RoundHalfEven32(2.5) * 10 + RoundHalfEven32(-2.5), 218);
    EXPECT_EQ(RoundHalfEven16(32767.4), 32767);
    for (double bad : {3e9, std::nan("")}) EXPECT_THROW(RoundHalfEven32(bad), Failure);
    EXPECT_THROW(RoundHalfEven16(32767.5), Failure);
}

}  // namespace
}  // namespace tav
