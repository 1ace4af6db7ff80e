// Finding, asking and ending the TAV programs against a fake process table,
// window chain and clock.
#include <gmock/gmock.h>

#include "app/state.h"
#include "fakes/fake_platform.h"
#include "install/process_utils.h"
#include "install/related_programs.h"
#include "system/registry.h"

namespace tav {
namespace {

using ::testing::AnyOf;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Strings = std::vector<std::string>;

class ProgramsTest : public ::testing::Test {
protected:
    ProgramsTest() {
        fake.registry.AddKey(kWatchDogKey);
        // So that a spinning wait would show.
        fake.events.onDoEvents = [this] { fake.clock.Advance(1); };
    }
    uint32_t Windowed(const std::string& name) {
        const uint32_t id = procs.Start(name);
        procs.AddWindow(id);
        return id;
    }
    // The watchdog's command and acknowledgement, and the service stops run.
    std::string Outcome() {
        const auto command =
            fake.state.registry.GetStringValue(kWatchDogKey, kWatchDogCommandValue);
        const auto ack = fake.state.registry.GetDWORDValue(kWatchDogKey, kWatchDogShutDownValue);
        return command.value_or("-") + " " + std::to_string(ack.value_or(0)) + " " +
               std::to_string(fake.shell.runs.size());
    }
    uint32_t Elapsed() const { return fake.clock.tick - start; }
    ShutdownOptions StopAfter(uint32_t ms) {
        start = fake.clock.tick;
        return {[this, ms] { return Elapsed() >= ms; }, {}};
    }
    fakes::FakePlatform fake;
    fakes::FakeProcesses& procs = fake.processes;
    ProcessTools tools{procs,      fake.events,      fake.clock,    fake.files,
                       fake.shell, fake.environment, fake.state.log};
    uint32_t start = 0;
};

// Every top-level window of the program is told the session ends, then it
// is terminated; one that cannot be opened, or whose start time is unknown
// (it cannot be told from a later process with the same id), is left alone.
TEST_F(ProgramsTest, CloseProcessEndsOnlyTheProcessItWasListedAs) {
    fake.files.AddFolder(fake.state.location.folder = "C:\\TAV");
    const uint32_t windowed = Windowed("TAVCOM.EXE");
    procs.AddWindow(windowed);
    const uint32_t locked = Windowed("TAVCOM.EXE");
    procs.Get(locked).openable = false;
    const uint32_t unknown = Windowed("TAVCOM.EXE");
    const struct {
        uint32_t id;
        uint64_t listedStart;
        Strings calls;
    } rows[] = {
        {windowed,
         0x1064,
         {"open 4097 100", "post 257 22 -1", "post 258 22 -1", "terminate 100 7"}},
        {locked, 0x1068, {"open 4097 104"}},
        {unknown, 0, {"open 4097 108"}},
    };
    bool failed = false;
    fake.events.onDoEvents = [&] {
        if (failed) return;
        failed = true;
        throw err::Make(err::kOutOfMemory);
    };
    for (const auto& row : rows) {
        procs.calls.clear();
        CloseProcess(tools, {row.id, "TAVCOM.EXE", row.listedStart}, 7);
        EXPECT_EQ(procs.calls, row.calls) << "process " << row.id;
        EXPECT_EQ(procs.OpenHandles(), 0u) << "a handle left open";
    }
    EXPECT_THAT(fake.files.Content("C:\\TAV\\LOGS\\TAVerror.log"),
                HasSubstr("modORSutils.CloseAll \r\nERROR: TAVUpdate, 7,"))
        << "not logged under its routine";
}

// The sixteen programs, whether the watchdog ends each, in any case; short
// names resolve through the first instance whose path can be read.
TEST_F(ProgramsTest, TheTavProgramsAndWhichTheWatchdogEnds) {
    const struct {
        const char* name;
        bool related;
        bool watched;
    } rows[] = {
        {"TAV Core Server.exe", true, true},
        {"TAV Web Server.exe", true, true},
        {"TAV LAN Server.exe", true, false},
        {"TAVorsCOM.exe", true, false},
        {"TAVorsService.exe", true, false},
        {"TAV Guard.exe", true, false},
        {"VoxMic.exe", true, true},
        {"RCV2048.exe", true, true},
        {"VoxTele.exe", true, true},
        {"QTSEXE.exe", true, true},
        {"TAVCom.exe", true, true},
        {"TAV Setup Console.exe", true, true},
        {"TAV Data Studio.exe", true, true},
        {"TAVIDS.exe", true, true},
        {"TAVIMD.exe", true, true},
        {"TAVEMCServer.exe", true, true},
        {"TAVCOM", false, false},
        {"XTAVCOM.EXE", false, false},
        {"TAVSET~1.EXE", true, true},
        {"TAVDAT~1.EXE", false, false},
    };
    fake.files.AddFile("C:\\TAV\\TAV Setup Console.exe");
    const std::string path = "C:\\TAV\\TAV SETUP CONSOLE.EXE";
    procs.Get(procs.Start("TAVSET~1.EXE", path)).openable = false;
    procs.Start("TAVSET~1.EXE", "");
    procs.Start("TAVSET~1.EXE", path + std::string(1, '\0') + "junk");
    procs.Start("TAVDAT~1.EXE", "C:\\TAV\\TAVDAT~1.EXE");  // names no file
    for (const auto& row : rows) {
        EXPECT_EQ(IsRelatedProcess(tools, row.name, false), row.related)
            << row.name << ": related?";
        EXPECT_EQ(IsRelatedProcess(tools, row.name, true), row.watched) << row.name << ": watched?";
    }
    EXPECT_EQ(GetLongProcessName(tools, "TAVSET~1.EXE"), "TAV Setup Console.exe")
        << "the long name";
    EXPECT_TRUE(CheckForProcessByName(tools, "TAVDAT~1.EXE")) << "an exact name not found";
    EXPECT_FALSE(CheckForProcessByName(tools, "tavdat~1.exe")) << "listed names are exact";
    procs.snapshotFails = true;
    EXPECT_FALSE(AnyTavProcesses(tools)) << "found without a snapshot";
    EXPECT_FALSE(CloseAllTavProcesses(tools)) << "all closed without a snapshot";
    EXPECT_THAT(fake.shell.runs, ElementsAre()) << "stopped without a snapshot";
}

// The watchdog is asked and waited for 22 s, then each program gets two
// close attempts of 15 s polled every 50 ms on a fresh snapshot; the
// acknowledgement is written only once every program is gone. That a
// windowed program is terminated is CloseProcess's test.
TEST_F(ProgramsTest, ProgramsOutlastingTheWatchdogAreClosedWithinBoundedWaits) {
    procs.Start("TAVIDS.EXE");  // windowless: never terminated
    ShutDownTAV(fake.state.registry, tools, StopAfter(120000));
    EXPECT_EQ(Outcome(), "Shutdown 0 1") << "acknowledged while a program survives";
    EXPECT_THAT(fake.registry.settingChanges, ElementsAre("0 5000")) << "WM_SETTINGCHANGE";
    EXPECT_THAT(fake.shell.runs, ElementsAre("C:\\Windows\\system32\\sc.exe sc stop TAVorsService"))
        << "the sc command";
    EXPECT_GE(Elapsed(), 22000u + 2 * 15000u) << "the waits were cut short";
    EXPECT_LT(Elapsed(), 22000u + 2 * 15000u + 200u) << "the waits outlast their limits";
    EXPECT_THAT(fake.events.waits, Each(AnyOf(2000u, 50u))) << "a wait of another length";
    EXPECT_GE(procs.snapshots, 580) << "a snapshot per pass";
}

// An owner that closes stops every stage at once (in the watchdog wait:
// the end-to-end tier's); without watched programs the watchdog is not
// asked and the rest is left alone.
TEST_F(ProgramsTest, StagesStopWhenTheOwnerClosesAndRunOnlyWhenNeeded) {
    const uint32_t windowless = procs.Start("TAVORSCOM.EXE");
    const uint32_t guard = Windowed("TAV GUARD.EXE");
    const uint32_t watched = Windowed("TAVCOM.EXE");
    const struct {
        const char* what;
        uint32_t stopAfter;
        bool closeStageOnly;
        std::string outcome;
        std::vector<uint32_t> waits;
    } rows[] = {
        {"stopped before", 0, false, "- 0 0", {}},
        {"stopped while closing", 1000, true, "- 0 1", std::vector<uint32_t>(20, 50u)},
    };
    for (const auto& row : rows) {
        fake.events.waits.clear();
        fake.shell.runs.clear();
        if (row.closeStageOnly) {
            EXPECT_FALSE(CloseAllTavProcesses(tools, StopAfter(row.stopAfter))) << row.what;
        } else {
            ShutDownTAV(fake.state.registry, tools, StopAfter(row.stopAfter));
        }
        EXPECT_EQ(Outcome(), row.outcome) << row.what;
        EXPECT_EQ(fake.events.waits, row.waits) << row.what;
        EXPECT_TRUE(procs.Running(watched)) << row.what << ": a program ended after the stop";
        EXPECT_EQ(procs.snapshots == 0, row.stopAfter == 0) << row.what << ": snapshot or not";
    }
    EXPECT_THAT(procs.calls, Each(HasSubstr("open"))) << "told or ended";
    procs.End(watched);
    fake.events.waits.clear();
    fake.shell.runs.clear();
    ShutDownTAV(fake.state.registry, tools);
    EXPECT_EQ(Outcome(), "- 99 0") << "without watched programs";
    EXPECT_THAT(fake.events.waits, ElementsAre()) << "the watchdog waited for nothing";
    EXPECT_THAT(fake.registry.settingChanges, ElementsAre()) << "the watchdog asked";
    EXPECT_TRUE(procs.Running(windowless) && procs.Running(guard)) << "unwatched ones ended";
}

}  // namespace
}  // namespace tav
