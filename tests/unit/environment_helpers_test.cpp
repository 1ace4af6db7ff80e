// The window icon, the processor width and the run-as-administrator flag
// against a fake desktop, management service and registry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "fakes/fake_platform.h"
#include "system/environment_helpers.h"
#include "system/registry.h"

namespace tav {
namespace {

using fakes::FakeEnvironment;

class EnvironmentHelpersTest : public ::testing::Test {
protected:
    // The sends as (window, WM_SETICON kind, icon) triples.
    std::vector<std::tuple<WindowHandle, uintptr_t, intptr_t>> IconSends() const {
        std::vector<std::tuple<WindowHandle, uintptr_t, intptr_t>> out;
        for (const auto& s : fake.environment.sends) {
            EXPECT_EQ(s.message, kWmSetIcon);
            out.emplace_back(s.window, s.wParam, s.lParam);
        }
        return out;
    }
    std::optional<std::string> Flag(const std::string& valueName) {
        const auto v = fake.registry.Get(kAppCompatLayersKey, valueName);
        if (!v) return std::nullopt;
        EXPECT_EQ(v->type, kRegSz);
        return std::string(v->data.begin(), v->data.end());
    }
    fakes::FakePlatform fake;
};

TEST_F(EnvironmentHelpersTest, IconGoesToTheTopOwnerAndTheWindowLargeThenSmall) {
    fake.environment.owners = {{0x10, 0x20}, {0x20, 0x30}};
    SetIcon(0x10, "TAV", true);
    const intptr_t big = static_cast<intptr_t>(FakeEnvironment::IconFor(32, 32));
    const intptr_t small = static_cast<intptr_t>(FakeEnvironment::IconFor(16, 16));
    EXPECT_THAT(IconSends(),
                ::testing::ElementsAre(std::make_tuple(WindowHandle{0x30}, kIconBig, big),
                                       std::make_tuple(WindowHandle{0x10}, kIconBig, big),
                                       std::make_tuple(WindowHandle{0x30}, kIconSmall, small),
                                       std::make_tuple(WindowHandle{0x10}, kIconSmall, small)));
}

TEST_F(EnvironmentHelpersTest, WithoutTheFlagOnlyTheWindowGetsTheIcons) {
    fake.environment.owners = {{0x10, 0x20}};
    fake.environment.metrics = {{11, 48}, {12, 48}, {49, 24}, {50, 24}};
    SetIcon(0x10, "TAV", false);
    EXPECT_THAT(IconSends(),
                ::testing::ElementsAre(
                    std::make_tuple(WindowHandle{0x10}, kIconBig,
                                    static_cast<intptr_t>(FakeEnvironment::IconFor(48, 48))),
                    std::make_tuple(WindowHandle{0x10}, kIconSmall,
                                    static_cast<intptr_t>(FakeEnvironment::IconFor(24, 24)))));
}

TEST_F(EnvironmentHelpersTest, AnUnownedWindowIsItsOwnTopOwner) {
    SetIcon(0x10, "TAV", true);
    ASSERT_EQ(fake.environment.sends.size(), 4u);
    for (const auto& s : fake.environment.sends) EXPECT_EQ(s.window, 0x10u);
}

TEST_F(EnvironmentHelpersTest, AddressWidthIsTheLastProcessorsAndEmptyWithoutTheService) {
    fake.environment.processors = std::vector<std::optional<std::string>>{"32", "64", std::nullopt};
    EXPECT_EQ(GetAddressWidth(), "64");
    EXPECT_EQ(fake.environment.queries.back(), "SELECT * FROM Win32_Processor / AddressWidth");
    fake.environment.processors = std::vector<std::optional<std::string>>{};
    EXPECT_EQ(GetAddressWidth(), "");

    sInstallLocation = "C:\\TAV";
    fake.files.AddFolder("C:\\TAV");
    fake.environment.processors.reset();
    EXPECT_EQ(GetAddressWidth(), "");
    EXPECT_FALSE(fake.files.FolderExists("C:\\TAV\\LOGS")) << "the query fails silently";
}

TEST_F(EnvironmentHelpersTest, FlagNameFollowsTheDriveAndTheSystemWidth) {
    sInstallLocation = "C:\\Program Files (x86)\\TAV";
    fake.environment.processors = std::vector<std::optional<std::string>>{"64"};
    EXPECT_FALSE(QueryKey(kAppCompatLayersKey));
    SetRunAsAdmin("TAVSetup.exe");
    EXPECT_EQ(Flag("C:\\Program Files (x86)\\TAV\\TAVSetup.exe"), "WINXPSP3 RUNASADMIN");

    fake.environment.processors = std::vector<std::optional<std::string>>{"32"};
    SetRunAsAdmin("TAVSetup.exe");
    EXPECT_EQ(Flag("C:\\Program Files\\TAV\\TAVSetup.exe"), "WINXPSP3 RUNASADMIN");
}

TEST_F(EnvironmentHelpersTest, OnlyTheDriveLetterOfTheInstallFolderIsUsed) {
    sInstallLocation = "D:\\Home Automation\\Current";
    fake.environment.processors.reset();  // no management service: " (x86)"
    SetRunAsAdmin("setup 7.6.exe");
    EXPECT_EQ(Flag("D:\\Program Files (x86)\\TAV\\setup 7.6.exe"), "WINXPSP3 RUNASADMIN");
    EXPECT_EQ(AssumedInstallerPath("a.exe", "32"), "D:\\Program Files\\TAV\\a.exe");
    EXPECT_EQ(AssumedInstallerPath("a.exe", " 32"), "D:\\Program Files\\TAV\\a.exe");
    EXPECT_EQ(AssumedInstallerPath("a.exe", "320"), "D:\\Program Files (x86)\\TAV\\a.exe");
    EXPECT_EQ(AssumedInstallerPath("a.exe", "x32"), "D:\\Program Files (x86)\\TAV\\a.exe");
}

}  // namespace
}  // namespace tav
