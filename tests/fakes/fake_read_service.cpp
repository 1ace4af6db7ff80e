#include "fakes/fake_read_service.h"

#include <cstring>
#include <memory>

namespace tav::fakes {

namespace {
AsyncProperty Property(const std::string& name, int32_t max, const std::string& bytes) {
    auto store = std::make_shared<ByteStore>(bytes.size());
    if (!bytes.empty()) {
        std::memcpy(store->Tail(bytes.size()).data(), bytes.data(), bytes.size());
        store->Commit(bytes.size());
    }
    AsyncProperty p;
    p.PropertyName = name;
    p.BytesMax = max;
    p.BytesRead = static_cast<int32_t>(bytes.size());
    p.data = ByteView{store, bytes.size()};
    return p;
}
}  // namespace

void FakeReadService::AsyncRead(AsyncReadSink& s, const std::string& target,
                                const std::string& name, int32_t options) {
    if (failWith != 0) throw err::Make(failWith);
    calls.push_back("read " + target + " " + name + " " + std::to_string(options));
    sink_ = &s;
    live.insert(last = name);
}

void FakeReadService::CancelAsyncRead(AsyncReadSink&, const std::string& name) {
    calls.push_back("cancel " + name);
    if (failWith != 0 || live.erase(name) == 0) throw err::Make(err::kInvalidCall);
}

void FakeReadService::CancelAll(AsyncReadSink&) noexcept {
    calls.push_back("cancel all");
    live.clear();
}

void FakeReadService::Progress(int32_t bytesMax, const std::string& soFar, int32_t asyncType) {
    AsyncProperty p = Property(last, bytesMax, soFar);
    p.AsyncType = asyncType;
    sink_->AsyncReadProgress(p);
}

void FakeReadService::Complete(const std::string& body) {
    live.erase(last);
    sink_->AsyncReadComplete(Property(last, static_cast<int32_t>(body.size()), body));
}

void FakeReadService::Fail(const Failure& failure) {
    live.erase(last);
    AsyncProperty p = Property(last, 0, "");
    p.failure = failure;
    sink_->AsyncReadComplete(p);
}

}  // namespace tav::fakes
