// Finding, asking and ending processes, and the plain file test, against a
// fake process table, window chain and file system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "fakes/fake_platform.h"
#include "install/process_utils.h"
#include "platform/failure.h"

namespace tav {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ProcessUtilsTest : public ::testing::Test {
protected:
    ProcessEntry Entry(uint32_t id) { return {id, procs.Get(id).imageName, procs.Get(id).creationTime}; }
    fakes::FakePlatform fake;
    fakes::FakeProcesses& procs = fake.processes;
};

// Only the very process the snapshot listed, and only one with a top-level
// window (hidden or not; owned pop-ups do not count), is told the session
// ends and terminated.
TEST_F(ProcessUtilsTest, WindowedProgramIsToldTheSessionEndsAndTerminated) {
    procs.AddWindow(procs.Start("NOTEPAD.EXE"));              // id 100, window 257
    const uint32_t id = procs.Start("TAVCOM.EXE");             // 104
    procs.AddWindow(id), procs.AddWindow(id);                  // 258, 259
    const uint32_t popupOnly = procs.Start("TAV GUARD.EXE");   // 108
    procs.AddWindow(popupOnly, 257);
    const uint32_t windowless = procs.Start("TAVORSSERVICE.EXE");  // 112
    const ProcessEntry listed = Entry(id);
    procs.Get(id).creationTime += 1;  // gone, its id given to a later program
    CloseProcess(listed, 0);
    procs.Get(id).creationTime -= 1;
    procs.Get(id).openable = false;
    CloseProcess(listed, 0);
    procs.Get(id).openable = true;
    CloseProcess(Entry(popupOnly), 0);
    CloseProcess(Entry(windowless), 0);
    EXPECT_THAT(procs.calls, ElementsAre("open 4097 104", "open 4097 104", "open 4097 108", "open 4097 112"));
    EXPECT_FALSE(CloseAll(popupOnly, kWmClose, 0));
    procs.calls.clear();
    CloseProcess(listed, 7);
    EXPECT_THAT(procs.calls, ElementsAre("open 4097 104", "post 258 22 -1", "post 259 22 -1", "terminate 104 7"));
    EXPECT_EQ(procs.OpenHandles(), 0u);
    EXPECT_TRUE(procs.Running(100) && procs.Running(popupOnly) && procs.Running(windowless));
    EXPECT_GT(fake.events.doEventsCalls, 0);
}

TEST_F(ProcessUtilsTest, AFailingStepIsLoggedAndTheRoutineGoesOn) {
    fake.files.AddFolder(sInstallLocation = "C:\\TAV");
    const uint32_t id = procs.Start("TAVCOM.EXE");
    procs.AddWindow(id);
    fake.events.onDoEvents = [&] {
        if (fake.events.doEventsCalls == 1) throw err::Make(err::kOutOfMemory);
    };
    CloseProcess(Entry(id), 0);
    EXPECT_FALSE(procs.Running(id));
    EXPECT_THAT(fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log"),
                testing::HasSubstr("modORSutils.CloseAll \r\nERROR: TAVUpdate, 7, Out of memory, 0\r\n"));
}

TEST_F(ProcessUtilsTest, ProcessNamesAreExactAndShortNamesResolveThroughTheFirstReadableInstance) {
    const uint32_t first = procs.Start("TAV GUARD.EXE"), second = procs.Start("TAV GUARD.EXE");
    for (const char* other : {"tav guard.exe", "TAV GUARD", ""}) EXPECT_FALSE(CheckForProcessByName(other)) << other;
    procs.End(first);
    EXPECT_TRUE(CheckForProcessByName("TAV GUARD.EXE"));
    procs.End(second);
    EXPECT_FALSE(CheckForProcessByName("TAV GUARD.EXE"));

    fake.files.AddFile("C:\\Program Files (x86)\\TAV\\TAV Setup Console.exe");
    const std::string path = "C:\\PROGRAM FILES (X86)\\TAV\\TAV SETUP CONSOLE.EXE";
    procs.Get(procs.Start("TAVSET~1.EXE", path)).openable = false;
    procs.Start("TAVSET~1.EXE", "");
    procs.Start("TAVSET~1.EXE", path + std::string(1, '\0') + "junk");
    procs.calls.clear();
    EXPECT_EQ(GetLongProcessName("TAVSET~1.EXE"), "TAV Setup Console.exe");  // as stored on disk
    EXPECT_THAT(procs.calls, ElementsAre("open 4096 108", "open 4096 112", "open 4096 116"));
    EXPECT_EQ(GetLongProcessName("tavset~1.exe"), "");
    procs.Start("TAVDAT~1.EXE", "C:\\TAV\\TAVDAT~1.EXE");  // names no file
    EXPECT_EQ(GetLongProcessName("TAVDAT~1.EXE"), "");
    procs.snapshotFails = true;
    EXPECT_EQ(GetLongProcessName("TAVSET~1.EXE"), "");
    EXPECT_FALSE(CheckForProcessByName("TAVSET~1.EXE"));
    EXPECT_EQ(procs.OpenHandles(), 0u);
}

TEST_F(ProcessUtilsTest, FileHelpersCountOrdinaryFilesOnly) {
    fake.files.AddFolder("C:\\TAV\\Data");
    fake.files.AddFile("C:\\TAV\\Setup.exe");
    fake.files.AddFile("C:\\TAV\\hidden.exe", "", kAttrHidden);
    fake.files.AddFile("C:\\TAV\\system.exe", "", kAttrSystem);
    fake.files.AddFile("C:\\TAV\\readonly.exe", "", kAttrReadOnly);
    for (const char* yes : {"C:\\TAV\\setup.exe", "C:\\TAV\\readonly.exe", "C:\\TAV\\*"}) EXPECT_TRUE(IsFile(yes)) << yes;
    for (const char* no : {"", "C:\\TAV\\setup.exe\\", "C:\\TAV\\Data", "C:\\TAV\\hidden.exe", "C:\\TAV\\system.exe",
                           "C:\\TAV\\missing.exe", "C:\\TAV\\h*.exe", "C:\\TAV\\D*"})
        EXPECT_FALSE(IsFile(no)) << no;
    EXPECT_EQ(GetFileNameFromPath("c:\\tav\\SETUP.EXE"), "Setup.exe");
    EXPECT_EQ(GetFileNameFromPath("C:\\TAV\\Missing.exe"), "");
    EXPECT_EQ(TrimNull(std::string("abc\0def", 7)), "abc");
    EXPECT_EQ(TrimNull(std::string("\0abc", 4)), "");
    EXPECT_EQ(TrimNull("abc"), "abc");
}

}  // namespace
}  // namespace tav
