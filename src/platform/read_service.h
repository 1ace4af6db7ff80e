// The asynchronous read service for hosted controls: fetches a URL in the
// background and reports on the user-interface thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/byte_store.h"
#include "core/failure.h"

namespace tav {

// Result form of a request: the whole body as a byte array.
inline constexpr int32_t kAsyncTypeByteArray = 2;
// Option bit: a fresh copy from the server, never one from a cache.
inline constexpr int32_t kAsyncReadForceRefresh = 16;

// What a notification carries about one request.
struct AsyncProperty {
    std::string PropertyName;  // the request's name
    int32_t AsyncType = kAsyncTypeByteArray;
    int32_t BytesMax = 0;   // the expected total; 0 when the server gave none
    int32_t BytesRead = 0;  // received so far
    ByteView data;
    std::optional<Failure> failure;  // set when a finished request failed

    // The data received so far, or the whole body once finished; throws
    // the request's failure when it failed.
    const ByteView& Value() const {
        if (failure) throw *failure;
        return data;
    }
};

// Receives a request's notifications, always on the user-interface thread.
class AsyncReadSink {
public:
    virtual ~AsyncReadSink() = default;
    // More data arrived; the service may merge several arrivals into one.
    virtual void AsyncReadProgress(const AsyncProperty& property) = 0;
    // The request finished, well or not; nothing follows for it.
    virtual void AsyncReadComplete(const AsyncProperty& property) = 0;
};

class ReadService {
public:
    virtual ~ReadService() = default;
    // Starts fetching target under name for sink; returns at once. A
    // running request of the same sink and name is cancelled first.
    // Throws Failure when the request cannot be started.
    virtual void AsyncRead(AsyncReadSink& sink, const std::string& target, const std::string& name,
                           int32_t options) = 0;
    // Stops the request of that name; the sink hears nothing more of it.
    // Throws Failure when there is no such request.
    virtual void CancelAsyncRead(AsyncReadSink& sink, const std::string& name) = 0;
    // Stops every request of sink; for a sink that goes away. Never throws.
    virtual void CancelAll(AsyncReadSink& sink) noexcept = 0;
};

}  // namespace tav
