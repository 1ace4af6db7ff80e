// Reading a response body on an asynchronous Windows Internet session, apart
// from the calls themselves, so that each way the system may answer can be
// tried without a network.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/win32/win.h"

namespace tav::win32 {

// What a call did: answered now, or went pending (ERROR_IO_PENDING) and
// completes later. Any other failure is thrown as the Failure of its code.
enum class CallState { Done, Pending };

// INTERNET_ASYNC_RESULT of INTERNET_STATUS_REQUEST_COMPLETE.
struct Completion {
    DWORD_PTR result = 0;  // the call's BOOL
    DWORD error = 0;
};

// The calls the body is read with, on one request handle.
class BodyCalls {
public:
    virtual ~BodyCalls() = default;
    // InternetQueryDataAvailable.
    virtual CallState QueryDataAvailable(DWORD* available) = 0;
    // InternetReadFile.
    virtual CallState ReadFile(void* buffer, DWORD size, DWORD* read) = 0;
    // Waits for the completion of the call that went pending. Throws
    // FetchCancelled or the stall's Failure, leaving that call pending.
    virtual Completion Wait() = 0;
};

// The most one read takes.
inline constexpr DWORD kBodyBuffer = 256 * 1024;

// Everything a call that went pending may still write into. A call stays
// pending after a cancel or a stall, so this must live as long as the
// request handle, not as long as one read (it lives in the transport's
// attempt, which lives until the system's last callback for that handle).
struct BodyState {
    std::unique_ptr<uint8_t[]> buffer;  // kBodyBuffer bytes once reading starts
    DWORD available = 0;                // the query's count
    DWORD read = 0;                     // the read's count
    DWORD left = 0;                     // bytes the last count promised that were not read yet
};

// Reads up to dst.size() bytes of the body into dst; 0 at its end. Throws
// the Failure of a call that failed, and whatever calls.Wait() throws.
size_t ReadBody(BodyCalls& calls, BodyState& state, std::span<uint8_t> dst);

}  // namespace tav::win32
