// A read service the test drives by hand: it logs requests and cancels and
// delivers whatever notifications the test asks for to the last request
// (cancelled or not: a service may still deliver after a cancel).
#pragma once


#include <cstring>

#include "platform/read_service.h"

namespace tav::fakes {

struct FakeReadService : ReadService {
    void AsyncRead(AsyncReadSink& s, const std::string& target, const std::string& name, int32_t options) override {
        calls.push_back("read " + target + " " + name + " " + std::to_string(options));
        sink = &s;
        last = name;
    }
    void CancelAsyncRead(AsyncReadSink&, const std::string& name) override { calls.push_back("cancel " + name); }
    void CancelAll(AsyncReadSink&) noexcept override { calls.push_back("cancel all"); }

    // A progress (bytesMax >= 0) or, finished, the whole body or the failure.
    void Deliver(int32_t bytesMax, const std::string& bytes, int32_t type = kAsyncTypeByteArray,
                 const std::optional<Failure>& failure = std::nullopt) {
        auto store = std::make_shared<ByteStore>(bytes.size());
        if (!bytes.empty()) std::memcpy(store->Tail(bytes.size()).data(), bytes.data(), bytes.size()), store->Commit(bytes.size());
        const auto read = static_cast<int32_t>(bytes.size());
        const AsyncProperty p{last, type, bytesMax < 0 ? read : bytesMax, read, ByteView{store, bytes.size()}, failure};
        if (bytesMax >= 0) return sink->AsyncReadProgress(p);
        sink->AsyncReadComplete(p);
    }

    std::vector<std::string> calls;  // "read <target> <name> <options>", "cancel <name>", "cancel all"
    std::string last;                // the last request's name
    AsyncReadSink* sink = nullptr;
};

}  // namespace tav::fakes
