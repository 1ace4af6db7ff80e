// The error log as support staff read it, what happens when it cannot be
// written, and the trap that feeds it.
#include <gmock/gmock.h>

#include "app/modMain.h"
#include "error_log/CErrorUpdate.h"
#include "error_log/trap.h"
#include "fakes/fake_platform.h"

namespace tav {
namespace {

using ::testing::HasSubstr;
const std::string kStars(80, '*'), kHeader = "TAVUpdate V7.6.10 @ 09:05:07 On 12/6/2026\r\n";

class ErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override { fake.files.AddFolder(Folder() = "C:\\Program Files\\TAV"); }
    std::string& Folder() { return fake.state.location.folder; }
    std::string LogText() { return fake.files.Content(Folder() + "\\LOGS\\TAVerror.log"); }
    fakes::FakePlatform fake;
};

// Header, routine and text, the error when there is one, stars: each line
// ends in CR LF, and control characters in the texts cannot forge lines.
TEST_F(ErrorLogTest, EntriesAppendHeaderRoutineErrorAndStars) {
    fake.files.AddFile(Folder() + "\\LOGS\\TAVerror.log", "older entry\r\n");
    fake.state.log.Log("frmMain.Form_Load");
    fake.clock.Advance(3'600'000 * 5 + 61'000);
    fake.state.log.Log("modMain.Main", Failure(-2147467259, "Automation error", "WinHttp", 120),
                       "extra");
    fake.state.log.Log(
        "frmMain.InstallUpdate",
        Failure(404, "Not Found\r\nTAVUpdate V7.6.10 @ forged\x1b[2J\xC2\x85!", "Get\nNetFile"),
        "signed by (CN=Evil\r\n****)");
    EXPECT_EQ(LogText(),
              "older entry\r\n" + kHeader + "frmMain.Form_Load \r\n" + kStars +
                  "\r\n"
                  "TAVUpdate V7.6.10 @ 14:06:08 On 12/6/2026\r\nmodMain.Main extra\r\n"
                  "ERROR: WinHttp, -2147467259, Automation error, 120\r\n" +
                  kStars +
                  "\r\n"
                  "TAVUpdate V7.6.10 @ 14:06:08 On 12/6/2026\r\nfrmMain.InstallUpdate signed by "
                  "(CN=Evil  ****)\r\n"
                  "ERROR: Get NetFile, 404, Not Found  TAVUpdate V7.6.10 @ forged [2J !, 0\r\n" +
                  kStars + "\r\n");
}

// One message per failed step.
TEST(ErrorLogFailureTest, UnwritableLogShowsOneMessagePerFailedStep) {
    const std::string logs = "C:\\TAV\\LOGS",
                      prefix = "Error while trying to Write error to Error Log: x.Y ";
    const std::string e75 = prefix + "Path/File access error75",
                      e52 = prefix + "Bad file name or number52";
    const std::tuple<std::function<void(fakes::FakeFiles&)>, bool, std::vector<std::string>>
        cases[] = {{[&](auto& f) { f.AddFile(logs + "\\TAVerror.log", "", kAttrReadOnly); },
                    true,
                    {e75, e52, e52, e52, e52}},
                   {[&](auto& f) { f.deniedFolders = {fakes::NormalizePath(logs)}; },
                    false,
                    {e75, e52, e52, e52}},
                   {[&](auto& f) { f.failWritesWith = err::kDiskFull; },
                    false,
                    {prefix + "Disk full61", e52, e52}}};
    for (const auto& [setUp, withError, messages] : cases) {
        fakes::FakePlatform fake;
        fake.files.AddFolder(logs);
        fake.state.location.folder = "C:\\TAV";
        setUp(fake.files);
        if (withError)
            fake.state.log.Log("x.Y", err::Make(err::kDivisionByZero));
        else
            fake.state.log.Log("x.Y");
        EXPECT_EQ(fake.ui.messages, messages);
        EXPECT_EQ(
            fake.files.Content(logs + "\\TAVerror.log") + std::to_string(fake.files.OpenCount()),
            "0");
    }
    fakes::FakePlatform fake;  // no separator to climb up from: the climb ends and the open fails
    fake.state.location.folder = "NoSeparatorsAnywhere";
    fake.state.log.Log("x.Y");
    EXPECT_EQ(fake.ui.messages.size(), 4u);
}

TEST_F(ErrorLogTest, TrapLogsUnderItsRoutineAndGoesOnSilentTrapWritesNothing) {
    Trap::Silent()([] { throw err::Make(err::kFileNotFound); });
    EXPECT_FALSE(fake.files.HasFile(Folder() + "\\LOGS\\TAVerror.log"));
    Trap trap(fake.state.log, "modMain.Main");
    int ran = 0;
    EXPECT_FALSE(trap([] { throw err::Make(err::kPathNotFound); }));
    EXPECT_TRUE(trap([&] { ++ran; }));
    trap([] { throw std::bad_alloc(); }), trap([] { throw 42; });
    EXPECT_EQ(ran, 1) << "the trap ran its statement once";
    EXPECT_THAT(LogText(),
                HasSubstr("modMain.Main \r\nERROR: TAVUpdate, 76, Path not found, 0\r\n"));
    EXPECT_THAT(LogText(), HasSubstr("ERROR: TAVUpdate, 7, Out of memory, 0"));
    EXPECT_THAT(LogText(), HasSubstr("ERROR: TAVUpdate, 51, Internal error, 0"));
}

// The installation folder is judged as it is read; one that cannot be used
// is not used, and a copy that cannot tell whether another runs ends with
// a word in the log.
TEST(MainTest, TheFolderIsJudgedAsReadAndAnInstanceThatCannotBeToldEnds) {
    const std::string valueName = std::string(kTavKey) + ", InstallLocation)";
    const struct {
        std::string stored;
        uint32_t type;
        std::string problem;  // "" when the folder is used
    } rows[] = {
        {"C:\\Program Files\\TAV", kRegSz, ""},
        {"\\\\server\\share\\TAV", kRegSz, ""},
        {"D:", kRegSz, ""},
        {"", kRegSz, "is not set in the registry"},
        {"TAV", kRegSz, "\"TAV\" is not a full path"},
        {"\\TAV", kRegSz, "\"\\TAV\" is not a full path"},
        {"C:TAV", kRegSz, "\"C:TAV\" is not a full path"},
        {"\\\\.\\C:\\TAV", kRegSz, "\"\\\\.\\C:\\TAV\" is not a full path"},
        {"%ProgramFiles%\\TAV", kRegExpandSz, "is stored with variables to expand (REG_EXPAND_SZ)"},
        {"C:\\TAV", 7, "is not stored as text"},
        {"C:\\" + std::string(300, 'x'), kRegSz,
         "is longer than the 254 characters the update reads"},
    };
    for (const auto& row : rows) {
        fakes::FakePlatform fake;
        fake.registry.AddKey(kTavKey);
        fake.registry.PutString(kTavKey, kInstallLocationValue, row.stored, true, row.type);
        int opened = 0;
        EXPECT_TRUE(Main(fake.state, fake.app, [&] { ++opened; })) << row.stored;
        EXPECT_EQ(opened, 1) << "the window opens for " << row.stored;
        EXPECT_EQ(fake.state.location.folder, row.problem.empty() ? row.stored : "") << row.stored;
        if (row.problem.empty()) {
            EXPECT_EQ(fake.state.location.problem, "") << row.stored;
            continue;
        }
        EXPECT_THAT(fake.state.location.problem, HasSubstr(valueName + " " + row.problem))
            << row.stored;
        EXPECT_THAT(fake.files.Content("\\LOGS\\TAVerror.log"),
                    HasSubstr("modMain.Main \r\nERROR: TAVUpdate, 76, The TAV installation folder"))
            << "the log of " << row.stored;
    }
    fakes::FakePlatform fake;  // no key at all
    Main(fake.state, fake.app, [] {});
    EXPECT_THAT(fake.state.location.problem, HasSubstr("is not set in the registry"));

    for (bool another : {true, false}) {
        fakes::FakePlatform instance;
        instance.registry.AddKey(kTavKey);
        instance.registry.PutString(kTavKey, kInstallLocationValue, "C:\\TAV");
        instance.files.AddFolder("C:\\TAV");
        instance.app.another = another;
        if (!another) instance.app.instanceFailure = "held by another user (access denied)";
        int opened = 0;
        EXPECT_FALSE(Main(instance.state, instance.app, [&] { ++opened; })) << another;
        EXPECT_EQ(opened, 0) << "no window beside another copy, or one that cannot be told";
        const std::string log = instance.files.Content("C:\\TAV\\LOGS\\TAVerror.log");
        if (another)
            EXPECT_EQ(log, "") << "a second copy ends silently";
        else
            EXPECT_THAT(log,
                        HasSubstr("modMain.Main \r\nERROR: TAVUpdate, 70, held by another user"));
    }
}

}  // namespace
}  // namespace tav
