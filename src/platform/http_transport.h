// The network under a download: one HTTP GET at a time over a real
// network library, the file the body goes into, and what a fetch hands
// back. The rules of a download (which answers count,
// redirects, resuming) are the download's own, above this seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/sha256.h"

namespace tav::net {

// Failure numbers of the Windows Internet functions, which support staff
// recognise in the log.
inline constexpr int32_t kErrTimeout = 12002;
inline constexpr int32_t kErrUnrecognizedScheme = 12006;
inline constexpr int32_t kErrCannotConnect = 12029;
inline constexpr int32_t kErrConnectionAborted = 12030;
inline constexpr int32_t kErrHttpsToHttp = 12040;
inline constexpr int32_t kErrInvalidResponse = 12152;
inline constexpr int32_t kErrRedirectFailed = 12156;

// The largest body the program's 32-bit counts can describe.
inline constexpr uint64_t kMaxBody = 2147483647;

// The head of one response.
struct HttpResponse {
    int32_t status = 0;
    std::string reason;
    std::optional<uint64_t> contentLength;
    std::string location;  // absolute, resolved against the request's URL
    std::string etag;
    std::string lastModified;
    std::string contentRange;
    std::string acceptRanges;
};

// Thrown by a transport whose request was cancelled.
struct FetchCancelled {};

// One HTTP GET at a time over a real network library; called on the
// fetching thread only.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // Sends GET url with extra header lines ("Name: value"); returns when
    // the response head has arrived. fresh bypasses every cache. Throws
    // Failure when no response came (including a stall), FetchCancelled.
    virtual HttpResponse Open(const std::string& url, const std::vector<std::string>& headers,
                              bool fresh) = 0;
    // Reads up to dst.size() bytes of the body; 0 at its end. Throws
    // Failure when the connection drops or stalls, FetchCancelled.
    virtual size_t Read(std::span<uint8_t> dst) = 0;
    // Lets go of the current response, if any.
    virtual void Close() noexcept = 0;
};

// Where a body goes as it arrives; used on the fetching thread only.
class BodyFile {
public:
    virtual ~BodyFile() = default;
    // Drops every byte written: a new body starts from its first byte.
    // Throws Failure.
    virtual void Truncate() = 0;
    // Writes bytes after those written; throws Failure (the classic "Disk
    // full" among them) having written some or none.
    virtual void Append(std::span<const uint8_t> bytes) = 0;
};

// Hears the body grow, on the fetching thread.
class FetchObserver {
public:
    virtual ~FetchObserver() = default;
    // bytes: the body so far (fewer again after a restart); expected: the
    // announced total, 0 when none was announced.
    virtual void Progress(size_t bytes, size_t expected) = 0;
};

struct FetchLimits {
    uint64_t maxBody = kMaxBody;
    int resumes = 3;
    int restarts = 1;
    int redirects = 10;
    size_t readChunk = 256 * 1024;
};

struct FetchResult {
    uint64_t size = 0;               // the whole body's size on success
    Sha256Digest digest{};           // of exactly the bytes written, on success
    std::optional<Failure> failure;  // why the download failed
    bool cancelled = false;          // the transport was cancelled
};

// Downloads url through transport by the download's rules; never throws.
// The read service's home calls it on its worker thread; the download
// (src/download) defines it.
// The body goes into body, which holds exactly it on success.
FetchResult Fetch(HttpTransport& transport, const std::string& url, bool fresh,
                  FetchObserver& observer, BodyFile& body, const FetchLimits& limits = {}) noexcept;

}  // namespace tav::net
