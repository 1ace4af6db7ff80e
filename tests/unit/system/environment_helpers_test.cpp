// The window icon and the processor width that picks the installer's
// program folder.
#include <gmock/gmock.h>

#include "app/state.h"
#include "fakes/fake_platform.h"
#include "system/environment_helpers.h"

namespace tav {
namespace {

using ::testing::ElementsAre;

// Both sizes at what the desktop asks for (11 and 49 here); as the
// application's icon, on the top of the owner chain as well.
TEST(EnvironmentTest, SetIconSetsBothSizesOnTheWindowAndTheTopOwner) {
    fakes::FakePlatform fake;
    fake.environment.owners = {{5, 6}, {6, 7}};
    const struct {
        bool app;
        std::vector<std::string> sent;
    } rows[] = {
        {false, {"5 128 1 11", "5 128 0 49"}},
        {true, {"7 128 1 11", "5 128 1 11", "7 128 0 49", "5 128 0 49"}},
    };
    for (const auto& row : rows) {
        fake.environment.sent.clear();
        SetIcon(fake.environment, fake.state.log, 5, "TAV", row.app);
        EXPECT_EQ(fake.environment.sent, row.sent) << (row.app ? "as" : "not as") << " app icon";
    }
}

TEST(EnvironmentTest, TheProcessorWidthIsTheLastProcessorsAndPicksTheProgramFolder) {
    fakes::FakePlatform fake;
    fake.environment.processors = std::vector<std::optional<std::string>>{"32", "64", std::nullopt};
    EXPECT_EQ(GetAddressWidth(fake.environment), "64") << "the last answer";
    fake.environment.processors.reset();
    EXPECT_EQ(GetAddressWidth(fake.environment), "") << "no management service";
    const std::string folder = "D:\\Home Automation\\Current";
    const std::pair<const char*, const char*> rows[] = {
        {"32", "D:\\Program Files\\TAV\\a.exe"},
        {" 32", "D:\\Program Files\\TAV\\a.exe"},
        {"320", "D:\\Program Files (x86)\\TAV\\a.exe"},
        {"", "D:\\Program Files (x86)\\TAV\\a.exe"},
    };
    for (const auto& [width, path] : rows)
        EXPECT_EQ(AssumedInstallerPath(folder, "a.exe", width), path)
            << "width \"" << width << "\"";
}

}  // namespace
}  // namespace tav
