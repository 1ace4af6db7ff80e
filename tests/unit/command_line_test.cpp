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

// Every name that could leave the folder, reach a device, be started as
// another file or name a file of the TAV system is refused.
TEST(CommandLineTest, InstallerNamesAreJudgedAsWindowsSeesThem) {
    const struct {
        const char* path;  // as it stands in the URL
        bool accepted;
    } cases[] = {
        {"/TAVSetup_7.6.0.10.exe", true},
        {"/TAV%20Setup.MSI", true},
        {"/CONFIG.exe", true},
        {"/COM10.exe", true},
        {"/Gr%C3%BC%C3%9Fe.exe", true},
        {"/%F0%9F%98%80.exe", true},  // outside the BMP: a surrogate pair
        // Leaving the folder, streams, forbidden and control characters.
        {"/..%5C..%5Cevil.exe", false}, {"/%2e%2e", false}, {"/a%2Fb.exe", false}, {"/C%3Aevil.exe", false},
        {"/a.exe%3A%3A$DATA", false}, {"/evil%00.exe", false}, {"/a%0Ab.exe", false}, {"/a*b.exe", false},
        {"/a%22b.exe", false}, {"/x..y.exe", false}, {"/setup.exe.", false}, {"/setup.exe%20", false},
        // Devices, written the ways Windows still recognises them.
        {"/CON", false}, {"/con.exe", false}, {"/LPT1.exe", false}, {"/COM1%20.exe", false},
        {"/CON%20.exe", false}, {"/NUL%20%20.exe", false}, {"/CONIN$%20.exe", false}, {"/conout$.exe", false},
        {"/COM%C2%B9.exe", false}, {"/LPT%C2%B3.exe", false}, {"/aux.tar.exe", false},
        // Text that is no UTF-8 becomes U+FFFD in Windows' eyes.
        {"/%FF.exe", false}, {"/a%C0%AF.exe", false}, {"/%ED%A0%80.exe", false}, {"/a%E2%82.exe", false},
        // Only names the shell starts as themselves.
        {"/setup", false}, {"/setup.bat", false}, {"/setup.exe.txt", false}, {"/.exe", false},
        // The TAV system's own files, in any case and through a short name.
        {"/TAV%20Core%20Server.exe", false}, {"/tavupdate.exe", false}, {"/TAVri.dll", false},
        {"/TAVIMD.EXE", false}, {"/tav%20setup%20console.exe", false}, {"/QT%C5%BFEXE.exe", false},
        {"/TAVUPD~1.EXE", false},
    };
    for (const auto& c : cases) {
        const std::string name = ParseCommandLine("http://h" + std::string(c.path) + "|").sInstallerFile;
        EXPECT_EQ(!name.empty(), c.accepted) << c.path;
    }
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
