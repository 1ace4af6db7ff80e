// The download control against a hand-driven read service: its events and
// their order, its state around them, and saving what arrived.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "download/GetNetFile.h"
#include "fakes/fake_platform.h"

namespace tav {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class GetNetFileTest : public ::testing::Test {
protected:
    GetNetFileTest() {
        net.DownloadComplete = [this](int32_t n) {
            events.push_back("Complete " + std::to_string(n));
        };
        net.DownloadCanceled = [this] { events.push_back("Canceled"); };
        net.DownloadStarted = [this](const std::string& url, const std::string& file) {
            events.push_back("Started " + url + " " + file);
        };
        net.DownloadFailed = [this](int32_t n, const std::string& text) {
            events.push_back("Failed " + std::to_string(n) + " " + text);
        };
        net.DownloadProgress = [this](int32_t max, int32_t n) {
            events.push_back("Progress " + std::to_string(max) + " " + std::to_string(n));
        };
        fake.files.AddFolder(fake.app.identity.path);
    }
    std::string Name() const { return fake.reads.requests.back().name; }
    std::string Saved(const std::string& path) const { return fake.files.Content(path); }

    fakes::FakePlatform fake;
    std::vector<std::string> events;
    GetNetFile net;  // after the platform: it goes first
};

TEST_F(GetNetFileTest, EmptyUrlDoesNothingEvenWhileBusy) {
    net.DownloadStart("", "setup.exe", 16);
    EXPECT_THAT(events, IsEmpty());
    EXPECT_FALSE(net.Busy());
    EXPECT_THAT(fake.reads.requests, IsEmpty());

    net.DownloadStart("http://a/x", "x.exe");
    events.clear();
    net.DownloadStart("", "setup.exe");
    EXPECT_THAT(events, IsEmpty());
    EXPECT_TRUE(fake.reads.cancels.empty());
    EXPECT_TRUE(net.Busy());
}

TEST_F(GetNetFileTest, RequestIsNamedByTheStartTickAndCarriesTheMode) {
    fake.clock.tick = 123456;
    net.DownloadStart("http://host/setup.exe", "setup.exe", 16);
    ASSERT_EQ(fake.reads.requests.size(), 1u);
    EXPECT_EQ(fake.reads.requests[0].target, "http://host/setup.exe");
    EXPECT_EQ(fake.reads.requests[0].name, "123456");
    EXPECT_EQ(fake.reads.requests[0].options, 16);
    EXPECT_THAT(events, ElementsAre("Started http://host/setup.exe setup.exe"));

    // The tick is a signed 32-bit value: past 2^31 ms its text is negative.
    fake.clock.tick = 0x80000010u;
    net.DownloadStart("http://host/b", "b");
    EXPECT_EQ(Name(), "-2147483632");
    EXPECT_EQ(fake.reads.requests.back().options, 0);
}

TEST_F(GetNetFileTest, StartWhileBusyCancelsTheRunningRequestFirst) {
    net.DownloadStart("http://host/a", "a.exe");
    const std::string first = Name();
    fake.clock.Advance(250);
    net.DownloadStart("http://host/b", "b.exe");
    EXPECT_THAT(events, ElementsAre("Started http://host/a a.exe", "Canceled",
                                    "Started http://host/b b.exe"));
    EXPECT_THAT(fake.reads.cancels, ElementsAre(first));
    EXPECT_NE(Name(), first);
    EXPECT_TRUE(net.Busy());
}

TEST_F(GetNetFileTest, CancelAlwaysRaisesCanceledAndLeavesTheStateAlone) {
    net.DownloadCancel();  // idle: the service knows no such request
    EXPECT_THAT(events, ElementsAre("Canceled"));
    EXPECT_FALSE(net.Busy());

    net.DownloadStart("http://host/a", "a");
    fake.reads.failCancelsWith = err::kInvalidCall;
    net.DownloadCancel();
    EXPECT_TRUE(net.Busy());  // until a completion or a new start
    EXPECT_EQ(events.back(), "Canceled");
}

TEST_F(GetNetFileTest, RefusedStartIsSilentAndStaysBusy) {
    fake.reads.failReadsWith = err::kOutOfMemory;
    net.DownloadStart("http://host/a", "a.exe");
    EXPECT_THAT(events, ElementsAre("Started http://host/a a.exe"));
    EXPECT_TRUE(net.Busy());
    EXPECT_EQ(CurrentError().number, 0);
}

TEST_F(GetNetFileTest, ProgressCarriesTotalFirstAndLetsEventsRun) {
    net.DownloadStart("http://host/a", "a");
    std::vector<size_t> seenDuringEvents;
    fake.events.onDoEvents = [&] { seenDuringEvents.push_back(net.Bytes().size()); };
    fake.reads.Progress(Name(), 2500000, std::string(1250, 'x'));
    fake.reads.Progress(Name(), 2500000, std::string(4000, 'x'));
    EXPECT_THAT(events, ElementsAre("Started http://host/a a", "Progress 2500000 1250",
                                    "Progress 2500000 4000"));
    EXPECT_THAT(seenDuringEvents, ElementsAre(1250u, 4000u));
    EXPECT_EQ(net.Bytes(), std::vector<uint8_t>(4000, 'x'));

    // Other kinds of result are not this control's business.
    fake.reads.Progress(Name(), 10, "zz", 1);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(fake.events.doEventsCalls, 2);
}

TEST_F(GetNetFileTest, CompletionInsideProgressEventsIsHandledOnce) {
    // The user-interface thread may meet the completion while the control
    // is still processing events for a progress notification.
    net.DownloadStart("http://host/a", "a");
    const std::string name = Name();
    fake.events.onDoEvents = [&] {
        fake.events.onDoEvents = nullptr;
        fake.reads.Complete(name, "whole");
    };
    fake.reads.Progress(name, 5, "who");
    EXPECT_THAT(events, ElementsAre("Started http://host/a a", "Progress 5 3", "Complete 5"));
    EXPECT_FALSE(net.Busy());
}

TEST_F(GetNetFileTest, CompletionClearsBusyAndMeasuresDurationBeforeTheEvent) {
    net.DownloadStart("http://host/a", "a");
    fake.clock.Advance(1234);
    bool busyInEvent = true;
    int32_t durationInEvent = -1;
    net.DownloadComplete = [&](int32_t n) {
        busyInEvent = net.Busy();
        durationInEvent = net.Duration();
        events.push_back("Complete " + std::to_string(n));
    };
    fake.reads.Complete(Name(), "0123456789");
    EXPECT_FALSE(busyInEvent);
    EXPECT_EQ(durationInEvent, 1234);
    EXPECT_EQ(events.back(), "Complete 10");
    EXPECT_EQ(net.Bytes().size(), 10u);

    // A new start clears the duration at once.
    net.DownloadStart("http://host/b", "b");
    EXPECT_EQ(net.Duration(), 0);
}

TEST_F(GetNetFileTest, DurationSurvivesTheTickCountWrap) {
    fake.clock.tick = 0xFFFFFF00u;
    net.DownloadStart("http://host/a", "a");
    fake.clock.Advance(0x300);  // the tick count wraps past zero
    fake.reads.Complete(Name(), "x");
    EXPECT_EQ(net.Duration(), 0x300);
}

TEST_F(GetNetFileTest, FailedDownloadKeepsTheOldBytesButSavesNothing) {
    const std::string target = fake.app.identity.path + "\\setup.exe";
    net.DownloadStart("http://host/a", "a");
    fake.reads.Complete(Name(), "first installer");
    ASSERT_TRUE(net.SaveAs("setup.exe"));

    net.DownloadStart("http://host/b", "b");
    fake.reads.Progress(Name(), 100, "partial");
    events.clear();
    fake.reads.Fail(Name(), Failure(404, "HTTP 404 Not Found"));
    EXPECT_THAT(events, ElementsAre("Failed 404 HTTP 404 Not Found"));
    EXPECT_FALSE(net.Busy());
    EXPECT_EQ(net.Bytes(), std::vector<uint8_t>({'p', 'a', 'r', 't', 'i', 'a', 'l'}));
    EXPECT_FALSE(net.SaveAs("setup.exe"));
    EXPECT_EQ(Saved(target), "first installer");  // untouched
}

TEST_F(GetNetFileTest, SaveAsPlacesBareNamesInTheProgramFolderAndReplacesFiles) {
    const std::string folder = fake.app.identity.path;
    fake.files.AddFile(folder + "\\setup.exe", "an older and much longer installer");
    net.DownloadStart("http://host/a", "a");
    fake.reads.Complete(Name(), std::string("MZ\0\x01\xFF", 5));

    EXPECT_TRUE(net.SaveAs("setup.exe"));
    EXPECT_EQ(Saved(folder + "\\setup.exe"), std::string("MZ\0\x01\xFF", 5));

    // A name with "/" is taken as it stands.
    fake.files.AddFolder("D:\\Downloads");
    EXPECT_TRUE(net.SaveAs("D:/Downloads/setup.exe"));
    EXPECT_EQ(Saved("D:\\Downloads\\setup.exe"), std::string("MZ\0\x01\xFF", 5));
    EXPECT_FALSE(fake.files.HasFile(folder + "\\D:/Downloads/setup.exe"));
}

TEST_F(GetNetFileTest, SaveAsFailuresAnswerFalseAndLeaveTheTarget) {
    const std::string target = fake.app.identity.path + "\\setup.exe";
    EXPECT_FALSE(net.SaveAs("setup.exe"));  // nothing downloaded yet
    EXPECT_FALSE(fake.files.HasFile(target));

    fake.files.AddFile(target, "old");
    net.DownloadStart("http://host/a", "a");
    fake.reads.Complete(Name(), "new");
    fake.files.failAtomicMoveWith = err::kPermissionDenied;
    EXPECT_FALSE(net.SaveAs("setup.exe"));
    EXPECT_EQ(Saved(target), "old");
    EXPECT_FALSE(net.SaveAs("Z:/no/such/folder/setup.exe"));
    EXPECT_EQ(CurrentError().number, 0);  // nothing logged, nothing left behind
}

TEST_F(GetNetFileTest, GoingAwayStopsItsRequests) {
    {
        GetNetFile other;
        other.DownloadStart("http://host/a", "a");
    }
    EXPECT_EQ(fake.reads.cancelAlls, 1);
    EXPECT_FALSE(fake.reads.requests.back().active);
}

}  // namespace
}  // namespace tav
