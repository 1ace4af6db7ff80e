// The window icon, the processor width and the run-as-administrator flag.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "fakes/fake_platform.h"
#include "system/environment_helpers.h"
#include "system/registry.h"

namespace tav {
namespace {

using ::testing::ElementsAre;

TEST(EnvironmentHelpersTest, IconGoesLargeThenSmallToTheTopOwnerAndTheWindow) {
    fakes::FakePlatform fake;
    fake.environment.owners = {{16, 32}, {32, 48}};
    SetIcon(16, "TAV", true);
    EXPECT_THAT(fake.environment.calls, ElementsAre("send 48 128 1 32032", "send 16 128 1 32032",
                                                    "send 48 128 0 16016", "send 16 128 0 16016"));
    fake.environment.calls.clear();
    fake.environment.metrics = {{11, 48}, {12, 48}, {49, 24}, {50, 24}};
    SetIcon(16, "TAV", false);
    EXPECT_THAT(fake.environment.calls, ElementsAre("send 16 128 1 48048", "send 16 128 0 24024"));
    fake.environment.calls.clear();
    SetIcon(64, "TAV", true);  // an unowned window is its own top owner
    EXPECT_THAT(fake.environment.calls, ElementsAre("send 64 128 1 48048", "send 64 128 1 48048",
                                                    "send 64 128 0 24024", "send 64 128 0 24024"));
}

TEST(EnvironmentHelpersTest, TheFlagLiesUnderTheInstallDrivesProgramFolderOfTheSystemsWidth) {
    fakes::FakePlatform fake;
    fake.files.AddFolder(sInstallLocation = "D:\\Home Automation\\Current");
    const auto flag = [&](const std::string& path) {
        const auto v = fake.registry.Get(kAppCompatLayersKey, path);
        return v && v->type == 1 ? std::string(v->data.begin(), v->data.end()) : "";
    };
    fake.environment.processors = std::vector<std::optional<std::string>>{"32", "64", std::nullopt};
    EXPECT_EQ(GetAddressWidth(), "64");  // the last processor's
    SetRunAsAdmin("setup 7.6.exe");
    EXPECT_EQ(flag("D:\\Program Files (x86)\\TAV\\setup 7.6.exe"), "WINXPSP3 RUNASADMIN");
    fake.environment.processors = std::vector<std::optional<std::string>>{"32"};
    SetRunAsAdmin("a.exe");
    EXPECT_EQ(flag("D:\\Program Files\\TAV\\a.exe"), "WINXPSP3 RUNASADMIN");
    EXPECT_EQ(fake.environment.calls.back(), "query SELECT * FROM Win32_Processor / AddressWidth");
    fake.environment.processors = std::vector<std::optional<std::string>>{};
    EXPECT_EQ(GetAddressWidth(), "");
    fake.environment.processors.reset();  // no management service: silently ""
    EXPECT_EQ(GetAddressWidth(), "");
    EXPECT_FALSE(fake.files.FolderExists("D:\\Home Automation\\Current\\LOGS"));
    for (const auto& [width, folder] : std::initializer_list<std::pair<const char*, const char*>>{
             {"32", "Program Files"}, {" 32", "Program Files"}, {"320", "Program Files (x86)"}, {"x32", "Program Files (x86)"}})
        EXPECT_EQ(AssumedInstallerPath("a.exe", width), std::string("D:\\") + folder + "\\TAV\\a.exe") << width;
}

}  // namespace
}  // namespace tav
