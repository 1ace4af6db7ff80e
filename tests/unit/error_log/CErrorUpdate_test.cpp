// The error log as support staff read it, what happens when it cannot be
// written, and the trap that feeds it.
#include <gmock/gmock.h>

#include "app/state.h"
#include "error_log/CErrorUpdate.h"
#include "error_log/trap.h"
#include "fakes/fake_platform.h"

namespace tav {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
const std::string kStars(80, '*');

class ErrorLogTest : public ::testing::Test {
protected:
    ErrorLogTest() { fake.files.AddFolder(fake.state.location.folder = "C:\\TAV"); }
    std::string LogText() { return fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log"); }
    fakes::FakePlatform fake;
};

// Header, routine and text, the error when there is one, stars: each line
// ends in CR LF, and control characters in the texts cannot forge lines.
TEST_F(ErrorLogTest, EntriesAppendHeaderRoutineErrorAndStars) {
    fake.files.AddFile("C:\\TAV\\LOGS\\TAVerror.log", "older entry\r\n");
    fake.state.log.Log("frmMain.Form_Load");
    fake.clock.now.hour = 14;
    fake.clock.now.minute = 6;
    fake.clock.now.second = 8;
    const Failure forged(404, "Not Found\r\nTAVUpdate @\x1b[2J\xC2\x85!", "Get\nNet", 120);
    fake.state.log.Log("frmMain.InstallUpdate", forged, "(CN=Evil\r\n****)");
    EXPECT_EQ(LogText(),
              "older entry\r\nTAVUpdate V7.6.10 @ 09:05:07 On 12/6/2026\r\n"
              "frmMain.Form_Load \r\n" +
                  kStars +
                  "\r\nTAVUpdate V7.6.10 @ 14:06:08 On 12/6/2026\r\n"
                  "frmMain.InstallUpdate (CN=Evil  ****)\r\n"
                  "ERROR: Get Net, 404, Not Found  TAVUpdate @ [2J !, 120\r\n" +
                  kStars + "\r\n")
        << "the entries";
}

// One message per failed step; nothing is left open.
TEST_F(ErrorLogTest, AnUnwritableLogShowsOneMessagePerFailedStep) {
    const std::string prefix = "Error while trying to Write error to Error Log: x.Y ";
    const std::string e52 = prefix + "Bad file name or number52";
    fake.files.AddFile("C:\\TAV\\LOGS\\TAVerror.log", "", kAttrReadOnly);
    fake.state.log.Log("x.Y", err::Make(err::kDivisionByZero));
    EXPECT_THAT(fake.ui.messages,
                ElementsAre(prefix + "Path/File access error75", e52, e52, e52, e52))
        << "a read-only log, with an error to write";
    fake.ui.messages.clear();
    fake.files.AddFile("C:\\TAV\\LOGS\\TAVerror.log");
    fake.files.failWritesWith = err::kDiskFull;
    fake.state.log.Log("x.Y");
    EXPECT_THAT(fake.ui.messages, ElementsAre(prefix + "Disk full61", e52, e52)) << "a full disk";
    EXPECT_EQ(fake.files.OpenCount(), 0u) << "the log left open";
    fake.ui.messages.clear();
    fake.state.location.folder = "NoSeparatorsAnywhere";
    fake.state.log.Log("x.Y");
    EXPECT_EQ(fake.ui.messages.size(), 4u) << "no separator to climb up from: the open fails";
}

TEST_F(ErrorLogTest, TrapLogsUnderItsRoutineAndGoesOnSilentTrapWritesNothing) {
    Trap::Silent()([] { throw err::Make(err::kFileNotFound); });
    EXPECT_EQ(LogText(), "") << "a silent trap wrote";
    Trap trap(fake.state.log, "modMain.Main");
    bool ran = false;
    EXPECT_FALSE(trap([] { throw err::Make(err::kPathNotFound); })) << "a failed step succeeded";
    EXPECT_TRUE(trap([&] { ran = true; })) << "a step failed";
    EXPECT_TRUE(ran) << "the next step";
    trap([] { throw std::bad_alloc(); });
    trap([] { throw 42; });
    EXPECT_THAT(LogText(),
                HasSubstr("modMain.Main \r\nERROR: TAVUpdate, 76, Path not found, 0\r\n"))
        << "under its routine";
    EXPECT_THAT(LogText(), HasSubstr("ERROR: TAVUpdate, 7, Out of memory, 0")) << "bad_alloc";
    EXPECT_THAT(LogText(), HasSubstr("ERROR: TAVUpdate, 51, Internal error, 0")) << "unknown";
}

}  // namespace
}  // namespace tav
