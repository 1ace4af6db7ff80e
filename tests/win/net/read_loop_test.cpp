// The body's read loop against each way Windows may answer its calls (a
// fake system), and the real transport against the loopback server.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "net_test_support.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wininet_body.h"
#include "platform/win32/wininet_transport.h"

namespace tav {
namespace {

using nettest::Pattern;
using win32::CallState;
using win32::Completion;

// Where a query that went pending hands its count over.
enum class CountIn { Both, Error, Variable };

// One way the system may behave; the body comes in steps, one a wait.
struct Behaviour {
    size_t body = 0;
    size_t first = 0;        // bytes there before the first call
    size_t step = 0;         // bytes that come with each wait
    int falseZeros = 0;      // queries answering TRUE with 0 while more is coming
    bool readPends = false;  // every read goes pending, its buffer filled at completion
    CountIn count = CountIn::Both;
    bool endPends = false;  // the end is known only through a pending query
    DWORD failWith = 0;     // the first completion fails with this code
};

// A system that hands out the pattern body as b says. A read that asks for
// more than has come waits for all of it, as Wine's does.
class FakeCalls : public win32::BodyCalls {
public:
    FakeCalls(const Behaviour& b, const win32::BodyState& s)
        : b_(b), state_(s), body_(Pattern(b.body)), arrived_(std::min(b.first, b.body)) {}

    CallState QueryDataAvailable(DWORD* available) override {
        ExpectIdle();
        *available = 0;
        if (zeros_ < b_.falseZeros && sent_ < body_.size()) {
            ++zeros_;
            return CallState::Done;
        }
        const bool atEnd = sent_ == body_.size() && !(b_.endPends && !endSeen_);
        if (arrived_ > sent_ || atEnd) {
            *available = static_cast<DWORD>(arrived_ - sent_);
            return CallState::Done;
        }
        return Pend(available, nullptr, 0);
    }

    CallState ReadFile(void* buffer, DWORD size, DWORD* read) override {
        ExpectIdle();
        EXPECT_LE(size, std::max<size_t>(1, arrived_ - sent_))
            << "a read asked for more than the system said had come";
        *read = 0;
        if (!b_.readPends && (arrived_ - sent_ >= size || arrived_ == body_.size())) {
            *read = Hand(buffer, size);
            return CallState::Done;
        }
        return Pend(read, buffer, size);
    }

    Completion Wait() override {
        EXPECT_TRUE(count_) << "a wait with no call pending";
        if (!count_) return {FALSE, ERROR_INVALID_HANDLE};
        if (const DWORD e = std::exchange(b_.failWith, 0)) {
            count_ = nullptr;
            return {FALSE, e};
        }
        do arrived_ = std::min(body_.size(), arrived_ + b_.step);
        while (b_.step && buffer_ && arrived_ - sent_ < size_ && arrived_ < body_.size());
        DWORD* count = std::exchange(count_, nullptr);
        if (buffer_) {
            *count = Hand(std::exchange(buffer_, nullptr), size_);
            return {TRUE, ERROR_SUCCESS};
        }
        endSeen_ = sent_ == body_.size();
        const DWORD n = static_cast<DWORD>(arrived_ - sent_);
        // Not a count: what a system that hands it elsewhere may leave.
        *count = b_.count == CountIn::Error ? 77777 : n;
        return {TRUE, b_.count == CountIn::Variable ? 0 : n};
    }

    size_t sent() const { return sent_; }

private:
    void ExpectIdle() const { EXPECT_FALSE(count_) << "a call while another was pending"; }

    bool Owned(const void* p, size_t n) const {
        const auto* c = static_cast<const uint8_t*>(p);
        const auto* s = reinterpret_cast<const uint8_t*>(&state_);
        const uint8_t* buf = state_.buffer.get();
        return (c >= s && c + n <= s + sizeof state_) ||
               (buf && c >= buf && c + n <= buf + win32::kBodyBuffer);
    }

    CallState Pend(DWORD* count, void* buffer, DWORD size) {
        EXPECT_TRUE(Owned(count, sizeof *count) && (!buffer || Owned(buffer, size)))
            << "a pending call was given memory that outlives only one read";
        count_ = count;
        buffer_ = buffer;
        size_ = size;
        return CallState::Pending;
    }

    DWORD Hand(void* buffer, DWORD size) {
        const size_t n = std::min<size_t>(size, arrived_ - sent_);
        std::memcpy(buffer, body_.data() + sent_, n);
        sent_ += n;
        return static_cast<DWORD>(n);
    }

