// A read service the test drives by hand: it logs requests and cancels and
// delivers whatever notifications the test asks for to the last request
// (cancelled or not: a service may still deliver after a cancel).
#pragma once

#include "fakes/fake_code_signing.h"
#include "platform/read_service.h"

namespace tav::fakes {

struct FakeReadService : ReadService {
    void AsyncRead(AsyncReadSink& s, const std::string& target, const std::string& name,
                   int32_t options, const std::string& folder) override {
        calls.push_back("read " + target + " " + name + " " + std::to_string(options) + " into " +
                        folder);
        sink = &s;
        last = name;
    }
    void CancelAsyncRead(AsyncReadSink&, const std::string&) override {}
    void CancelAll(AsyncReadSink&) noexcept override { calls.push_back("cancel all"); }

    // A progress (bytesMax >= 0) of bytes.size() bytes or, finished, the
    // whole body in a file.
    void Deliver(int32_t bytesMax, const std::string& bytes, int32_t type = kAsyncTypeFile) {
        AsyncProperty p;
        p.PropertyName = last;
        p.AsyncType = type;
        p.BytesRead = static_cast<int32_t>(bytes.size());
        p.BytesMax = bytesMax < 0 ? p.BytesRead : bytesMax;
        if (bytesMax >= 0) return sink->AsyncReadProgress(p);
        p.file = std::make_shared<FakeCodeSigning::File>("staged", bytes);
        sink->AsyncReadComplete(p);
    }

    std::vector<std::string> calls;  // "read <target> <name> <options> into <folder>", "cancel all"
    std::string last;                // the last request's name
    AsyncReadSink* sink = nullptr;
};

}  // namespace tav::fakes
