// The download control against a hand-driven read service: its events,
// their order, its state around them, and saving what arrived.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "download/GetNetFile.h"
#include "fakes/fake_platform.h"

namespace tav {
namespace {

using ::testing::ElementsAre;

class GetNetFileTest : public ::testing::Test {
protected:
    GetNetFileTest() {
        net.DownloadComplete = [this](int32_t n) {
            events.push_back("Complete " + std::to_string(n) + (net.Busy() ? " busy " : " ") + std::to_string(net.Duration()));
        };
        net.DownloadCanceled = [this] { events.push_back("Canceled"); };
        net.DownloadStarted = [this](const std::string& url, const std::string& file) { events.push_back("Started " + url + " " + file); };
        net.DownloadFailed = [this](int32_t n, const std::string& text) { events.push_back("Failed " + std::to_string(n) + " " + text); };
        net.DownloadProgress = [this](int32_t max, int32_t n) { events.push_back("Progress " + std::to_string(max) + " " + std::to_string(n)); };
        fake.files.AddFolder(fake.app.identity.path);
    }
    fakes::FakePlatform fake;
    std::vector<std::string> events;
    GetNetFile net;  // after the platform: it goes first
};

TEST_F(GetNetFileTest, RequestIsNamedByTheStartTickAndAStartWhileBusyCancelsFirst) {
    net.DownloadStart("", "setup.exe", 16);  // an empty URL does nothing, idle or busy
    fake.clock.tick = 123456;
    net.DownloadStart("http://host/a", "a.exe", 16);
    net.DownloadStart("", "setup.exe");
    fake.clock.tick = 0x80000010u;  // a signed 32-bit count: past 2^31 ms its text is negative
    net.DownloadStart("http://host/b", "b.exe");
    EXPECT_THAT(fake.reads.calls, ElementsAre("read http://host/a 123456 16", "cancel 123456", "read http://host/b -2147483632 0"));
    EXPECT_THAT(events, ElementsAre("Started http://host/a a.exe", "Canceled", "Started http://host/b b.exe"));
    EXPECT_TRUE(net.Busy());
}

TEST_F(GetNetFileTest, CancelAlwaysRaisesCanceledAndARefusedStartOrCancelLeavesItBusy) {
    net.DownloadCancel();  // idle: the service knows no such request
    EXPECT_FALSE(net.Busy());
    fake.reads.failWith = err::kOutOfMemory;
    net.DownloadStart("http://host/a", "a");
    EXPECT_TRUE(net.Busy());  // until a completion or a new start
    net.DownloadCancel();
    EXPECT_TRUE(net.Busy());
    EXPECT_THAT(events, ElementsAre("Canceled", "Started http://host/a a", "Canceled"));
    EXPECT_EQ(CurrentError().number, 0);
}

TEST_F(GetNetFileTest, ProgressLetsEventsRunAndACompletionAmongThemIsHandledOnce) {
    fake.clock.tick = 0xFFFFFF00u;
    net.DownloadStart("http://host/a", "a");
    std::vector<size_t> seen;
    fake.events.onDoEvents = [&] { seen.push_back(net.Bytes().size()); };
    fake.reads.Progress(2500000, std::string(1250, 'x'));
    fake.reads.Progress(10, "zz", 1);  // another kind of result is not this control's business
    fake.events.onDoEvents = [&] {
        fake.events.onDoEvents = nullptr;
        fake.clock.Advance(0x300);  // the tick count wraps past zero
        fake.reads.Complete("whole");
    };
    fake.reads.Progress(5, "who");
    EXPECT_THAT(events, ElementsAre("Started http://host/a a", "Progress 2500000 1250", "Progress 5 3", "Complete 5 768"));
    EXPECT_THAT(seen, ElementsAre(1250u));
    EXPECT_EQ(net.Bytes(), std::vector<uint8_t>({'w', 'h', 'o', 'l', 'e'}));
    net.DownloadStart("http://host/b", "b");
    EXPECT_EQ(net.Duration(), 0);
}

TEST_F(GetNetFileTest, SaveAsWritesOnlyAFinishedDownloadAndLeavesTheTargetOnFailure) {
    const std::string target = fake.app.identity.path + "\\setup.exe";
    EXPECT_FALSE(net.SaveAs("setup.exe"));  // nothing downloaded yet
    fake.files.AddFile(target, "an older and much longer installer");
    net.DownloadStart("http://host/a", "a");
    fake.reads.Complete(std::string("MZ\0\x01", 4));
    EXPECT_TRUE(net.SaveAs("setup.exe"));
    EXPECT_EQ(fake.files.Content(target), std::string("MZ\0\x01", 4));
    fake.files.AddFolder("D:\\Downloads");
    EXPECT_TRUE(net.SaveAs("D:/Downloads/setup.exe"));  // a name with "/" is taken as it stands
    EXPECT_EQ(fake.files.Content("D:\\Downloads\\setup.exe"), std::string("MZ\0\x01", 4));
    fake.files.failAtomicMoveWith = err::kPermissionDenied;
    EXPECT_FALSE(net.SaveAs("setup.exe"));
    EXPECT_FALSE(net.SaveAs("Z:/no/such/folder/setup.exe"));
    fake.files.failAtomicMoveWith = 0;

    net.DownloadStart("http://host/b", "b");
    fake.reads.Progress(100, "partial");
    fake.reads.Fail(Failure(404, "HTTP 404 Not Found"));
    EXPECT_EQ(events.back(), "Failed 404 HTTP 404 Not Found");
    EXPECT_FALSE(net.Busy());
    EXPECT_EQ(net.Bytes().size(), 7u);
    EXPECT_FALSE(net.SaveAs("setup.exe"));
    EXPECT_EQ(fake.files.Content(target), std::string("MZ\0\x01", 4));
    EXPECT_EQ(CurrentError().number, 0);
    {
        GetNetFile other;  // going away stops its requests
        other.DownloadStart("http://host/c", "c");
    }
    EXPECT_EQ(fake.reads.calls.back(), "cancel all");
}

}  // namespace
}  // namespace tav
