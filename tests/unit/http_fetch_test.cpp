// The rules of one download against a scripted server: what counts as a
// body, redirects, lengths, resuming and restarting, limits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <new>
#include <stdexcept>

#include "download/http_fetch.h"

namespace tav::net {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Pattern(size_t n, size_t from = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(((from + i) * 7 + (from + i) / 251) & 0xFF);
    return s;
}

std::string Text(const ByteView& v) {
    const std::vector<uint8_t> bytes = v.ToVector();
    return std::string(bytes.begin(), bytes.end());
}

// One response the scripted server gives, in order of requests.
struct Exchange {
    HttpResponse head;
    std::optional<Failure> openFailure;
    std::string body;
    std::optional<Failure> afterBody;  // how the connection ends; none = cleanly
    bool cancelAfterBody = false;
    bool outOfMemory = false;
};

Exchange Ok(const std::string& body, bool withLength = true) {
    Exchange e;
    e.head.status = 200;
    e.head.reason = "OK";
    if (withLength) e.head.contentLength = body.size();
    e.body = body;
    return e;
}

Exchange Status(int32_t status, const std::string& reason, const std::string& location = "") {
    Exchange e;
    e.head.status = status;
    e.head.reason = reason;
    e.head.location = location;
    return e;
}

// Announces `total` bytes but sends `sent` of them and then drops.
Exchange Dropping(const std::string& sent, size_t total, const std::string& etag = "",
                  const Failure& how = Failure(kErrConnectionAborted, "dropped")) {
    Exchange e = Ok(sent);
    e.head.contentLength = total;
    e.head.etag = etag;
    e.afterBody = how;
    return e;
}

Exchange Partial(const std::string& rest, size_t from, size_t total, const std::string& etag) {
    Exchange e = Ok(rest);
    e.head.status = 206;
    e.head.etag = etag;
    e.head.contentRange = "bytes " + std::to_string(from) + "-" + std::to_string(total - 1) + "/" +
                          std::to_string(total);
    return e;
}

class ScriptedTransport : public HttpTransport {
public:
    HttpResponse Open(const std::string& url, const std::vector<std::string>& headers,
                      bool fresh) override {
        if (script.empty()) throw std::logic_error("unscripted request to " + url);
        calls.push_back(Call{url, headers, fresh});
        current_ = script.front();
        script.pop_front();
        at_ = 0;
        if (current_->openFailure) throw *current_->openFailure;
        return current_->head;
    }
    size_t Read(std::span<uint8_t> dst) override {
        if (!current_) throw std::logic_error("read without a response");
        if (current_->outOfMemory) throw std::bad_alloc();
        const size_t left = current_->body.size() - at_;
        if (left > 0) {
            const size_t n = std::min({left, dst.size(), readSize});
            std::memcpy(dst.data(), current_->body.data() + at_, n);
            at_ += n;
            return n;
        }
        if (current_->cancelAfterBody) throw FetchCancelled{};
        if (current_->afterBody) throw *current_->afterBody;
        return 0;
    }
    void Close() noexcept override { current_.reset(); }

