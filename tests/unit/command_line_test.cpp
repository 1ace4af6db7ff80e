// How the updater reads the command line TAV gives it, and the texts it
// derives from it.
#include <gtest/gtest.h>

#include "main_window/command_line.h"

namespace tav {
namespace {

const std::string kUrl = "http://updates.example.test/tav/7.6/setup.exe";

TEST(CommandLineTest, FirstFieldIsTheUrlAndTheRestIsIgnored) {
    for (const std::string& args : {kUrl + "|", kUrl + "|x|y", kUrl + "||", kUrl + "|anything"}) {
        const CommandLineFields f = ParseCommandLine(args);
        EXPECT_EQ(f.sDownloadURL, kUrl) << args;
        EXPECT_EQ(f.sInstallerFile, "setup.exe") << args;
    }
}

TEST(CommandLineTest, WithoutASecondFieldThereIsNoUrl) {
    for (const std::string& args : {kUrl, std::string(), std::string(" ")}) {
        const CommandLineFields f = ParseCommandLine(args);
        EXPECT_EQ(f.sDownloadURL, "");
        EXPECT_EQ(f.sInstallerFile, "");
    }
    EXPECT_EQ(ParseCommandLine("|").sDownloadURL, "");
    EXPECT_EQ(ParseCommandLine("|" + kUrl).sDownloadURL, "");
}

TEST(CommandLineTest, QuotesAroundTheWholeArgumentAreNotPartOfTheUrl) {
    const CommandLineFields f = ParseCommandLine("\"" + kUrl + "|TAV\"");
    EXPECT_EQ(f.sDownloadURL, kUrl);
    EXPECT_EQ(f.sInstallerFile, "setup.exe");
}

TEST(CommandLineTest, BlanksAroundTheUrlAreKept) {
    // Nothing is trimmed: the download then fails visibly rather than
    // fetching something the caller did not name.
    EXPECT_EQ(ParseCommandLine(" " + kUrl + "|").sDownloadURL, " " + kUrl);
}

TEST(CommandLineTest, InstallerNameIsTheLastPathPartWithoutQueryOrFragment) {
    EXPECT_EQ(ParseCommandLine("https://h/a/b/TAV%20Setup.exe?token=1/2|").sInstallerFile,
              "TAV Setup.exe");
    EXPECT_EQ(ParseCommandLine("https://h:8443/Setup.EXE#frag|").sInstallerFile, "Setup.EXE");
    EXPECT_EQ(ParseCommandLine("http://user:pw@h/x/setup.exe|").sInstallerFile, "setup.exe");
    EXPECT_EQ(ParseCommandLine("http://h|").sInstallerFile, "");
    EXPECT_EQ(ParseCommandLine("http://h/|").sInstallerFile, "");
    EXPECT_EQ(ParseCommandLine("http://h?q=setup.exe|").sInstallerFile, "");
    EXPECT_EQ(ParseCommandLine("not a url/setup.exe|").sInstallerFile, "");
    EXPECT_EQ(ParseCommandLine("not a url/setup.exe|").sDownloadURL, "not a url/setup.exe");
}

TEST(CommandLineTest, UnsafeInstallerNamesAreRefused) {
    for (const char* path :
         {"/..%5C..%5Cevil.exe", "/%2e%2e", "/a%2Fb.exe", "/C%3Aevil.exe", "/setup.exe.", "/setup.exe%20",
          "/CON", "/con.exe", "/LPT1.txt", "/com9", "/evil%00.exe", "/a%0Ab.exe", "/a*b.exe", "/a%22b.exe",
          "/..", "/x..y.exe"}) {
        EXPECT_EQ(ParseCommandLine("http://h" + std::string(path) + "|").sInstallerFile, "") << path;
    }
    EXPECT_TRUE(IsSafeFileName("TAVSetup_7.6.0.10.exe"));
    EXPECT_TRUE(IsSafeFileName("CONFIG.exe"));
    EXPECT_TRUE(IsSafeFileName("COM10.exe"));
    EXPECT_TRUE(IsSafeFileName("Gr\xC3\xBC\xC3\x9F" "e.exe"));
}

TEST(CommandLineTest, PercentDecodingLeavesMalformedEscapes) {
    EXPECT_EQ(PercentDecode("a%20b%zz%4"), "a b%zz%4");
    EXPECT_EQ(PercentDecode("%41%62"), "Ab");
}

TEST(CommandLineTest, BackupNames) {
    EXPECT_EQ(BackupName("Setup.exe"), "setup.old");
    EXPECT_EQ(BackupName("Setup.EXE"), "setup.old");
    EXPECT_EQ(BackupName("a.exe.exe"), "a.old.old");
    EXPECT_EQ(BackupName("TAV.exeSetup.exe"), "tav.oldsetup.old");
    EXPECT_EQ(BackupName("Setup.msi"), "setup.msi.old");
}

TEST(CommandLineTest, ProgressTexts) {
    EXPECT_EQ(ProgressText("setup.exe", 2500000, 1250000, ","),
              "Downloading setup.exe 1,250 of 2,500 K Bytes  (50%)");
    EXPECT_EQ(ProgressText("setup.exe", 2500000, 499, ","),
              "Downloading setup.exe  of 2,500 K Bytes  (0%)");
    EXPECT_EQ(ProgressText("setup.exe", 100000, 1500, ","),
              "Downloading setup.exe 2 of 100 K Bytes  (2%)");
    EXPECT_EQ(ProgressText("setup.exe", 100000, 2500, ","),
              "Downloading setup.exe 2 of 100 K Bytes  (2%)");
    EXPECT_EQ(ProgressText("s.exe", 2000, 1, "."), "Downloading s.exe  of 2 K Bytes  (0%)");
    EXPECT_EQ(ProgressText("s.exe", 2147483647, 2147483647, "."),
              "Downloading s.exe 2.147.484 of 2.147.484 K Bytes  (100%)");
    // No announced size: no total, no percentage.
    EXPECT_EQ(ProgressText("setup.exe", 0, 1250000, ","), "Downloading setup.exe 1,250 K Bytes");
}

}  // namespace
}  // namespace tav
