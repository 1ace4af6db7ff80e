// Only a genuine, intact installer is started, as a user meets it: a
// release build pinned to a throw-away authority's publisher, and the
// development build, are served installers signed by that publisher, by
// another one, unsigned, or with one byte flipped.
#include <gmock/gmock.h>

#include <algorithm>

#include "e2e_support.h"
#include "platform/win32/text.h"

namespace tav::e2e {
namespace {

using ::testing::HasSubstr;
using win32::Widen;

std::string Fixture(const std::string& name) { return wintest::HostPath(std::string(TAV_E2E_FIXTURES) + "/" + name); }

class InstallerTrustE2eTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(root_.ok()); }
    void UsePinnedUpdater() {
        ASSERT_TRUE(wintest::CopyFromBuild(TAV_E2E_PINNED_UPDATER, tav.Path("TAVUpdate.exe")));
    }
    // Serves the fixture under a name of its own, so that a record or flag
    // one leaves behind cannot pass for another's, and starts the update.
    Process Update(const std::string& fixture, const std::string& servedAs) {
        wintest::CopyFromBuild(TAV_E2E_FIXTURES "/" + fixture, wintest::HostPath(TAV_E2E_WWW "/" + servedAs));
        return tav.StartUpdate(ServerUrl("/file/" + servedAs) + "|demo");
    }

    wintest::TrustedTestRoot root_{Fixture("ca.der")};
    DemoInstallation tav;
};

TEST_F(InstallerTrustE2eTest, PinnedBuildStartsItsPublishersInstallerWithoutSlashSAndLogsNothing) {
    UsePinnedUpdater();
    const Process update = Update("installer_publisher.exe", "genuine_setup.exe");
    EXPECT_EQ(update.Exit(kEndMs), 0);
    EXPECT_THAT(tav.InstallerRecord("genuine_setup.exe", kShowMs), ::testing::StartsWith("args=\r\n"));
    EXPECT_EQ(RunAsAdminFlag("genuine_setup.exe"), "WINXPSP3 RUNASADMIN");
    EXPECT_EQ(tav.Log(), "");
}

// Run while TAV runs: each installer is downloaded, refused with its
// reason and deleted; TAV and the earlier installer are left as they were.
TEST_F(InstallerTrustE2eTest, RefusedInstallersAreDeletedAndLeaveTavRunningAndTheEarlierInstallerInPlace) {
    const struct { bool pinned; const char *fixture, *servedAs, *reason; } rows[] = {
        // TRUST_E_BAD_DIGEST: the signature stands but no longer covers the bytes.
        {false, "installer_tampered.exe", "tampered_setup.exe", "its signature is present but not valid (0x80096010)"},
        {true, "installer_other.exe", "foreign_setup.exe", "it is signed by another publisher ("},
        {true, "installer_unsigned.exe", "unsigned_setup.exe", "it is not signed"}};
    ASSERT_TRUE(tav.StartService());
    const Process windowed = tav.StartProgram("TAV LAN Server.exe", "window");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.servedAs);
        if (row.pinned) UsePinnedUpdater();
        const std::string installer = tav.Path(row.servedAs), earlier = "the installer of the last update";
        ASSERT_TRUE(wintest::WriteFileBytes(installer, earlier));
        const Process update = Update(row.fixture, row.servedAs);
        const HWND dialog = Dialog(update);
        ASSERT_NE(dialog, nullptr);
        std::string content = Text(::GetDlgItem(dialog, kDialogContentId));
        content.erase(std::remove(content.begin(), content.end(), '\n'), content.end());
        std::replace(content.begin(), content.end(), '\r', ' ');  // the spaces it wrapped at
        EXPECT_THAT(content, HasSubstr("The installer " + installer + " failed its signature check."));
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
        EXPECT_THAT(tav.Log(), HasSubstr("frmMain.InstallUpdate Refused " + installer + ": " + row.reason));
    }
}

}  // namespace
}  // namespace tav::e2e
