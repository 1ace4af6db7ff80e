// The rules of one fetch against a scripted server: bodies, redirects,
// lengths, resuming, limits.
#include <gmock/gmock.h>

#include <deque>

#include "download/http_fetch.h"
#include "fakes/fake_code_signing.h"

namespace tav {
namespace {

using namespace net;

std::string Pattern(size_t n, size_t from = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(((from + i) * 7 + (from + i) / 251) & 0xFF);
    return s;
}
struct Exchange {
    HttpResponse head;
    std::string body;
    std::optional<Failure> fails;  // at the open without a status, else after the body
    bool outOfMemory = false;
};
// Status 200 announcing total bytes (-1: nothing announced, -2: the body's size).
Exchange Ok(const std::string& body, int64_t total = -2, const std::string& etag = "",
            std::optional<Failure> fails = {}) {
    Exchange e;
    e.head.status = 200;
    e.head.reason = "OK";
    e.head.etag = etag;
    e.body = body;
    e.fails = fails;
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
    e.head.status = status;
    e.head.reason = reason;
    e.head.location = location;
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
        current = script.front();
        at = 0;
        script.pop_front();
        if (current.fails && current.head.status == 0) throw *current.fails;
        return current.head;
    }
    size_t Read(std::span<uint8_t> dst) override {
        if (current.outOfMemory) throw std::bad_alloc();
        const size_t n = std::min({current.body.size() - at, dst.size(), readSize});
        std::memcpy(dst.data(), current.body.data() + at, n);
        at += n;
        if (n == 0 && current.fails) throw *current.fails;
        return n;
    }
    void Close() noexcept override {}
    void Progress(size_t n, size_t expected) override { seen.emplace_back(n, expected); }
    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(bytes.data()); }
    std::deque<Exchange> script;
    std::vector<std::string> calls;  // "<url>[ cached] <header>..."
    std::vector<std::pair<size_t, size_t>> seen;
    Exchange current;
    size_t at = 0;
    size_t readSize = 4096;
};

// Two files must never be spliced: a part is taken only with the first
// answer's own strong ETag; otherwise the download starts again from its
// first byte, once, in a file emptied first. The digest is of exactly what
// the file holds; a file that cannot take more ends the download at once.
TEST(FetchTest, WhatEachScriptEndsInAndWhatItAsksFor) {
    const std::string u = "http://host/a";
    const std::string a = Pattern(30);
    const std::string b = Pattern(40, 999);
    const std::string r10 = u + " Range: bytes=10- If-Range: \"v1\"";
    Exchange refused;
    refused.fails = Failure(kErrCannotConnect, "refused");
    Exchange noRanges = Dropping(a.substr(0, 10), 30, "\"v1\"");
    noRanges.head.acceptRanges = "none";
    Exchange oom = Ok("abc");
    oom.outOfMemory = true;
    std::deque<Exchange> budget = {Dropping(a.substr(0, 10), 30, "\"v1\"", kErrTimeout)};
    for (size_t from : {10, 15, 20}) {
        budget.push_back(Partial(a.substr(from, 5), from, 30, "\"v1\""));
        budget.back().head.contentLength = 30 - from;
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
            {"foreign scheme",
             "file:///C:/Windows/win.ini",
             {},
             "!12006 Only HTTP and HTTPS addresses can be downloaded",
             {}},
        };
    for (const auto& [what, url, script, result, calls] : cases) {
        ScriptedServer s;
        s.script = script;
        const FetchResult r = Fetch(s, url, true, s, s);
        EXPECT_EQ(r.failure
                      ? "!" + std::to_string(r.failure->number()) + " " + r.failure->description()
                      : s.bytes,
                  result)
            << what << ": what it ends in";
        EXPECT_EQ(s.calls, calls) << what << ": what it asks for";
        if (!r.failure) {
            EXPECT_EQ(r.size, s.bytes.size()) << what << ": the size is not the file's";
            EXPECT_EQ(r.digest, Sha256(std::span(s.Data(), s.bytes.size())))
                << what << ": the digest is not of the file's bytes";
        }
    }
    // Buffers smaller than the reads: the ring of buffers cycles many times
    // and is emptied by a restart while some are still being hashed.
    const std::string other = Pattern(4000, 77);
    ScriptedServer ring;
    ring.script = {Dropping(Pattern(2500), 5000, "W/\"weak\""),
                   Dropping(other.substr(0, 1500), 4000, "\"v2\""),
                   Partial(other.substr(1500), 1500, 4000, "\"v2\"")};
    ring.readSize = 13;
    FetchLimits small;
    small.readChunk = 7;
    const FetchResult r = Fetch(ring, u, true, ring, ring, small);
    EXPECT_TRUE(ring.bytes == other) << "the ring: not the second body";
    EXPECT_EQ(r.digest, Sha256(std::span(ring.Data(), ring.bytes.size()))) << "the ring's digest";
    ScriptedServer s;  // a limit below the 32-bit one: no progress beyond it
    s.script = {Ok(Pattern(1001), -1)};
    s.readSize = 100;
    FetchLimits limits;
    limits.maxBody = 1000;
    EXPECT_EQ(Fetch(s, u, true, s, s, limits).failure.value_or(Failure(0, "")).number(),
              err::kOverflow)
        << "a body beyond the limit taken";
    EXPECT_EQ(s.seen.back().first, 1000u) << "progress beyond the limit";
}

}  // namespace
}  // namespace tav