    struct Call {
        std::string url;
        std::vector<std::string> headers;
        bool fresh;
    };
    std::deque<Exchange> script;
    std::vector<Call> calls;
    size_t readSize = 4096;

private:
    std::optional<Exchange> current_;
    size_t at_ = 0;
};

class Recorder : public FetchObserver {
public:
    void Progress(const std::shared_ptr<ByteStore>& store, size_t bytes, size_t expected) override {
        EXPECT_EQ(store->size(), bytes);
        seen.push_back({bytes, expected});
    }
    struct Seen {
        size_t bytes, expected;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
};

class FetchTest : public ::testing::Test {
protected:
    FetchResult Run(const std::string& url = "http://host/setup.exe", bool fresh = true) {
        return Fetch(server, url, fresh, observer, limits);
    }
    ScriptedTransport server;
    Recorder observer;
    FetchLimits limits;
};

TEST_F(FetchTest, AnnouncedBodyArrivesWholeInExactlyPreparedRoom) {
    const std::string body = Pattern(100000);
    server.script = {Ok(body)};
    const uint64_t copiedBefore = ByteStore::BytesCopied();
    const FetchResult r = Run();
    ASSERT_FALSE(r.failure) << r.failure->description();
    EXPECT_EQ(Text(r.data), body);
    EXPECT_EQ(ByteStore::BytesCopied() - copiedBefore, body.size());  // Text's own copy only
    EXPECT_EQ(r.data.store->pieceCount(), 1u);
    EXPECT_EQ(r.data.store->capacity(), body.size());
    ASSERT_FALSE(observer.seen.empty());
    EXPECT_EQ(observer.seen.front(), (Recorder::Seen{4096, 100000}));
    EXPECT_EQ(observer.seen.back(), (Recorder::Seen{100000, 100000}));
    EXPECT_TRUE(server.calls[0].fresh);
    EXPECT_THAT(server.calls[0].headers, IsEmpty());
}

TEST_F(FetchTest, UnannouncedBodyGrowsInPiecesWithoutMovingBytes) {
    const std::string body = Pattern(1500000);
    server.script = {Ok(body, false)};
    server.readSize = 70001;
    const uint64_t copiedBefore = ByteStore::BytesCopied();
    const FetchResult r = Run("HTTPS://host/x", false);
    ASSERT_FALSE(r.failure);
    EXPECT_EQ(ByteStore::BytesCopied(), copiedBefore);
    EXPECT_GT(r.data.store->pieceCount(), 2u);
    // Doubling pieces: the room left over is less than what is used.
    EXPECT_LT(r.data.store->capacity(), 2 * body.size());
    EXPECT_EQ(Text(r.data), body);
    EXPECT_EQ(observer.seen.back(), (Recorder::Seen{body.size(), 0}));
    EXPECT_FALSE(server.calls[0].fresh);
}

TEST_F(FetchTest, AnswersOtherThanSuccessAreFailuresWithStatusAndReason) {
    server.script = {Status(404, "Not Found")};
    FetchResult r = Run();
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->number(), 404);
    EXPECT_EQ(r.failure->description(), "HTTP 404 Not Found");
    EXPECT_FALSE(r.data.store);

    server.script = {Status(500, "")};
    r = Run();
    EXPECT_EQ(r.failure->description(), "HTTP 500");

    // A part of a file is no file.
    server.script = {Partial("abc", 0, 3, "")};
    r = Run();
    EXPECT_EQ(r.failure->number(), kErrInvalidResponse);
    EXPECT_EQ(server.calls.size(), 3u);  // none of them retried
}

TEST_F(FetchTest, RedirectsAreFollowedButNeverFromHttpsToHttp) {
    server.script = {Status(301, "Moved", "http://mirror/a"), Status(307, "Temp", "https://cdn/a"),
                     Ok("payload")};
    FetchResult r = Run();
    ASSERT_FALSE(r.failure);
    EXPECT_EQ(Text(r.data), "payload");
    ASSERT_EQ(server.calls.size(), 3u);
    EXPECT_EQ(server.calls[1].url, "http://mirror/a");
    EXPECT_EQ(server.calls[2].url, "https://cdn/a");

    server.calls.clear();
    server.script = {Status(302, "Found", "http://plain/a")};
    r = Run("https://secure/a");
    EXPECT_EQ(r.failure->number(), kErrHttpsToHttp);
    EXPECT_EQ(server.calls.size(), 1u);

    server.script = {Status(302, "Found", "ftp://elsewhere/a")};
    EXPECT_EQ(Run().failure->number(), kErrRedirectFailed);
    server.script = {Status(303, "See Other")};
    EXPECT_EQ(Run().failure->number(), kErrRedirectFailed);

    limits.redirects = 2;
    server.script = {Status(302, "F", "http://a/1"), Status(302, "F", "http://a/2"),
                     Status(302, "F", "http://a/3")};
    r = Run();
    EXPECT_EQ(r.failure->description(), "Too many redirects");
}

TEST_F(FetchTest, EarlyCloseWithoutValidatorRestartsOnceThenFails) {
    server.script = {Dropping("0123456789", 20), Dropping("0123456789", 20)};
    const FetchResult r = Run();
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->number(), kErrConnectionAborted);
    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_THAT(server.calls[1].headers, IsEmpty());  // a plain second request
    EXPECT_EQ(server.calls[1].url, "http://host/setup.exe");

