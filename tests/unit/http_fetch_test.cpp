// The rules of one download against a scripted server: what counts as a
// body, redirects, lengths, resuming and restarting, limits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <new>

#include "platform/http_fetch.h"

namespace tav::net {
namespace {

using ::testing::ElementsAre;

std::string Pattern(size_t n, size_t from = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(((from + i) * 7 + (from + i) / 251) & 0xFF);
    return s;
}

// One response of the scripted server.
struct Exchange {
    HttpResponse head;
    std::string body;
    std::optional<Failure> fails;  // at open when there is no head, else after the body
    bool cancelled = false, outOfMemory = false;
};
Exchange Ok(const std::string& body, bool withLength = true) {
    Exchange e;
    e.head.status = 200;
    e.head.reason = "OK";
    e.body = body;
    if (withLength) e.head.contentLength = body.size();
    return e;
}
Exchange Status(int32_t status, const std::string& reason, const std::string& location = "") {
    Exchange e;
    e.head.status = status;
    e.head.reason = reason;
    e.head.location = location;
    return e;
}
// Announces total bytes, sends these and drops.
Exchange Dropping(const std::string& sent, size_t total, const std::string& etag = "",
                  const Failure& how = Failure(kErrConnectionAborted, "dropped")) {
    Exchange e = Ok(sent);
    e.head.contentLength = total;
    e.head.etag = etag;
    e.fails = how;
    return e;
}
Exchange Partial(const std::string& rest, size_t from, size_t total, const std::string& etag) {
    Exchange e = Ok(rest);
    e.head.status = 206;
    e.head.etag = etag;
    e.head.contentRange = "bytes " + std::to_string(from) + "-" + std::to_string(total - 1) + "/" + std::to_string(total);
    return e;
}

class ScriptedServer : public HttpTransport, public FetchObserver {
public:
    HttpResponse Open(const std::string& url, const std::vector<std::string>& headers, bool fresh) override {
        std::string call = url + (fresh ? "" : " cached");
        for (const std::string& h : headers) call += " " + h;
        calls.push_back(call);
        if (script.empty()) throw Failure(kErrCannotConnect, "unscripted");
        current = script.front();
        script.pop_front();
        at = 0;
        if (current.fails && current.head.status == 0) throw *current.fails;
        return current.head;
    }
    size_t Read(std::span<uint8_t> dst) override {
        if (current.outOfMemory) throw std::bad_alloc();
        const size_t n = std::min({current.body.size() - at, dst.size(), readSize});
        std::memcpy(dst.data(), current.body.data() + at, n);
        at += n;
        if (n == 0 && current.cancelled) throw FetchCancelled{};
        if (n == 0 && current.fails) throw *current.fails;
        return n;
    }
    void Close() noexcept override {}
    void Progress(const std::shared_ptr<ByteStore>& store, size_t bytes, size_t expected) override {
        EXPECT_EQ(store->size(), bytes);
        seen.emplace_back(bytes, expected);
    }

