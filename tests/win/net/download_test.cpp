// The download control and the WinINet read service together, against
// loopback servers that behave and misbehave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "download/GetNetFile.h"
#include "net_test_support.h"
#include "download/http_fetch.h"
#include "platform/platform.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/read_service_win32.h"
#include "platform/win32/text.h"
#include "win_test_support.h"

namespace tav {
namespace {

using nettest::Pattern;
using nettest::PumpUntil;
using nettest::ServerLog;
using nettest::Url;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::SizeIs;

std::string AsText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

win32::ReadServiceOptions TestOptions() {
    win32::ReadServiceOptions o;
    // A silent server is found out well within the 20 s it holds still,
    // and a TLS handshake of the 32-bit build running under an emulator
    // (over 1.5 s on a loaded machine) is not taken for silence.
    o.stallTimeoutMs = 5000;
    return o;
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nettest::LoopbackServers().misbehave, 0)
            << "no loopback servers: run these tests through ctest, which starts them";
        Platform p = win32::InstallWin32Platform();
        p.reads = &service;
        SetPlatform(p);
        net.DownloadStarted = [this](const std::string&, const std::string&) {
            kinds.push_back("Started");
        };
        net.DownloadCanceled = [this] { kinds.push_back("Canceled"); };
        net.DownloadProgress = [this](int32_t max, int32_t n) {
            kinds.push_back("Progress");
            progress.push_back({max, n});
        };
        net.DownloadComplete = [this](int32_t n) {
            kinds.push_back("Complete");
            completed = n;
            ended = true;
        };
        net.DownloadFailed = [this](int32_t n, const std::string& text) {
            kinds.push_back("Failed");
            failure = {n, text};
            ended = true;
        };
    }
    void TearDown() override { win32::InstallWin32Platform(); }

    // Runs one download to its end; false when it did not end in time.
    bool Download(const std::string& url, int32_t mode = kAsyncReadForceRefresh) {
        kinds.clear();
        progress.clear();
        completed = -1;
        failure = {0, ""};
        ended = false;
        net.DownloadStart(url, "setup.exe", mode);
        if (!PumpUntil([&] { return ended; })) return false;
        // Nothing may follow the end of a download.
        PumpUntil([] { return false; }, 200);
        return true;
    }

