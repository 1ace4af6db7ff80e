#include "fakes/fake_read_service.h"

#include <cstring>
#include <memory>
#include <stdexcept>

namespace tav::fakes {

ByteView MakeView(const std::string& text) {
    auto store = std::make_shared<ByteStore>(text.size());
    if (!text.empty()) {
        std::span<uint8_t> tail = store->Tail(text.size());
        std::memcpy(tail.data(), text.data(), text.size());
        store->Commit(text.size());
    }
    return ByteView{store, text.size()};
}

void FakeReadService::AsyncRead(AsyncReadSink& sink, const std::string& target,
                                const std::string& name, int32_t options) {
    if (failReadsWith != 0) throw err::Make(failReadsWith);
    requests.push_back(Request{&sink, target, name, options, true});
}

void FakeReadService::CancelAsyncRead(AsyncReadSink& sink, const std::string& name) {
    cancels.push_back(name);
    if (failCancelsWith != 0) throw err::Make(failCancelsWith);
    for (Request& r : requests) {
        if (r.sink == &sink && r.name == name && r.active) {
            r.active = false;
            return;
        }
    }
    throw err::Make(err::kInvalidCall);
}

void FakeReadService::CancelAll(AsyncReadSink& sink) noexcept {
    ++cancelAlls;
    for (Request& r : requests)
        if (r.sink == &sink) r.active = false;
}

FakeReadService::Request& FakeReadService::Find(const std::string& name) {
    for (auto it = requests.rbegin(); it != requests.rend(); ++it)
        if (it->name == name) return *it;
    throw std::logic_error("no request named " + name);
}

void FakeReadService::Progress(const std::string& name, int32_t bytesMax, const std::string& soFar,
                               int32_t asyncType) {
    Request& r = Find(name);
    AsyncProperty p;
    p.AsyncType = asyncType;
    p.PropertyName = name;
    p.BytesMax = bytesMax;
    p.BytesRead = static_cast<int32_t>(soFar.size());
    p.data = MakeView(soFar);
    r.sink->AsyncReadProgress(p);
}

void FakeReadService::Complete(const std::string& name, const std::string& body) {
    Request& r = Find(name);
    r.active = false;
    AsyncProperty p;
    p.PropertyName = name;
    p.BytesMax = static_cast<int32_t>(body.size());
    p.BytesRead = p.BytesMax;
    p.data = MakeView(body);
    r.sink->AsyncReadComplete(p);
}

void FakeReadService::Fail(const std::string& name, const Failure& failure) {
    Request& r = Find(name);
    r.active = false;
    AsyncProperty p;
    p.PropertyName = name;
    p.failure = failure;
    r.sink->AsyncReadComplete(p);
}

}  // namespace tav::fakes
