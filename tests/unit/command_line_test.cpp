// The command line TAV gives the updater, the names and texts derived from
// it, and the number rules under them.

#include <gtest/gtest.h>

#include <cmath>

#include "main_window/command_line.h"
#include "core/failure.h"
#include "core/number_text.h"

namespace tav {
namespace {

TEST(CommandLineTest, UrlIsTheFirstOfAtLeastTwoFieldsAndNamesTheInstaller) {
    const std::string u = "http://updates.example.test/tav/7.6/setup.exe";
    const struct {
        std::string args, url, file;
    } cases[] = {
        {u + "|", u, "setup.exe"}, {"\"" + u + "|TAV\"", u, "setup.exe"},
        {u, "", ""}, {"", "", ""}, {"|", "", ""}, {"|" + u, "", ""},
        {" " + u + "|", " " + u, ""},  // kept as given: the download then fails visibly
        {"https://h/a/b/TAV%20Setup.exe?token=1/2|", "https://h/a/b/TAV%20Setup.exe?token=1/2", "TAV Setup.exe"},
        {"https://h:8443/Setup.EXE#frag|", "https://h:8443/Setup.EXE#frag", "Setup.EXE"},
        {"http://h?q=setup.exe|", "http://h?q=setup.exe", ""}, {"http://h/|", "http://h/", ""},
        {"not a url/setup.exe|", "not a url/setup.exe", ""},
    };
    for (const auto& c : cases) {
        const CommandLineFields f = ParseCommandLine(c.args);
        EXPECT_EQ(f.sDownloadURL, c.url) << c.args;
        EXPECT_EQ(f.sInstallerFile, c.file) << c.args;
    }
    EXPECT_EQ(PercentDecode("a%20b%zz%4%41"), "a b%zz%4A");
}

// Every name that could leave the folder, reach a device, be started as
// another file or name a file of the TAV system is refused.
TEST(CommandLineTest, InstallerNamesAreJudgedAsWindowsSeesThem) {
    for (const char* good : {"TAVSetup_7.6.0.10.exe", "TAV%20Setup.MSI", "CONFIG.exe", "COM10.exe",
                             "Gr%C3%BC%C3%9Fe.exe", "%F0%9F%98%80.exe"})
        EXPECT_NE(ParseCommandLine(std::string("http://h/") + good + "|").sInstallerFile, "") << good;
    for (const char* bad : {
             "..%5C..%5Cevil.exe", "%2e%2e", "a%2Fb.exe", "C%3Aevil.exe", "a.exe%3A%3A$DATA", "evil%00.exe",
             "a%0Ab.exe", "a*b.exe", "a%22b.exe", "x..y.exe", "setup.exe.", "setup.exe%20",
             // devices, written the ways Windows still recognises them
             "CON", "con.exe", "LPT1.exe", "COM1%20.exe", "CON%20.exe", "NUL%20%20.exe", "CONIN$%20.exe",
             "conout$.exe", "COM%C2%B9.exe", "LPT%C2%B3.exe", "aux.tar.exe",
             // no UTF-8: Windows would see U+FFFD
             "%FF.exe", "a%C0%AF.exe", "%ED%A0%80.exe", "a%E2%82.exe",
             // only names the shell starts as themselves; none of TAV's own files
             "setup", "setup.bat", "setup.exe.txt", ".exe", "TAV%20Core%20Server.exe", "tavupdate.exe",
             "TAVri.dll", "TAVIMD.EXE", "tav%20setup%20console.exe", "QT%C5%BFEXE.exe", "TAVUPD~1.EXE"})
        EXPECT_EQ(ParseCommandLine(std::string("http://h/") + bad + "|").sInstallerFile, "") << bad;
}

TEST(CommandLineTest, BackupNamesAndProgressTexts) {
    for (const auto& [name, backup] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Setup.EXE", "setup.old"}, {"a.exe.exe", "a.old.old"},
             {"TAV.exeSetup.exe", "tav.oldsetup.old"}, {"Setup.msi", "setup.msi.old"}})
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
    for (const auto& c : cases) EXPECT_EQ(ProgressText("s.exe", c.max, c.bytes, c.separator), c.text);
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
