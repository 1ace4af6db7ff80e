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
        const auto log = [this](const std::string& e) { events.push_back(e); };
        net.DownloadComplete = [=, this](int32_t n) { log("Complete " + std::to_string(n) + (net.Busy() ? " busy " : " ") + std::to_string(net.Duration())); };
        net.DownloadCanceled = [=] { log("Canceled"); };
        net.DownloadStarted = [=](const std::string& url, const std::string& file) { log("Started " + url + " " + file); };
        net.DownloadFailed = [=](int32_t n, const std::string& text) { log("Failed " + std::to_string(n) + " " + text); };
        net.DownloadProgress = [=](int32_t max, int32_t n) { log("Progress " + std::to_string(max) + " " + std::to_string(n)); };
        fake.files.AddFolder(fake.app.identity.path);
    }
    fakes::FakePlatform fake;
    std::vector<std::string> events;
    GetNetFile net;  // after the platform: it goes first
};

TEST_F(GetNetFileTest, RequestIsNamedByTheStartTickAndAStartWhileBusyCancelsFirst) {
    net.DownloadCancel();  // idle: the service knows no such request
    net.DownloadStart("", "setup.exe", 16);  // an empty URL does nothing, idle or busy
    fake.clock.tick = 123456;
    net.DownloadStart("http://host/a", "a.exe", 16);
    net.DownloadStart("", "setup.exe");
    fake.clock.tick = 0x80000010u;  // a signed 32-bit count: past 2^31 ms its text is negative
    net.DownloadStart("http://host/b", "b.exe");
    fake.reads.failWith = err::kOutOfMemory;
    net.DownloadCancel();
    EXPECT_TRUE(net.Busy());  // a refused cancel leaves it busy until a completion or a new start
    net.DownloadStart("http://host/c", "c.exe");
    EXPECT_TRUE(net.Busy());  // so does a refused start, silently
    EXPECT_EQ(CurrentError().number, 0);
    EXPECT_THAT(fake.reads.calls, ElementsAre("cancel 0", "read http://host/a 123456 16", "cancel 123456",
                                              "read http://host/b -2147483632 0", "cancel -2147483632", "cancel -2147483632"));
    EXPECT_THAT(events, ElementsAre("Canceled", "Started http://host/a a.exe", "Canceled", "Started http://host/b b.exe",
                                    "Canceled", "Canceled", "Started http://host/c c.exe"));
}

TEST_F(GetNetFileTest, ProgressLetsEventsRunAndACompletionAmongThemIsHandledOnce) {
    fake.clock.tick = 0xFFFFFF00u;
    net.DownloadStart("http://host/a", "a");
    std::vector<size_t> seen;
    fake.events.onDoEvents = [&] { seen.push_back(net.Bytes().size()); };
    fake.reads.Deliver(2500000, std::string(1250, 'x'));
    fake.reads.Deliver(10, "zz", 1);  // another kind of result is not this control's business
    fake.events.onDoEvents = [&] {
        fake.events.onDoEvents = nullptr;
        fake.clock.Advance(0x300);  // the tick count wraps past zero
        fake.reads.Deliver(-1, "whole");
    };
    fake.reads.Deliver(5, "who");
    EXPECT_THAT(events, ElementsAre("Started http://host/a a", "Progress 2500000 1250", "Progress 5 3", "Complete 5 768"));
    EXPECT_THAT(seen, ElementsAre(1250u));
    EXPECT_EQ(net.Bytes(), std::vector<uint8_t>({'w', 'h', 'o', 'l', 'e'}));
    net.DownloadStart("http://host/b", "b");
    EXPECT_EQ(net.Duration(), 0);
}

TEST_F(GetNetFileTest, SaveAsWritesOnlyAFinishedDownloadAndLeavesTheTargetOnFailure) {
    const std::string target = fake.app.identity.path + "\\setup.exe", mz("MZ\0\x01", 4);
    EXPECT_FALSE(net.SaveAs("setup.exe"));  // nothing downloaded yet
    fake.files.AddFile(target, "an older and much longer installer");
    net.DownloadStart("http://host/a", "a");
    fake.reads.Deliver(-1, mz);
    fake.files.AddFolder("D:\\Downloads");
    EXPECT_TRUE(net.SaveAs("setup.exe"));
    EXPECT_TRUE(net.SaveAs("D:/Downloads/setup.exe"));  // a name with "/" is taken as it stands
    EXPECT_EQ(fake.files.Content(target) + fake.files.Content("D:\\Downloads\\setup.exe"), mz + mz);
    fake.files.failAtomicMoveWith = err::kPermissionDenied;
    EXPECT_FALSE(net.SaveAs("setup.exe"));
    EXPECT_FALSE(net.SaveAs("Z:/no/such/folder/setup.exe"));
    fake.files.failAtomicMoveWith = 0;
    net.DownloadStart("http://host/b", "b");
    fake.reads.Deliver(100, "partial");
    fake.reads.Deliver(-1, "", 2, Failure(404, "HTTP 404 Not Found"));
    EXPECT_EQ(events.back(), "Failed 404 HTTP 404 Not Found");
    EXPECT_EQ(net.Bytes().size() * 10 + net.Busy(), 70u);
    EXPECT_FALSE(net.SaveAs("setup.exe"));
    EXPECT_EQ(fake.files.Content(target), mz);
    EXPECT_EQ(CurrentError().number, 0);
    {
        GetNetFile other;  // going away stops its requests
        other.DownloadStart("http://host/c", "c");
    }
    EXPECT_EQ(fake.reads.calls.back(), "cancel all");
}

}  // namespace
}  // namespace tav
