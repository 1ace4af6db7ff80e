// Start-up: the installation folder is judged as it is read; one that
// cannot be used is not used, and a copy that cannot tell whether another
// runs ends with a word in the log.
#include <gmock/gmock.h>

#include "app/modMain.h"
#include "app/state.h"
#include "fakes/fake_platform.h"

namespace tav {
namespace {

using ::testing::HasSubstr;

struct MainTest : ::testing::Test {
    // Runs Main over an installation folder stored as given; true when the
    // window opened.
    bool Run(const std::string& stored, uint32_t type = kRegSz) {
        fake.registry.PutString(kTavKey, kInstallLocationValue, stored, true, type);
        int opened = 0;
        Main(fake.state, fake.app, [&] { ++opened; });
        return opened == 1;
    }
    std::string Log(const std::string& folder) {
        return fake.files.Content(folder + "\\LOGS\\TAVerror.log");
    }
    fakes::FakePlatform fake;
};

TEST_F(MainTest, TheFolderIsJudgedAsRead) {
    const struct {
        std::string stored;
        uint32_t type;
        std::string problem;  // "" when the folder is used
    } rows[] = {
        {"C:\\Program Files\\TAV", kRegSz, ""},
        {"\\\\server\\share\\TAV", kRegSz, ""},
        {"D:", kRegSz, ""},
        {"", kRegSz, "is not set in the registry"},
        {"C:TAV", kRegSz, "\"C:TAV\" is not a full path"},
        {"\\\\.\\C:\\TAV", kRegSz, "\"\\\\.\\C:\\TAV\" is not a full path"},
        {"%ProgramFiles%\\TAV", kRegExpandSz, "is stored with variables to expand (REG_EXPAND_SZ)"},
        {"C:\\TAV", 7, "is not stored as text"},
        {"C:\\" + std::string(300, 'x'), kRegSz,
         "is longer than the 254 characters the update reads"},
    };
    for (const auto& row : rows) {
        EXPECT_TRUE(Run(row.stored, row.type)) << "no window for " << row.stored;
        EXPECT_EQ(fake.state.location.folder, row.problem.empty() ? row.stored : "") << row.stored;
        const std::string name = std::string(kTavKey) + ", InstallLocation)";
        EXPECT_THAT(fake.state.location.problem, HasSubstr(row.problem)) << row.stored;
        EXPECT_EQ(fake.state.location.problem.empty(), row.problem.empty()) << row.stored;
        if (row.problem.empty()) continue;
        EXPECT_THAT(Log(""), HasSubstr("modMain.Main \r\nERROR: TAVUpdate, 76, The TAV "
                                       "installation folder (" +
                                       name + " " + row.problem))
            << "the log of " << row.stored;
    }
}

TEST_F(MainTest, NoWindowBesideAnotherCopyOrOneThatCannotBeTold) {
    fake.files.AddFolder("C:\\TAV");
    fake.app.another = true;
    EXPECT_FALSE(Run("C:\\TAV")) << "a window beside another copy";
    EXPECT_EQ(Log("C:\\TAV"), "") << "a second copy ends silently";
    fake.app.another = false;
    fake.app.instanceFailure = "held by another user (access denied)";
    EXPECT_FALSE(Run("C:\\TAV")) << "a window though another copy may run";
    EXPECT_THAT(Log("C:\\TAV"), HasSubstr("modMain.Main \r\nERROR: TAVUpdate, 70, held by another"))
        << "not said why it ended";
}

}  // namespace
}  // namespace tav
