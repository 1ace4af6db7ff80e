// Only a genuine, intact installer is started, seen as a user meets it: a
// release build pinned to a throw-away authority's publisher, and the
// development build, in a demo installation are served installers signed by
// that publisher, by another one, unsigned, or with one byte flipped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "trusted_root.h"
#include "platform/win32/text.h"

#include <wincrypt.h>

namespace tav::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using win32::Widen;

constexpr unsigned long kShowMs = 30000;
constexpr unsigned long kEndMs = 60000;

std::string Fixture(const std::string& name) { return wintest::HostPath(std::string(TAV_E2E_FIXTURES) + "/" + name); }

// Trusts the test authority for the life of the object.
struct TrustedTestRoot : ::tav::wintest::TrustedTestRoot {
    TrustedTestRoot() : ::tav::wintest::TrustedTestRoot(Fixture("ca.der")) {}
};

// The dialog's text with its line breaks turned back into the spaces it
// wrapped at.
std::string Unwrapped(const std::string& text) {
    std::string flat;
    for (char c : text) {
        if (c == '\n') continue;
        flat.push_back(c == '\r' ? ' ' : c);
    }
    return flat;
}

HWND WaitDialog(const Process& p) {
    HWND dialog = nullptr;
    WaitFor([&] { return (dialog = FindTopWindow(p.id(), kDialogClass)) != nullptr || !p.Running(); },
            kShowMs);
    return dialog;
}

class InstallerTrustE2eTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(root_.ok()); }
    void TearDown() override {
        for (const char* name : {kForeign, kGenuine, kTampered, kUnsigned})
            DeleteValue(HKEY_CURRENT_USER, kLayersKey, LayersValueName(name));
    }

    // Each installer under a name of its own, so that a record or flag one
    // leaves behind cannot pass for another's.
    static constexpr const char* kForeign = "foreign_setup.exe";
    static constexpr const char* kGenuine = "genuine_setup.exe";
    static constexpr const char* kTampered = "tampered_setup.exe";
    static constexpr const char* kUnsigned = "unsigned_setup.exe";

    void UsePinnedUpdater() {
        ASSERT_TRUE(::CopyFileW(Widen(wintest::HostPath(TAV_E2E_PINNED_UPDATER)).c_str(),
                                Widen(tav.Path("TAVUpdate.exe")).c_str(), FALSE));
    }

    // Puts the fixture on the server as servedAs and starts the update for it.
    Process Update(const std::string& fixture, const std::string& servedAs) {
        const std::string www = wintest::HostPath(TAV_E2E_WWW "/" + servedAs);
        if (!::CopyFileW(Widen(Fixture(fixture)).c_str(), Widen(www).c_str(), FALSE)) return Process();
        return tav.StartUpdate(ServerUrl("/file/" + servedAs) + "|demo");
    }

    // Runs the update while TAV runs, expects the installer downloaded and
    // refused with that reason, deleted, and TAV and the earlier installer
    // left exactly as they were.
    void ExpectRefused(const std::string& fixture, const std::string& servedAs, const std::string& reason) {
        const std::string installer = tav.Path(servedAs);
        const std::string earlier = "the installer of the last update";
        ASSERT_TRUE(WriteFileBytes(installer, earlier));
        ASSERT_TRUE(tav.StartService());
        Process watched = tav.StartProgram("TAV Core Server.exe", "watchdog");
        Process windowed = tav.StartProgram("TAV LAN Server.exe", "window");
        ASSERT_TRUE(watched.Running());
        ASSERT_TRUE(windowed.Running());

        Process update = Update(fixture, servedAs);
        ASSERT_NE(update.handle(), nullptr);
        const HWND dialog = WaitDialog(update);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(Text(dialog), "TAV Update Manager");
        EXPECT_EQ(Text(::GetDlgItem(dialog, kDialogMessageId)), "Critical Error");
        EXPECT_THAT(Unwrapped(Text(::GetDlgItem(dialog, kDialogContentId))),
                    HasSubstr("The installer " + installer + " failed its signature check."));
        EXPECT_EQ(wintest::ReadFileBytes(installer), earlier);
        EXPECT_EQ(tav.StagingFiles(), std::vector<std::string>{}) << "the refused download is deleted";
        const std::vector<HWND> buttons = DialogButtons(dialog);
        ASSERT_EQ(buttons.size(), 1u);
        Click(buttons[0]);
        EXPECT_EQ(update.Exit(kEndMs), 0);

        EXPECT_TRUE(watched.Running());
        EXPECT_TRUE(windowed.Running());
        EXPECT_TRUE(DemoInstallation::ServiceRunning());
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kWatchDogKey, "Command"), std::nullopt);
        EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kWatchDogKey, "ShutDown"), std::nullopt);
        EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kLayersKey, LayersValueName(servedAs)), std::nullopt);
        // A started installer writes its record at once; give it the time
        // it takes in the accepted case before calling it never started.
        EXPECT_FALSE(WaitFor([&] { return !tav.InstallerRecord(servedAs).empty(); }, 3000));
        EXPECT_EQ(wintest::ReadFileBytes(installer), earlier);
        EXPECT_THAT(tav.Log(), HasSubstr("frmMain.InstallUpdate Refused " + installer + ": " + reason));
    }

    TrustedTestRoot root_;
    DemoInstallation tav;
};

TEST_F(InstallerTrustE2eTest, PinnedBuildRefusesAnotherPublishersInstallerAndLeavesTavRunning) {
    UsePinnedUpdater();
    ExpectRefused("installer_other.exe", kForeign, "it is signed by another publisher (");
}

TEST_F(InstallerTrustE2eTest, PinnedBuildRefusesAnUnsignedInstallerAndLeavesTavRunning) {
    UsePinnedUpdater();
    ExpectRefused("installer_unsigned.exe", kUnsigned, "it is not signed");
}

TEST_F(InstallerTrustE2eTest, PinnedBuildStartsItsPublishersInstallerAndLogsNothing) {
    UsePinnedUpdater();
    Process update = Update("installer_publisher.exe", kGenuine);
    ASSERT_NE(update.handle(), nullptr);
    EXPECT_EQ(update.Exit(kEndMs), 0);
    ASSERT_TRUE(WaitFor([&] { return !tav.InstallerRecord(kGenuine).empty(); }, kShowMs));
    EXPECT_THAT(tav.InstallerRecord(kGenuine), StartsWith("args=\r\n"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kLayersKey, LayersValueName(kGenuine)), "WINXPSP3 RUNASADMIN");
    EXPECT_EQ(tav.Log(), "");
}

TEST_F(InstallerTrustE2eTest, DevelopmentBuildRefusesASignedInstallerWithOneByteFlipped) {
    // TRUST_E_BAD_DIGEST: the signature stands but no longer covers the bytes.
    ExpectRefused("installer_tampered.exe", kTampered, "its signature is present but not valid (0x80096010)");
}

}  // namespace
}  // namespace tav::e2e