    Behaviour b_;
    const win32::BodyState& state_;
    std::string body_;
    size_t arrived_ = 0;
    size_t sent_ = 0;
    int zeros_ = 0;
    bool endSeen_ = false;
    DWORD* count_ = nullptr;  // of the pending call
    void* buffer_ = nullptr;
    DWORD size_ = 0;
};

// Reads the whole body in reads of chunk bytes; stops at a runaway.
std::string Drain(win32::BodyCalls& calls, win32::BodyState& state, size_t chunk, size_t body) {
    std::string out;
    std::vector<uint8_t> dst(chunk);
    for (size_t turns = 0; turns < 4 * body + 100; ++turns) {
        std::fill(dst.begin(), dst.end(), uint8_t{0xEE});
        const size_t got = win32::ReadBody(calls, state, dst);
        if (got == 0) break;
        out.append(dst.begin(), dst.begin() + static_cast<ptrdiff_t>(got));
    }
    return out;
}

TEST(ReadLoop, EveryByteOnceWhicheverWayTheSystemAnswers) {
    const struct {
        const char* name;
        Behaviour b;
        size_t chunk;
    } rows[] = {
        {"pending reads fill at the end", {.body = 99999, .step = 3000, .readPends = true}, 4096},
        {"pending reads, a byte a wait", {.body = 300, .step = 1, .readPends = true}, 4096},
        {"query says 0 before the data", {.body = 50000, .step = 5000, .falseZeros = 3}, 4096},
        {"query says 0, data there",
         {.body = 5000, .first = 2000, .step = 900, .falseZeros = 2},
         99},
        {"one-byte trickle", {.body = 300, .step = 1}, 4096},
        {"no length: a late query ends it", {.body = 70000, .step = 9000, .endPends = true}, 8192},
        {"count in the completion", {.body = 99999, .step = 7000, .count = CountIn::Error}, 4096},
        {"count in the variable", {.body = 9999, .step = 700, .count = CountIn::Variable}, 4096},
        {"reads smaller than the count", {.body = 20000, .step = 3000}, 7},
        {"all there, more room than a read", {.body = 600000, .first = 600000, .step = 1}, 1 << 20},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        win32::BodyState state;
        FakeCalls calls(row.b, state);
        const std::string got = Drain(calls, state, row.chunk, row.b.body);
        EXPECT_EQ(calls.sent(), row.b.body) << "the read loop stopped before the end";
        EXPECT_EQ(got.size(), row.b.body) << "bytes lost or doubled";
        EXPECT_TRUE(got == Pattern(row.b.body)) << "bytes out of place";
    }
}

TEST(ReadLoop, AFailedCompletionKeepsItsWinInetNumberAndText) {
    const struct {
        const char* name;
        Behaviour b;
    } rows[] = {
        {"the query's", {.body = 1000, .step = 100, .failWith = 12030}},
        {"the read's", {.body = 1000, .first = 1000, .readPends = true, .failWith = 12030}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        win32::BodyState state;
        FakeCalls calls(row.b, state);
        std::vector<uint8_t> dst(4096);
        try {
            win32::ReadBody(calls, state, dst);
            ADD_FAILURE() << "a failed completion read as data";
        } catch (const Failure& f) {
            EXPECT_EQ(f.number(), 12030) << "the failure lost its number";
            EXPECT_EQ(f.description(), win32::InternetFailure(12030).description())
                << "the failure lost the system's text";
        }
    }
}

TEST(ReadLoop, TheRealTransportReadsEachKindOfBodyWhole) {
    const struct {
        const char* tag;
        std::string query;
        size_t size;
        bool length;  // a Content-Length is announced
    } rows[] = {
        {"nolength", "size=300000&slow=5&nolength=1", 300000, false},
        {"trickle", "size=400&trickle=2", 400, true},
        {"trickle-chunked", "size=400&trickle=2&chunked=1", 400, false},
        {"trickle-nolength", "size=400&trickle=2&nolength=1", 400, false},
    };
    ASSERT_NE(wintest::ServerPort(TAV_NET_STATE), 0) << "no loopback server: run through ctest";
    const std::atomic<bool> cancelled{false};
    const win32::UniqueKernel cancel{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tag);
        win32::WinInetTransport t(cancelled, cancel.get(), 5000);
        const std::string url = nettest::Url("/body/rl-" + std::string(row.tag) + "?" + row.query);
        const net::HttpResponse r = t.Open(url, {}, true);
        EXPECT_EQ(r.status, 200) << "not answered: " << r.reason;
        EXPECT_EQ(r.contentLength.has_value(), row.length) << "the test's server changed";
        std::string got;
        std::vector<uint8_t> dst(64 * 1024);
        for (size_t n; (n = t.Read(dst)) != 0;)
            got.append(reinterpret_cast<const char*>(dst.data()), n);
        EXPECT_EQ(got.size(), row.size) << "bytes lost, doubled or cut short";
        EXPECT_TRUE(got == Pattern(row.size)) << "bytes out of place";
    }
}

}  // namespace
}  // namespace tav
