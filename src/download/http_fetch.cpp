#include "download/http_fetch.h"

#include <algorithm>
#include <cctype>
#include <array>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>

namespace tav::net {

namespace {

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= s.size() ||
            std::tolower(static_cast<unsigned char>(s[i])) != static_cast<unsigned char>(prefix[i]))
            return false;
    }
    return true;
}

bool IsRedirect(int32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<uint64_t> ParseNumber(std::string_view text) {
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// "bytes START-END/TOTAL" (TOTAL may be "*").
struct ContentRange {
    uint64_t start = 0, end = 0;
    std::optional<uint64_t> total;
};
std::optional<ContentRange> ParseContentRange(const std::string& header) {
    if (!StartsWithNoCase(header, "bytes ")) return std::nullopt;
    const std::string_view rest = std::string_view(header).substr(6);
    const size_t dash = rest.find('-'), slash = rest.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return std::nullopt;
    auto start = ParseNumber(rest.substr(0, dash));
    auto end = ParseNumber(rest.substr(dash + 1, slash - dash - 1));
    if (!start || !end) return std::nullopt;
    ContentRange range{*start, *end, std::nullopt};
    if (rest.substr(slash + 1) != "*") {
        range.total = ParseNumber(rest.substr(slash + 1));
        if (!range.total) return std::nullopt;
    }
    return range;
}

Failure StatusFailure(const HttpResponse& r) {
    std::string text = "HTTP " + std::to_string(r.status);
    if (!r.reason.empty()) text += " " + r.reason;
    return Failure(r.status, text);
}

// A failure that no retry can mend: the server answered, or broke a rule.
struct Final {
    Failure failure;
};

Final TooLarge() {
    return {Failure(err::kOverflow, "The file is larger than 2,147,483,647 bytes")};
}

// Where the body's bytes go between the network and the file: the reads
// fill one of a few large buffers; a full one is written to the file in one
// call and its digest worked out on a thread of its own. Reads are small
// (a few KB each under some WinINet builds), and a write and a hash per read
// slowed the download by their whole cost while a second processor is
// usually idle. Memory stays at those buffers however large the body.
class BodyPipe {
public:
    BodyPipe(BodyFile& file, size_t bufferSize) : file_(file) {
        for (auto& b : buffers_) b.resize(bufferSize);
        thread_ = std::thread([this] { Work(); });
    }
    ~BodyPipe() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    BodyPipe(const BodyPipe&) = delete;
    BodyPipe& operator=(const BodyPipe&) = delete;

    // Room for the next read; a full buffer is written first (throws the
    // file's Failure), which waits while every other buffer is still being
    // hashed.
    std::span<uint8_t> Room() {
        if (filled_ == buffers_[current_].size()) HandOver();
        return std::span<uint8_t>(buffers_[current_]).subspan(filled_);
    }
    // The first n bytes of the last Room() now hold body bytes.
    void Filled(size_t n) { filled_ += n; }
    // Forgets every byte not yet written and the digest: the body starts
    // again from its first byte.
    void Reset() {
        filled_ = 0;
        WaitHashed();
        hasher_.Reset();
    }
    // Writes what is left; the digest of every byte.
    Sha256Digest Finish() {
        if (filled_ > 0) HandOver();
        WaitHashed();
        return hasher_.Finish();
    }

private:
    static constexpr size_t kBuffers = 4;

    void HandOver() {
        file_.Append(std::span<const uint8_t>(buffers_[current_].data(), filled_));
        std::unique_lock lock(mutex_);
        queue_.push_back({current_, filled_});
        changed_.notify_all();
        current_ = (current_ + 1) % kBuffers;
        // The next buffer is free once no piece in the queue, the one in
        // the worker's hands among them, lies in it.
        changed_.wait(lock, [&] { return queue_.size() < kBuffers; });
        filled_ = 0;
    }
    void WaitHashed() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return queue_.empty(); });
    }
    void Work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            const auto [index, n] = queue_.front();
            lock.unlock();
            hasher_.Update(std::span<const uint8_t>(buffers_[index].data(), n));
            lock.lock();
            // Popped only once hashed: a queued piece's buffer is in use.
            queue_.pop_front();
            changed_.notify_all();
        }
    }

    BodyFile& file_;
    std::array<std::vector<uint8_t>, kBuffers> buffers_;
    size_t current_ = 0;   // the reader's buffer
    size_t filled_ = 0;    // body bytes in it
    Sha256Hasher hasher_;  // the worker's while the queue is not empty
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<size_t, size_t>> queue_;  // buffer index, bytes
    bool stop_ = false;
    std::thread thread_;
};

