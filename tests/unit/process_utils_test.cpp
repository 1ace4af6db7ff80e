// Finding, asking and ending processes, and the plain file test, against a
// fake process table, window chain and file system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/state.h"
#include "fakes/fake_platform.h"
#include "install/process_utils.h"
#include "core/failure.h"

namespace tav {
namespace {

using fakes::FakeProcesses;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ProcessUtilsTest : public ::testing::Test {
protected:
    // Messages posted to one process, in order.
    std::vector<uint32_t> MessagesTo(uint32_t processId) const {
        std::vector<uint32_t> out;
        for (const auto& p : fake.processes.posts)
            if (p.processId == processId) out.push_back(p.message);
        return out;
    }
    // The process as a snapshot taken now lists it.
    ProcessEntry Entry(uint32_t id) { return {id, procs.Get(id).imageName, procs.Get(id).creationTime}; }

    fakes::FakePlatform fake;
    FakeProcesses& procs = fake.processes;
};

TEST_F(ProcessUtilsTest, WindowedProgramIsToldTheSessionEndsAndTerminated) {
    const uint32_t other = procs.Start("NOTEPAD.EXE");
    procs.AddWindow(other);
    const uint32_t id = procs.Start("TAVCOM.EXE");
    const WindowHandle shown = procs.AddWindow(id);
    const WindowHandle hidden = procs.AddWindow(id, /*visible=*/false);

    CloseProcess(Entry(id), 0);

    ASSERT_EQ(procs.posts.size(), 2u);
    for (const auto& post : procs.posts) {
        EXPECT_EQ(post.message, kWmEndSession);
        EXPECT_EQ(post.wParam, ~uintptr_t{0}) << "all bits of the first parameter set";
        EXPECT_EQ(post.lParam, 0);
    }
    EXPECT_EQ(procs.posts[0].window, shown);
    EXPECT_EQ(procs.posts[1].window, hidden) << "hidden windows count like visible ones";
    EXPECT_THAT(procs.opens, ElementsAre(std::make_pair(kProcessTerminate | kProcessQueryLimitedInformation, id)));
    EXPECT_EQ(procs.terminated.at(id), 0u);
    EXPECT_TRUE(procs.Running(other));
    EXPECT_THAT(MessagesTo(other), IsEmpty());
    EXPECT_EQ(procs.OpenHandles(), 0u);
    EXPECT_GT(fake.events.doEventsCalls, 0);
}

// The snapshot's entry may be seconds old: a process that cannot be opened
// or has gone, or an id that now belongs to a later program, gets nothing.
TEST_F(ProcessUtilsTest, OnlyTheVeryProcessListedIsMessagedOrTerminated) {
    const uint32_t id = procs.Start("TAVCOM.EXE");
    procs.AddWindow(id);
    const ProcessEntry listed = Entry(id);
    procs.Get(id).creationTime += 1;  // gone, and its id given to another program
    CloseProcess(listed, 0);
    procs.Get(id).creationTime -= 1;
    procs.Get(id).openable = false;
    CloseProcess(listed, 0);
    EXPECT_THAT(procs.posts, IsEmpty());
    EXPECT_TRUE(procs.Running(id));
    EXPECT_EQ(procs.OpenHandles(), 0u);

    procs.Get(id).openable = true;
    CloseProcess(listed, 0);
    EXPECT_THAT(MessagesTo(id), ElementsAre(kWmEndSession));
    EXPECT_EQ(procs.terminated.count(id), 1u);
}

TEST_F(ProcessUtilsTest, WindowlessAndOwnedPopupOnlyProgramsAreNeitherMessagedNorTerminated) {
    const uint32_t host = procs.Start("HOST.EXE");
    const WindowHandle owner = procs.AddWindow(host);
    const uint32_t windowless = procs.Start("TAVORSSERVICE.EXE");
    const uint32_t popupOnly = procs.Start("TAV GUARD.EXE");
    procs.AddWindow(popupOnly, true, owner, /*popup=*/true);
    procs.AddWindow(popupOnly, false, owner, /*popup=*/true);

    CloseProcess(Entry(windowless), 0);
    CloseProcess(Entry(popupOnly), 0);

    EXPECT_TRUE(procs.posts.empty());
    EXPECT_TRUE(procs.terminated.empty());
    EXPECT_TRUE(procs.Running(windowless));
    EXPECT_TRUE(procs.Running(popupOnly));
    EXPECT_FALSE(CloseAll(popupOnly, kWmClose, 0));
}

TEST_F(ProcessUtilsTest, AFailingStepIsLoggedAndTheRoutineGoesOn) {
    sInstallLocation = "C:\\TAV";
    fake.files.AddFolder("C:\\TAV");
    const uint32_t id = procs.Start("TAVCOM.EXE");
    procs.AddWindow(id);
    fake.events.onDoEvents = [&] {
        if (fake.events.doEventsCalls == 1) throw err::Make(err::kOutOfMemory);
    };

    CloseProcess(Entry(id), 0);

    EXPECT_EQ(procs.terminated.count(id), 1u);
    const std::string log = fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log");
    EXPECT_NE(log.find("modORSutils.CloseAll \r\nERROR: TAVUpdate, 7, Out of memory, 0\r\n"),
              std::string::npos)
        << log;
}

TEST_F(ProcessUtilsTest, CheckForProcessByNameIsExactAndSeesEveryInstance) {
    const uint32_t first = procs.Start("TAV GUARD.EXE");
    const uint32_t second = procs.Start("TAV GUARD.EXE");
    EXPECT_TRUE(CheckForProcessByName("TAV GUARD.EXE"));
    EXPECT_FALSE(CheckForProcessByName("tav guard.exe"));
    EXPECT_FALSE(CheckForProcessByName("TAV GUARD"));
    EXPECT_FALSE(CheckForProcessByName(""));
    procs.End(first);
    EXPECT_TRUE(CheckForProcessByName("TAV GUARD.EXE"));
    procs.End(second);
    EXPECT_FALSE(CheckForProcessByName("TAV GUARD.EXE"));

    procs.Start("TAV GUARD.EXE");
    procs.snapshotFails = true;
    EXPECT_FALSE(CheckForProcessByName("TAV GUARD.EXE"));
}

TEST_F(ProcessUtilsTest, LongNameComesFromTheFirstReadableInstance) {
    fake.files.AddFile("C:\\Program Files (x86)\\TAV\\TAV Setup Console.exe");
    const std::string path = "C:\\PROGRAM FILES (X86)\\TAV\\TAV SETUP CONSOLE.EXE";
    const uint32_t unreadable = procs.Start("TAVSET~1.EXE", path);
    procs.Get(unreadable).openable = false;
    const uint32_t noPath = procs.Start("TAVSET~1.EXE", "");
    procs.Start("TAVSET~1.EXE", path + std::string(1, '\0') + "junk");

    // The name is the one stored on disk, whatever case the path had.
    EXPECT_EQ(GetLongProcessName("TAVSET~1.EXE"), "TAV Setup Console.exe");
    for (const auto& [rights, id] : procs.opens) EXPECT_EQ(rights, kProcessQueryLimitedInformation);
    EXPECT_EQ(procs.opens.size(), 3u);
    EXPECT_EQ(procs.opens[1].second, noPath);
    EXPECT_EQ(procs.OpenHandles(), 0u);
}

TEST_F(ProcessUtilsTest, UnresolvableShortNamesGiveNothing) {
    const uint32_t id = procs.Start("TAVSET~1.EXE", "C:\\TAV\\TAVSET~1.EXE");
    procs.Get(id).openable = false;
    EXPECT_EQ(GetLongProcessName("TAVSET~1.EXE"), "");
    procs.Get(id).openable = true;
    EXPECT_EQ(GetLongProcessName("TAVSET~1.EXE"), "") << "path names no file";
    EXPECT_EQ(GetLongProcessName("tavset~1.exe"), "");
    procs.snapshotFails = true;
    EXPECT_EQ(GetLongProcessName("TAVSET~1.EXE"), "");
}

TEST_F(ProcessUtilsTest, FileNameAndNulHelpers) {
    fake.files.AddFile("C:\\TAV\\Long Name.exe");
    EXPECT_EQ(GetFileNameFromPath("c:\\tav\\LONG NAME.EXE"), "Long Name.exe");
    EXPECT_EQ(GetFileNameFromPath("C:\\TAV\\Missing.exe"), "");
    EXPECT_EQ(TrimNull(std::string("abc\0def", 7)), "abc");
    EXPECT_EQ(TrimNull(std::string("\0abc", 4)), "");
    EXPECT_EQ(TrimNull("abc"), "abc");
    EXPECT_EQ(TrimNull(""), "");
}

TEST_F(ProcessUtilsTest, IsFileCountsOrdinaryFilesOnly) {
    fake.files.AddFolder("C:\\TAV\\Data");
    fake.files.AddFile("C:\\TAV\\setup.exe");
    fake.files.AddFile("C:\\TAV\\hidden.exe", "", kAttrHidden);
    fake.files.AddFile("C:\\TAV\\system.exe", "", kAttrSystem);
    fake.files.AddFile("C:\\TAV\\readonly.exe", "", kAttrReadOnly);

    EXPECT_TRUE(IsFile("C:\\TAV\\setup.exe"));
    EXPECT_TRUE(IsFile("C:\\TAV\\SETUP.EXE"));
    EXPECT_TRUE(IsFile("C:\\TAV\\readonly.exe"));
    EXPECT_FALSE(IsFile(""));
    EXPECT_FALSE(IsFile("C:\\TAV\\setup.exe\\"));
    EXPECT_FALSE(IsFile("C:\\TAV\\Data"));
    EXPECT_FALSE(IsFile("C:\\TAV\\hidden.exe"));
    EXPECT_FALSE(IsFile("C:\\TAV\\system.exe"));
    EXPECT_FALSE(IsFile("C:\\TAV\\missing.exe"));
    // The first ordinary match counts, past folders and hidden files.
    EXPECT_TRUE(IsFile("C:\\TAV\\*"));
    EXPECT_FALSE(IsFile("C:\\TAV\\h*.exe"));
    EXPECT_FALSE(IsFile("C:\\TAV\\D*"));
}

}  // namespace
}  // namespace tav