    static std::string Tag() {
        return ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    win32::Win32ReadService service{TestOptions()};
    GetNetFile net;
    std::vector<std::string> kinds;
    std::vector<std::pair<int32_t, int32_t>> progress;
    int32_t completed = -1;
    std::pair<int32_t, std::string> failure;
    bool ended = false;
};

TEST_F(DownloadTest, RealFileArrivesByteExactAndIsSaved) {
    const auto& servers = nettest::LoopbackServers();
    const std::string expected = wintest::ReadFileBytes(servers.plainFile);
    ASSERT_EQ(expected.size(), servers.plainSize);
    ASSERT_TRUE(Download("http://127.0.0.1:" + std::to_string(servers.plain) + "/payload.bin"));

    ASSERT_EQ(completed, static_cast<int32_t>(expected.size())) << failure.second;
    EXPECT_EQ(kinds.front(), "Started");
    EXPECT_EQ(kinds.back(), "Complete");
    ASSERT_FALSE(progress.empty());
    for (size_t i = 0; i < progress.size(); ++i) {
        EXPECT_EQ(progress[i].first, completed);  // the total comes first
        if (i > 0) {
            EXPECT_GT(progress[i].second, progress[i - 1].second);
        }
    }
    EXPECT_EQ(progress.back().second, completed);  // the last count before the end
    EXPECT_FALSE(net.Busy());
    EXPECT_GE(net.Duration(), 0);
    EXPECT_TRUE(AsText(net.Bytes()) == expected);

    wintest::TempFolder folder;
    std::string target = folder.path() + "\\setup.exe";
    for (char& c : target)
        if (c == '\\') c = '/';  // a name with "/" is used as it stands
    ASSERT_TRUE(net.SaveAs(target));
    EXPECT_TRUE(wintest::ReadFileBytes(target) == expected);
    EXPECT_THAT(nettest::FilesIn(folder.path()), ElementsAre("setup.exe"));
}

TEST_F(DownloadTest, ServerErrorsAreFailuresWithStatusAndReason) {
    ASSERT_TRUE(Download(Url("/status/" + Tag() + "?code=404")));
    EXPECT_EQ(failure.first, 404);
    EXPECT_EQ(failure.second, "HTTP 404 Not Found");
    EXPECT_THAT(kinds, Not(Contains("Complete")));
    EXPECT_FALSE(net.SaveAs("setup.exe"));

    ASSERT_TRUE(Download(Url("/status/" + Tag() + "?code=500")));
    EXPECT_EQ(failure.first, 500);
    EXPECT_EQ(failure.second, "HTTP 500 Internal Server Error");
    EXPECT_FALSE(net.Busy());
}

TEST_F(DownloadTest, EarlyCloseIsRetriedOnceAndThenAFailure) {
    ASSERT_TRUE(Download(Url("/short/" + Tag() + "?size=200000&sent=50000")));
    EXPECT_EQ(failure.first, net::kErrConnectionAborted);
    EXPECT_THAT(failure.second, HasSubstr("50000 of 200000"));
    EXPECT_EQ(completed, -1);
    // Nothing to resume with: one plain second try.
    EXPECT_THAT(ServerLog(Tag()), ElementsAre(HasSubstr("range=-"), HasSubstr("range=-")));
}

TEST_F(DownloadTest, ChunkedBodyWithoutLengthArrivesWhole) {
    ASSERT_TRUE(Download(Url("/body/" + Tag() + "?size=300000&chunked=1")));
    ASSERT_EQ(completed, 300000) << failure.second;
    for (const auto& p : progress)
        EXPECT_EQ(p.first, 0);  // no total announced
    EXPECT_TRUE(AsText(net.Bytes()) == Pattern(300000));

    // The body grew in several pieces; the file holds them in order.
    wintest::TempFolder folder;
    std::string target = folder.path() + "\\chunked.bin";
    for (char& c : target)
        if (c == '\\') c = '/';
    ASSERT_TRUE(net.SaveAs(target));
    EXPECT_TRUE(wintest::ReadFileBytes(target) == Pattern(300000));
}

TEST_F(DownloadTest, SlowHandlerThatProcessesEventsNeverNestsProgress) {
    // Like the main window's Status, the handler yields to pending events,
    // slowly, while news keeps coming.
    int depth = 0, deepest = 0;
    net.DownloadProgress = [&](int32_t max, int32_t n) {
        deepest = std::max(deepest, ++depth);
        kinds.push_back("Progress");
        progress.push_back({max, n});
        ::Sleep(120);  // longer than the interval between notifications
        platform().events->DoEvents();
        --depth;
    };
    ASSERT_TRUE(Download(Url("/body/" + Tag() + "?size=2000000&slow=5")));
    ASSERT_EQ(completed, 2000000) << failure.second;
    EXPECT_EQ(deepest, 1);
    EXPECT_GT(progress.size(), 1u);
    EXPECT_EQ(kinds.back(), "Complete");
    EXPECT_TRUE(AsText(net.Bytes()) == Pattern(2000000));
}

TEST_F(DownloadTest, RedirectIsFollowed) {
    const std::string target = "/body/" + Tag() + "?size=5000";
    ASSERT_TRUE(Download(Url("/redirect/" + Tag() + "?to=" + target)));
    ASSERT_EQ(completed, 5000) << failure.second;
    EXPECT_TRUE(AsText(net.Bytes()) == Pattern(5000));
    EXPECT_THAT(ServerLog(Tag()), ElementsAre(HasSubstr("/redirect/"), HasSubstr("/body/")));
}

TEST_F(DownloadTest, RefusedConnectionFails) {
    ASSERT_TRUE(Download("http://127.0.0.1:1/setup.exe"));
    EXPECT_EQ(failure.first, net::kErrCannotConnect);
    EXPECT_FALSE(failure.second.empty());
    EXPECT_THAT(kinds, ElementsAre("Started", "Failed"));
}

TEST_F(DownloadTest, UntrustedCertificateIsRefused) {
    const int port = nettest::LoopbackServers().tls;
    ASSERT_TRUE(
        Download("https://127.0.0.1:" + std::to_string(port) + "/body/" + Tag() + "?size=100"));
    EXPECT_EQ(failure.first, 12045);  // certificate authority not trusted
    EXPECT_EQ(completed, -1);
    EXPECT_THAT(ServerLog(Tag()), SizeIs(0));  // no request ever went through
}

TEST_F(DownloadTest, SilentServerCountsAsADropAndEndsInAFailure) {
    ASSERT_TRUE(Download(Url("/stall/" + Tag() + "?size=100000&sent=1000&hold=20")));
    EXPECT_EQ(failure.first, net::kErrTimeout);
    EXPECT_THAT(failure.second, HasSubstr("sent nothing"));
    EXPECT_THAT(ServerLog(Tag()), SizeIs(2));  // the first try and one restart
}

TEST_F(DownloadTest, DroppedConnectionIsResumedWithARange) {
    ASSERT_TRUE(Download(Url("/drop/" + Tag() + "?size=400000&sent=150000")));
    ASSERT_EQ(completed, 400000) << failure.second;
    EXPECT_TRUE(AsText(net.Bytes()) == Pattern(400000));
    EXPECT_THAT(ServerLog(Tag()),
                ElementsAre(HasSubstr("range=-"), AllOf(HasSubstr("range=bytes=150000-"),
                                                        HasSubstr("if-range=\"d400000\""))));
    EXPECT_EQ(progress.back(), std::make_pair(400000, 400000));
}

TEST_F(DownloadTest, CancelStopsTheRequestAndTheNextDownloadIsUnaffected) {
    const std::string slow = Tag() + "Slow";
    net.DownloadStart(Url("/body/" + slow + "?size=3000000&slow=20"), "slow.exe", 16);
    ASSERT_TRUE(PumpUntil([&] { return !progress.empty(); }));
    EXPECT_EQ(service.ActiveCount(), 1u);
    net.DownloadCancel();
    EXPECT_EQ(kinds.back(), "Canceled");
    EXPECT_EQ(service.ActiveCount(), 0u);
    EXPECT_TRUE(net.Busy());  // a cancel changes no state

    // The connection really ends: the server sees the client go.
    EXPECT_TRUE(PumpUntil([&] {
        const auto log = ServerLog(slow);
        return !log.empty() && log.back() == "aborted by the client";
    }));

    // What arrives next belongs to the next download only.
    ASSERT_TRUE(Download(Url("/body/" + Tag() + "?size=7000")));
    EXPECT_EQ(completed, 7000);
    EXPECT_EQ(kinds.front(), "Canceled");  // the new start cancels the old name again
    EXPECT_EQ(kinds[1], "Started");
    for (const auto& p : progress)
        EXPECT_EQ(p.first, 7000);
}

TEST_F(DownloadTest, TwoDownloadsInARowEachKeepTheirOwnBytes) {
    ASSERT_TRUE(Download(Url("/body/" + Tag() + "?size=120000&etag=1")));
    ASSERT_EQ(completed, 120000);
    ASSERT_TRUE(Download(Url("/body/" + Tag() + "?size=3000"), 0));
    ASSERT_EQ(completed, 3000);
    EXPECT_TRUE(AsText(net.Bytes()) == Pattern(3000));
    EXPECT_THAT(kinds, ElementsAre("Started", "Progress", "Complete"));
}

TEST_F(DownloadTest, FailedSaveLeavesTheTargetAsItWasAndNoLeftovers) {
    ASSERT_TRUE(Download(Url("/body/" + Tag() + "?size=9000")));
    ASSERT_EQ(completed, 9000);
    wintest::TempFolder folder;
    std::string target = folder.path() + "\\setup.exe";
    for (char& c : target)
        if (c == '\\') c = '/';
    HANDLE held = ::CreateFileW(win32::Widen(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(held, "old", 3, &written, nullptr);
    // Another program holds the file: it cannot be replaced now.
    EXPECT_FALSE(net.SaveAs(target));
    ::CloseHandle(held);
    EXPECT_EQ(wintest::ReadFileBytes(target), "old");
    EXPECT_THAT(nettest::FilesIn(folder.path()), ElementsAre("setup.exe"));

    EXPECT_TRUE(net.SaveAs(target));
    EXPECT_TRUE(wintest::ReadFileBytes(target) == Pattern(9000));
    EXPECT_THAT(nettest::FilesIn(folder.path()), ElementsAre("setup.exe"));
}

TEST_F(DownloadTest, ProgramEndsAtOnceWhileADownloadHangs) {
    // The probe starts a download from a server that then says nothing for
    // a minute, and returns from its entry as soon as bytes arrived.
    const std::string probe = wintest::HostPath(TAV_NET_HELPER_DIR "/download_exit_probe.exe");
    HANDLE process =
        wintest::StartProcess(probe, Url("/stall/" + Tag() + "?size=100000&sent=5000&hold=60"));
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(wintest::WaitExit(process, 30000), 0);
    ::CloseHandle(process);
}

}  // namespace
}  // namespace tav