    // A close right after the announced length is no failure; a clean end
    // without one is the end.
    server.script = {Ok("whole")};
    server.script.front().afterBody = Failure(kErrConnectionAborted, "late");
    EXPECT_FALSE(Run().failure);
}

TEST_F(FetchTest, DroppedDownloadResumesWhereItStoppedWithTheValidator) {
    const std::string body = Pattern(50000);
    server.script = {
        Dropping(body.substr(0, 12000), 50000, "\"v1\"", Failure(kErrTimeout, "silent")),
        Partial(body.substr(12000), 12000, 50000, "\"v1\"")};
    server.script[0].head.status = 200;
    const FetchResult r = Run();
    ASSERT_FALSE(r.failure) << r.failure->description();
    EXPECT_EQ(Text(r.data), body);
    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_THAT(server.calls[1].headers, ElementsAre("Range: bytes=12000-", "If-Range: \"v1\""));
    EXPECT_TRUE(server.calls[1].fresh);
    EXPECT_EQ(r.data.store->pieceCount(), 1u);  // resumed into the same room

}

// Two files must never be spliced: without a strong ETag nothing is resumed,
// and a part is taken only with the first answer's own ETag; otherwise the
// download starts again from its first byte.
TEST_F(FetchTest, APartIsTakenOnlyWithTheFirstAnswersStrongETag) {
    const std::string first = Pattern(30), other = Pattern(30, 999);
    const struct {
        const char* firstETag;
        const char* partETag;  // nullptr: no range is asked for
    } cases[] = {{"W/\"weak\"", nullptr}, {"", nullptr}, {"\"v1\"", "\"v2\""}, {"\"v1\"", ""},
                 {"\"v1\"", "W/\"v1\""}};
    for (const auto& c : cases) {
        server.calls.clear();
        server.script = {Dropping(first.substr(0, 10), 30, c.firstETag)};
        server.script[0].head.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
        if (c.partETag) server.script.push_back(Partial(other.substr(10), 10, 30, c.partETag));
        server.script.push_back(Ok(other));
        const FetchResult r = Run();
        ASSERT_FALSE(r.failure) << c.firstETag;
        EXPECT_EQ(Text(r.data), other) << c.firstETag << " " << (c.partETag ? c.partETag : "");
        EXPECT_THAT(server.calls.back().headers, IsEmpty());
        if (!c.partETag) {
            EXPECT_EQ(server.calls.size(), 2u);
        }
    }
}

TEST_F(FetchTest, ResumeThatDoesNotLineUpStartsAfresh) {
    const std::string old = Pattern(30), fresh = Pattern(40, 999);
    // A whole body in answer to a range: the file changed.
    server.script = {Dropping(old.substr(0, 10), 30, "\"v1\""), Ok(fresh)};
    FetchResult r = Run();
    ASSERT_FALSE(r.failure);
    EXPECT_EQ(Text(r.data), fresh);
    EXPECT_EQ(observer.seen.back(), (Recorder::Seen{40, 40}));

    // A range starting elsewhere: no more resuming, one plain restart.
    server.calls.clear();
    server.script = {Dropping(old.substr(0, 10), 30, "\"v1\""), Partial(old.substr(5), 5, 30, "\"v1\""),
                     Ok(old)};
    r = Run();
    ASSERT_FALSE(r.failure);
    EXPECT_EQ(Text(r.data), old);
    ASSERT_EQ(server.calls.size(), 3u);
    EXPECT_THAT(server.calls[2].headers, IsEmpty());

    // A server that refuses ranges is never asked for one.
    server.calls.clear();
    server.script = {Dropping(old.substr(0, 10), 30, "\"v1\""), Ok(old)};
    server.script[0].head.acceptRanges = "none";
    EXPECT_FALSE(Run().failure);
    EXPECT_THAT(server.calls[1].headers, IsEmpty());
}

