// The asynchronous read service for hosted controls: fetches a URL in the
// background into a file of its own and reports on the user-interface
// thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/failure.h"
#include "core/sha256.h"
#include "platform/code_signing.h"

namespace tav {

// Result form of a request: the whole body in a file.
inline constexpr int32_t kAsyncTypeFile = 0;
// Option bit: a fresh copy from the server, never one from a cache.
inline constexpr int32_t kAsyncReadForceRefresh = 16;

// What a notification carries about one request.
struct AsyncProperty {
    std::string PropertyName;  // the request's name
    int32_t AsyncType = kAsyncTypeFile;
    int32_t BytesMax = 0;   // the expected total; 0 when the server gave none
    int32_t BytesRead = 0;  // received so far
    // Once finished well: the file holding exactly the body, held (the
    // sink takes it over), and the digest of the bytes written into it.
    std::shared_ptr<StagedFile> file;
    Sha256Digest digest{};
    std::optional<Failure> failure;  // set when a finished request failed

    // The finished body's file; throws the request's failure when it
    // failed.
    const std::shared_ptr<StagedFile>& Value() const {
        if (failure) throw *failure;
        return file;
    }
};

// Receives a request's notifications, always on the user-interface thread.
class AsyncReadSink {
public:
    virtual ~AsyncReadSink() = default;
    // More data arrived; the service may merge several arrivals into one.
    virtual void AsyncReadProgress(const AsyncProperty& property) = 0;
    // The request finished, well or not; nothing follows for it.
    // The sink may take the file over (move it out of property).
    virtual void AsyncReadComplete(AsyncProperty& property) = 0;
};

class ReadService {
public:
    virtual ~ReadService() = default;
    // Starts fetching target under name for sink into a new file in
    // folder (see CodeSigning::CreateStaged); returns at once. A running
    // request of the same sink and name is cancelled first. Throws Failure
    // when the request cannot be started; a file that cannot be made fails
    // the request.
    virtual void AsyncRead(AsyncReadSink& sink, const std::string& target, const std::string& name,
                           int32_t options, const std::string& folder) = 0;
    // Stops the request of that name; the sink hears nothing more of it.
    // Throws Failure when there is no such request.
    virtual void CancelAsyncRead(AsyncReadSink& sink, const std::string& name) = 0;
    // Stops every request of sink; for a sink that goes away. Never throws.
    virtual void CancelAll(AsyncReadSink& sink) noexcept = 0;
};

}  // namespace tav