// One download from its first request to its last byte.
class Session {
public:
    Session(HttpTransport& t, const std::string& url, bool fresh, FetchObserver& o, BodyFile& body,
            const FetchLimits& limits)
        : t_(t),
          url_(url),
          fresh_(fresh),
          observer_(o),
          body_(body),
          limits_(limits),
          resumesLeft_(limits.resumes),
          restartsLeft_(limits.restarts),
          pipe_(body, std::max<size_t>(limits.readChunk, 1)) {}

    void Run(FetchResult& result) {
        if (!IsHttpUrl(url_))
            throw Final{
                Failure(kErrUnrecognizedScheme, "Only HTTP and HTTPS addresses can be downloaded")};
        // Nothing has arrived yet: a first request that fails is final.
        BeginBody(OpenFollowing(url_, {}, fresh_));
        std::optional<Failure> drop = ReadBody();
        while (drop) {
            t_.Close();
            if (CanResume() && resumesLeft_ > 0) {
                --resumesLeft_;
                drop = Resume();
            } else if (restartsLeft_ > 0) {
                --restartsLeft_;
                drop = Restart();
            } else {
                throw *drop;
            }
        }
        t_.Close();
        result.size = size_;
        result.digest = pipe_.Finish();
    }

private:
    HttpResponse OpenFollowing(const std::string& url, const std::vector<std::string>& headers,
                               bool fresh) {
        std::string current = url;
        for (int hop = 0;; ++hop) {
            HttpResponse r = t_.Open(current, headers, fresh);
            if (!IsRedirect(r.status)) {
                if (r.status < 200 || r.status > 299) {
                    t_.Close();
                    throw Final{StatusFailure(r)};
                }
                finalUrl_ = current;
                return r;
            }
            t_.Close();
            if (hop >= limits_.redirects)
                throw Final{Failure(kErrRedirectFailed, "Too many redirects")};
            if (r.location.empty())
                throw Final{Failure(kErrRedirectFailed,
                                    StatusFailure(r).description() + " without a location")};
            // A download that started encrypted must never continue in clear.
            if (IsHttpsUrl(current) && !IsHttpsUrl(r.location))
                throw Final{Failure(kErrHttpsToHttp, "Redirect from HTTPS to HTTP refused")};
            if (!IsHttpUrl(r.location))
                throw Final{Failure(kErrRedirectFailed,
                                    "Redirect to an address that is not HTTP or HTTPS")};
            current = r.location;
        }
    }

    // A new body from its first byte: a partial answer cannot be one.
    void BeginBody(const HttpResponse& r) {
        if (r.status == 206)
            throw Final{Failure(kErrInvalidResponse, "The server sent part of the file")};
        expected_ = r.contentLength;
        if (expected_ && *expected_ > limits_.maxBody) throw TooLarge();
        // A file that fails is thrown out of the whole session: no retry of
        // the network mends a full disk.
        if (size_ > 0) {
            pipe_.Reset();
            body_.Truncate();
            size_ = 0;
        }
        // Only a strong ETag can vouch that the bytes still line up: a weak
        // one says "much the same", and a date changes too seldom (twice in
        // one second is one date) for two files never to share one.
        validator_.clear();
        if (!r.etag.empty() && !StartsWithNoCase(r.etag, "w/")) validator_ = r.etag;
        rangesRefused_ = StartsWithNoCase(r.acceptRanges, "none");
    }

    bool CanResume() const { return expected_ && !validator_.empty() && !rangesRefused_; }

    // Reads until the end of the body. A drop comes back as the failure to
    // report should no retry help; a fault of the server throws.
    std::optional<Failure> ReadBody() {
        for (;;) {
            const uint64_t have = size_;
            if (expected_ && have == *expected_) return ConfirmEnd();
            std::span<uint8_t> room = pipe_.Room();
            if (expected_ && room.size() > *expected_ - have)
                room = room.first(static_cast<size_t>(*expected_ - have));
            size_t got = 0;
            try {
                got = t_.Read(room);
            } catch (const Failure& dropped) {
                return dropped;
            }
            if (got == 0) {
                if (!expected_) return std::nullopt;
                return Failure(kErrConnectionAborted, "The connection closed after " +
                                                          std::to_string(have) + " of " +
                                                          std::to_string(*expected_) + " bytes");
            }
            if (have + got > limits_.maxBody) throw TooLarge();
            pipe_.Filled(got);
            size_ += got;
            observer_.Progress(static_cast<size_t>(size_),
                               static_cast<size_t>(expected_.value_or(0)));
        }
    }