TEST_F(FetchTest, RetriesAreBoundedThreeResumesAndOneRestart) {
    const std::string body = Pattern(100);
    const Failure silent(kErrTimeout, "The server sent nothing for 60 seconds");
    server.script = {Dropping(body.substr(0, 10), 100, "\"e\"", silent)};
    for (size_t from : {10, 20, 30}) {
        Exchange e = Partial(body.substr(from, 10), from, 100, "\"e\"");
        e.head.contentLength = 100 - from;
        e.afterBody = silent;
        server.script.push_back(e);
    }
    server.script.push_back(Dropping(body.substr(0, 10), 100, "\"e\"", silent));
    const FetchResult r = Run();
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->number(), kErrTimeout);
    EXPECT_EQ(server.calls.size(), 5u);
    EXPECT_THAT(server.calls[4].headers, IsEmpty());
    EXPECT_TRUE(server.script.empty());
}

TEST_F(FetchTest, NetworkFailuresOfRetriesUseUpTheBudgetToo) {
    const std::string body = Pattern(20);
    Exchange refused;
    refused.openFailure = Failure(kErrCannotConnect, "refused");
    server.script = {Dropping(body.substr(0, 5), 20, "\"e\""), refused,
                     Partial(body.substr(5), 5, 20, "\"e\"")};
    const FetchResult r = Run();
    ASSERT_FALSE(r.failure);
    EXPECT_EQ(Text(r.data), body);

    // The very first request failing has nothing to resume: it is final.
    server.calls.clear();
    server.script = {refused};
    EXPECT_EQ(Run().failure->number(), kErrCannotConnect);
    EXPECT_EQ(server.calls.size(), 1u);
}

TEST_F(FetchTest, MoreBytesThanAnnouncedIsAFailure) {
    Exchange e = Ok("0123456789");
    e.head.contentLength = 6;
    server.script = {e};
    const FetchResult r = Run();
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->number(), kErrInvalidResponse);
    EXPECT_FALSE(r.data.store);
}

TEST_F(FetchTest, BodiesBeyondTheCountsAreRefusedClearly) {
    Exchange huge = Ok("");
    huge.head.contentLength = kMaxBody + 1;
    server.script = {huge};
    FetchResult r = Run();
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->number(), err::kOverflow);
    EXPECT_EQ(r.failure->description(), "The file is larger than 2,147,483,647 bytes");

    limits.maxBody = 1000;
    server.script = {Ok(Pattern(1001), false)};
    r = Run();
    EXPECT_EQ(r.failure->number(), err::kOverflow);
    for (const auto& s : observer.seen)
        EXPECT_LE(s.bytes, 1000u);
}

TEST_F(FetchTest, OutOfMemoryCancelAndForeignSchemesEndCleanly) {
    Exchange e = Ok("abc");
    e.outOfMemory = true;
    server.script = {e};
    FetchResult r = Run();
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->number(), err::kOutOfMemory);
    EXPECT_EQ(r.failure->description(), "Out of memory");

    e = Ok("abc");
    e.cancelAfterBody = true;
    e.head.contentLength.reset();
    server.script = {e};
    r = Run();
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.failure);

    server.calls.clear();
    r = Run("file:///C:/Windows/win.ini");
    EXPECT_EQ(r.failure->number(), kErrUnrecognizedScheme);
    EXPECT_THAT(server.calls, IsEmpty());
}

}  // namespace
}  // namespace tav::net
