// Downloads: the rules of one fetch against a scripted server (bodies,
// redirects, lengths, resuming, limits), and the download control's events
// and saving against a hand-driven read service.
#include <gmock/gmock.h>

#include <deque>

#include "download/GetNetFile.h"
#include "fakes/fake_platform.h"
#include "download/http_fetch.h"

namespace tav {
namespace {

using namespace net;
using ::testing::ElementsAre;

std::string Pattern(size_t n, size_t from = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(((from + i) * 7 + (from + i) / 251) & 0xFF);
    return s;
}
Sha256Digest DigestOf(const std::string& s) {
    return Sha256(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
}

struct Exchange {
    HttpResponse head;
    std::string body;
    std::optional<Failure> fails;  // at the open without a status, else after the body
    bool cancelled = false, outOfMemory = false;
};
// Status 200 announcing total bytes (-1: nothing announced, -2: the body's size).
Exchange Ok(const std::string& body, int64_t total = -2, const std::string& etag = "",
            std::optional<Failure> fails = {}) {
    Exchange e;
    e.head.status = 200, e.head.reason = "OK", e.head.etag = etag, e.body = body, e.fails = fails;
    if (total != -1)
        e.head.contentLength = total == -2 ? body.size() : static_cast<uint64_t>(total);
    return e;
}
Exchange Dropping(const std::string& sent, size_t total, const std::string& etag = "",
                  int32_t how = kErrConnectionAborted) {
    return Ok(sent, static_cast<int64_t>(total), etag, Failure(how, "dropped"));
}
Exchange Status(int32_t status, const std::string& reason, const std::string& location = "") {
    Exchange e;
    e.head.status = status, e.head.reason = reason, e.head.location = location;
    return e;
}
Exchange Partial(const std::string& rest, size_t from, size_t total, const std::string& etag) {
    Exchange e = Ok(rest, -2, etag);
    e.head.status = 206;
    e.head.contentRange = "bytes " + std::to_string(from) + "-" + std::to_string(total - 1) + "/" +
                          std::to_string(total);
    return e;
}

struct ScriptedServer : HttpTransport, FetchObserver, fakes::FakeCodeSigning::File {
    ScriptedServer() : File("body") {}
    HttpResponse Open(const std::string& url, const std::vector<std::string>& headers,
                      bool fresh) override {
        calls.push_back(url + (fresh ? "" : " cached"));
        for (const std::string& h : headers) calls.back() += " " + h;
        if (script.empty()) throw Failure(kErrCannotConnect, "unscripted");
        current = script.front(), at = 0;
        script.pop_front();
        if (current.fails && current.head.status == 0) throw *current.fails;
        return current.head;
    }
    size_t Read(std::span<uint8_t> dst) override {
        if (current.outOfMemory) throw std::bad_alloc();
        const size_t n = std::min({current.body.size() - at, dst.size(), readSize});
        std::memcpy(dst.data(), current.body.data() + at, n);
        if ((at += n, n) == 0 && current.cancelled) throw FetchCancelled{};
        if (n == 0 && current.fails) throw *current.fails;
        return n;
    }
    void Close() noexcept override {}
    void Progress(size_t n, size_t expected) override { seen.emplace_back(n, expected); }
    std::deque<Exchange> script;
    std::vector<std::string> calls;  // "<url>[ cached] <header>..."
    std::vector<std::pair<size_t, size_t>> seen;
    Exchange current;
    size_t at = 0, readSize = 4096;
};

// Two files must never be spliced: a part is taken only with the first
// answer's own strong ETag; otherwise the download starts again from its
// first byte, once, in a file emptied first. The digest is of exactly what
// the file holds; a file that cannot take more ends the download at once.
TEST(FetchTest, WhatEachScriptEndsInAndWhatItAsksFor) {
    const std::string u = "http://host/a", a = Pattern(30), b = Pattern(40, 999),
                      r10 = u + " Range: bytes=10- If-Range: \"v1\"";
    Exchange refused, noRanges = Dropping(a.substr(0, 10), 30, "\"v1\""), oom = Ok("abc"),
                      cancel = Ok("abc", -1);
    const Exchange resumable = Dropping(Pattern(10), 5010, "\"v1\"");
    refused.fails = Failure(kErrCannotConnect, "refused");
    noRanges.head.acceptRanges = "none";
    oom.outOfMemory = cancel.cancelled = true;
    std::deque<Exchange> budget = {Dropping(a.substr(0, 10), 30, "\"v1\"", kErrTimeout)};
    for (size_t from : {10, 15, 20}) {
        budget.push_back(Partial(a.substr(from, 5), from, 30, "\"v1\""));
        budget.back().head.contentLength = 30 - from,
        budget.back().fails = Failure(kErrTimeout, "silent");
    }
    budget.push_back(Dropping(a.substr(0, 10), 30, "\"v1\"", kErrTimeout));
    const std::tuple<const char*, std::string, std::deque<Exchange>, std::string,
                     std::vector<std::string>>
        cases[] = {
            // what, URL, script, the body or "!<failure number> <text>", the requests
            {"https to http",
             "https://s/a",
             {Status(302, "F", "http://p/a")},
             "!12040 Redirect from HTTPS to HTTP refused",
             {"https://s/a"}},
            {"foreign redirect",
             u,
             {Status(302, "F", "ftp://e/a")},
             "!12156 Redirect to an address that is not HTTP or HTTPS",
             {u}},
            {"no location", u, {Status(303, "S")}, "!12156 HTTP 303 S without a location", {u}},
            {"too many redirects", u, std::deque<Exchange>(11, Status(302, "F", u)),
             "!12156 Too many redirects", std::vector<std::string>(11, u)},
            {"part of no request",
             u,
             {Partial("abc", 0, 3, "")},
             "!12152 The server sent part of the file",
             {u}},
            {"close after the length",
             u,
             {Ok("whole", -2, "", Failure(kErrConnectionAborted, "late"))},
             "whole",
             {u}},
            {"weak etag", u, {Dropping(a.substr(0, 10), 30, "W/\"weak\""), Ok(b)}, b, {u, u}},
            {"other etag",
             u,
             {Dropping(a.substr(0, 10), 30, "\"v1\""), Partial(b.substr(10), 10, 30, "\"v2\""),
              Ok(b)},
             b,
             {u, r10, u}},
            {"whole body to a range",
             u,
             {Dropping(a.substr(0, 10), 30, "\"v1\""), Ok(b)},
             b,
             {u, r10}},
            {"range elsewhere",
             u,
             {Dropping(a.substr(0, 10), 30, "\"v1\""), Partial(a.substr(5), 5, 30, "\"v1\""),
              Ok(a)},
             a,
             {u, r10, u}},
            {"no ranges", u, {noRanges, Ok(a)}, a, {u, u}},
            {"three resumes one restart",
             u,
             budget,
             "!12002 dropped",
             {u, r10, u + " Range: bytes=15- If-Range: \"v1\"",
              u + " Range: bytes=20- If-Range: \"v1\"", u}},
            {"failed retry",
             u,
             {Dropping(a.substr(0, 10), 30, "\"v1\""), refused,
              Partial(a.substr(10), 10, 30, "\"v1\"")},
             a,
             {u, r10, r10}},
            {"more than announced",
             u,
             {Ok("0123456789", 6)},
             "!12152 The server sent more than the 6 bytes it announced",
             {u}},
            {"beyond 32 bits",
             u,
             {Ok("", int64_t{kMaxBody} + 1)},
             "!6 The file is larger than 2,147,483,647 bytes",
             {u}},
            {"out of memory", u, {oom}, "!7 Out of memory", {u}},
            {"cancelled", u, {cancel}, "", {u}},
            {"disk full", u, {Ok(Pattern(5000))}, "!61 Disk full", {u}},
            {"disk full after a resume",
             u,
             {resumable, Partial(Pattern(5000, 10), 10, 5010, "\"v1\"")},
             "!61 Disk full",
             {u, r10}},
            {"foreign scheme",
             "file:///C:/Windows/win.ini",
             {},
             "!12006 Only HTTP and HTTPS addresses can be downloaded",
             {}},
        };
    for (const auto& [what, url, script, result, calls] : cases) {
        ScriptedServer s;
        s.script = script;
        s.room = 4096;
        const FetchResult r = Fetch(s, url, true, s, s);
        const std::string got = r.cancelled ? "" : s.bytes;
        EXPECT_EQ(r.failure
                      ? "!" + std::to_string(r.failure->number()) + " " + r.failure->description()
                      : got,
                  result)
            << what;
        EXPECT_EQ(s.calls, calls) << what;
        EXPECT_EQ(r.cancelled, result.empty()) << what;
        if (!r.failure && !r.cancelled) {
            EXPECT_EQ(r.size, s.bytes.size()) << what << ": the size is not the file's";
            EXPECT_EQ(r.digest, DigestOf(s.bytes))
                << what << ": the digest is not of the file's bytes";
        }
    }
    // Reads smaller than the digest's buffers, which then cycle many times
    // through a restart and a resume.
    const std::string whole = Pattern(5000), other = Pattern(4000, 77);
    for (size_t chunk : {1, 7, 64, 4096}) {
        ScriptedServer s;
        s.script = {Dropping(whole.substr(0, 2500), 5000, "W/\"weak\""),
                    Dropping(other.substr(0, 1500), 4000, "\"v2\""),
                    Partial(other.substr(1500), 1500, 4000, "\"v2\"")};
        s.readSize = 13;
        FetchLimits small;
        small.readChunk = chunk;
        const FetchResult r = Fetch(s, u, true, s, s, small);
        EXPECT_FALSE(r.failure) << chunk << ": "
                                << r.failure.value_or(Failure(0, "")).description();
        EXPECT_TRUE(s.bytes == other) << chunk << ": the file is not the second body";
        EXPECT_EQ(r.digest, DigestOf(other)) << chunk << ": the digest is not the second body's";
    }
    ScriptedServer s;  // a limit below the 32-bit one: no progress beyond it
    s.script = {Ok(Pattern(1001), -1)}, s.readSize = 100;
    FetchLimits limits;
    limits.maxBody = 1000;
    EXPECT_EQ(Fetch(s, u, true, s, s, limits).failure.value_or(Failure(0, "")).number(),
              err::kOverflow);
    EXPECT_EQ(s.seen.back().first, 1000u);
}

class GetNetFileTest : public ::testing::Test {
protected:
    GetNetFileTest() {
        const auto log = [this](const std::string& e) { events.push_back(e); };
        net.DownloadComplete = [=, this](int32_t n) {
            log("Complete " + std::to_string(n) + (net.Busy() ? " busy " : " ") +
                std::to_string(net.Duration()));
        };
        net.DownloadStarted = [=](const std::string& url, const std::string& file) {
            log("Started " + url + " " + file);
        };
        net.DownloadProgress = [=](int32_t max, int32_t n) {
            log("Progress " + std::to_string(max) + " " + std::to_string(n));
        };
    }
    fakes::FakePlatform fake;
    std::vector<std::string> events;
    GetNetFile net{{&fake.reads, fake.events, fake.clock, fake.app, fake.files}};  // goes first
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
                                    "Progress 5 3", "Complete 5 768"));
    net.DownloadStart("http://host/b", "b");
    EXPECT_EQ(net.Duration(), 0);
}

TEST_F(GetNetFileTest, OnlyAFinishedDownloadIsHandedOverAndItsFileGoesWithIt) {
    const std::string mz("MZ\0\x01", 4);
    EXPECT_FALSE(net.TakeFile()) << "nothing downloaded yet";
    net.DownloadFolder = "C:\\TAV";
    net.DownloadStart("http://host/a", "a", 16);
    EXPECT_THAT(fake.reads.calls.back(), ::testing::EndsWith(" 16 into C:\\TAV"))
        << "a fresh copy, into the folder";
    std::shared_ptr<StagedFile> file;
    net.DownloadComplete = [&](int32_t) {
        const std::vector<uint8_t> bytes = net.Bytes();
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), mz) << "read back from the held file";
        EXPECT_EQ(net.Digest(), DigestOf(mz));
        file = net.TakeFile();
        // While the event runs: the installer is checked and started inside it.
        EXPECT_EQ(file.use_count(), 1) << "nobody but the taker may keep the file held";
    };
    fake.reads.Deliver(-1, mz);
    ASSERT_TRUE(file);
    net.DownloadComplete = nullptr;
    EXPECT_FALSE(net.TakeFile() || net.SaveAs("setup.exe")) << "a file is handed over once";

    net.DownloadStart("http://host/b", "b");
    fake.reads.Deliver(-1, "");
    EXPECT_FALSE(net.TakeFile()) << "an empty body is no installer";
    net.DownloadStart("http://host/c", "c");
    fake.reads.Deliver(-1, mz);
    net.DownloadStart("http://host/d", "d");
    fake.reads.Deliver(100, "partial");
    fake.reads.Deliver(-1, "", kAsyncTypeFile, Failure(404, "HTTP 404 Not Found"));
    EXPECT_FALSE(net.TakeFile() || net.SaveAs("setup.exe") || net.Busy())
        << "a failure leaves nothing to save";
    {
        // Going away stops its requests.
        GetNetFile other{{&fake.reads, fake.events, fake.clock, fake.app, fake.files}};
        other.DownloadStart("http://host/e", "e");
    }
    EXPECT_EQ(fake.reads.calls.back(), "cancel all");
}

}  // namespace
}  // namespace tav