    std::deque<Exchange> script;
    std::vector<std::string> calls;  // "<url>[ cached] <header>..."
    std::vector<std::pair<size_t, size_t>> seen;
    Exchange current;
    size_t at = 0, readSize = 4096;
};

std::string Text(const ByteView& v) {
    const std::vector<uint8_t> bytes = v.ToVector();
    return std::string(bytes.begin(), bytes.end());
}

TEST(FetchTest, BodiesArriveInRoomPreparedOnceWithoutMovingBytes) {
    ScriptedServer s;
    const std::string body = Pattern(100000);
    s.script = {Ok(body)};
    uint64_t copied = ByteStore::BytesCopied();
    FetchResult r = Fetch(s, "http://host/a", true, s);
    EXPECT_EQ(ByteStore::BytesCopied(), copied);
    EXPECT_EQ(r.data.store->pieceCount(), 1u);
    EXPECT_EQ(r.data.store->capacity(), body.size());
    EXPECT_EQ(Text(r.data), body);
    EXPECT_EQ(s.seen.front(), std::make_pair(size_t{4096}, body.size()));

    s.script = {Ok(Pattern(1500000), false)};  // unannounced: doubling pieces
    s.readSize = 70001;
    copied = ByteStore::BytesCopied();
    r = Fetch(s, "HTTPS://host/x", false, s);
    EXPECT_EQ(ByteStore::BytesCopied(), copied);
    EXPECT_GT(r.data.store->pieceCount(), 2u);
    EXPECT_LT(r.data.store->capacity(), 2 * 1500000u);
    EXPECT_EQ(Text(r.data), Pattern(1500000));
    EXPECT_EQ(s.seen.back(), std::make_pair(size_t{1500000}, size_t{0}));

    s.script = {Dropping(body.substr(0, 12000), 100000, "\"v1\"", Failure(kErrTimeout, "silent")),
                Partial(body.substr(12000), 12000, 100000, "\"v1\"")};
    r = Fetch(s, "http://host/a", true, s);
    EXPECT_EQ(r.data.store->pieceCount(), 1u);  // resumed into the same room
    EXPECT_EQ(Text(r.data), body);
    EXPECT_THAT(s.calls, ElementsAre("http://host/a", "HTTPS://host/x cached", "http://host/a",
                                     "http://host/a Range: bytes=12000- If-Range: \"v1\""));
}

// Two files must never be spliced: a part is taken only with the first
// answer's own strong ETag; otherwise the download starts again from its
// first byte, once.
TEST(FetchTest, WhatEachScriptEndsInAndWhatItAsksFor) {
    const std::string u = "http://host/a", a = Pattern(30), b = Pattern(40, 999);
    const std::string range10 = u + " Range: bytes=10- If-Range: \"v1\"";
    const Failure silent(kErrTimeout, "silent");
    Exchange refused;
    refused.fails = Failure(kErrCannotConnect, "refused");
    Exchange noRanges = Dropping(a.substr(0, 10), 30, "\"v1\"");
    noRanges.head.acceptRanges = "none";
    Exchange overlong = Ok("0123456789"), huge = Ok(""), oom = Ok("abc"), cancel = Ok("abc", false), late = Ok("whole");
    overlong.head.contentLength = 6;
    huge.head.contentLength = kMaxBody + 1;
    oom.outOfMemory = cancel.cancelled = true;
    late.fails = Failure(kErrConnectionAborted, "late");  // after the announced length: no failure
    std::deque<Exchange> budget = {Dropping(a.substr(0, 10), 30, "\"v1\"", silent)};
    for (size_t from : {10, 15, 20}) {
        budget.push_back(Partial(a.substr(from, 5), from, 30, "\"v1\""));
        budget.back().head.contentLength = 30 - from;
        budget.back().fails = silent;
    }
    budget.push_back(Dropping(a.substr(0, 10), 30, "\"v1\"", silent));
    std::deque<Exchange> redirects(11, Status(302, "F", "http://host/a"));
    const struct Case {
        Case(const char* w, std::deque<Exchange> s, std::string r, std::vector<std::string> c,
             std::string url_ = "http://host/a", uint64_t max = kMaxBody)
            : what(w), script(std::move(s)), result(std::move(r)), calls(std::move(c)), url(std::move(url_)), maxBody(max) {}
        const char* what;
        std::deque<Exchange> script;
        std::string result;  // the body, or "!<failure number>", or "cancelled"
        std::vector<std::string> calls;
        std::string url;
        uint64_t maxBody;
    } cases[] = {
        {"redirects", {Status(301, "M", "http://m/a"), Status(307, "T", "https://c/a"), Ok("p")}, "p", {u, "http://m/a", "https://c/a"}},
        {"https to http", {Status(302, "F", "http://p/a")}, "!12040", {"https://s/a"}, "https://s/a"},
        {"foreign redirect", {Status(302, "F", "ftp://e/a")}, "!12156", {u}},
        {"no location", {Status(303, "S")}, "!12156", {u}},
        {"too many redirects", redirects, "!12156", std::vector<std::string>(11, u)},
        {"not found", {Status(404, "Not Found")}, "!404", {u}},
        {"part of no request", {Partial("abc", 0, 3, "")}, "!12152", {u}},
        {"drop without validator", {Dropping("0123456789", 20), Dropping("0123456789", 20)}, "!12030", {u, u}},
        {"close after the length", {late}, "whole", {u}},
        {"weak etag", {Dropping(a.substr(0, 10), 30, "W/\"weak\""), Ok(b)}, b, {u, u}},
        {"no etag", {Dropping(a.substr(0, 10), 30), Ok(b)}, b, {u, u}},
        {"other etag", {Dropping(a.substr(0, 10), 30, "\"v1\""), Partial(b.substr(10), 10, 30, "\"v2\""), Ok(b)}, b, {u, range10, u}},
        {"part without etag", {Dropping(a.substr(0, 10), 30, "\"v1\""), Partial(b.substr(10), 10, 30, ""), Ok(b)}, b, {u, range10, u}},
        {"weak part", {Dropping(a.substr(0, 10), 30, "\"v1\""), Partial(b.substr(10), 10, 30, "W/\"v1\""), Ok(b)}, b, {u, range10, u}},
        {"whole body to a range", {Dropping(a.substr(0, 10), 30, "\"v1\""), Ok(b)}, b, {u, range10}},
        {"range elsewhere", {Dropping(a.substr(0, 10), 30, "\"v1\""), Partial(a.substr(5), 5, 30, "\"v1\""), Ok(a)}, a, {u, range10, u}},
        {"no ranges", {noRanges, Ok(a)}, a, {u, u}},
        {"three resumes one restart", budget, "!12002",
         {u, range10, u + " Range: bytes=15- If-Range: \"v1\"", u + " Range: bytes=20- If-Range: \"v1\"", u}},
        {"failed retry", {Dropping(a.substr(0, 10), 30, "\"v1\""), refused, Partial(a.substr(10), 10, 30, "\"v1\"")}, a, {u, range10, range10}},
        {"first request fails", {refused}, "!12029", {u}},
        {"more than announced", {overlong}, "!12152", {u}},
        {"beyond 32 bits", {huge}, "!6", {u}},
        {"beyond the limit", {Ok(Pattern(1001), false)}, "!6", {u}, u, 1000},
        {"out of memory", {oom}, "!7", {u}},
        {"cancelled", {cancel}, "cancelled", {u}},
        {"foreign scheme", {}, "!12006", {}, "file:///C:/Windows/win.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer s;
        s.script = c.script;
        FetchLimits limits;
        limits.maxBody = c.maxBody;
        const FetchResult r = Fetch(s, c.url, true, s, limits);
        EXPECT_EQ(r.failure ? "!" + std::to_string(r.failure->number()) : r.cancelled ? "cancelled" : Text(r.data), c.result);
        EXPECT_EQ(s.calls, c.calls);
        for (const auto& [bytes, expected] : s.seen) EXPECT_LE(bytes, c.maxBody);
        if (r.failure) {
            EXPECT_FALSE(r.data.store);
        }
    }
}

TEST(FetchTest, FailuresSayWhatHappened) {
    const std::pair<Exchange, std::string> cases[] = {
        {Status(404, "Not Found"), "HTTP 404 Not Found"}, {Status(500, ""), "HTTP 500"},
        {[] { Exchange e = Ok(""); e.head.contentLength = kMaxBody + 1; return e; }(),
         "The file is larger than 2,147,483,647 bytes"},
        {[] { Exchange e = Ok("x"); e.outOfMemory = true; return e; }(), "Out of memory"}};
    for (const auto& [exchange, text] : cases) {
        ScriptedServer s;
        s.script = {exchange};
        EXPECT_EQ(Fetch(s, "http://h/a", true, s).failure->description(), text);
    }
    ScriptedServer s;
    s.script = std::deque<Exchange>(3, Status(302, "F", "http://h/b"));
    FetchLimits limits;
    limits.redirects = 2;
    EXPECT_EQ(Fetch(s, "http://h/a", true, s, limits).failure->description(), "Too many redirects");
}

}  // namespace
}  // namespace tav::net
