// The download control over the WinINet read service, against a loopback
// server that the test run started and that misbehaves on purpose.
#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "download/GetNetFile.h"
#include "core/sha256.h"
#include "download/http_fetch.h"
#include "platform/platform.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/read_service_win32.h"
#include "platform/win32/text.h"
#include "net_test_support.h"
#include "win_test_support.h"

namespace tav {
namespace {

using nettest::Pattern;
using nettest::Url;
using ::testing::HasSubstr;
using wintest::PumpMessages;

MATCHER_P(ElementsAreSubstrings, parts, "") {
    if (arg.size() != parts.size()) return false;
    for (size_t i = 0; i < arg.size(); ++i)
        if (arg[i].find(parts[i]) == std::string::npos) return false;
    return true;
}

// This run's own tags: the server that the test run started may have
// served an earlier run of these tests (ctest --repeat), and it keeps what
// it saw by tag. Wine gives process ids out again, hence the time.
const std::string kRun =
    std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64());

// The server's address of route/tag?query, tag taken as this run's.
std::string At(const std::string& route, const std::string& tag, const std::string& query) {
    return Url("/" + route + "/" + kRun + tag + "?" + query);
}

// The requests the server saw for this run's tag, one line each.
std::vector<std::string> ServerLog(const std::string& tag) {
    std::istringstream in(
        wintest::ReadFileBytes(wintest::HostPath(TAV_NET_REQUESTS "/" + kRun + tag + ".log")));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The real services, with reads for the read service.
DownloadServices ServicesOver(ReadService& reads) {
    const Platform& p = win32::InstallWin32Platform();
    return {&reads, *p.events, *p.clock, *p.app, *p.files};
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(wintest::ServerPort(TAV_NET_STATE), 0)
            << "no loopback server: run these tests through ctest, which starts it";
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
        };
        net.DownloadFailed = [this](int32_t n, const std::string& text) {
            kinds.push_back("Failed");
            failure = {n, text};
        };
        net.DownloadFolder = staging.path();
    }
    void TearDown() override { win32::InstallWin32Platform(); }

    // Runs one download to its end; false when it did not end in time.
    bool Download(const std::string& url) {
        kinds.clear();
        progress.clear();
        completed = -1;
        failure = {0, ""};
        net.DownloadStart(url, "setup.exe", kAsyncReadForceRefresh);
        const auto ended = [&] {
            return !kinds.empty() && (kinds.back() == "Complete" || kinds.back() == "Failed");
        };
        if (!PumpMessages(90000, ended)) return false;
        PumpMessages(200);  // nothing may follow the end of a download
        return ended();
    }

    std::string Received() const {
        const auto b = net.Bytes();
        return {b.begin(), b.end()};
    }
    bool AnyStagingFile() const { return wintest::AnyFile(staging.path() + "\\*.staging"); }

    // A silent server is found out well within the minute it holds still
    // (twice: the second try meets the same silence). The limit covers the
    // whole opening of a request, the client's own work included: the
    // first HTTPS request of the 32-bit build under an emulator loads the
    // TLS library and the system's root certificates before it answers,
    // which took over 5 s on a loaded machine and was taken for silence.
    win32::Win32ReadService service{
        win32::ReadServiceOptions{.stallTimeoutMs = 20000, .limits = {}}};
    wintest::TempFolder staging;  // where the downloads' files are made
    GetNetFile net{ServicesOver(service)};
    std::vector<std::string> kinds;
    std::vector<std::pair<int32_t, int32_t>> progress;
    int32_t completed = -1;
    std::pair<int32_t, std::string> failure;
};

