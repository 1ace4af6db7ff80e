// The download control's events and hand-over against a hand-driven read
// service.
#include <gmock/gmock.h>

#include "download/GetNetFile.h"
#include "fakes/fake_platform.h"

namespace tav {
namespace {

using ::testing::ElementsAre;

class GetNetFileTest : public ::testing::Test {
protected:
    GetNetFileTest() {
        net.DownloadComplete = [this](int32_t n) {
            events.push_back("Complete " + std::to_string(n) + (net.Busy() ? " busy " : " ") +
                             std::to_string(net.Duration()));
        };
        net.DownloadStarted = [this](const std::string& url, const std::string& file) {
            events.push_back("Started " + url + " " + file);
        };
        net.DownloadProgress = [this](int32_t max, int32_t n) {
            events.push_back("Progress " + std::to_string(max) + " " + std::to_string(n));
        };
    }
    fakes::FakePlatform fake;
    std::vector<std::string> events;
    DownloadServices Services() {
        return {&fake.reads, fake.events, fake.clock, fake.app, fake.files};
    }
    GetNetFile net{Services()};  // after the platform: it goes first
};

TEST_F(GetNetFileTest, ProgressLetsEventsRunAndACompletionAmongThemIsHandledOnce) {
    fake.clock.tick = 0xFFFFFF00u;
    net.DownloadStart("http://host/a", "a");
    fake.reads.Deliver(2500000, std::string(1250, 'x'));
    fake.reads.Deliver(10, "zz", 1);  // another kind of result is not this control's business
    fake.events.onDoEvents = [&] {
        fake.events.onDoEvents = nullptr;
        fake.clock.Advance(0x300);  // the tick count wraps past zero
        fake.reads.Deliver(-1, "whole");
    };
    fake.reads.Deliver(5, "who");
    EXPECT_THAT(events, ElementsAre("Started http://host/a a", "Progress 2500000 1250",
                                    "Progress 5 3", "Complete 5 768"))
        << "the events";
    net.DownloadStart("http://host/b", "b");
    EXPECT_EQ(net.Duration(), 0) << "the clock not reset";
}

TEST_F(GetNetFileTest, OnlyAFinishedDownloadIsHandedOverAndItsFileGoesWithIt) {
    EXPECT_FALSE(net.TakeFile()) << "nothing downloaded yet";
    net.DownloadFolder = "C:\\TAV";
    net.DownloadStart("http://host/a", "a", 16);
    EXPECT_THAT(fake.reads.calls.back(), ::testing::EndsWith(" 16 into C:\\TAV"))
        << "not a fresh copy into the folder";
    std::shared_ptr<StagedFile> file;
    net.DownloadComplete = [&](int32_t) {
        file = net.TakeFile();
        // While the event runs: the installer is checked and started inside it.
        EXPECT_EQ(file.use_count(), 1) << "held beside the taker";
    };
    fake.reads.Deliver(-1, "MZ");
    ASSERT_TRUE(file) << "not handed over";
    net.DownloadComplete = nullptr;
    EXPECT_FALSE(net.TakeFile()) << "a file is handed over twice";
    net.DownloadStart("http://host/b", "b");
    fake.reads.Deliver(-1, "");
    EXPECT_FALSE(net.TakeFile()) << "an empty body is no installer";
    {
        GetNetFile other{Services()};
        other.DownloadStart("http://host/e", "e");
    }
    EXPECT_EQ(fake.reads.calls.back(), "cancel all") << "not cancelled at its end";
}

}  // namespace
}  // namespace tav