    // The announced length has arrived; anything more is a fault of the
    // server, read into scratch so that the check costs no room.
    std::optional<Failure> ConfirmEnd() {
        uint8_t scratch[512];
        size_t extra = 0;
        try {
            extra = t_.Read(scratch);
        } catch (const Failure&) {
            return std::nullopt;  // every announced byte is here
        }
        if (extra != 0)
            throw Final{Failure(kErrInvalidResponse, "The server sent more than the " +
                                                         std::to_string(*expected_) +
                                                         " bytes it announced")};
        return std::nullopt;
    }

    std::optional<Failure> Resume() {
        const uint64_t from = size_;
        HttpResponse r;
        try {
            r = OpenFollowing(
                finalUrl_,
                {"Range: bytes=" + std::to_string(from) + "-", "If-Range: " + validator_}, true);
        } catch (const Failure& f) {
            return f;
        }
        // A cache that ignores If-Range answers with a part of whatever it
        // holds: a part is taken only with the first answer's own ETag.
        if (r.status == 206 && r.etag != validator_) {
            t_.Close();
            if (restartsLeft_ == 0)
                return Failure(kErrInvalidResponse,
                               "The server resumed with a part of another file");
            --restartsLeft_;
            return Restart();
        }
        if (r.status == 206) {
            const auto range = ParseContentRange(r.contentRange);
            if (!range || range->start != from || (range->total && *range->total != *expected_)) {
                // The server cannot be trusted to line the bytes up.
                rangesRefused_ = true;
                return Failure(kErrInvalidResponse, "The server resumed at the wrong place");
            }
            return ReadBody();
        }
        // A whole body: the file changed, or the server ignores ranges.
        if (restartsLeft_ == 0) {
            rangesRefused_ = true;
            return Failure(kErrInvalidResponse, "The server would not resume the download");
        }
        --restartsLeft_;
        BeginBody(r);
        return ReadBody();
    }

    std::optional<Failure> Restart() {
        HttpResponse r;
        try {
            r = OpenFollowing(url_, {}, fresh_);
        } catch (const Failure& f) {
            return f;
        }
        BeginBody(r);
        return ReadBody();
    }

    HttpTransport& t_;
    const std::string url_;
    const bool fresh_;
    FetchObserver& observer_;
    BodyFile& body_;
    const FetchLimits limits_;
    int resumesLeft_;
    int restartsLeft_;

    std::string finalUrl_;
    uint64_t size_ = 0;  // bytes of the body received
    BodyPipe pipe_;      // the reads' room, the writes and the digest
    std::optional<uint64_t> expected_;
    std::string validator_;
    bool rangesRefused_ = false;
};

}  // namespace

bool IsHttpUrl(const std::string& url) {
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

bool IsHttpsUrl(const std::string& url) { return StartsWithNoCase(url, "https://"); }

FetchResult Fetch(HttpTransport& transport, const std::string& url, bool fresh,
                  FetchObserver& observer, BodyFile& body, const FetchLimits& limits) noexcept {
    // The catch site of the fetching thread: the program's trap would write
    // the program's current error record, which belongs to the UI thread.
    FetchResult result;
    try {
        Session session(transport, url, fresh, observer, body, limits);
        session.Run(result);
    } catch (const Final& f) {
        result.failure = f.failure;
    } catch (const Failure& f) {
        result.failure = f;
    } catch (const FetchCancelled&) {
        result.cancelled = true;
    } catch (const std::bad_alloc&) {
        result.failure = err::Make(err::kOutOfMemory);
    } catch (const std::exception& e) {
        result.failure = Failure(err::kInternalError, e.what());
    } catch (...) {
        result.failure = err::Make(err::kInternalError);
    }
    if (result.failure || result.cancelled) {
        transport.Close();
        result.size = 0;
        result.digest = {};
    }
    return result;
}

}  // namespace tav::net