TEST_F(DownloadTest, EachWayAServerBehavesEndsAsItShould) {
    const std::string tls =
        "https://127.0.0.1:" + std::to_string(wintest::ServerPort(TAV_NET_STATE, "tls_port"));
    const struct {
        std::string tag, url;
        int32_t size;  // the whole body arrived, or -1 and the failure
        int32_t code;
        std::string text;
        std::vector<std::string> requests;  // what the server saw, one substring each
    } rows[] = {
        {"chunked", At("body", "chunked", "size=300000&chunked=1"), 300000, 0, "", {"range=-"}},
        {"redirect",
         At("redirect", "redirect", "to=/body/" + kRun + "redirect%3Fsize=5000"),
         5000,
         0,
         "",
         {"/redirect/", "/body/"}},
        {"drop",
         At("drop", "drop", "size=400000&sent=150000"),
         400000,
         0,
         "",
         {"range=-", "range=bytes=150000- if-range=\"d400000\""}},
        // Nothing to resume with: one plain second try.
        {"short",
         At("short", "short", "size=200000&sent=50000"),
         -1,
         net::kErrConnectionAborted,
         "50000 of 200000",
         {"range=-", "range=-"}},
        {"stall",
         At("stall", "stall", "size=100000&sent=1000&hold=60"),
         -1,
         net::kErrTimeout,
         "sent nothing",
         {"range=-", "range=-"}},
        {"refused", "http://127.0.0.1:1/setup.exe", -1, net::kErrCannotConnect, "", {}},
        // An answer, not a broken connection: no second try.
        {"status", At("status", "status", "code=404"), -1, 404, "HTTP 404", {"range=-"}},
        // Certificate authority not trusted: no request ever went through.
        {"tls", tls + "/body/" + kRun + "tls?size=100", -1, 12045, "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tag);
        ASSERT_TRUE(Download(row.url)) << "the download did not end";
        EXPECT_EQ(kinds.front(), "Started") << "the first event";
        EXPECT_EQ(completed, row.size) << "not the whole body, or no failure: " << failure.second;
        if (row.size >= 0) {
            const std::string body = Pattern(static_cast<size_t>(row.size));
            EXPECT_TRUE(Received() == body) << "the file does not hold the body";
            EXPECT_EQ(net.Digest(),
                      Sha256(std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size())))
                << "the digest kept as the body arrived is not the body's";
            EXPECT_EQ(progress.back().second, row.size) << "the last progress is not the whole";
        } else {
            EXPECT_EQ(failure.first, row.code) << "failed with another number";
            EXPECT_THAT(failure.second, HasSubstr(row.text)) << "failed with other words";
        }
        EXPECT_EQ(AnyStagingFile(), row.size >= 0) << "only a whole download keeps its file";
        EXPECT_THAT(ServerLog(row.tag), ElementsAreSubstrings(row.requests))
            << "the server saw other requests";
    }
    for (const auto& p : progress) EXPECT_EQ(p.first, 0) << "a total announced for a chunked body";

    // A file that cannot be made fails the download before any request.
    net.DownloadFolder = staging.path() + "\\missing";
    ASSERT_TRUE(Download(At("body", "nofolder", "size=100"))) << "the download did not end";
    EXPECT_EQ(failure, std::make_pair(int32_t{err::kPathNotFound}, std::string("Path not found")))
        << "a folder that is not there did not fail as path not found";
    EXPECT_TRUE(ServerLog("nofolder").empty()) << "downloaded with nowhere to put it";
}

TEST_F(DownloadTest, CancelEndsTheConnectionAndTheNextDownloadIsSavedOnlyWhereNobodyHoldsTheFile) {
    net.DownloadStart(At("body", "cancelled", "size=3000000&slow=20"), "slow.exe", 16);
    ASSERT_TRUE(PumpMessages(30000, [&] { return !progress.empty(); })) << "no progress";
    EXPECT_TRUE(AnyStagingFile()) << "the file is not made when the download starts";
    net.DownloadCancel();
    EXPECT_EQ(service.ActiveCount(), 0u) << "the cancelled read still runs";
    EXPECT_TRUE(PumpMessages(30000, [&] { return !AnyStagingFile(); }))
        << "a cancelled download left its file";
    EXPECT_TRUE(PumpMessages(30000, [] {
        const auto log = ServerLog("cancelled");
        return !log.empty() && log.back() == "aborted by the client";
    })) << "the connection was not ended";

    // Big enough to arrive in many pieces, in order, after the total.
    ASSERT_TRUE(Download(At("body", "next", "size=3150000&etag=1"))) << "the download did not end";
    ASSERT_EQ(completed, 3150000) << failure.second;
    EXPECT_EQ(progress.front().first, 3150000) << "the total was not announced first";
    for (size_t i = 1; i < progress.size(); ++i)
        EXPECT_GT(progress[i].second, progress[i - 1].second) << "progress went back at " << i;
    wintest::TempFolder folder;
    std::string target = folder.path() + "\\setup.exe";
    std::replace(target.begin(), target.end(), '\\', '/');  // a name with "/" is used as it stands
    HANDLE held = ::CreateFileW(win32::Widen(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_FALSE(net.SaveAs(target)) << "saved over a file another program holds";
    ::CloseHandle(held);
    EXPECT_TRUE(net.SaveAs(target)) << "not saved once the file was let go";
    EXPECT_TRUE(wintest::ReadFileBytes(target) == Pattern(3150000)) << "not only its own bytes";
    const std::filesystem::path dir(win32::Widen(folder.path()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "leftovers";
}

}  // namespace
}  // namespace tav
