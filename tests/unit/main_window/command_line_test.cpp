// The command line TAV gives the window, and the names and texts derived
// from it.
#include <gmock/gmock.h>

#include "main_window/command_line.h"

namespace tav {
namespace {

TEST(CommandLineTest, UrlIsTheFirstOfAtLeastTwoFieldsAndNamesTheInstaller) {
    const std::string u = "http://updates.example.test/tav/7.6/setup.exe";
    const struct {
        std::string args;
        std::string url;
        std::string file;
    } rows[] = {
        {u + "|", u, "setup.exe"},
        {"\"" + u + "|TAV\"", u, "setup.exe"},
        {"|" + u, "", ""},
        {" " + u + "|", " " + u, ""},  // kept as given: the download then fails visibly
        {"https://h/a/b/TAV%20Setup.exe?token=1/2|", "https://h/a/b/TAV%20Setup.exe?token=1/2",
         "TAV Setup.exe"},
        {"https://h:8443/Setup.EXE#frag|", "https://h:8443/Setup.EXE#frag", "Setup.EXE"},
        {"http://h?q=setup.exe|", "http://h?q=setup.exe", ""},
        {"not a url/setup.exe|", "not a url/setup.exe", ""},
    };
    for (const auto& row : rows) {
        const CommandLineFields f = ParseCommandLine(row.args);
        EXPECT_EQ(f.sDownloadURL, row.url) << "the address in " << row.args;
        EXPECT_EQ(f.sInstallerFile, row.file) << "the installer in " << row.args;
    }
    EXPECT_EQ(PercentDecode("a%20b%zz%4%41"), "a b%zz%4A") << "bad escapes not kept as given";
}

// Only "sha256=" and exactly 64 hex digits name a digest; anything else
// after the "|" stays ignored, as callers have always relied on.
TEST(CommandLineTest, TheSecondFieldNamesTheInstallersDigestOnlyInItsOneForm) {
    const std::string u = "http://h/setup.exe|";
    const std::string hex = "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08";
    const std::string lower = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    for (const std::string& args :
         {u + "sha256=" + hex, "\"" + u + "SHA256=" + lower + "\"", u + " sha256=" + lower + " "}) {
        const CommandLineFields f = ParseCommandLine(args);
        ASSERT_TRUE(f.expectedDigest) << "no digest in " << args;
        EXPECT_EQ(HexText(*f.expectedDigest), lower) << "another digest in " << args;
        EXPECT_EQ(f.sInstallerFile, "setup.exe") << "the installer in " << args;
    }
    for (const std::string& ignored :
         {std::string("TAV"), "sha256=" + hex.substr(1), "sha256=" + hex + "0", "sha256:" + hex,
          "sha256=" + hex.substr(0, 63) + "g", "sha1=" + hex, "x|sha256=" + hex})
        EXPECT_FALSE(ParseCommandLine(u + ignored).expectedDigest) << "a digest in " << ignored;
}

// Every name that could leave the folder, reach a device, be started as
// another file or name a file of the TAV system is refused.
TEST(CommandLineTest, InstallerNamesAreJudgedAsWindowsSeesThem) {
    for (const char* good : {"TAVSetup_7.6.0.10.exe", "CONFIG.exe", "COM10.exe",
                             "Gr%C3%BC%C3%9Fe.exe", "%F0%9F%98%80.exe"})
        EXPECT_NE(ParseCommandLine(std::string("http://h/") + good + "|").sInstallerFile, "")
            << "refused: " << good;
    for (const char* bad :
         {"..%5C..%5Cevil.exe", "%2e%2e", "a%2Fb.exe", "C%3Aevil.exe", "evil%00.exe", "a%22b.exe",
          "x..y.exe", "setup.exe.", "setup.exe%20",
          // devices, written the ways Windows still recognises them
          "con.exe", "COM1%20.exe", "CONIN$%20.exe", "conout$.exe", "COM%C2%B9.exe", "aux.tar.exe",
          // no UTF-8: Windows would see U+FFFD
          "%FF.exe", "a%C0%AF.exe", "%ED%A0%80.exe", "a%E2%82.exe",
          // only names the shell starts as themselves; none of TAV's own files
          "setup", ".exe", "tavupdate.exe", "tav%20setup%20console.exe", "QT%C5%BFEXE.exe",
          "TAVUPD~1.EXE"})
        EXPECT_EQ(ParseCommandLine(std::string("http://h/") + bad + "|").sInstallerFile, "")
            << "taken: " << bad;
}

TEST(CommandLineTest, BackupNamesAndProgressTexts) {
    const std::pair<const char*, const char*> backups[] = {
        {"Setup.EXE", "setup.old"}, {"a.exe.exe", "a.old.old"}, {"Setup.msi", "setup.msi.old"}};
    for (const auto& [name, backup] : backups)
        EXPECT_EQ(BackupName(name), backup) << "the backup of " << name;
    const struct {
        int32_t max;
        int32_t bytes;
        const char* separator;
        const char* text;
    } rows[] = {
        {2500000, 1250000, ",", "Downloading s.exe 1,250 of 2,500 K Bytes  (50%)"},
        {2500000, 499, ",", "Downloading s.exe  of 2,500 K Bytes  (0%)"},
        {100000, 2500, ",", "Downloading s.exe 2 of 100 K Bytes  (2%)"},
        {2147483647, 2147483647, ".", "Downloading s.exe 2.147.484 of 2.147.484 K Bytes  (100%)"},
        {0, 1250000, ",", "Downloading s.exe 1,250 K Bytes"},  // no total announced
    };
    for (const auto& row : rows)
        EXPECT_EQ(ProgressText("s.exe", row.max, row.bytes, row.separator), row.text)
            << row.bytes << " of " << row.max;
}

}  // namespace
}  // namespace tav
