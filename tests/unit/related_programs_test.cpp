// Closing the TAV programs: the watchdog stage on a fake clock, the close
// stage against a fake process table, and stopping when the owner closes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "fakes/fake_platform.h"
#include "install/related_programs.h"
#include "system/registry.h"

namespace tav {
namespace {

using fakes::FakeProcesses;
using ::testing::Each;
using ::testing::ElementsAre;

class RelatedProgramsTest : public ::testing::Test {
protected:
    void SetUp() override { fake.registry.AddKey(kWatchDogKey); }

    std::optional<std::string> Command() {
        return GetStringValue(kWatchDogKey, kWatchDogCommandValue);
    }
    std::optional<int32_t> Acknowledgement() {
        return GetDWORDValue(kWatchDogKey, kWatchDogShutDownValue);
    }
    uint32_t Elapsed() const { return fake.clock.tick - start_; }
    uint32_t TotalWaited() const {
        return std::accumulate(fake.events.waits.begin(), fake.events.waits.end(), 0u);
    }
    // A running program with one top-level window.
    uint32_t Windowed(const std::string& name) {
        const uint32_t id = procs.Start(name);
        procs.AddWindow(id);
        return id;
    }

    fakes::FakePlatform fake;
    FakeProcesses& procs = fake.processes;
    uint32_t start_ = fake.clock.tick;
};

TEST_F(RelatedProgramsTest, MatchingUpperCasesAndResolvesShortNames) {
    fake.files.AddFile("C:\\TAV\\TAV Setup Console.exe");
    const uint32_t shortName = procs.Start("TAVSET~1.EXE", "C:\\TAV\\TAV SETUP CONSOLE.EXE");
    procs.AddWindow(shortName);
    const uint32_t unresolvable = procs.Start("TAVDAT~1.EXE", "C:\\TAV\\TAV Data Studio.exe");
    procs.Get(unresolvable).openable = false;
    procs.AddWindow(unresolvable);

    EXPECT_TRUE(IsRelatedProcess("TAVSET~1.EXE", true));
    EXPECT_FALSE(IsRelatedProcess("TAVDAT~1.EXE", false));
    EXPECT_TRUE(IsRelatedProcess("tavcom.exe", true));
    EXPECT_TRUE(IsRelatedProcess("Tav Guard.exe", false));
    EXPECT_FALSE(IsRelatedProcess("Tav Guard.exe", true)) << "the watchdog is not watched";
    EXPECT_FALSE(IsRelatedProcess("TAVCOM", false));
    EXPECT_FALSE(IsRelatedProcess("XTAVCOM.EXE", false));
    EXPECT_FALSE(IsRelatedProcess("", false));

    int watched = 0;
    for (const RelatedProcess& row : RelatedProcessTable) {
        EXPECT_TRUE(IsRelatedProcess(std::string(row.imageName), false)) << row.imageName;
        watched += IsRelatedProcess(std::string(row.imageName), true);
    }
    EXPECT_EQ(watched, 12);

    EXPECT_TRUE(CloseAllTavProcesses());
    EXPECT_EQ(procs.terminated.count(shortName), 1u);
    EXPECT_TRUE(procs.Running(unresolvable));
}

TEST_F(RelatedProgramsTest, NothingRunningAcknowledgesAtOnce) {
    procs.Start("EXPLORER.EXE");
    ShutDownTAV();
    EXPECT_FALSE(Command());
    EXPECT_EQ(Acknowledgement(), 99);
    EXPECT_TRUE(fake.events.waits.empty());
    EXPECT_TRUE(fake.shell.runs.empty());
}

TEST_F(RelatedProgramsTest, OnlyUnwatchedProgramsAreLeftForTheCloseStage) {
    const uint32_t guard = Windowed("TAV GUARD.EXE");
    const uint32_t service = procs.Start("TAVORSSERVICE.EXE");
    EXPECT_FALSE(AnyTavProcesses());
    ShutDownTAV();
    EXPECT_FALSE(Command());
    EXPECT_EQ(Acknowledgement(), 99);
    EXPECT_TRUE(procs.Running(guard));
    EXPECT_TRUE(procs.Running(service));
    EXPECT_TRUE(fake.shell.runs.empty());
}

TEST_F(RelatedProgramsTest, WatchdogEndsTheProgramsAfterFiveSeconds) {
    const uint32_t com = procs.Start("TAVCOM.EXE");
    const uint32_t web = procs.Start("tav web server.exe");
    procs.Start("TAV GUARD.EXE");  // the watchdog outlives the programs it ends
    for (uint32_t id : {com, web}) procs.Get(id).endsAtTick = fake.clock.tick + 5000;

    bool requestedBeforeWaiting = false;
    fake.events.onTimePasses = [&](uint32_t ms) {
        if (fake.clock.tick == start_)
            requestedBeforeWaiting = Command() == "Shutdown" && !Acknowledgement() &&
                                     fake.registry.settingChanges.size() == 1;
        fake.clock.Advance(ms);
    };

    ShutDownTAV();

    EXPECT_TRUE(requestedBeforeWaiting);
    EXPECT_THAT(fake.events.waits, ElementsAre(2000u, 2000u, 2000u))
        << "third check sees them gone";
    EXPECT_EQ(Elapsed(), 6000u);
    EXPECT_EQ(Command(), "Shutdown");
    EXPECT_EQ(Acknowledgement(), 99);
    EXPECT_TRUE(fake.shell.runs.empty());
    EXPECT_TRUE(fake.events.sleeps.empty()) << "the window keeps painting during the waits";
}

TEST_F(RelatedProgramsTest, ProgramsOutlastingTheWatchdogAreClosedAndThenAcknowledged) {
    const uint32_t core = Windowed("TAV CORE SERVER.EXE");
    const uint32_t guard = Windowed("TAV GUARD.EXE");
    const uint32_t stubborn = procs.Start("VOXTELE.EXE");
    procs.Get(stubborn).endsAtTick = fake.clock.tick + 23000;  // goes only once the service stops

    ShutDownTAV();

    const auto& waits = fake.events.waits;
    EXPECT_EQ(std::count(waits.begin(), waits.end(), 2000u), 11);
    EXPECT_EQ(std::count(waits.begin(), waits.end(), 50u), static_cast<long>(waits.size()) - 11);
    ASSERT_EQ(fake.shell.runs.size(), 1u);
    EXPECT_EQ(fake.shell.runs[0].application, "C:\\Windows\\system32\\sc.exe");
    EXPECT_EQ(fake.shell.runs[0].commandLine, "sc stop TAVorsService");
    EXPECT_EQ(procs.terminated.count(core), 1u);
    EXPECT_EQ(procs.terminated.count(guard), 1u);
    EXPECT_EQ(procs.terminated.count(stubborn), 0u);
    EXPECT_GE(Elapsed(), 23000u);
    EXPECT_LT(Elapsed(), 23200u);
    EXPECT_EQ(Acknowledgement(), 99);
}

TEST_F(RelatedProgramsTest, AProgramThatWillNotGoLeavesTheAcknowledgementUnwritten) {
    procs.Start("TAVIDS.EXE");  // windowless: never terminated

    ShutDownTAV();

    EXPECT_EQ(Command(), "Shutdown");
    EXPECT_FALSE(Acknowledgement());
    // 22 s of watchdog checks, then two 15-second attempts.
    EXPECT_GE(Elapsed(), 22000u + 2 * 15000u);
    EXPECT_LT(Elapsed(), 22000u + 2 * 15000u + 200u);
    EXPECT_TRUE(procs.terminated.empty());
}

TEST_F(RelatedProgramsTest, CloseWaitsPollWithoutSpinningAndNoticeAnExitWithinOnePass) {
    const uint32_t id = procs.Start("TAV GUARD.EXE");
    procs.Get(id).endsAtTick = fake.clock.tick + 2000;
    const int snapshotsBefore = procs.snapshots;

    EXPECT_TRUE(CloseAllTavProcesses());

    EXPECT_THAT(fake.events.waits, Each(50u));
    EXPECT_GE(Elapsed(), 2000u);
    EXPECT_LE(Elapsed(), 2050u);
    // One fresh snapshot per pass.
    EXPECT_GE(procs.snapshots - snapshotsBefore, 40);
}

TEST_F(RelatedProgramsTest, TwoInstancesFailTheFirstEntryAndCloseTheSecond) {
    const uint32_t first = Windowed("TAVCOM.EXE");
    const uint32_t second = Windowed("TAVCOM.EXE");
    const uint32_t other = Windowed("NOTEPAD.EXE");

    EXPECT_FALSE(CloseAllTavProcesses());

    EXPECT_EQ(procs.terminated.count(first), 1u);
    EXPECT_EQ(procs.terminated.count(second), 1u);
    EXPECT_TRUE(procs.Running(other));
    // The first entry waited twice the full time while the second ran.
    EXPECT_GE(Elapsed(), 30000u);
    EXPECT_LT(Elapsed(), 30200u);
}

TEST_F(RelatedProgramsTest, NoSnapshotMeansNoServiceStopAndFalse) {
    Windowed("TAVCOM.EXE");
    procs.snapshotFails = true;
    EXPECT_FALSE(CloseAllTavProcesses());
    EXPECT_FALSE(AnyTavProcesses());
    EXPECT_TRUE(fake.shell.runs.empty());
    EXPECT_TRUE(procs.posts.empty());
}

TEST_F(RelatedProgramsTest, AbortDuringTheWatchdogWaitStopsEverything) {
    Windowed("TAVCOM.EXE");
    bool aborted = false;
    fake.events.onDoEvents = [&] {
        if (fake.clock.tick - start_ >= 4000) aborted = true;
    };
    ShutdownOptions options;
    options.shouldStop = [&] { return aborted; };

    ShutDownTAV(options);

    EXPECT_EQ(Command(), "Shutdown");
    EXPECT_THAT(fake.events.waits, ElementsAre(2000u, 2000u));
    EXPECT_TRUE(fake.shell.runs.empty());
    EXPECT_TRUE(procs.terminated.empty());
    EXPECT_FALSE(Acknowledgement());
}

TEST_F(RelatedProgramsTest, AbortDuringTheCloseStageTouchesNoFurtherProgram) {
    const uint32_t windowless = procs.Start("TAVORSCOM.EXE");
    const uint32_t later = Windowed("TAVCOM.EXE");
    bool aborted = false;
    fake.events.onTimePasses = [&](uint32_t ms) {
        fake.clock.Advance(ms);
        if (fake.clock.tick - start_ >= 1000) aborted = true;
    };
    ShutdownOptions options;
    options.shouldStop = [&] { return aborted; };

    EXPECT_FALSE(CloseAllTavProcesses(options));

    EXPECT_TRUE(procs.Running(windowless));
    EXPECT_TRUE(procs.Running(later));
    EXPECT_TRUE(procs.posts.empty());
    EXPECT_LE(Elapsed(), 1050u);
}

TEST_F(RelatedProgramsTest, AnOwnerClosedBeforehandStartsNothing) {
    Windowed("TAVCOM.EXE");
    ShutdownOptions options;
    options.shouldStop = [] { return true; };
    ShutDownTAV(options);
    EXPECT_FALSE(CloseAllTavProcesses(options));
    EXPECT_FALSE(Command());
    EXPECT_FALSE(Acknowledgement());
    EXPECT_TRUE(fake.shell.runs.empty());
    EXPECT_EQ(procs.snapshots, 0);
}

}  // namespace
}  // namespace tav
