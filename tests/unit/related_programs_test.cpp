// Closing the TAV programs: the watchdog stage on a fake clock, the close
// stage against a fake process table, and stopping when the owner closes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "install/related_programs.h"
#include "system/registry.h"

namespace tav {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;

class RelatedProgramsTest : public ::testing::Test {
protected:
    void SetUp() override { fake.registry.AddKey(kWatchDogKey); }
    // The watchdog's command, its acknowledgement, and the service stops run.
    std::string Registry() {
        return GetStringValue(kWatchDogKey, kWatchDogCommandValue).value_or("-") + " " +
               std::to_string(GetDWORDValue(kWatchDogKey, kWatchDogShutDownValue).value_or(0)) + " " +
               std::to_string(fake.shell.runs.size());
    }
    uint32_t Elapsed() const { return fake.clock.tick - start_; }
    uint32_t Windowed(const std::string& name) {
        const uint32_t id = procs.Start(name);
        procs.AddWindow(id);
        return id;
    }
    // Stops any wait that would otherwise never end.
    ShutdownOptions Bounded() { return {[this] { return Elapsed() > 120000; }, {}}; }

    fakes::FakePlatform fake;
    fakes::FakeProcesses& procs = fake.processes;
    uint32_t start_ = fake.clock.tick;
};

TEST_F(RelatedProgramsTest, NamesMatchInAnyCaseAndThroughShortNamesWatchedOrNot) {
    fake.files.AddFile("C:\\TAV\\TAV Setup Console.exe");
    const uint32_t shortName = Windowed("TAVSET~1.EXE");
    procs.Get(shortName).executablePath = "C:\\TAV\\TAV SETUP CONSOLE.EXE";
    const uint32_t unresolvable = Windowed("TAVDAT~1.EXE");
    procs.Get(unresolvable).openable = false;
    const struct {
        const char* name;
        bool related, watched;
    } cases[] = {{"TAVSET~1.EXE", true, true}, {"TAVDAT~1.EXE", false, false}, {"tavcom.exe", true, true},
                 {"Tav Guard.exe", true, false}, {"TAVORSSERVICE.EXE", true, false}, {"TAVCOM", false, false},
                 {"XTAVCOM.EXE", false, false}, {"", false, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsRelatedProcess(c.name, false), c.related) << c.name;
        EXPECT_EQ(IsRelatedProcess(c.name, true), c.watched) << c.name;
    }
    int watched = 0;
    for (const RelatedProcess& row : RelatedProcessTable) watched += IsRelatedProcess(std::string(row.imageName), true);
    EXPECT_EQ(watched, 12);
    EXPECT_TRUE(CloseAllTavProcesses());
    EXPECT_FALSE(procs.Running(shortName));
    EXPECT_TRUE(procs.Running(unresolvable));
}

TEST_F(RelatedProgramsTest, WithoutWatchedProgramsTheWatchdogIsNotAskedAndTheRestIsLeftAlone) {
    procs.Start("EXPLORER.EXE");
    const uint32_t guard = Windowed("TAV GUARD.EXE"), service = procs.Start("TAVORSSERVICE.EXE");
    EXPECT_FALSE(AnyTavProcesses());
    ShutDownTAV();
    EXPECT_EQ(Registry(), "- 99 0");
    EXPECT_TRUE(fake.events.waits.empty());
    EXPECT_TRUE(procs.Running(guard) && procs.Running(service));
}

TEST_F(RelatedProgramsTest, WatchdogEndsTheProgramsWhileTheWindowKeepsPainting) {
    for (const char* name : {"TAVCOM.EXE", "tav web server.exe"}) procs.Get(procs.Start(name)).endsAtTick = start_ + 5000;
    procs.Start("TAV GUARD.EXE");  // the watchdog outlives the programs it ends
    std::string requestedBeforeWaiting;
    fake.events.onTimePasses = [&](uint32_t ms) {
        if (Elapsed() == 0) requestedBeforeWaiting = Registry() + " " + std::to_string(fake.registry.settingChanges.size());
        fake.clock.Advance(ms);
    };
    ShutDownTAV();
    EXPECT_EQ(requestedBeforeWaiting, "Shutdown 0 0 1");
    EXPECT_THAT(fake.events.waits, ElementsAre(2000u, 2000u, 2000u));  // the third check sees them gone
    EXPECT_EQ(Registry(), "Shutdown 99 0");
    EXPECT_TRUE(fake.events.sleeps.empty());
}

TEST_F(RelatedProgramsTest, ProgramsOutlastingTheWatchdogAreClosedAndThenAcknowledged) {
    const uint32_t core = Windowed("TAV CORE SERVER.EXE"), guard = Windowed("TAV GUARD.EXE");
    procs.Get(procs.Start("VOXTELE.EXE")).endsAtTick = start_ + 23000;  // goes once the service stops
    ShutDownTAV(Bounded());
    const auto& waits = fake.events.waits;
    EXPECT_EQ(std::count(waits.begin(), waits.end(), 2000u), 11);
    EXPECT_EQ(std::count(waits.begin(), waits.end(), 50u), static_cast<long>(waits.size()) - 11);
    EXPECT_EQ(fake.shell.runs.at(0).application + " " + fake.shell.runs[0].commandLine,
              "C:\\Windows\\system32\\sc.exe sc stop TAVorsService");
    EXPECT_FALSE(procs.Running(core) || procs.Running(guard));
    EXPECT_GE(Elapsed(), 23000u);
    EXPECT_LE(Elapsed(), 23050u);  // the exit is noticed within one pass
    EXPECT_EQ(Registry(), "Shutdown 99 1");
}

TEST_F(RelatedProgramsTest, CloseWaitsPollEveryFiftyMillisecondsAndEndAfterTwoAttemptsOfFifteenSeconds) {
    const uint32_t stubborn = procs.Start("TAVIDS.EXE");  // windowless: never terminated
    ShutDownTAV(Bounded());
    EXPECT_EQ(Registry(), "Shutdown 0 1");
    EXPECT_GE(Elapsed(), 22000u + 2 * 15000u);  // 22 s of watchdog checks, then two attempts
    EXPECT_LT(Elapsed(), 22000u + 2 * 15000u + 200u);

    procs.End(stubborn);
    const uint32_t first = Windowed("TAVCOM.EXE"), second = Windowed("TAVCOM.EXE");
    fake.events.waits.clear();
    const int snapshots = procs.snapshots;
    start_ = fake.clock.tick;
    // The first entry fails: it waits twice the full time while the second runs.
    EXPECT_FALSE(CloseAllTavProcesses(Bounded()));
    EXPECT_FALSE(procs.Running(first) || procs.Running(second));
    EXPECT_THAT(fake.events.waits, Each(50u));
    EXPECT_GE(procs.snapshots - snapshots, 600);  // a fresh snapshot per pass
    EXPECT_GE(Elapsed(), 30000u);
    EXPECT_LT(Elapsed(), 30200u);
}

TEST_F(RelatedProgramsTest, NoSnapshotMeansNoServiceStopAndFalse) {
    Windowed("TAVCOM.EXE");
    procs.snapshotFails = true;
    EXPECT_FALSE(CloseAllTavProcesses());
    EXPECT_FALSE(AnyTavProcesses());
    EXPECT_EQ(Registry(), "- 0 0");
    EXPECT_TRUE(procs.calls.empty());
}

TEST_F(RelatedProgramsTest, AnOwnerThatClosesStopsEveryStageAtOnce) {
    const uint32_t windowless = procs.Start("TAVORSCOM.EXE"), later = Windowed("TAVCOM.EXE");
    const struct {
        uint32_t abortAfterMs;
        bool closeStageOnly;
        std::string registry;
        std::vector<uint32_t> waits;
    } cases[] = {
        {0, false, "- 0 0", {}},
        {0, true, "- 0 0", {}},
        {4000, false, "Shutdown 0 0", {2000u, 2000u}},  // during the watchdog's wait
        {1000, true, "Shutdown 0 1", std::vector<uint32_t>(20, 50u)},  // during the close stage
    };
    for (const auto& c : cases) {
        fake.events.waits.clear();
        fake.shell.runs.clear();
        start_ = fake.clock.tick;
        const ShutdownOptions options{[&] { return Elapsed() >= c.abortAfterMs; }, {}};
        if (c.closeStageOnly) {
            EXPECT_FALSE(CloseAllTavProcesses(options));
        } else {
            ShutDownTAV(options);
        }
        EXPECT_EQ(Registry(), c.registry) << c.abortAfterMs;
        EXPECT_EQ(fake.events.waits, c.waits) << c.abortAfterMs;
        EXPECT_TRUE(procs.Running(windowless) && procs.Running(later));
        EXPECT_EQ(std::count_if(procs.calls.begin(), procs.calls.end(),  // no message, no end
                                [](const std::string& call) { return call.substr(0, 4) != "open"; }), 0);
        EXPECT_EQ(procs.snapshots == 0, c.abortAfterMs == 0);
    }
}

}  // namespace
}  // namespace tav
